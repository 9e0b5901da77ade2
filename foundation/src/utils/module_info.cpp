// The module this deliverable is, and the system's word size.
#include "foundation/module_info.h"

#include "platform/modules.h"

#include <atomic>

namespace rzd {

namespace {
std::atomic<const void*> g_module{nullptr};
}  // namespace

void SetModuleInstance(const void* addressInModule) { g_module.store(addressInModule); }

std::filesystem::path GetModulePath() {
  try {
    const void* address = g_module.load();
    std::filesystem::path path = address != nullptr ? ModulePathOf(address) : ExecutablePath();
    // The name of a module is at most 1024 characters.
    if (path.u16string().size() > 1024) return {};
    return path;
  } catch (...) {
    return {};
  }
}

bool Is64BitWindows() { return sizeof(void*) == 8; }

}  // namespace rzd
