// A client process of the tests: activates a class for IRZDHAL, asks the object which server
// process serves it, and writes "<result> <server pid>" (hexadecimal result) to a file.
//
//   rzdhal_test_client {CLSID} OUTPUT-FILE [--name NAME] [--registry-ps] [--wait]
//
// --name names the object (its final release sets "Global\rzdhal-released-NAME");
// --registry-ps finds the proxy/stub through the registry instead of linking it;
// --wait keeps the process (and so the object) alive until it is killed or its root goes.
#include "../support/scripted_hal.h"
#include "interfaces/rzdhal_proxy_stub.h"
#include "platform/process.h"
#include "platform/root.h"
#include "platform/text.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  auto clsid = rzd::ParseGuid(std::string(argv[1]));
  if (!clsid) return 2;
  const std::filesystem::path output = argv[2];
  std::string name;
  bool registryProxyStub = false;
  bool wait = false;
  for (int i = 3; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--name" && i + 1 < argc) {
      name = argv[++i];
    } else if (arg == "--registry-ps") {
      registryProxyStub = true;
    } else if (arg == "--wait") {
      wait = true;
    } else {
      return 2;
    }
  }
  rzd::ComInit com(COINIT_MULTITHREADED);
  if (!registryProxyStub && FAILED(rzd::RegisterRzdHalProxyStub())) return 1;

  rzd::ComPtr<IRZDHAL> hal;
  HRESULT hr = CoCreateInstance(*clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IRZDHAL, hal.OutVoid());
  uint32_t serverPid = 0;
  if (SUCCEEDED(hr)) {
    VARIANT in;
    VARIANT out;
    VariantInit(&in);
    VariantInit(&out);
    rzd::Bstr text;
    hr = hal->Control(rzd::test::kScriptWhoCalls, nullptr, text.Out(), &in, &out);
    serverPid = out.ulVal;
    if (SUCCEEDED(hr) && !name.empty()) {
      rzd::Bstr objectName(rzd::FromUtf8(name));
      hr = hal->Control(rzd::test::kScriptNameObject, objectName.Get(), text.Out(), &in, &out);
    }
  }
  {
    std::filesystem::path temp = output;
    temp += ".tmp";
    std::ofstream out(temp);
    char line[64];
    std::snprintf(line, sizeof line, "%08X %u\n", static_cast<uint32_t>(hr), serverPid);
    out << line;
    out.close();
    std::filesystem::rename(temp, output);
  }
  const std::filesystem::path root = rzd::SystemRoot();
  while (wait && std::filesystem::exists(root)) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  return SUCCEEDED(hr) ? 0 : 1;
}
