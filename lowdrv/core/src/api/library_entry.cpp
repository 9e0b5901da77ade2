// Load and unload of the library.
#include "api/library_entry.h"

#include "api/api_log.h"
#include "api/device_open.h"
#include "api/device_table.h"
#include "driver/buttons_runner.h"

#include "foundation/diag_sink.h"
#include "foundation/folders.h"
#include "foundation/module_info.h"
#include "foundation/module_objects.h"

namespace rzd::lowdrv::api {

void OnLibraryLoad(const void* addressInModule) {
  try {
    SetModuleInstance(addressInModule);
    DeviceTable::Instance();
    ApiLog();
    AddCommonFilesFolderToPath(kPathGuardName);
  } catch (...) {
    // Nothing may leave the loader's call; a failed step leaves that step undone.
  }
}

void OnLibraryUnload() {
  // In this order, each step needing what the later ones take away: the open objects are closed
  // and destroyed (which stops the buttons thread with the last one), a buttons thread that
  // overran its stop is waited for, the diagnostics thread is stopped, and then the library's
  // process-wide objects (the list, the locks, the logger slot) are destroyed, newest first.
  try {
    CloseAllDevices();
  } catch (...) {
  }
  try {
    buttons::WaitForOverrunThreads();
    if (DiagnosticsStarted()) StopDiagnostics();
  } catch (...) {
  }
  DestroyModuleObjects();
}

}  // namespace rzd::lowdrv::api
