// The state every scanner HAL object of the process shares: the lock held around every open of
// the unit, so that opens never overlap, and the scan-in-progress record (whether a read runs,
// and for which owner process), under a lock of its own.
#pragma once

#include "platform/kernel.h"

#include <cstdint>

namespace rzd::scanhost::hal_process {

// Never taken while an object's own lock is held.
CriticalSection& OpenLock();

// A read began for the object whose owner process is `ownerProcessId`.
void BeginScan(uint32_t ownerProcessId);
// Clears the record when it names `ownerProcessId` (unlock, disconnect, the object's end).
void EndScanOf(uint32_t ownerProcessId);
bool ScanInProgress();

}  // namespace rzd::scanhost::hal_process
