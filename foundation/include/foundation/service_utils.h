// Service queries and stop, against the service records of the registry; every step is written to
// the install log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rzd {

// True when HKLM\SYSTEM\CurrentControlSet\services\<name> exists; else logs
// "The service <name> is not installed".
bool IsServiceInstalled(std::u16string_view name);

// Asks the service to stop and waits up to 15000 ms, then ends its process. True when the last
// state read was stopped.
bool StopService(std::u16string_view name);
// The same with another time limit (tests).
bool StopServiceWithin(std::u16string_view name, uint32_t timeoutMs);

// "SERVICE_STOPPED 00000001" ... for states 1 to 7, else "Undefine XXXXXXXX".
std::u16string ServiceStateName(uint32_t state);
// "SERVICE_BOOT_START 00000000" ... for start types 0 to 4, else "Undefine XXXXXXXX".
std::u16string ServiceStartTypeName(uint32_t startType);

}  // namespace rzd
