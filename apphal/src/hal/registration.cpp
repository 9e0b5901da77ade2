// The library's COM registration: its application id, the class Scanner_M48tz with its program
// ids, and its type library.
#include "apphal/m48tz_scanner.h"
#include "apphal/type_library.h"

#include "platform/registrar.h"

namespace rzd::apphal {

namespace {

constexpr char16_t kAppIdScript[] = uR"(HKCR
{
  NoRemove AppID
  {
    '%APPID%' = s '%PD_ZQ4HAL_NAME%'
    '%PD_ZQ4HAL_NAME%.DLL'
    {
      val AppID = s '%APPID%'
    }
  }
}
)";

constexpr char16_t kClassScript[] = uR"(HKCR
{
  'CorZQ4.Hardware.%SHORT_NAME%.1' = s 'Scanner_%SHORT_NAME% Class'
  {
    CLSID = s '%ZQ4HAL_CLSID%'
  }
  'CorZQ4.Hardware.%SHORT_NAME%' = s 'Scanner_%SHORT_NAME% Class'
  {
    CLSID = s '%ZQ4HAL_CLSID%'
    CurVer = s 'CorZQ4.Hardware.%SHORT_NAME%.1'
  }
  NoRemove CLSID
  {
    ForceRemove '%ZQ4HAL_CLSID%' = s 'Scanner_%SHORT_NAME% Class'
    {
      ProgID = s 'CorZQ4.Hardware.%SHORT_NAME%.1'
      VersionIndependentProgID = s 'CorZQ4.Hardware.%SHORT_NAME%'
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Apartment'
      }
      TypeLib = s '%TLB_ID%'
      'Implemented Categories'
      {
        '%ZQ4_MODULE_CATEGORY_ID%'
      }
    }
  }
}
)";

Registrar MakeRegistrar(const std::filesystem::path& module, bool perUser) {
  Registrar registrar;
  registrar.SetPerUser(perUser);
  registrar.AddReplacement(u"APPID", FormatGuid(APPID_Apphal));
  registrar.AddReplacement(u"PD_ZQ4HAL_NAME", u"apphal");
  registrar.AddReplacement(u"SHORT_NAME", u"M48tz");
  registrar.AddReplacement(u"ZQ4HAL_CLSID", FormatGuid(CLSID_Scanner_M48tz));
  registrar.AddReplacement(u"TLB_ID", FormatGuid(LIBID_M48tzZQ4HALLib));
  registrar.AddReplacement(u"MODULE", module.u16string());
  registrar.AddReplacement(u"ZQ4_MODULE_CATEGORY_ID", FormatGuid(CATID_ZQ4Module));
  return registrar;
}

}  // namespace

HRESULT RegisterApphal(const std::filesystem::path& module, bool perUser) {
  Registrar registrar = MakeRegistrar(module, perUser);
  if (HRESULT hr = registrar.Register(kAppIdScript); FAILED(hr)) return hr;
  if (HRESULT hr = registrar.Register(kClassScript); FAILED(hr)) return hr;
  return RegisterTypeLibrary(module, perUser);
}

HRESULT UnregisterApphal(const std::filesystem::path& module, bool perUser) {
  Registrar registrar = MakeRegistrar(module, perUser);
  HRESULT result = registrar.Unregister(kClassScript);
  if (HRESULT hr = UnregisterTypeLibrary(module, perUser); SUCCEEDED(result)) result = hr;
  if (HRESULT hr = registrar.Unregister(kAppIdScript); SUCCEEDED(result)) result = hr;
  return result;
}

}  // namespace rzd::apphal
