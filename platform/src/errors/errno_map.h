// One mapping from errno values to Win32 error numbers, for every platform area that calls the
// operating system.
//
// The common table holds the number Windows gives for the same failure. A caller whose header
// promises other numbers for some failures passes them as its own; they are looked at first.
// An errno value found in neither is answered ERROR_GEN_FAILURE and logged, so a failure nobody
// foresaw is seen instead of passing as a vague error.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

namespace rzd::oserror {

// An errno value the caller answers with a number of its own.
struct Own {
  int err;
  uint32_t win32;
};

// The Win32 error number for `err`. `what` names the failed operation for the log line.
uint32_t Win32FromErrno(int err, std::string_view what, std::initializer_list<Own> own = {});

// The common table's number for `err`, or nullopt when the table does not have it.
std::optional<uint32_t> CommonWin32FromErrno(int err);

// Where the lines about unmapped errno values go: the system log (LOG_WARNING) unless a sink is
// set (tests). nullptr puts the system log back.
using UnmappedSink = void (*)(std::string_view line);
void SetUnmappedSink(UnmappedSink sink);

}  // namespace rzd::oserror
