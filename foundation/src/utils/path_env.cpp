// The maker's common folder in front of the program search path, once per process.
#include "foundation/folders.h"

#include "platform/process.h"
#include "platform/text.h"

#include <mutex>

namespace rzd {

namespace {
std::mutex& EnvironmentLock() {
  static std::mutex lock;  // nothing to destroy: usable to the end of the process
  return lock;
}
}  // namespace

bool PrependToPath(const std::filesystem::path& folder, std::u16string_view guardName) {
  std::string guard = ToUtf8(guardName);
  std::string entry = folder.string();
  // A name that cannot be an environment variable, or a folder that cannot be one PATH entry.
  if (guard.empty() || guard.find('=') != std::string::npos || entry.empty() || entry.find(':') != std::string::npos) {
    return false;
  }
  std::lock_guard lock(EnvironmentLock());
  if (GetEnv(guard)) return true;
  std::optional<std::string> old = GetEnv("PATH");
  // An empty PATH gets the folder alone: a trailing separator would add the working folder.
  std::string value = (old && !old->empty()) ? entry + ":" + *old : entry;
  SetEnv("PATH", value);
  if (GetEnv("PATH") != value) return false;
  SetEnv(guard, "true");
  return GetEnv(guard).has_value();
}

bool AddCommonFilesFolderToPath(std::u16string_view guardName) {
  std::filesystem::path folder;
  if (!GetCommonFilesFolder(&folder)) return false;
  return PrependToPath(folder, guardName);
}

}  // namespace rzd
