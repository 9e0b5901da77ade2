#include "file_lock.h"

#include <chrono>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rzd::ipc {

int OpenLockFile(const std::filesystem::path& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) fchmod(fd, 0600);  // also one an earlier build left open
  return fd;
}

FileLock::FileLock(const std::filesystem::path& path) : fd_(OpenLockFile(path)) {}

FileLock::~FileLock() {
  if (fd_ >= 0) close(fd_);
}

bool FileLock::LockWithin(uint32_t timeoutMs, const std::function<bool()>& giveUp) {
  if (fd_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if ((giveUp && giveUp()) || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool FileLock::ReadTag(uint32_t* tag) const {
  return fd_ >= 0 && pread(fd_, tag, sizeof *tag, 0) == static_cast<ssize_t>(sizeof *tag);
}

bool FileLock::WriteTag(uint32_t tag) const {
  return fd_ >= 0 && pwrite(fd_, &tag, sizeof tag, 0) == static_cast<ssize_t>(sizeof tag);
}

int FileLock::Release() { return std::exchange(fd_, -1); }

}  // namespace rzd::ipc
