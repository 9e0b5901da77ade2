// An exclusive lock on a lock file, seen by every process until it is dropped, also when its
// holder dies (the kernel drops it with the holder's last descriptor).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

namespace rzd::ipc {

// Opens (creating) the lock file at `path` for reading and writing, mode 0600 also when it
// existed (one an earlier build left open is narrowed; another user's stays as it is). Every lock
// file the system keeps is opened here. The descriptor, or -1 with errno set.
int OpenLockFile(const std::filesystem::path& path);

class FileLock {
 public:
  // Opens (creating) the lock file, mode 0600 also when it existed; the lock is not taken yet.
  explicit FileLock(const std::filesystem::path& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool Opened() const { return fd_ >= 0; }
  // Takes the lock, trying until `timeoutMs` has passed; false at once when `giveUp` (asked
  // between tries) answers true.
  bool LockWithin(uint32_t timeoutMs, const std::function<bool()>& giveUp = {});
  // The lock file's first 4 bytes (what its holder recorded), and writing them.
  bool ReadTag(uint32_t* tag) const;
  bool WriteTag(uint32_t tag) const;
  // Hands the descriptor (and the lock with it) to the caller, who closes it to drop the lock.
  int Release();

 private:
  int fd_ = -1;
};

}  // namespace rzd::ipc
