// The descriptor of a block: the property methods over two hooks, and the free-standing
// descriptor class (RasterBlock Descriptor), whose values live in the object.
#pragma once

#include "rasterblocks/block_reader.h"
#include "platform/com_object.h"

#include <mutex>

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
  RZD_RASTER_PROPERTIES(RZD_RASTER_PROPERTY)
#undef RZD_RASTER_PROPERTY

  HRESULT CopyFrom(IRasterBlockDescriptor* source) override;

 protected:
  ~DescriptorMethods() = default;
  virtual HRESULT GetProperty(RasterProperty property, LONG* value) = 0;
  virtual HRESULT PutProperty(RasterProperty property, LONG value) = 0;
};

// A descriptor of its own: the work descriptor a writer fills before it copies it into the
// manager's. Only its properties are copied; its error, boundary and text go nowhere.
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
};

}  // namespace rzd::rasterblocks
