// The descriptor of a block: the property methods over two hooks, and the free-standing
// descriptor class (RasterBlock Descriptor), whose values live in the object.
#pragma once

#include "rasterblocks/block_reader.h"
#include "platform/com_object.h"

#include <mutex>
#include <string>

namespace rzd::rasterblocks {

// Every get_ and put_ method of the interface, each a call of GetProperty or PutProperty with its
// property; CopyFrom reads the source's properties through its get_ methods.
class DescriptorMethods : public IRasterBlockDescriptor {
 public:
#define RZD_RASTER_PROPERTY(Name)                                                        \
  HRESULT get_##Name(LONG* value) override {                                             \
    return value == nullptr ? E_POINTER : GetProperty(kRaster##Name, value);             \
  }                                                                                      \
  HRESULT put_##Name(LONG value) override { return PutProperty(kRaster##Name, value); }
  RZD_RASTER_PROPERTY(Compression)
  RZD_RASTER_PROPERTY(Pixels)
  RZD_RASTER_PROPERTY(Interleave)
  RZD_RASTER_PROPERTY(LineOrder)
  RZD_RASTER_PROPERTY(PixelOrder)
  RZD_RASTER_PROPERTY(PixelGender)
  RZD_RASTER_PROPERTY(BitOrder)
  RZD_RASTER_PROPERTY(Side)
  RZD_RASTER_PROPERTY(LinesPerSide)
  RZD_RASTER_PROPERTY(SideOrder)
  RZD_RASTER_PROPERTY(Alignment)
  RZD_RASTER_PROPERTY(BytesPerLine)
  RZD_RASTER_PROPERTY(Page)
  RZD_RASTER_PROPERTY(Image)
  RZD_RASTER_PROPERTY(Left)
  RZD_RASTER_PROPERTY(Top)
  RZD_RASTER_PROPERTY(Width)
  RZD_RASTER_PROPERTY(Length)
  RZD_RASTER_PROPERTY(XResolution)
  RZD_RASTER_PROPERTY(YResolution)
  RZD_RASTER_PROPERTY(BitsPerPixel)
  RZD_RASTER_PROPERTY(LineOffset)
  RZD_RASTER_PROPERTY(NumberOfLines)
#undef RZD_RASTER_PROPERTY

  HRESULT CopyFrom(IRasterBlockDescriptor* source) override;

 protected:
  ~DescriptorMethods() = default;
  virtual HRESULT GetProperty(RasterProperty property, LONG* value) = 0;
  virtual HRESULT PutProperty(RasterProperty property, LONG value) = 0;
};

// A descriptor of its own: the work descriptor a writer fills before it copies it into the
// manager's.
class BlockDescriptor final : public ComObject<DescriptorMethods> {
 public:
  BlockDescriptor();

  HRESULT SetError(LONG errorCode) override;
  HRESULT SetBoundary(LONG level) override;
  HRESULT SetOperationText(BSTR text) override;

 protected:
  void* FindInterface(const IID& iid) override;
  HRESULT GetProperty(RasterProperty property, LONG* value) override;
  HRESULT PutProperty(RasterProperty property, LONG value) override;

 private:
  std::mutex lock_;
  LONG values_[kRasterPropertyCount] = {};
  LONG error_ = 0;
  LONG boundary_ = 0;
  std::u16string text_;
};

}  // namespace rzd::rasterblocks
