// The test server: a local server of the scripted IRZDHAL, run the ways the service will run.
//
//   rzdhal_test_server --clsid {GUID} [--single-use]   a plain local server of that class
//   rzdhal_test_server --echo PATH                      echoes 16-byte messages on a socket
//   <name>_NNNN_N [-RegServer | -Service | -UnregServer]
//       a copy named like a per-unit service serves instance N: with a switch it registers or
//       unregisters itself (class, AppID, service record, HAL_CLSID in the device class key
//       NNNN) and ends; without one it runs under the service control manager when its AppID
//       names it as a local service, else as a plain local server.
//
// Every process appends "start <pid> <mode>" to the root's test-server log, and "lost <pid>"
// when another server of its class already listens. It ends by itself once its root is removed.
#include "../support/scripted_hal.h"
#include "../support/test_server.h"
#include "interfaces/rzdhal_proxy_stub.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/com_object.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/local_socket.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/service_host.h"
#include "platform/text.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using rzd::ComPtr;

void Log(const std::string& line) {
  std::ofstream out(rzd::test::TestServerLog(), std::ios::app);
  out << line << '\n';
}

// Ends the process once its root is gone (the test that made it has finished).
void WatchRoot() {
  const std::filesystem::path root = rzd::SystemRoot();
  std::thread([root] {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      std::error_code ec;
      if (!std::filesystem::exists(root, ec)) std::_Exit(0);
    }
  }).detach();
}

HRESULT CreateHal(IUnknown* outer, const IID& iid, void** object) {
  return rzd::test::CreateScriptedHal(outer, iid, object);
}

// Registers the class object; false (after logging "lost") when another server has the class.
bool Serve(const CLSID& clsid, DWORD flags, DWORD* cookie) {
  ComPtr<IUnknown> factory;
  rzd::CreateComObject<rzd::ClassFactory>(nullptr, IID_IUnknown, factory.OutVoid(), &CreateHal, nullptr);
  HRESULT hr = CoRegisterClassObject(clsid, factory.Get(), CLSCTX_LOCAL_SERVER, flags, cookie);
  if (FAILED(hr)) {
    Log("lost " + std::to_string(rzd::CurrentProcessId()));
    return false;
  }
  return true;
}

int RunPlainServer(const CLSID& clsid, DWORD flags) {
  DWORD cookie = 0;
  if (!Serve(clsid, flags, &cookie)) return 3;
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(60));  // ends with its root or a signal
}

int RunEcho(const std::string& path) {
  rzd::LocalListener listener;
  if (rzd::LocalListener::Listen(path, &listener) != ERROR_SUCCESS) return 3;
  rzd::LocalStream stream;
  if (listener.Accept(&stream) != ERROR_SUCCESS) return 3;
  char message[16];
  while (stream.Receive(message, sizeof message) == ERROR_SUCCESS) {
    if (stream.Send(message, sizeof message) != ERROR_SUCCESS) break;
  }
  return 0;
}

// ---- Registration of a per-unit copy.

std::u16string ClassKey(const CLSID& clsid) { return u"SOFTWARE\\Classes\\CLSID\\" + rzd::FormatGuid(clsid); }
std::u16string AppIdKey(const GUID& appId) { return u"SOFTWARE\\Classes\\AppID\\" + rzd::FormatGuid(appId); }

int Register(const rzd::test::ServerName& name, bool asService) {
  const uint32_t instance = *name.instance;
  const std::u16string module = rzd::FromUtf8(rzd::ExecutablePath().string());
  rzd::RegKey app;
  if (rzd::RegKey::Create(rzd::Hive::LocalMachine, AppIdKey(rzd::test::TestServerAppId(instance)), &app) != 0) return 1;
  app.SetString(u"", name.service);
  app.DeleteValue(u"LocalService");
  if (asService) app.SetString(u"LocalService", name.service);
  rzd::RegKey cls;
  if (rzd::RegKey::Create(rzd::Hive::LocalMachine, ClassKey(rzd::test::TestServerClass(instance)), &cls) != 0) return 1;
  cls.SetString(u"", u"Scripted HAL test server");
  cls.SetString(u"AppID", rzd::FormatGuid(rzd::test::TestServerAppId(instance)));
  rzd::RegKey server;
  cls.CreateSubKey(u"LocalServer32", &server);
  server.SetString(u"", u"\"" + module + u"\"");
  if (!name.subkey.empty()) {
    rzd::RegKey unit;
    if (rzd::RegKey::Create(rzd::Hive::LocalMachine, std::u16string(rzd::lowdrv::kImageClassKey) + u"\\" + name.subkey,
                            &unit) == 0) {
      unit.SetString(u"HAL_CLSID", rzd::FormatGuid(rzd::test::TestServerClass(instance)));
    }
  }
  if (asService && !rzd::ServiceRecordExists(name.service)) {
    rzd::ServiceCreateInfo info;
    info.name = name.service;
    info.commandLine = u"\"" + module + u"\"";
    info.startType = SERVICE_AUTO_START;
    info.dependencies = {u"RPCSS"};
    if (rzd::CreateServiceRecord(info) != 0) return 1;
  }
  return 0;
}

int Unregister(const rzd::test::ServerName& name) {
  if (rzd::ServiceRecordExists(name.service)) {
    if (rzd::RequestServiceStop(name.service) == ERROR_SUCCESS) {
      rzd::WaitForServiceState(name.service, SERVICE_STOPPED, 30000);
    }
    rzd::DeleteServiceRecord(name.service);
  }
  rzd::RegKey::DeleteTree(rzd::Hive::LocalMachine, ClassKey(rzd::test::TestServerClass(*name.instance)));
  rzd::RegKey::DeleteTree(rzd::Hive::LocalMachine, AppIdKey(rzd::test::TestServerAppId(*name.instance)));
  return 0;
}

// ---- Running under the service control manager.

struct ServiceState {
  rzd::ServiceStatusHandle status = nullptr;
  rzd::Event stop = rzd::Event::Unnamed(true, false);
  uint32_t instance = 0;
} g_service;

uint32_t Handler(uint32_t control, uint32_t eventType, void* /*data*/, void* /*context*/) {
  Log("control " + std::to_string(control) + " " + std::to_string(eventType));
  if (control == SERVICE_CONTROL_STOP) {
    SERVICE_STATUS pending{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOP_PENDING, 0, 0, 0, 0, 0};
    rzd::SetServiceStatus(g_service.status, pending);
    g_service.stop.Set();
  }
  return 0;
}

void ServiceMain(uint32_t /*argc*/, char16_t** argv) {
  rzd::ComInit com(COINIT_MULTITHREADED);
  g_service.status = rzd::RegisterServiceCtrlHandlerEx(argv[0], &Handler, nullptr);
  if (g_service.status == nullptr) return;
  DWORD cookie = 0;
  if (!Serve(rzd::test::TestServerClass(g_service.instance), REGCLS_MULTIPLEUSE, &cookie)) {
    SERVICE_STATUS stopped{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 1, 0, 0, 0};
    rzd::SetServiceStatus(g_service.status, stopped);
    return;
  }
  SERVICE_STATUS running{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING,
                         SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_POWEREVENT | SERVICE_ACCEPT_SESSIONCHANGE, 0, 0, 0, 0};
  rzd::SetServiceStatus(g_service.status, running);
  g_service.stop.Wait(INFINITE);
  CoRevokeClassObject(cookie);
  SERVICE_STATUS stopped{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 0, 0, 0, 0};
  rzd::SetServiceStatus(g_service.status, stopped);
}

bool NamedAsLocalService(const rzd::test::ServerName& name) {
  rzd::RegKey app;
  std::u16string service;
  return rzd::RegKey::Open(rzd::Hive::ClassesRoot, u"AppID\\" + rzd::FormatGuid(rzd::test::TestServerAppId(*name.instance)),
                           &app) == 0 &&
         app.GetString(u"LocalService", &service) == 0 && rzd::EqualsNoCase(service, name.service);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string mode = args.empty() ? "run" : args[0];
  Log("start " + std::to_string(rzd::CurrentProcessId()) + " " + mode);
  WatchRoot();
  rzd::ComInit com(COINIT_MULTITHREADED);
  if (FAILED(rzd::RegisterRzdHalProxyStub())) return 1;

  if (mode == "--echo" && args.size() == 2) return RunEcho(args[1]);
  if (mode == "--clsid" && args.size() >= 2) {
    auto clsid = rzd::ParseGuid(args[1]);
    if (!clsid) return 2;
    const bool singleUse = args.size() == 3 && args[2] == "--single-use";
    return RunPlainServer(*clsid, singleUse ? REGCLS_SINGLEUSE : REGCLS_MULTIPLEUSE);
  }

  const rzd::test::ServerName name = rzd::test::ParseServerName(rzd::ExecutablePath());
  if (!name.instance) return -1;
  std::string lower = rzd::ToUtf8(rzd::ToLower(rzd::FromUtf8(mode)));
  if (!lower.empty() && (lower[0] == '-' || lower[0] == '/')) lower.erase(0, 1);
  if (lower == "regserver") return Register(name, false);
  if (lower == "service") return Register(name, true);
  if (lower == "unregserver") return Unregister(name);

  if (NamedAsLocalService(name)) {
    g_service.instance = *name.instance;
    const SERVICE_TABLE_ENTRY table[] = {{name.service.c_str(), &ServiceMain}, {nullptr, nullptr}};
    return static_cast<int>(rzd::StartServiceCtrlDispatcher(table));
  }
  return RunPlainServer(rzd::test::TestServerClass(*name.instance), REGCLS_MULTIPLEUSE);
}
