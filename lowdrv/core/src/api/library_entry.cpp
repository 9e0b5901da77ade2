// Load and unload of the library.
#include "api/library_entry.h"

#include "api/api_log.h"
#include "api/device_open.h"
#include "api/device_table.h"

#include "foundation/diag_sink.h"
#include "foundation/folders.h"
#include "foundation/module_info.h"

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
  try {
    CloseAllDevices();
    if (DiagnosticsStarted()) StopDiagnostics();
  } catch (...) {
  }
}

}  // namespace rzd::lowdrv::api
