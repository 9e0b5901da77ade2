// lowdrv_exit_probe: loads the driver library as the service does, runs a few calls, and then
// returns from main with the library still loaded, so the library's unload runs at the end of the
// process (or, with "unload", unloads it first).
//
//   lowdrv_exit_probe --out <file> <step>...
//
// Steps, run in order (each answer is one line appended to the file, written at once):
//   open <device path>   the open code ("open ok" or "open failed"); its handle becomes the current one
//   lock                 the lock code on the current handle, no wait ("lock ok" or "lock failed")
//   unload               unloads the library ("unload")
// The exit code is 0 after the last step (whatever the calls answered), 2 for a bad command line.
#include "lowdrv/core/api.h"
#include "lowdrv/core/driver_codes.h"
#include "platform/modules.h"
#include "platform/text.h"

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace cc = rzd::lowdrv::cc;

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2 || args[0] != "--out") return 2;
  const std::string out = args[1];
  auto answer = [&](const std::string& line) {
    std::ofstream file(out, std::ios::app);
    file << line << '\n';
  };

  std::unique_ptr<rzd::Module> library = rzd::Module::Load(RZD_LOWDRV_LIBRARY);
  if (!library) return 1;
  const auto control = library->Bind<ControlFunction>("Control");
  if (control == nullptr) return 1;

  void* handle = nullptr;
  for (size_t i = 2; i < args.size(); ++i) {
    BSTR error = nullptr;
    if (args[i] == "open" && i + 1 < args.size()) {
      const std::u16string path = rzd::FromUtf8(args[++i]);
      void* opened = nullptr;
      uint32_t size = sizeof opened;
      const BOOL ok = control(nullptr, cc::kOpen, path.c_str(), nullptr, nullptr, 0, &opened, &size, &error);
      if (ok) handle = opened;
      answer(ok ? "open ok" : "open failed");
    } else if (args[i] == "lock") {
      uint32_t wait = 0;
      const BOOL locked = control(handle, cc::kLock, nullptr, nullptr, &wait, sizeof wait, nullptr, nullptr, &error);
      answer(locked ? "lock ok" : "lock failed");
    } else if (args[i] == "unload") {
      library.reset();
      answer("unload");
    } else {
      return 2;
    }
    SysFreeString(error);
  }
  // The library (unless unloaded above) stays loaded to the end of the process, with whatever
  // is still open.
  static rzd::Module* const resident = library.release();
  static_cast<void>(resident);
  return 0;
}
