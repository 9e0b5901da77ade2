// User sessions: the active console session and the session of a process.
//
// A process's session is inherited through the environment variable RZD_SESSION_ID (the
// service control manager starts services with 0; a local server started for another session
// gets that session's id); without it a process runs in the calling user's session (1).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rzd {

// The environment variable that carries a process's session id to the processes it starts.
inline constexpr char kSessionEnvironmentVariable[] = "RZD_SESSION_ID";
// The session the service control manager runs services in.
inline constexpr uint32_t kServicesSessionId = 0;
// What ActiveConsoleSessionId answers while no session is attached to the console.
inline constexpr uint32_t kNoConsoleSession = 0xFFFFFFFF;

// The session attached to the physical console. By default the calling user's session (1);
// $RZD_CONSOLE_SESSION or SetActiveConsoleSession changes it (recorded in the root, so every
// process of the root agrees).
uint32_t ActiveConsoleSessionId();
void SetActiveConsoleSession(uint32_t session);

// The session a process runs in: a session recorded for it in the root (tests), else the
// session its environment names, else the calling user's session. nullopt once it has ended.
std::optional<uint32_t> ProcessSessionId(uint32_t pid);
// The calling process's session.
uint32_t CurrentSessionId();

// Records a session for another process (tests), seen by every process of the root.
void SetProcessSessionForTests(uint32_t pid, uint32_t session);
void SetConsoleSessionForTests(uint32_t session);

// Name of the user logged on to the console.
std::string ConsoleUserName();

}  // namespace rzd
