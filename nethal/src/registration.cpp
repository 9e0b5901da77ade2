#include "registration.h"

#include "nethal/bridge.h"

#include "lowdrv/engine/model_ids.h"
#include "platform/registrar.h"
#include "platform/text.h"

namespace rzd::nethal {

namespace {

constexpr char16_t kAppIdScript[] = uR"(HKCR
{
  NoRemove AppID
  {
    '%APPID%' = s '%PD_INPROC_NAME%'
    '%PD_INPROC_NAME%.DLL'
    {
      val AppID = s '%APPID%'
    }
  }
}
)";

constexpr char16_t kClassScript[] = uR"(HKCR
{
  'RZDHAL%SHORT_NAME%InProc.RZDHAL%SHORT_NAME%InProc.1' = s 'RZDHAL%SHORT_NAME%InProc Class'
  {
    CLSID = s '%HAL_CLSID%'
  }
  'RZDHAL%SHORT_NAME%InProc.RZDHAL%SHORT_NAME%InProc' = s 'RZDHAL%SHORT_NAME%InProc Class'
  {
    CLSID = s '%HAL_CLSID%'
    CurVer = s 'RZDHAL%SHORT_NAME%InProc.RZDHAL%SHORT_NAME%InProc.1'
  }
  NoRemove CLSID
  {
    ForceRemove '%HAL_CLSID%' = s 'RZDHAL%SHORT_NAME%InProc Class'
    {
      ProgID = s 'RZDHAL%SHORT_NAME%InProc.RZDHAL%SHORT_NAME%InProc.1'
      VersionIndependentProgID = s 'RZDHAL%SHORT_NAME%InProc.RZDHAL%SHORT_NAME%InProc'
      ForceRemove 'Programmable'
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Both'
      }
      TypeLib = s '%TLB_ID%'
      'Implemented Categories'
      {
        '%RZD_MODULE_CATEGORY_ID%'
      }
    }
  }
}
)";

Registrar MakeRegistrar(const std::filesystem::path& module, bool perUser) {
  Registrar registrar;
  registrar.SetPerUser(perUser);
  registrar.AddReplacement(u"APPID", FormatGuid(APPID_RZDHALM48tzInProc));
  registrar.AddReplacement(u"PD_INPROC_NAME", u"nethal");
  registrar.AddReplacement(u"SHORT_NAME", lowdrv::kModelName);
  registrar.AddReplacement(u"HAL_CLSID", FormatGuid(CLSID_RZDHALM48tzInProc));
  registrar.AddReplacement(u"TLB_ID", FormatGuid(LIBID_RZDHALM48tzInProcLib));
  registrar.AddReplacement(u"MODULE", module.u16string());
  registrar.AddReplacement(u"RZD_MODULE_CATEGORY_ID", FormatGuid(CATID_RZDModule));
  return registrar;
}

}  // namespace

HRESULT RegisterBridge(const std::filesystem::path& module, bool perUser) {
  Registrar registrar = MakeRegistrar(module, perUser);
  if (HRESULT hr = registrar.Register(kAppIdScript); FAILED(hr)) return hr;
  return registrar.Register(kClassScript);
}

HRESULT UnregisterBridge(const std::filesystem::path& module, bool perUser) {
  Registrar registrar = MakeRegistrar(module, perUser);
  HRESULT result = registrar.Unregister(kClassScript);
  if (HRESULT hr = registrar.Unregister(kAppIdScript); SUCCEEDED(result)) result = hr;
  return result;
}

bool InstallsPerUser(const char16_t* commandLine) {
  return commandLine != nullptr && EqualsNoCase(commandLine, u"user");
}

}  // namespace rzd::nethal
