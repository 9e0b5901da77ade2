// The logging object of the entry points and the open-device list: a free-standing logging
// mix-in with the feature name "M48tz LLD API".
#pragma once

#include "foundation/log_client.h"

#include <cstdint>

namespace rzd::lowdrv::api {

CLogClient& ApiLog();

// Makes the entry points' logging object forget its logger, names and levels, so that the next
// log test looks them up again (the open code does so after starting the diagnostics thread).
void RefreshApiLog();

// A pointer as the 64-bit number the log lines print ("0x%llX").
inline unsigned long long LogPointer(const void* p) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p));
}

}  // namespace rzd::lowdrv::api
