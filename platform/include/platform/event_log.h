// The event log: entries go to the system log (syslog), with the source's name as the ident.
#pragma once

#include <cstdint>
#include <string_view>

constexpr uint16_t EVENTLOG_SUCCESS = 0x0000;
constexpr uint16_t EVENTLOG_ERROR_TYPE = 0x0001;
constexpr uint16_t EVENTLOG_WARNING_TYPE = 0x0002;
constexpr uint16_t EVENTLOG_INFORMATION_TYPE = 0x0004;

namespace rzd {

// Writes one entry, "<priority>Mmm dd hh:mm:ss <source>[<pid>]: <text>" (facility daemon; error,
// warning or information severity), to the system log socket /dev/log, or to the datagram socket
// $RZD_SYSLOG_SOCKET names. Dropped silently where no log listens, as logging never fails its
// caller.
void ReportEvent(std::u16string_view source, uint16_t type, std::u16string_view text);

}  // namespace rzd
