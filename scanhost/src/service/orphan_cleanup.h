// The clean-up of orphaned service copies, run by the service's own scanner HAL object when an
// image-class device arrives: per-unit copies of the service executable that no unit's
// `HAL_PATH` names any more, and model TWAIN data sources that no unit's `TWAIN_DS_PATH` (or
// `TWAIN_64_PATH`) names.
//
// What is never deleted: the running executable, the file of a service that runs, anything that
// is not a regular file named exactly <base>_<four characters>_<digit> (the service's own base),
// and anything a unit names (paths are compared in their canonical form). An orphan whose
// instance another copy still serves loses only its own service record and its own application
// identifier name; the instance's class and application identifier stay, since the live copy
// uses them. An orphan whose instance nobody serves unregisters itself (-UnregServer).
#pragma once

#include "foundation/log_client.h"

#include <filesystem>
#include <string>

namespace rzd::scanhost {

// Runs the clean-up for an arrival of `arrivedName` seen by the service whose unit is
// `ownSymbolicName`: only for a root-enumerated interface or a unit of the same USB ids.
// Failures are logged on `log`.
void CleanUpOrphans(const CLogClient& log, const std::u16string& ownSymbolicName, const std::u16string& arrivedName);
// The same, as seen from the executable at `executable` (tests).
void CleanUpOrphansFor(const CLogClient& log, const std::u16string& ownSymbolicName,
                       const std::u16string& arrivedName, const std::filesystem::path& executable);

}  // namespace rzd::scanhost
