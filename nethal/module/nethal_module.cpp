// libnethal.so, the in-process bridge: the class RZDHALM48tzInProc behind its five entry points.
// The shared object's constructor and destructor stand in for the process attach and detach.
#include "m48tz_inproc.h"
#include "registration.h"

#include "nethal/bridge.h"

#include "foundation/diag_sink.h"
#include "foundation/folders.h"
#include "foundation/module_info.h"
#include "foundation/module_objects.h"

#define NETHAL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The guard variable of the program search path: the maker's common folder goes in front once per
// process.
constexpr char16_t kPathGuardName[] = u"Corvanite2010";

const char kModuleAnchor = 0;

__attribute__((constructor)) void NethalProcessAttach() {
  try {
    rzd::SetModuleInstance(&kModuleAnchor);
    rzd::AddCommonFilesFolderToPath(kPathGuardName);
  } catch (...) {
    // Nothing may leave the loader's call; a failed step stays undone.
  }
}

__attribute__((destructor)) void NethalProcessDetach() {
  try {
    if (rzd::DiagnosticsStarted()) rzd::StopDiagnostics();
  } catch (...) {
  }
  rzd::DestroyModuleObjects();
}

}  // namespace

NETHAL_EXPORT HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  rzd::StartDiagnostics(u"Corvanite", u"M48tzIPHAL");
  if (clsid != CLSID_RZDHALM48tzInProc) return CLASS_E_CLASSNOTAVAILABLE;
  return rzd::GetClassFactory<rzd::nethal::CRZDHALM48tzInProc>(&rzd::nethal::BridgeModule(), iid, object);
}

// S_OK (after stopping the diagnostics thread) once no object or lock is left, else S_FALSE.
NETHAL_EXPORT HRESULT DllCanUnloadNow() {
  if (rzd::nethal::BridgeModule().CanUnloadNow() != S_OK) return S_FALSE;
  rzd::StopDiagnostics();
  return S_OK;
}

NETHAL_EXPORT HRESULT DllRegisterServer() { return rzd::nethal::RegisterBridge(rzd::GetModulePath(), false); }

NETHAL_EXPORT HRESULT DllUnregisterServer() { return rzd::nethal::UnregisterBridge(rzd::GetModulePath(), false); }

// Registers (install) or unregisters per machine, or per user with the command line "user".
// A registration that fails is undone.
NETHAL_EXPORT HRESULT DllInstall(BOOL install, const OLECHAR* commandLine) {
  const bool perUser = rzd::nethal::InstallsPerUser(commandLine);
  const std::filesystem::path module = rzd::GetModulePath();
  if (install == 0) return rzd::nethal::UnregisterBridge(module, perUser);
  const HRESULT hr = rzd::nethal::RegisterBridge(module, perUser);
  if (FAILED(hr)) rzd::nethal::UnregisterBridge(module, perUser);
  return hr;
}
