#include "block_descriptor.h"
#include "raster_blocks.h"
#include "registration.h"
#include "vbuffer.h"

namespace rzd::rasterblocks {

ComModule& LibraryModule() {
  static ComModule module;  // a count only: nothing to destroy at the library's unload
  return module;
}

HRESULT GetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid == CLSID_VBuffer) return GetClassFactory<VBuffer>(&LibraryModule(), iid, object);
  if (clsid == CLSID_RasterBlocks) return GetClassFactory<RasterBlocks>(&LibraryModule(), iid, object);
  if (clsid == CLSID_RasterBlockDescriptor) return GetClassFactory<BlockDescriptor>(&LibraryModule(), iid, object);
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace rzd::rasterblocks
