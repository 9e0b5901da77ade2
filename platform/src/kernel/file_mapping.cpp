// File mappings: a record page followed by the data, in a shared-memory segment (named) or an
// anonymous memory file (unnamed). The data is mapped once per process, at the first view; a view
// is a region of that mapping and costs no system call.
#include "platform/kernel.h"

#include "kernel/core.h"
#include "kernel/named.h"
#include "platform/text.h"


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

uint64_t FileMapping::Size() const { return core_ ? kernel_detail::MappingSize(*core_) : 0; }

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
  uint32_t mapError = ERROR_SUCCESS;
  uint8_t* data = kernel_detail::MappedData(*core_, &mapError);
  if (data == nullptr) return fail(mapError);

  MappedView view;
  view.data_ = data + offset;
  view.size_ = length;
  view.core_ = core_;
  if (error) *error = ERROR_SUCCESS;
  return view;
}

MappedView::MappedView(MappedView&& other) noexcept
    : data_(other.data_), size_(other.size_), core_(std::move(other.core_)) {
  other.data_ = nullptr;
  other.size_ = 0;
}

MappedView& MappedView::operator=(MappedView&& other) noexcept {
  if (this != &other) {
    data_ = other.data_;
    size_ = other.size_;
    core_ = std::move(other.core_);
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

MappedView::~MappedView() = default;

}  // namespace rzd
