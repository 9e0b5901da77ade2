// Activation of classes served by another process. Local servers come with the service area; a
// class registered only as a local server is recognised and refused clearly until then.
#include "com_internal.h"

#include "platform/registry.h"

namespace rzd::com_internal {

bool HasLocalServerRegistration(const CLSID& clsid) {
  const std::u16string classKey = u"CLSID\\" + FormatGuid(clsid);
  RegKey key;
  if (RegKey::Open(Hive::ClassesRoot, classKey + u"\\LocalServer32", &key) == ERROR_SUCCESS) return true;
  RegKey classEntry;
  if (RegKey::Open(Hive::ClassesRoot, classKey, &classEntry) != ERROR_SUCCESS) return false;
  std::u16string appId;
  if (classEntry.GetString(u"AppID", &appId) != ERROR_SUCCESS || appId.empty()) return false;
  RegKey app;
  if (RegKey::Open(Hive::ClassesRoot, u"AppID\\" + appId, &app) != ERROR_SUCCESS) return false;
  std::u16string service;
  return app.GetString(u"LocalService", &service) == ERROR_SUCCESS && !service.empty();
}

HRESULT ActivateLocalServer(const CLSID& /*clsid*/, DWORD /*clsContext*/, const IID& /*iid*/, void** object) {
  *object = nullptr;
  return CO_E_SERVER_EXEC_FAILURE;
}

}  // namespace rzd::com_internal
