// rzd-diagconfig: sets the diagnostics configuration of the system root in force and announces
// changes to the running configuration servers.
#include "diagconfig/config_store.h"

#include "platform/com.h"
#include "platform/modules.h"
#include "platform/text.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: rzd-diagconfig <command> [arguments] [--notify]\n"
    "  register <library>                 run the server library's DllRegisterServer\n"
    "  unregister <library>               run its DllUnregisterServer\n"
    "  level <product> <feature> <bits>   set a feature's level bits (feature \"*\": the product's default)\n"
    "  remove <product> <feature>         remove a feature's level\n"
    "  emitter <library>|-                the emitter library the system loads (- for none)\n"
    "  output <file>|-                    the file the stand-in emitter appends to (- for the default)\n"
    "  fail <operation>...|none           make server operations answer E_FAIL\n"
    "  hang <operation>...|none           make server operations wait until released\n"
    "  wait-hanging <milliseconds>        wait until an operation hangs (exit 1 on time-out)\n"
    "  release                            let hanging operations go on, and stop hanging\n"
    "  notify                             announce a change to every listening server\n"
    "  show                               print the emitter settings and the levels of a product\n"
    "--notify announces the change after the command.\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "rzd-diagconfig: %s\n", message.c_str());
  return 1;
}

int Check(uint32_t error, const char* what) {
  if (error == ERROR_SUCCESS) return 0;
  return Fail(std::string(what) + " failed with error " + std::to_string(error));
}

bool ParseLevel(const std::string& text, uint32_t* level) {
  char* end = nullptr;
  unsigned long value = std::strtoul(text.c_str(), &end, 0);
  if (text.empty() || end == nullptr || *end != '\0' || value > 0xFFFFFFFFul) return false;
  *level = static_cast<uint32_t>(value);
  return true;
}

std::vector<std::u16string> Operations(const std::vector<std::string>& args) {
  std::vector<std::u16string> operations;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] != "none") operations.push_back(rzd::FromUtf8(args[i]));
  }
  return operations;
}

int CallRegistration(const std::string& library, const char* entry) {
  std::string error;
  auto module = rzd::Module::Load(library, &error);
  if (!module) return Fail("cannot load " + library + ": " + error);
  auto function = module->Bind<HRESULT (*)()>(entry);
  if (function == nullptr) return Fail(library + " has no " + entry);
  HRESULT hr = function();
  if (FAILED(hr)) return Fail(std::string(entry) + " answered " + rzd::FormatA("0x%08X", static_cast<uint32_t>(hr)));
  return 0;
}

int Show(const std::vector<std::string>& args) {
  std::printf("emitter: %s\n", rzd::ToUtf8(cordiag::EmitterPath()).c_str());
  std::printf("output: %s\n", cordiag::EmitterOutput().string().c_str());
  if (args.size() > 1) {
    const std::u16string product = rzd::FromUtf8(args[1]);
    if (auto level = cordiag::ConfiguredLevel(product, cordiag::kDefaultFeature)) std::printf("* = %u\n", *level);
    for (const auto& feature : cordiag::ConfiguredFeatures(product)) {
      std::printf("%s = %u\n", rzd::ToUtf8(feature).c_str(), cordiag::ConfiguredLevel(product, feature).value_or(0));
    }
  }
  return 0;
}

int Run(const std::vector<std::string>& args) {
  const std::string& command = args[0];
  auto need = [&](size_t count) { return args.size() == count + 1; };
  if (command == "register" && need(1)) return CallRegistration(args[1], "DllRegisterServer");
  if (command == "unregister" && need(1)) return CallRegistration(args[1], "DllUnregisterServer");
  if (command == "level" && need(3)) {
    uint32_t level = 0;
    if (!ParseLevel(args[3], &level)) return Fail("not a level: " + args[3]);
    return Check(cordiag::SetFeatureLevel(rzd::FromUtf8(args[1]), rzd::FromUtf8(args[2]), level), "level");
  }
  if (command == "remove" && need(2)) {
    return Check(cordiag::RemoveFeature(rzd::FromUtf8(args[1]), rzd::FromUtf8(args[2])), "remove");
  }
  if (command == "emitter" && need(1)) {
    return Check(cordiag::SetEmitterPath(args[1] == "-" ? u"" : rzd::FromUtf8(args[1])), "emitter");
  }
  if (command == "output" && need(1)) {
    return Check(cordiag::SetEmitterOutput(args[1] == "-" ? u"" : rzd::FromUtf8(args[1])), "output");
  }
  if (command == "fail" && args.size() >= 2) return Check(cordiag::SetFailingOperations(Operations(args)), "fail");
  if (command == "hang" && args.size() >= 2) return Check(cordiag::SetHangingOperations(Operations(args)), "hang");
  if (command == "wait-hanging" && need(1)) {
    uint32_t timeout = 0;
    if (!ParseLevel(args[1], &timeout)) return Fail("not a time-out: " + args[1]);
    return cordiag::WaitForHanging(timeout) ? 0 : Fail("no operation hangs");
  }
  if (command == "release" && need(0)) return Check(cordiag::ReleaseHanging(), "release");
  if (command == "notify" && need(0)) {
    std::printf("%zu listeners signalled\n", cordiag::NotifyChanged());
    return 0;
  }
  if (command == "show" && args.size() <= 2) return Show(args);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  bool notify = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--notify") {
      notify = true;
    } else {
      args.push_back(std::move(arg));
    }
  }
  if (args.empty()) {
    if (!notify) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    args.push_back("notify");
    notify = false;
  }
  int result = Run(args);
  if (result == 0 && notify) cordiag::NotifyChanged();
  return result;
}
