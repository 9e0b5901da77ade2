#include "hal/process_state.h"

#include "foundation/module_objects.h"

#include <mutex>

namespace rzd::scanhost::hal_process {

namespace {

struct ScanRecord {
  std::mutex lock;
  bool inProgress = false;
  uint32_t owner = 0;
};

ScanRecord& Record() {
  static ModuleObject<ScanRecord> record;
  return record.Get();
}

}  // namespace

CriticalSection& OpenLock() {
  static ModuleObject<CriticalSection> lock;
  return lock.Get();
}

void BeginScan(uint32_t ownerProcessId) {
  ScanRecord& record = Record();
  std::lock_guard guard(record.lock);
  record.inProgress = true;
  record.owner = ownerProcessId;
}

void EndScanOf(uint32_t ownerProcessId) {
  ScanRecord& record = Record();
  std::lock_guard guard(record.lock);
  if (record.owner == ownerProcessId) record.inProgress = false;
}

bool ScanInProgress() {
  ScanRecord& record = Record();
  std::lock_guard guard(record.lock);
  return record.inProgress;
}

}  // namespace rzd::scanhost::hal_process
