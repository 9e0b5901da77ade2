// Local stream sockets in private folders, with the peer's credentials.
#include "platform/local_socket.h"

#include "errors/errno_map.h"
#include "ipc/listen_owner_only.h"
#include "ipc/receive_wait.h"
#include "platform/process.h"
#include "platform/root.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace rzd {

namespace {

// A socket address for `path`. A path too long for sun_path is reached through its folder,
// opened here, as /proc/self/fd/<n>/<name>; the folder stays open while the address is used.
class SocketAddress {
 public:
  explicit SocketAddress(const fs::path& path) {
    std::string text = path.string();
    if (text.size() >= sizeof address_.sun_path) {
      folder_ = open(path.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (folder_ < 0) return;
      text = "/proc/self/fd/" + std::to_string(folder_) + "/" + path.filename().string();
      if (text.size() >= sizeof address_.sun_path) return;
    }
    address_.sun_family = AF_UNIX;
    std::memcpy(address_.sun_path, text.c_str(), text.size() + 1);
    ok_ = true;
  }
  ~SocketAddress() {
    if (folder_ >= 0) close(folder_);
  }
  SocketAddress(const SocketAddress&) = delete;
  SocketAddress& operator=(const SocketAddress&) = delete;

  bool Ok() const { return ok_; }
  const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&address_); }
  socklen_t Size() const { return sizeof address_; }

 private:
  sockaddr_un address_{};
  int folder_ = -1;
  bool ok_ = false;
};

PeerCredentials ReadPeer(int fd) {
  PeerCredentials peer;
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0) {
    peer.processId = static_cast<uint32_t>(credentials.pid);
    peer.userId = credentials.uid;
    peer.groupId = credentials.gid;
  }
  return peer;
}

int NewSocket() { return socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0); }

// A unique name beside `path` for binding before the rename.
fs::path TemporaryName(const fs::path& path) {
  static std::atomic<uint32_t> counter{0};
  fs::path temp = path;
  temp += ".tmp" + std::to_string(CurrentProcessId()) + "-" + std::to_string(counter.fetch_add(1));
  return temp;
}

}  // namespace

int ipc::ListenOwnerOnly(const fs::path& path, int extraType, int backlog) {
  const fs::path temp = TemporaryName(path);
  SocketAddress address(temp);
  if (!address.Ok()) {
    errno = ENAMETOOLONG;
    return -1;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | extraType, 0);
  if (fd < 0) return -1;
  if (bind(fd, address.Get(), address.Size()) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  if (chmod(temp.c_str(), 0600) != 0 || listen(fd, backlog) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    close(fd);
    unlink(temp.c_str());
    errno = error;
    return -1;
  }
  return fd;
}

uint32_t CurrentUserId() { return static_cast<uint32_t>(geteuid()); }
uint32_t CurrentGroupId() { return static_cast<uint32_t>(getegid()); }

std::string UserName(uint32_t userId) {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[1024];
  if (getpwuid_r(static_cast<uid_t>(userId), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_name != nullptr) {
    return found->pw_name;
  }
  return std::to_string(userId);
}

// ---- LocalStream

LocalStream::LocalStream(int fd) : fd_(fd), peer_(ReadPeer(fd)) {}

LocalStream::~LocalStream() { Close(); }

LocalStream::LocalStream(LocalStream&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), peer_(other.peer_) {}

LocalStream& LocalStream::operator=(LocalStream&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    peer_ = other.peer_;
  }
  return *this;
}

uint32_t LocalStream::Connect(const fs::path& path, LocalStream* stream) {
  SocketAddress address(path);
  if (!address.Ok()) return ERROR_FILE_NOT_FOUND;
  int fd = NewSocket();
  if (fd < 0) return oserror::Win32FromErrno(errno, "creation of a local socket");
  int rc;
  do {
    rc = connect(fd, address.Get(), address.Size());
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int error = errno;
    close(fd);
    // Nothing listening there: no file, or one left by a listener that has gone.
    return oserror::Win32FromErrno(error, "connection to a local socket",
                                   {{ENOENT, ERROR_FILE_NOT_FOUND},
                                    {ECONNREFUSED, ERROR_FILE_NOT_FOUND},
                                    {ENOTDIR, ERROR_FILE_NOT_FOUND},
                                    {EACCES, ERROR_ACCESS_DENIED},
                                    {EPERM, ERROR_ACCESS_DENIED}});
  }
  *stream = LocalStream(fd);
  return ERROR_SUCCESS;
}

uint32_t LocalStream::Send(const void* head, size_t headSize, const void* body, size_t bodySize) const {
  iovec pieces[2] = {{const_cast<void*>(head), headSize}, {const_cast<void*>(body), bodySize}};
  int first = 0;
  int count = bodySize > 0 ? 2 : 1;
  if (headSize == 0) first = 1, count = bodySize > 0 ? 1 : 0;
  while (count > 0) {
    msghdr message{};
    message.msg_iov = &pieces[first];
    message.msg_iovlen = static_cast<size_t>(count);
    ssize_t sent = sendmsg(fd_, &message, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return ERROR_BROKEN_PIPE;
    }
    auto left = static_cast<size_t>(sent);
    while (count > 0 && left >= pieces[first].iov_len) {
      left -= pieces[first].iov_len;
      ++first;
      --count;
    }
    if (count > 0) {
      pieces[first].iov_base = static_cast<char*>(pieces[first].iov_base) + left;
      pieces[first].iov_len -= left;
    }
  }
  return ERROR_SUCCESS;
}

uint32_t LocalStream::Receive(void* data, size_t size) const {
  auto* at = static_cast<char*>(data);
  while (size > 0) {
    // Asleep in poll, not in recv: the peer taking what this end sent does not wake us.
    ssize_t got = ipc::ReceiveAll(fd_, at, size);
    if (got == 0) return ERROR_HANDLE_EOF;
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return WAIT_TIMEOUT;
      return errno == ECONNRESET ? ERROR_HANDLE_EOF : ERROR_BROKEN_PIPE;
    }
    at += got;
    size -= static_cast<size_t>(got);
  }
  return ERROR_SUCCESS;
}

bool LocalStream::PeerIsThisUser() const { return peer_.userId == CurrentUserId(); }

void LocalStream::SetReceiveTimeout(uint32_t timeoutMs) const {
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(timeoutMs / 1000);
  limit.tv_usec = static_cast<suseconds_t>((timeoutMs % 1000) * 1000);
  setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

void LocalStream::Shutdown() const {
  if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
}

void LocalStream::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

// ---- LocalListener

LocalListener::~LocalListener() { Close(); }

LocalListener::LocalListener(LocalListener&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

LocalListener& LocalListener::operator=(LocalListener&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

uint32_t LocalListener::Listen(const fs::path& path, LocalListener* listener) {
  if (uint32_t error = EnsurePrivateFolder(path.parent_path()); error != ERROR_SUCCESS) return error;
  const int fd = ipc::ListenOwnerOnly(path, SOCK_NONBLOCK, SOMAXCONN);
  if (fd < 0) {
    return oserror::Win32FromErrno(errno, "listening on a local socket",
                                   {{ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE}, {ENOENT, ERROR_PATH_NOT_FOUND}});
  }
  LocalListener result;
  result.fd_ = fd;
  result.path_ = path;
  *listener = std::move(result);
  return ERROR_SUCCESS;
}

uint32_t LocalListener::Accept(LocalStream* stream, bool wait) const {
  // The listening socket does not block: a connection given up before it is taken never
  // leaves a thread waiting in accept.
  for (;;) {
    int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      *stream = LocalStream(fd);
      return ERROR_SUCCESS;
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return ERROR_GEN_FAILURE;
    if (!wait) return WAIT_TIMEOUT;
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, -1) < 0 && errno != EINTR) return ERROR_GEN_FAILURE;
  }
}

void LocalListener::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void LocalListener::RemoveFile() const {
  if (!path_.empty()) unlink(path_.c_str());
}

}  // namespace rzd
