// The profile functions over files: plain reads, and writes that re-read, edit and replace the
// file under an exclusive lock shared by every process.
#include "platform/ini.h"

#include "errors/errno_map.h"
#include "ini/ini_codec.h"
#include "ini/ini_document.h"
#include "ipc/file_lock.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "platform/text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <functional>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace rzd {

namespace {

// The numbers ini.h promises: a missing folder is ERROR_PATH_NOT_FOUND, and a file that cannot be
// read or written for want of room or descriptors is ERROR_GEN_FAILURE.
uint32_t ErrorFromErrno(int err, std::string_view what) {
  return oserror::Win32FromErrno(err, what,
                                 {{ENOENT, ERROR_PATH_NOT_FOUND},
                                  {ENOTDIR, ERROR_PATH_NOT_FOUND},
                                  {ENOSPC, ERROR_GEN_FAILURE},
                                  {EDQUOT, ERROR_GEN_FAILURE},
                                  {EFBIG, ERROR_GEN_FAILURE},
                                  {EMFILE, ERROR_GEN_FAILURE},
                                  {ENFILE, ERROR_GEN_FAILURE}});
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

enum class ReadResult { Ok, Missing, Failed };

// Reads the whole file; bounded by kMaxIniFileBytes.
ReadResult ReadFileBytes(const fs::path& file, std::string& bytes, uint32_t& error) {
  bytes.clear();
  Fd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) {
    if (errno == ENOENT) return ReadResult::Missing;
    error = ErrorFromErrno(errno, "open of a profile file");
    return ReadResult::Failed;
  }
  struct stat st {};
  if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uintmax_t>(st.st_size) > kMaxIniFileBytes) {
    error = ERROR_GEN_FAILURE;
    return ReadResult::Failed;
  }
  char buffer[16384];
  for (;;) {
    ssize_t n = read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = ErrorFromErrno(errno, "read of a profile file");
      return ReadResult::Failed;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
    if (bytes.size() > kMaxIniFileBytes) {
      error = ERROR_GEN_FAILURE;
      return ReadResult::Failed;
    }
  }
  return ReadResult::Ok;
}

std::optional<ini::IniDocument> LoadDocument(const fs::path& file) {
  std::string bytes;
  uint32_t error = 0;
  if (ReadFileBytes(file, bytes, error) != ReadResult::Ok) return std::nullopt;
  return ini::IniDocument::Parse(ini::DecodeProfileBytes(bytes));
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Temporary files of a write: ".<file name>.<pid>.<thread id>.<counter>.tmp" beside the file.
std::string TempPrefix(const fs::path& file) { return "." + file.filename().string() + "."; }

// A new profile file is the user's alone (whatever the umask), as its lock file (OpenLockFile). A
// file that exists keeps its mode across the rename: one its owner opened to others on purpose
// stays so.
constexpr mode_t kNewFileMode = 0600;

// Writes `bytes` to a temporary file beside `file` and renames it over `file`.
uint32_t ReplaceFile(const fs::path& file, std::string_view bytes) {
  static std::atomic<uint32_t> counter{0};
  fs::path temp = file.parent_path() / (TempPrefix(file) + std::to_string(CurrentProcessId()) + "." +
                                        std::to_string(CurrentThreadId()) + "." +
                                        std::to_string(counter.fetch_add(1)) + ".tmp");
  mode_t mode = kNewFileMode;
  struct stat st {};
  if (stat(file.c_str(), &st) == 0) mode = st.st_mode & 07777;
  Fd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (!fd.Valid()) return ErrorFromErrno(errno, "creation of a profile file's temporary file");
  bool ok = WriteAll(fd.Get(), bytes) && fchmod(fd.Get(), mode) == 0 && fsync(fd.Get()) == 0;
  if (ok) ok = rename(temp.c_str(), file.c_str()) == 0;
  if (!ok) {
    int err = errno;
    unlink(temp.c_str());
    return ErrorFromErrno(err, "write of a profile file");
  }
  return ERROR_SUCCESS;
}

// Removes the temporary files that writers of `file` left when they were killed mid-write. Runs
// under the write lock, so no live writer of the file is inside; a temporary file whose writer
// still runs (which would be a fault) is left alone all the same.
void SweepDeadWritersFiles(const fs::path& file) {
  const std::string prefix = TempPrefix(file);
  std::error_code ec;
  for (fs::directory_iterator it(file.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0) {
      continue;
    }
    const std::string pidText = name.substr(prefix.size(), name.find('.', prefix.size()) - prefix.size());
    if (pidText.empty() || pidText.size() > 10 || pidText.find_first_not_of("0123456789") != std::string::npos) continue;
    const unsigned long pid = std::stoul(pidText);
    if (pid != CurrentProcessId() && !IsProcessAlive(static_cast<uint32_t>(pid))) unlink(it->path().c_str());
  }
}

// Serialises writers: threads of this process through the mutex (record locks belong to the
// process), processes through the lock file. Both waits end at the same deadline.
std::timed_mutex& ProcessWriteLock() {
  static std::timed_mutex lock;
  return lock;
}

// Takes the exclusive record lock on the lock file by `deadline`. 0, ERROR_SHARING_VIOLATION when
// another process kept it all that time, or the failure.
uint32_t LockUntil(int fd, std::chrono::steady_clock::time_point deadline) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (fcntl(fd, F_SETLK, &fl) == 0) return ERROR_SUCCESS;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EACCES) return ErrorFromErrno(errno, "lock of a profile file");
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return ERROR_SHARING_VIOLATION;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
}

// What an edit of the file did.
enum class Edit { Unchanged, Changed };

// Runs `edit` on the current bytes of `file` (empty when it is missing) under the write lock and
// writes the result when it changed something.
uint32_t ModifyFile(const fs::path& file, const std::function<Edit(const std::string& bytes, std::string& out)>& edit) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kIniLockWaitMs);
  std::unique_lock<std::timed_mutex> guard(ProcessWriteLock(), deadline);
  if (!guard.owns_lock()) return ERROR_SHARING_VIOLATION;
  fs::path lockPath = file;
  lockPath += ".lock";
  Fd lockFd(ipc::OpenLockFile(lockPath));
  if (!lockFd.Valid()) return ErrorFromErrno(errno, "open of a profile file's lock file");
  // The lock is released when lockFd closes.
  if (uint32_t locked = LockUntil(lockFd.Get(), deadline); locked != ERROR_SUCCESS) return locked;
  SweepDeadWritersFiles(file);
  std::string bytes;
  uint32_t error = ERROR_SUCCESS;
  ReadResult read = ReadFileBytes(file, bytes, error);
  if (read == ReadResult::Failed) return error;
  std::string out;
  if (edit(bytes, out) == Edit::Unchanged) return ERROR_SUCCESS;
  return ReplaceFile(file, out);
}

bool HasLineBreak(std::u16string_view text) { return text.find_first_of(u"\r\n") != std::u16string_view::npos; }

bool ValidSection(std::u16string_view section) {
  return !section.empty() && !HasLineBreak(section) && section.find(u']') == std::u16string_view::npos;
}

bool ValidKey(std::u16string_view key) {
  return !key.empty() && !HasLineBreak(key) && key.find(u'=') == std::u16string_view::npos && key.front() != u'[';
}

bool Report(uint32_t code, uint32_t* error) {
  if (error) *error = code;
  return code == ERROR_SUCCESS;
}

}  // namespace

std::u16string GetPrivateProfileString(std::u16string_view section, std::u16string_view key,
                                       std::u16string_view defaultValue, const fs::path& file) {
  try {
    if (auto doc = LoadDocument(file)) {
      if (auto value = doc->Find(TrimView(section), TrimView(key))) return *value;
    }
    while (!defaultValue.empty() && (defaultValue.back() == u' ' || defaultValue.back() == u'\t')) {
      defaultValue.remove_suffix(1);
    }
    return std::u16string(defaultValue);
  } catch (const std::exception&) {
    return std::u16string(defaultValue);
  }
}

int32_t GetPrivateProfileInt(std::u16string_view section, std::u16string_view key, int32_t defaultValue,
                             const fs::path& file) {
  std::u16string text = GetPrivateProfileString(section, key, u"", file);
  if (text.empty()) return defaultValue;
  std::u16string_view s = text;
  size_t i = 0;
  while (i < s.size() && s[i] <= u' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  uint32_t base = 10;
  if (i + 1 < s.size() && s[i] == u'0') {
    char16_t p = s[i + 1];
    if (p == u'x' || p == u'X') base = 16;
    if (p == u'o' || p == u'O') base = 8;
    if (p == u'b' || p == u'B') base = 2;
    if (base != 10) i += 2;
  }
  uint32_t value = 0;
  for (; i < s.size(); ++i) {
    const int digit = HexDigitValue(s[i]);
    if (digit < 0 || static_cast<uint32_t>(digit) >= base) break;
    value = value * base + static_cast<uint32_t>(digit);  // wraps modulo 2^32
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

bool WritePrivateProfileString(std::u16string_view section, std::optional<std::u16string_view> key,
                               std::optional<std::u16string_view> value, const fs::path& file, uint32_t* error) {
  section = TrimView(section);
  if (key) key = TrimView(*key);
  if (!ValidSection(section) || (key && !ValidKey(*key)) || (value && HasLineBreak(*value))) {
    return Report(ERROR_INVALID_PARAMETER, error);
  }
  try {
    uint32_t code = ModifyFile(file, [&](const std::string& bytes, std::string& out) {
      ini::IniDocument doc = ini::IniDocument::Parse(ini::DecodeProfileBytes(bytes));
      bool changed;
      if (!key) {
        changed = doc.DeleteSection(section);
      } else if (!value) {
        changed = doc.DeleteKey(section, *key);
      } else {
        changed = doc.Set(section, *key, *value);
      }
      // Nothing to change (also a delete in a missing file): the file is left as it is.
      if (!changed) return Edit::Unchanged;
      out = ini::EncodeProfileText(doc.Serialize());
      return Edit::Changed;
    });
    return Report(code, error);
  } catch (const std::bad_alloc&) {
    return Report(ERROR_NOT_ENOUGH_MEMORY, error);
  } catch (const std::exception&) {
    return Report(ERROR_GEN_FAILURE, error);
  }
}

bool EnsureUnicodeProfileFile(const fs::path& file, uint32_t* error) {
  try {
    uint32_t code = ModifyFile(file, [](const std::string& bytes, std::string& out) {
      if (!bytes.empty()) return Edit::Unchanged;
      out = "\xFF\xFE";
      return Edit::Changed;
    });
    return Report(code, error);
  } catch (const std::exception&) {
    return Report(ERROR_GEN_FAILURE, error);
  }
}

std::vector<std::u16string> GetPrivateProfileSectionNames(const fs::path& file) {
  try {
    if (auto doc = LoadDocument(file)) return doc->SectionNames();
  } catch (const std::exception&) {
  }
  return {};
}

std::vector<std::u16string> GetPrivateProfileKeyNames(std::u16string_view section, const fs::path& file) {
  try {
    if (auto doc = LoadDocument(file)) return doc->KeyNames(TrimView(section));
  } catch (const std::exception&) {
  }
  return {};
}

}  // namespace rzd
