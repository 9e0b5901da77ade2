// Event log entries as syslog datagrams.
#include "platform/event_log.h"

#include "platform/process.h"
#include "platform/text.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace rzd {

namespace {

constexpr int kFacilityDaemon = 3 << 3;
constexpr int kSeverityError = 3;
constexpr int kSeverityWarning = 4;
constexpr int kSeverityInformation = 6;

int Severity(uint16_t type) {
  if (type == EVENTLOG_ERROR_TYPE) return kSeverityError;
  if (type == EVENTLOG_WARNING_TYPE) return kSeverityWarning;
  return kSeverityInformation;
}

// "Mmm dd hh:mm:ss" in local time, with English month names whatever the locale.
std::string Timestamp() {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%s %2d %02d:%02d:%02d", kMonths[local.tm_mon % 12], local.tm_mday,
                local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

}  // namespace

void ReportEvent(std::u16string_view source, uint16_t type, std::u16string_view text) {
  const std::string path = GetEnv("RZD_SYSLOG_SOCKET").value_or("/dev/log");
  sockaddr_un address{};
  if (path.empty() || path.size() >= sizeof address.sun_path) return;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const std::string line = "<" + std::to_string(kFacilityDaemon + Severity(type)) + ">" + Timestamp() + " " +
                           ToUtf8(source) + "[" + std::to_string(CurrentProcessId()) + "]: " + ToUtf8(text);
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  sendto(fd, line.data(), line.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  close(fd);
}

}  // namespace rzd
