// User sessions: the active console session and the session of a process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rzd {

// The session attached to the physical console. By default the calling user's session (1);
// $RZD_CONSOLE_SESSION or SetConsoleSessionForTests changes it.
uint32_t ActiveConsoleSessionId();

// The session a process runs in: the calling user's session by default. A process can be
// placed in another session for tests (recorded in the root, so other processes see it).
std::optional<uint32_t> ProcessSessionId(uint32_t pid);

void SetConsoleSessionForTests(uint32_t session);
void SetProcessSessionForTests(uint32_t pid, uint32_t session);

// Name of the user logged on to the console.
std::string ConsoleUserName();

}  // namespace rzd
