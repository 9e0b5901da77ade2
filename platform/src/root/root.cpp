#include "platform/root.h"

#include "errors/errno_map.h"
#include "platform/errors.h"
#include "platform/process.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
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

fs::path RootInForce() {
  if (auto root = GetEnv("RZD_ROOT"); root && !root->empty()) return fs::path(*root);
  if (auto state = GetEnv("XDG_STATE_HOME"); state && !state->empty()) return fs::path(*state) / "rzd";
  if (auto home = GetEnv("HOME"); home && !home->empty()) return fs::path(*home) / ".local" / "state" / "rzd";
  return fs::path("/tmp") / "rzd";
}

// Makes the root private; false while that cannot be settled yet. A missing root is made
// (EnsurePrivateFolder) only when its parent folder exists; one whose parent is missing too is
// left to be looked at again (a root named in a test, or a user's state folder not made yet, is
// never made on the way), as is one that could not be made.
bool MakeRootPrivate(const fs::path& root) {
  std::error_code ec;
  if (!fs::exists(root, ec) && !fs::is_directory(root.parent_path(), ec)) return false;
  EnsurePrivateFolder(root);  // another user's root stays as it is
  return fs::exists(root, ec);
}

// Takes the group and other permission bits off what `info` describes, when it is this user's,
// through `narrow` (chmod or fchmod with the new mode).
template <typename Narrow>
uint32_t TakeOffOthersBits(const struct stat& info, Narrow narrow) {
  if (info.st_uid != geteuid()) return ERROR_ACCESS_DENIED;
  if ((info.st_mode & 077) != 0 && narrow(info.st_mode & 07700) != 0) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

// Once per process and root. A thread that saw the root last time passes without the lock.
// Neither the list nor what threads point into is ever destroyed: a static destructor may still
// ask for the root.
void KeepPrivate(const fs::path& root) {
  thread_local const std::string* seen = nullptr;
  const std::string& text = root.native();
  if (seen != nullptr && *seen == text) return;
  static std::mutex* lock = new std::mutex;
  static std::set<std::string>* done = new std::set<std::string>;
  std::lock_guard guard(*lock);
  auto at = done->find(text);
  if (at == done->end()) {
    if (!MakeRootPrivate(root)) return;
    at = done->insert(text).first;
  }
  seen = &*at;
}
}  // namespace

uint32_t EnsurePrivateFolder(const fs::path& folder) {
  std::error_code ec;
  if (!fs::exists(folder, ec)) {
    if (uint32_t error = CreatePrivateFolders(folder); error != ERROR_SUCCESS) return error;
  }
  struct stat info{};
  if (lstat(folder.c_str(), &info) != 0) return ERROR_PATH_NOT_FOUND;
  if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid()) return ERROR_ACCESS_DENIED;
  // A sticky folder is shared on purpose (/tmp, say, as a root or the folder of a socket) and
  // stays so: what the system makes in it is private in itself. A folder merely left open (a
  // lax umask) is narrowed.
  if ((info.st_mode & S_ISVTX) != 0) return ERROR_SUCCESS;
  if ((info.st_mode & 0777) != 0700 && chmod(folder.c_str(), 0700) != 0) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

uint32_t CreatePrivateFolders(const fs::path& folder) {
  std::error_code ec;
  if (folder.empty()) return ERROR_PATH_NOT_FOUND;
  if (fs::is_directory(folder, ec)) return ERROR_SUCCESS;
  const fs::path parent = folder.parent_path();
  if (!parent.empty() && parent != folder) {
    if (uint32_t error = CreatePrivateFolders(parent); error != ERROR_SUCCESS) {
      return error == ERROR_ALREADY_EXISTS ? ERROR_PATH_NOT_FOUND : error;
    }
  }
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return oserror::Win32FromErrno(errno, "creation of a private folder", {{ENOENT, ERROR_PATH_NOT_FOUND}});
  }
  return fs::is_directory(folder, ec) ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;  // a file of that name
}

uint32_t EnsurePrivateFile(const fs::path& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) {
    return oserror::Win32FromErrno(errno, "creation of a private file", {{ENOENT, ERROR_PATH_NOT_FOUND}});
  }
  struct stat info {};
  const uint32_t result = fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)
                              ? ERROR_ACCESS_DENIED
                              : TakeOffOthersBits(info, [fd](mode_t mode) { return fchmod(fd, mode); });
  close(fd);
  return result;
}

uint32_t MakeOwnerOnly(const fs::path& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    return errno == ENOENT ? ERROR_SUCCESS : oserror::Win32FromErrno(errno, "look-up of a private file");
  }
  if (S_ISLNK(info.st_mode)) return ERROR_SUCCESS;
  return TakeOffOthersBits(info, [&path](mode_t mode) { return chmod(path.c_str(), mode); });
}

fs::path SystemRoot() {
  fs::path root = RootInForce();
  KeepPrivate(root);
  return root;
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
  CreatePrivateFolders(path);
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
