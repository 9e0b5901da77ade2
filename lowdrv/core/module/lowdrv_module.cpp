// The shared library's entry: its constructor and destructor stand in for the process attach
// and detach of a Windows library.
#include "api/library_entry.h"

namespace {

const char kModuleAnchor = 0;

__attribute__((constructor)) void LowdrvProcessAttach() { rzd::lowdrv::api::OnLibraryLoad(&kModuleAnchor); }

__attribute__((destructor)) void LowdrvProcessDetach() { rzd::lowdrv::api::OnLibraryUnload(); }

}  // namespace
