// rzd-fwupdater: the firmware updater the settings panel starts, as a scripted stand-in. It
// records how it was started and ends with the code its script names:
//
//   <root>/fwupdater/calls.log   one line per start: the working folder, then each argument,
//                                separated by tabs
//   <root>/fwupdater/exit-code   the code to end with (default 0)
//   <root>/fwupdater/hold        while this file exists the updater keeps running (at most ten
//                                minutes, and never after its root is gone)
#include "platform/root.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const fs::path folder = rzd::SystemRoot() / "fwupdater";
  std::error_code ec;
  rzd::CreatePrivateFolders(folder);
  rzd::EnsurePrivateFile(folder / "calls.log");
  {
    std::ofstream log(folder / "calls.log", std::ios::app);
    log << fs::current_path(ec).string();
    for (int i = 1; i < argc; ++i) log << '\t' << argv[i];
    log << '\n';
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
  while (fs::exists(folder / "hold", ec) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  int code = 0;
  std::ifstream script(folder / "exit-code");
  script >> code;
  return code;
}
