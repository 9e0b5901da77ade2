#include "platform/root.h"

#include "platform/process.h"

#include <cstdlib>
#include <functional>
#include <pwd.h>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace rzd {

namespace {
// The calling user's account name, as a folder name.
std::string UserName() {
  struct passwd* pw = getpwuid(geteuid());
  std::string name = pw != nullptr && pw->pw_name != nullptr ? pw->pw_name : "";
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    name = "user" + std::to_string(geteuid());
  }
  return name;
}
}  // namespace

fs::path SystemRoot() {
  if (auto root = GetEnv("RZD_ROOT"); root && !root->empty()) return fs::path(*root);
  if (auto state = GetEnv("XDG_STATE_HOME"); state && !state->empty()) return fs::path(*state) / "rzd";
  if (auto home = GetEnv("HOME"); home && !home->empty()) return fs::path(*home) / ".local" / "state" / "rzd";
  return fs::path("/tmp") / "rzd";
}

std::string RootNamespaceToken() {
  // FNV-1a of the root's absolute path: short, stable across processes, and distinct per root.
  std::string text = fs::absolute(SystemRoot()).lexically_normal().string();
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  static const char* kDigits = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 12; ++i) token.push_back(kDigits[(hash >> (4 * i)) & 0xF]);
  return token;
}

fs::path KnownFolderPath(KnownFolder folder) {
  fs::path root = SystemRoot();
  fs::path path;
  switch (folder) {
    case KnownFolder::CommonAppData: path = root / "ProgramData"; break;
    case KnownFolder::ProgramFiles: path = root / "Program Files"; break;
    case KnownFolder::ProgramFilesX86: path = root / "Program Files (x86)"; break;
    case KnownFolder::CommonFiles: path = root / "Program Files" / "Common Files"; break;
    case KnownFolder::CommonFilesX86: path = root / "Program Files (x86)" / "Common Files"; break;
    case KnownFolder::Windows: path = root / "Windows"; break;
    case KnownFolder::System: path = root / "Windows" / "System32"; break;
    case KnownFolder::InstallLog: path = root / "Log"; break;
    case KnownFolder::Temp: path = root / "Windows" / "Temp"; break;
    case KnownFolder::LocalAppData: path = root / "Users" / UserName() / "AppData" / "Local"; break;
  }
  std::error_code ec;
  fs::create_directories(path, ec);
  return path;
}

fs::path CreateUniqueTempFolder(const std::string& prefix) {
  fs::path base = fs::temp_directory_path();
  std::string pattern = (base / (prefix + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  return fs::path(pattern);
}

}  // namespace rzd
