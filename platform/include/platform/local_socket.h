// Local stream sockets between processes of one user: the road of local COM servers and of the
// service control manager's controls.
//
// Sockets live in private folders (mode 0700, owned by the user) and are made 0600 before they
// get their final name, so no other user ever reaches one; both ends can still check the peer's
// credentials, which the kernel gives (process id, user id). Sends never raise SIGPIPE: a peer
// that has gone answers ERROR_BROKEN_PIPE.
#pragma once

#include "platform/errors.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace rzd {

// Who is at the other end of a stream, as the kernel recorded it when the connection was made.
struct PeerCredentials {
  uint32_t processId = 0;
  uint32_t userId = 0xFFFFFFFF;
  uint32_t groupId = 0xFFFFFFFF;
};

// The calling process's (effective) user and group ids, and a user's login name (its number when
// unknown).
uint32_t CurrentUserId();
uint32_t CurrentGroupId();
std::string UserName(uint32_t userId);

class LocalStream {
 public:
  LocalStream() = default;
  ~LocalStream();
  LocalStream(LocalStream&& other) noexcept;
  LocalStream& operator=(LocalStream&& other) noexcept;
  LocalStream(const LocalStream&) = delete;
  LocalStream& operator=(const LocalStream&) = delete;

  // Connects to the socket at `path`. ERROR_FILE_NOT_FOUND when nothing listens there (no file,
  // or a file left behind by a listener that has gone), ERROR_ACCESS_DENIED when this user may
  // not reach it, another Win32 number otherwise. Paths longer than a socket address holds work.
  static uint32_t Connect(const std::filesystem::path& path, LocalStream* stream);

  bool Valid() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }

  // Sends every byte of `head` then `body` (either may be empty) as one write where the system
  // allows. ERROR_BROKEN_PIPE when the peer has gone.
  uint32_t Send(const void* head, size_t headSize, const void* body = nullptr, size_t bodySize = 0) const;
  // Receives exactly `size` bytes. ERROR_HANDLE_EOF when the peer closed first (also part-way),
  // WAIT_TIMEOUT after a receive time-out, ERROR_BROKEN_PIPE on other failures.
  uint32_t Receive(void* data, size_t size) const;
  // Later receives give up after `timeoutMs` (0: never).
  void SetReceiveTimeout(uint32_t timeoutMs) const;

  PeerCredentials Peer() const { return peer_; }
  // Whether the other end runs as this process's (effective) user: the one check both ends make
  // before they trust a connection.
  bool PeerIsThisUser() const;
  // Ends both directions: a receive blocked in another thread returns ERROR_HANDLE_EOF.
  void Shutdown() const;
  void Close();

 private:
  friend class LocalListener;
  explicit LocalStream(int fd);
  int fd_ = -1;
  PeerCredentials peer_;
};

class LocalListener {
 public:
  LocalListener() = default;
  ~LocalListener();
  LocalListener(LocalListener&& other) noexcept;
  LocalListener& operator=(LocalListener&& other) noexcept;
  LocalListener(const LocalListener&) = delete;
  LocalListener& operator=(const LocalListener&) = delete;

  // Listens at `path`, whose folder EnsurePrivateFolder (root.h) makes private. The socket is bound under
  // a temporary name, made 0600 and renamed over `path`, replacing whatever was there (callers
  // hold a lock that makes them the only rightful listener).
  static uint32_t Listen(const std::filesystem::path& path, LocalListener* listener);

  bool Valid() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }
  const std::filesystem::path& Path() const { return path_; }

  // Takes one waiting connection. With `wait` false, WAIT_TIMEOUT when none is waiting.
  uint32_t Accept(LocalStream* stream, bool wait = true) const;
  // Stops listening (the file stays; RemoveFile removes it).
  void Close();
  void RemoveFile() const;

 private:
  int fd_ = -1;
  std::filesystem::path path_;
};

}  // namespace rzd
