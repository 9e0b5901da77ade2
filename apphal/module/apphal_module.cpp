// libapphal.so, the desktop-application interface's module: the class Scanner_M48tz behind its
// five exports, with the type library (TYPELIB 1), the picture strip (BITMAP 201), the icon
// (GROUP_ICON 202) and the project name of its string table (STRING 100) as resources.
#include "apphal/m48tz_scanner.h"

#include "platform/modules.h"
#include "platform/text.h"

#define APPHAL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::filesystem::path OwnPath() { return rzd::ModulePathOf(reinterpret_cast<const void*>(&OwnPath)); }

}  // namespace

APPHAL_EXPORT HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_Scanner_M48tz) return CLASS_E_CLASSNOTAVAILABLE;
  return rzd::GetClassFactory<rzd::apphal::CM48tz_Scanner>(&rzd::apphal::ApphalModule(), iid, object);
}

APPHAL_EXPORT HRESULT DllCanUnloadNow() { return rzd::apphal::ApphalModule().CanUnloadNow(); }

APPHAL_EXPORT HRESULT DllRegisterServer() { return rzd::apphal::RegisterApphal(OwnPath(), false); }

APPHAL_EXPORT HRESULT DllUnregisterServer() { return rzd::apphal::UnregisterApphal(OwnPath(), false); }

// A command line of "user" (without regard to case) registers in the current user's classes.
// Registering undoes itself when it fails.
APPHAL_EXPORT HRESULT DllInstall(BOOL install, const OLECHAR* commandLine) {
  const bool perUser = commandLine != nullptr && rzd::EqualsNoCase(commandLine, u"user");
  if (install == 0) return rzd::apphal::UnregisterApphal(OwnPath(), perUser);
  const HRESULT hr = rzd::apphal::RegisterApphal(OwnPath(), perUser);
  if (FAILED(hr)) rzd::apphal::UnregisterApphal(OwnPath(), perUser);
  return hr;
}
