// A local server for the platform's tests: serves one class whose objects have only IUnknown.
//
//   com_server_child {CLSID}
//
// Appends "start <pid> <session>" to <root>/com-server.log, "lost <pid>" when another server
// has the class, and "released <pid>" at each object's final release. Ends once its root goes,
// or once <root>/com-server.end exists: it then ends its local server (EndLocalServer), appends
// "ended <pid> <its answer, 0 or 1>" and "again <pid> <HRESULT in hex>" (a new registration of
// the class), and returns from main.
#include "platform/com_object.h"
#include "platform/com_remote.h"
#include "platform/process.h"
#include "platform/root.h"
#include "platform/session.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

void Log(const std::string& line) {
  std::ofstream out(rzd::SystemRoot() / "com-server.log", std::ios::app);
  out << line << '\n';
}

struct IPlain : IUnknown {};

class Plain final : public rzd::ComObject<IPlain> {
 protected:
  void* FindInterface(const IID&) override { return nullptr; }
  void FinalRelease() override { Log("released " + std::to_string(rzd::CurrentProcessId())); }
};

HRESULT Create(IUnknown* outer, const IID& iid, void** object) { return rzd::CreateComObject<Plain>(outer, iid, object); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  auto clsid = rzd::ParseGuid(std::string(argv[1]));
  if (!clsid) return 2;
  const std::filesystem::path root = rzd::SystemRoot();
  Log("start " + std::to_string(rzd::CurrentProcessId()) + " " + std::to_string(rzd::CurrentSessionId()));
  rzd::ComInit com(COINIT_MULTITHREADED);
  rzd::ComPtr<IUnknown> factory;
  rzd::CreateComObject<rzd::ClassFactory>(nullptr, IID_IUnknown, factory.OutVoid(), &Create, nullptr);
  DWORD cookie = 0;
  if (FAILED(CoRegisterClassObject(*clsid, factory.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie))) {
    Log("lost " + std::to_string(rzd::CurrentProcessId()));
    return 3;
  }
  const std::string pid = std::to_string(rzd::CurrentProcessId());
  while (std::filesystem::exists(root)) {
    if (std::filesystem::exists(root / "com-server.end")) {
      Log("ended " + pid + " " + std::to_string(rzd::EndLocalServer() ? 1 : 0));
      DWORD again = 0;
      char hr[16];
      std::snprintf(hr, sizeof hr, "%08X",
                    static_cast<uint32_t>(CoRegisterClassObject(*clsid, factory.Get(), CLSCTX_LOCAL_SERVER,
                                                                REGCLS_MULTIPLEUSE, &again)));
      Log("again " + pid + " " + hr);
      CoRevokeClassObject(cookie);
      return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::_Exit(0);
}
