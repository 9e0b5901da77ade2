#include "platform/session.h"

#include "platform/process.h"
#include "platform/root.h"
#include "platform/text.h"
#include "root/kept_line.h"

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
  std::string text;
  if (!(in >> text)) return std::nullopt;
  return ParseUInt32(text);
}

void WriteNumber(const fs::path& file, uint32_t value) { root_internal::WriteKeptLine(file, std::to_string(value)); }

// The session named by another process's environment (/proc/<pid>/environ), when it names one.
std::optional<uint32_t> EnvironmentSession(uint32_t pid) {
  if (pid == CurrentProcessId()) {
    auto value = GetEnv(kSessionEnvironmentVariable);
    return value ? ParseUInt32(*value) : std::nullopt;
  }
  std::ifstream in("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
  const std::string prefix = std::string(kSessionEnvironmentVariable) + "=";
  std::string entry;
  while (std::getline(in, entry, '\0')) {
    if (entry.compare(0, prefix.size(), prefix) == 0) return ParseUInt32(entry.substr(prefix.size()));
  }
  return std::nullopt;
}
}  // namespace

uint32_t ActiveConsoleSessionId() {
  if (auto v = ReadNumber(SessionFolder() / "console")) return *v;
  if (auto env = GetEnv("RZD_CONSOLE_SESSION")) {
    if (auto v = ParseUInt32(*env)) return *v;
  }
  return kUserSession;
}

void SetActiveConsoleSession(uint32_t session) { WriteNumber(SessionFolder() / "console", session); }

std::optional<uint32_t> ProcessSessionId(uint32_t pid) {
  if (!IsProcessAlive(pid)) return std::nullopt;
  if (auto v = ReadNumber(SessionFolder() / ("pid-" + std::to_string(pid)))) return *v;
  if (auto v = EnvironmentSession(pid)) return *v;
  return kUserSession;
}

uint32_t CurrentSessionId() { return ProcessSessionId(CurrentProcessId()).value_or(kUserSession); }

void SetConsoleSessionForTests(uint32_t session) { SetActiveConsoleSession(session); }

void SetProcessSessionForTests(uint32_t pid, uint32_t session) {
  WriteNumber(SessionFolder() / ("pid-" + std::to_string(pid)), session);
}

std::string ConsoleUserName() {
  struct passwd* pw = getpwuid(getuid());
  return pw != nullptr && pw->pw_name != nullptr ? pw->pw_name : "user";
}

}  // namespace rzd
