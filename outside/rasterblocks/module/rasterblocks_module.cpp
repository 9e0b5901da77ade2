// librzdrasterblocks.so: the image-transfer buffer components (VBuffer, RasterBlocks, RasterBlock
// Descriptor) as an in-process COM server.
#include "registration.h"

#include "platform/modules.h"

#define RASTERBLOCKS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::filesystem::path OwnPath() { return rzd::ModulePathOf(reinterpret_cast<const void*>(&OwnPath)); }

}  // namespace

RASTERBLOCKS_EXPORT HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  return rzd::rasterblocks::GetClassObject(clsid, iid, object);
}

RASTERBLOCKS_EXPORT HRESULT DllCanUnloadNow() { return rzd::rasterblocks::LibraryModule().CanUnloadNow(); }

RASTERBLOCKS_EXPORT HRESULT DllRegisterServer() { return rzd::rasterblocks::RegisterLibrary(OwnPath()); }

RASTERBLOCKS_EXPORT HRESULT DllUnregisterServer() { return rzd::rasterblocks::UnregisterLibrary(OwnPath()); }
