// Privileges and ending another process.
#pragma once

#include <cstdint>
#include <string_view>

namespace rzd {

// Switches one named privilege ("SeDebugPrivilege" and the other Windows privilege names) on
// (`enable`) or off in `token`. Processes here have no per-token privileges: a known name
// succeeds without effect; an unknown one fails and is written to the install log.
bool SetThePrivilege(void* token, bool enable, std::u16string_view privilege);

// Ends the process at once; every step is written to the install log.
void KillTheProcess(uint32_t processId);

}  // namespace rzd
