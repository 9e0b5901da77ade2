// The state every scanner HAL object of the process shares: the lock held around every open of
// the unit, so that opens never overlap, and the scan-in-progress record (whether a read runs,
// for which object and owner process), under a lock of its own.
#pragma once

#include "platform/kernel.h"

#include <cstdint>

namespace rzd::scanhost::hal_process {

// Never taken while an object's own lock is held.
CriticalSection& OpenLock();

// A read began on `object`, whose owner process is `ownerProcessId`.
void BeginScan(const void* object, uint32_t ownerProcessId);
// Clears the record when it names `ownerProcessId` (unlock, disconnect, the object's end).
void EndScanOf(uint32_t ownerProcessId);
// `object` left the service's scanner list (its client was reaped, or let it go): when it is the
// object that read last, its owner is gone and it is ending.
void ScanOwnerGone(const void* object);
// `object` has ended (unlocked, closed, its driver unloaded): a record it made is cleared.
void ScanObjectEnded(const void* object);
bool ScanInProgress();

// For a connect: true when no scan is in progress. While the record's object is ending (its
// owner gone, a read still finishing in it), waits up to `waitMs` for its end; a record whose
// owner lives answers false at once.
bool AwaitNoScan(uint32_t waitMs);

}  // namespace rzd::scanhost::hal_process
