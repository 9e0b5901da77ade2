#include "block_descriptor.h"

#include "vbuffer.h"

namespace rzd::rasterblocks {

namespace {

using Getter = HRESULT (IRasterBlockDescriptor::*)(LONG*);

// The get_ methods in property order.
constexpr Getter kGetters[kRasterPropertyCount] = {
#define RZD_RASTER_GETTER(Name) &IRasterBlockDescriptor::get_##Name,
    RZD_RASTER_PROPERTIES(RZD_RASTER_GETTER)
#undef RZD_RASTER_GETTER
};

}  // namespace

HRESULT DescriptorMethods::CopyFrom(IRasterBlockDescriptor* source) {
  if (source == nullptr) return E_POINTER;
  LONG values[kRasterPropertyCount] = {};
  for (uint32_t p = 0; p < kRasterPropertyCount; ++p) {
    if (HRESULT hr = (source->*kGetters[p])(&values[p]); FAILED(hr)) return hr;
  }
  for (uint32_t p = 0; p < kRasterPropertyCount; ++p) {
    if (HRESULT hr = PutProperty(static_cast<RasterProperty>(p), values[p]); FAILED(hr)) return hr;
  }
  return S_OK;
}

BlockDescriptor::BlockDescriptor() : ComObject(&LibraryModule()) {}

void* BlockDescriptor::FindInterface(const IID& iid) {
  return iid == IID_IRasterBlockDescriptor ? static_cast<IRasterBlockDescriptor*>(this) : nullptr;
}

HRESULT BlockDescriptor::GetProperty(RasterProperty property, LONG* value) {
  std::lock_guard guard(lock_);
  *value = values_[property];
  return S_OK;
}

HRESULT BlockDescriptor::PutProperty(RasterProperty property, LONG value) {
  std::lock_guard guard(lock_);
  values_[property] = value;
  return S_OK;
}

HRESULT BlockDescriptor::SetError(LONG /*errorCode*/) { return S_OK; }

HRESULT BlockDescriptor::SetBoundary(LONG /*level*/) { return S_OK; }

HRESULT BlockDescriptor::SetOperationText(BSTR /*text*/) { return S_OK; }

}  // namespace rzd::rasterblocks
