// The install log: Log/CoInstaller.log under the system root, one line per call:
// "YYYY/MM/DD HH:MM:SS:000 PID:XXXXXXXX TID:XXXXXXXX <text>" ending in CR LF.
#pragma once

#include <filesystem>

namespace rzd {

// Appends one line (printf-style wide format, "C" locale). Silent when the file cannot be opened.
void WriteCoInstallerLog(const char16_t* format, ...);

// The file the install log is written to.
std::filesystem::path CoInstallerLogPath();

}  // namespace rzd
