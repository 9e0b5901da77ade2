// The library's COM registration: its three classes as in-process servers of threading model
// "Both", so every process that uses them loads its own copy and nothing is marshalled.
#include "registration.h"

#include "interfaces/raster_buffers.h"
#include "platform/registrar.h"

namespace rzd::rasterblocks {

namespace {

constexpr char16_t kScript[] = uR"(HKCR
{
  NoRemove CLSID
  {
    ForceRemove '%VBUFFER_CLSID%' = s 'VBuffer Class'
    {
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Both'
      }
    }
    ForceRemove '%RASTERBLOCKS_CLSID%' = s 'RasterBlocks Class'
    {
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Both'
      }
    }
    ForceRemove '%DESCRIPTOR_CLSID%' = s 'RasterBlock Descriptor Class'
    {
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Both'
      }
    }
  }
}
)";

Registrar MakeRegistrar(const std::filesystem::path& module) {
  Registrar registrar;
  registrar.AddReplacement(u"VBUFFER_CLSID", FormatGuid(CLSID_VBuffer));
  registrar.AddReplacement(u"RASTERBLOCKS_CLSID", FormatGuid(CLSID_RasterBlocks));
  registrar.AddReplacement(u"DESCRIPTOR_CLSID", FormatGuid(CLSID_RasterBlockDescriptor));
  registrar.AddReplacement(u"MODULE", module.u16string());
  return registrar;
}

}  // namespace

HRESULT RegisterLibrary(const std::filesystem::path& module) { return MakeRegistrar(module).Register(kScript); }

HRESULT UnregisterLibrary(const std::filesystem::path& module) { return MakeRegistrar(module).Unregister(kScript); }

}  // namespace rzd::rasterblocks
