// Permission bits of what a test finds on disk, and a umask set for the length of a scope, for
// tests that pin the modes the system gives its files whatever the umask it runs under.
#pragma once

#include <filesystem>

#include <sys/stat.h>

namespace rzd::test {

// The entry's permission bits (07777), not following a symbolic link; 0xFFFF when it is missing.
inline mode_t ModeOf(const std::filesystem::path& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0xFFFF;
}

// Sets the process's umask (which children started meanwhile inherit) and puts the previous one
// back at the end of the scope.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : previous_(umask(mask)) {}
  ~ScopedUmask() { umask(previous_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t previous_;
};

}  // namespace rzd::test
