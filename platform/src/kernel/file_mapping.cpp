// File mappings: a record page followed by the data, in a shared-memory segment (named) or an
// anonymous memory file (unnamed). Views map the data part on their own.
#include "platform/kernel.h"

#include "kernel/core.h"
#include "kernel/named.h"
#include "platform/text.h"

#include <sys/mman.h>
#include <unistd.h>

namespace rzd {

using kernel_detail::Kind;

namespace {
// Largest mapping: keeps sizes from outside from asking for absurd amounts.
constexpr uint64_t kMaxMappingSize = uint64_t{1} << 40;
}  // namespace

ObjectResult<FileMapping> FileMapping::Create(std::u16string_view name, uint64_t size) {
  if (size == 0 || size > kMaxMappingSize) return {FileMapping(), ERROR_INVALID_PARAMETER};
  kernel_detail::CoreResult r;
  if (name.empty()) {
    r = kernel_detail::CreateUnnamedMapping(size);
  } else {
    r = kernel_detail::AcquireNamed(name, kernel_detail::NamedRequest{Kind::FileMapping, true, size, nullptr});
  }
  return {FileMapping(std::move(r.core)), r.error};
}

ObjectResult<FileMapping> FileMapping::Create(std::string_view name, uint64_t size) {
  return Create(FromUtf8(name), size);
}

ObjectResult<FileMapping> FileMapping::Open(std::u16string_view name) {
  if (name.empty()) return {FileMapping(), ERROR_INVALID_PARAMETER};
  auto r = kernel_detail::AcquireNamed(name, kernel_detail::NamedRequest{Kind::FileMapping, false, 0, nullptr});
  return {FileMapping(std::move(r.core)), r.error};
}

ObjectResult<FileMapping> FileMapping::Open(std::string_view name) { return Open(FromUtf8(name)); }

uint64_t FileMapping::Size() const { return core_ ? core_->record()->dataSize : 0; }

bool FileMapping::IsNamed() const { return core_ && core_->named(); }

MappedView FileMapping::Map(uint64_t offset, size_t length, uint32_t* error) const {
  auto fail = [&](uint32_t e) {
    if (error) *error = e;
    return MappedView();
  };
  if (!core_) return fail(ERROR_INVALID_HANDLE);
  const uint64_t size = Size();
  if (offset >= size) return fail(ERROR_ACCESS_DENIED);
  if (length == 0) length = static_cast<size_t>(size - offset);
  if (length > size - offset) return fail(ERROR_ACCESS_DENIED);
  const int fd = kernel_detail::SegmentFd(*core_);
  if (fd < 0) return fail(ERROR_INVALID_HANDLE);

  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  const uint64_t start = kernel_detail::RecordPageSize() + offset;
  const uint64_t alignedStart = start / page * page;
  const size_t lead = static_cast<size_t>(start - alignedStart);
  void* base = mmap(nullptr, lead + length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(alignedStart));
  if (base == MAP_FAILED) return fail(ERROR_NOT_ENOUGH_MEMORY);

  MappedView view;
  view.mapBase_ = base;
  view.mapLength_ = lead + length;
  view.data_ = static_cast<char*>(base) + lead;
  view.size_ = length;
  view.core_ = core_;
  if (error) *error = ERROR_SUCCESS;
  return view;
}

MappedView::MappedView(MappedView&& other) noexcept
    : mapBase_(other.mapBase_),
      mapLength_(other.mapLength_),
      data_(other.data_),
      size_(other.size_),
      core_(std::move(other.core_)) {
  other.mapBase_ = nullptr;
  other.data_ = nullptr;
  other.mapLength_ = other.size_ = 0;
}

MappedView& MappedView::operator=(MappedView&& other) noexcept {
  if (this != &other) {
    Reset();
    mapBase_ = other.mapBase_;
    mapLength_ = other.mapLength_;
    data_ = other.data_;
    size_ = other.size_;
    core_ = std::move(other.core_);
    other.mapBase_ = nullptr;
    other.data_ = nullptr;
    other.mapLength_ = other.size_ = 0;
  }
  return *this;
}

MappedView::~MappedView() { Reset(); }

void MappedView::Reset() {
  if (mapBase_ != nullptr) munmap(mapBase_, mapLength_);
  mapBase_ = nullptr;
  data_ = nullptr;
  mapLength_ = size_ = 0;
  core_.reset();
}

}  // namespace rzd
