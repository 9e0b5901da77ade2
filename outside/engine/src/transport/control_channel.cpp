// The control socket's exchange: the client sends one line, the unit answers with its reply
// text and a line end, then closes.
#include "engine/unit_server.h"
#include "transport/server_parts.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

namespace rzd::engine {

namespace {

constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxReply = 1024 * 1024;
constexpr int kLineTimeoutSeconds = 10;

bool SendText(int fd, const std::string& text) {
  return usbsim::SendAll(fd, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace

namespace transport {

std::optional<std::string> ReadControlLine(const Connection& connection) {
  timeval limit{kLineTimeoutSeconds, 0};
  ::setsockopt(connection.Fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  std::string line;
  char c = 0;
  while (line.size() <= kMaxLine) {
    ssize_t n = ::recv(connection.Fd(), &c, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
    if (c == '\n') break;
    line.push_back(c);
  }
  if (line.size() > kMaxLine) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void SendControlReply(const Connection& connection, const std::string& reply) {
  SendText(connection.Fd(), reply + "\n");
  ::shutdown(connection.Fd(), SHUT_WR);
}

}  // namespace transport

std::optional<std::string> SendControlLine(const std::filesystem::path& controlSocket, const std::string& line,
                                           std::chrono::milliseconds timeout) {
  int fd = usbsim::ConnectSocket(controlSocket.c_str());
  if (fd < 0) return std::nullopt;
  std::string reply;
  bool complete = false;
  if (SendText(fd, line + "\n")) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd, POLLIN, 0};
      int ready = ::poll(&p, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) break;
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        complete = n == 0;
        break;
      }
      reply.append(buffer, static_cast<size_t>(n));
      if (reply.size() > kMaxReply) break;
    }
  }
  ::close(fd);
  if (!complete) return std::nullopt;
  if (!reply.empty() && reply.back() == '\n') reply.pop_back();
  return reply;
}

}  // namespace rzd::engine
