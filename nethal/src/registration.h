// The library's registration: script 101 (its application identifier) and script 104 (the class
// with its program ids), per machine or, under HKCU\Software\Classes, per user.
#pragma once

#include "platform/errors.h"

#include <filesystem>

namespace rzd::nethal {

HRESULT RegisterBridge(const std::filesystem::path& module, bool perUser);
HRESULT UnregisterBridge(const std::filesystem::path& module, bool perUser);

// DllInstall's choice: per user when the command line is "user" (without regard to case, the
// whole line); a null or any other line registers per machine.
bool InstallsPerUser(const char16_t* commandLine);

}  // namespace rzd::nethal
