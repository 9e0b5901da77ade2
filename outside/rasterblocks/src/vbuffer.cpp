#include "vbuffer.h"

#include "platform/process.h"
#include "platform/text.h"

#include <atomic>

namespace rzd::rasterblocks {

namespace {

// A caller's name is the start of the real one; longer names are cut so the real one stays
// within what a named object may carry.
constexpr size_t kMaxNamePrefix = 160;
constexpr int kNameAttempts = 64;

std::atomic<uint32_t> g_nameCounter{0};

bool HasNamespace(std::u16string_view name) {
  return EqualsNoCase(name.substr(0, 7), u"Global\\") || EqualsNoCase(name.substr(0, 6), u"Local\\");
}

}  // namespace

void* VBuffer::FindInterface(const IID& iid) {
  if (iid == IID_IVBuffer) return static_cast<IVBuffer*>(this);
  if (iid == IID_IVBufferName) return static_cast<IVBufferName*>(this);
  return nullptr;
}

HRESULT VBuffer::Hold(FileMapping mapping, std::u16string name) {
  std::lock_guard guard(lock_);
  if (mapping_) return E_UNEXPECTED;
  mapping_ = std::move(mapping);
  name_ = std::move(name);
  return S_OK;
}

HRESULT VBuffer::Create(ULONGLONG size, BSTR name) {
  if (size == 0) return E_INVALIDARG;
  {
    std::lock_guard guard(lock_);
    if (mapping_) return E_UNEXPECTED;
  }
  std::u16string prefix(BstrView(name).substr(0, kMaxNamePrefix));
  if (prefix.empty()) prefix = u"VBuffer";
  if (!HasNamespace(prefix)) prefix = u"Global\\" + prefix;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::u16string real =
        FormatW(u"%s-%u-%u", prefix.c_str(), CurrentProcessId(), g_nameCounter.fetch_add(1) + 1);
    ObjectResult<FileMapping> made = FileMapping::Create(real, size);
    if (made.error == ERROR_ALREADY_EXISTS) continue;  // left by an earlier process of the same id
    if (!made) return HRESULT_FROM_WIN32(made.error);
    return Hold(std::move(made.handle), real);
  }
  return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
}

HRESULT VBuffer::Open(BSTR name) {
  const std::u16string_view wanted = BstrView(name);
  if (wanted.empty()) return E_INVALIDARG;
  ObjectResult<FileMapping> opened = FileMapping::Open(wanted);
  if (!opened) return HRESULT_FROM_WIN32(opened.error);
  return Hold(std::move(opened.handle), std::u16string(wanted));
}

HRESULT VBuffer::Size(ULONGLONG* size) {
  if (size == nullptr) return E_POINTER;
  std::lock_guard guard(lock_);
  if (!mapping_) return E_UNEXPECTED;
  *size = mapping_.Size();
  return S_OK;
}

HRESULT VBuffer::Map(ULONGLONG offset, ULONGLONG size, void** view) {
  if (view == nullptr) return E_POINTER;
  *view = nullptr;
  std::lock_guard guard(lock_);
  if (!mapping_) return E_UNEXPECTED;
  if (size > SIZE_MAX) return E_INVALIDARG;
  uint32_t error = ERROR_SUCCESS;
  MappedView region = mapping_.Map(offset, static_cast<size_t>(size), &error);
  if (!region) return HRESULT_FROM_WIN32(error);
  *view = region.Data();
  views_.emplace(region.Data(), std::move(region));
  return S_OK;
}

HRESULT VBuffer::Unmap(void* view) {
  std::lock_guard guard(lock_);
  auto found = views_.find(view);
  if (found == views_.end()) return E_INVALIDARG;
  views_.erase(found);
  return S_OK;
}

HRESULT VBuffer::GetName(BSTR* name) {
  if (name == nullptr) return E_POINTER;
  std::lock_guard guard(lock_);
  *name = nullptr;
  if (!mapping_) return E_UNEXPECTED;
  *name = AllocBstr(name_);
  return *name != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace rzd::rasterblocks
