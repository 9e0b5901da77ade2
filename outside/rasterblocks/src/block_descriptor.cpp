#include "block_descriptor.h"

#include "vbuffer.h"

namespace rzd::rasterblocks {

namespace {

using Getter = HRESULT (IRasterBlockDescriptor::*)(LONG*);

// The get_ methods in property order.
constexpr Getter kGetters[kRasterPropertyCount] = {
    &IRasterBlockDescriptor::get_Compression,  &IRasterBlockDescriptor::get_Pixels,
    &IRasterBlockDescriptor::get_Interleave,   &IRasterBlockDescriptor::get_LineOrder,
    &IRasterBlockDescriptor::get_PixelOrder,   &IRasterBlockDescriptor::get_PixelGender,
    &IRasterBlockDescriptor::get_BitOrder,     &IRasterBlockDescriptor::get_Side,
    &IRasterBlockDescriptor::get_LinesPerSide, &IRasterBlockDescriptor::get_SideOrder,
    &IRasterBlockDescriptor::get_Alignment,    &IRasterBlockDescriptor::get_BytesPerLine,
    &IRasterBlockDescriptor::get_Page,         &IRasterBlockDescriptor::get_Image,
    &IRasterBlockDescriptor::get_Left,         &IRasterBlockDescriptor::get_Top,
    &IRasterBlockDescriptor::get_Width,        &IRasterBlockDescriptor::get_Length,
    &IRasterBlockDescriptor::get_XResolution,  &IRasterBlockDescriptor::get_YResolution,
    &IRasterBlockDescriptor::get_BitsPerPixel, &IRasterBlockDescriptor::get_LineOffset,
    &IRasterBlockDescriptor::get_NumberOfLines,
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

HRESULT BlockDescriptor::SetError(LONG errorCode) {
  std::lock_guard guard(lock_);
  error_ = errorCode;
  return S_OK;
}

HRESULT BlockDescriptor::SetBoundary(LONG level) {
  std::lock_guard guard(lock_);
  boundary_ = level;
  return S_OK;
}

HRESULT BlockDescriptor::SetOperationText(BSTR text) {
  std::lock_guard guard(lock_);
  text_.assign(BstrView(text));
  return S_OK;
}

}  // namespace rzd::rasterblocks
