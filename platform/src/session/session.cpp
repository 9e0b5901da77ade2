#include "platform/session.h"

#include "platform/process.h"
#include "platform/root.h"

#include <fstream>
#include <pwd.h>
#include <string>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace rzd {

namespace {
constexpr uint32_t kUserSession = 1;

fs::path SessionFolder() { return SystemRoot() / "sessions"; }

std::optional<uint32_t> ReadNumber(const fs::path& file) {
  std::ifstream in(file);
  uint32_t value = 0;
  if (in >> value) return value;
  return std::nullopt;
}

void WriteNumber(const fs::path& file, uint32_t value) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  fs::path temp = file;
  temp += ".tmp" + std::to_string(CurrentProcessId());
  {
    std::ofstream out(temp, std::ios::trunc);
    out << value << '\n';
  }
  fs::rename(temp, file, ec);
}
}  // namespace

uint32_t ActiveConsoleSessionId() {
  if (auto v = ReadNumber(SessionFolder() / "console")) return *v;
  if (auto env = GetEnv("RZD_CONSOLE_SESSION")) {
    try {
      return static_cast<uint32_t>(std::stoul(*env));
    } catch (...) {
    }
  }
  return kUserSession;
}

std::optional<uint32_t> ProcessSessionId(uint32_t pid) {
  if (!IsProcessAlive(pid)) return std::nullopt;
  if (auto v = ReadNumber(SessionFolder() / ("pid-" + std::to_string(pid)))) return *v;
  return kUserSession;
}

void SetConsoleSessionForTests(uint32_t session) { WriteNumber(SessionFolder() / "console", session); }

void SetProcessSessionForTests(uint32_t pid, uint32_t session) {
  WriteNumber(SessionFolder() / ("pid-" + std::to_string(pid)), session);
}

std::string ConsoleUserName() {
  struct passwd* pw = getpwuid(getuid());
  return pw != nullptr && pw->pw_name != nullptr ? pw->pw_name : "user";
}

}  // namespace rzd
