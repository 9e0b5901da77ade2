// Small queries of the machine that several deliverables make: the machine's power-off switch
// and the file version of a binary.
#pragma once

#include <string>
#include <string_view>

namespace rzd {

// HKLM "software\corvanite" DisablePowerOff present and not 0.
bool IsDisablePowerOff();

// The FileVersion text of a file's version record (platform/file_version.h: our own binaries carry
// one); "X, X, X, X" for a file without one or that cannot be read. A path without a folder names
// a loaded library or a file beside the running program.
std::u16string GetFileVersionString(std::u16string_view path);

}  // namespace rzd
