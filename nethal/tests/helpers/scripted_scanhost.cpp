// The scripted scanner service in a process of its own (support/scan_script.h): a plain local
// server of one class.
//
//   scripted_scanhost --clsid {GUID}
//
// It appends "start <pid> scan" to the root's test-server log (so a test's tear-down ends it) and
// ends by itself once its root is removed.
#include "scripted_scan_hal.h"

#include "interfaces/rzdhal_proxy_stub.h"
#include "platform/com_object.h"
#include "platform/process.h"
#include "platform/root.h"
#include "test_server.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "--clsid") return 2;
  const auto clsid = rzd::ParseGuid(std::string(argv[2]));
  if (!clsid) return 2;
  {
    std::ofstream log(rzd::test::TestServerLog(), std::ios::app);
    log << "start " << rzd::CurrentProcessId() << " scan\n";
  }
  const std::filesystem::path root = rzd::SystemRoot();
  rzd::ComInit com(COINIT_MULTITHREADED);
  if (FAILED(rzd::RegisterRzdHalProxyStub())) return 1;
  rzd::ComPtr<IUnknown> factory;
  auto create = [](IUnknown* outer, const IID& iid, void** object) {
    return rzd::test::CreateScriptedScanHal(outer, iid, object);
  };
  rzd::CreateComObject<rzd::ClassFactory>(nullptr, IID_IUnknown, factory.OutVoid(), +create, nullptr);
  DWORD cookie = 0;
  if (FAILED(CoRegisterClassObject(*clsid, factory.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie))) return 3;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::error_code ec;
    if (!std::filesystem::exists(root, ec)) std::_Exit(0);
  }
}
