// The module (executable or library) this deliverable is, and the system's word size.
#pragma once

#include <filesystem>

namespace rzd {

// Remembers the module: any address inside it (an exported function, a static object).
void SetModuleInstance(const void* addressInModule);
// Full file name of the remembered module (the executable while none was set); empty on failure.
std::filesystem::path GetModulePath();

// True on a 64-bit system.
bool Is64BitWindows();

}  // namespace rzd
