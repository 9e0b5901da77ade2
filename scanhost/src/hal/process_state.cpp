#include "hal/process_state.h"

#include "foundation/module_objects.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace rzd::scanhost::hal_process {

namespace {

struct ScanRecord {
  std::mutex lock;
  std::condition_variable changed;  // an object that read has ended, or another read began
  bool inProgress = false;
  uint32_t owner = 0;
  const void* reader = nullptr;  // the object that began the last read, until it ends
  bool readerGone = false;       // that object's owner is gone: it is ending
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

void BeginScan(const void* object, uint32_t ownerProcessId) {
  ScanRecord& record = Record();
  {
    std::lock_guard guard(record.lock);
    record.inProgress = true;
    record.owner = ownerProcessId;
    record.reader = object;
    record.readerGone = false;
  }
  record.changed.notify_all();
}

void EndScanOf(uint32_t ownerProcessId) {
  ScanRecord& record = Record();
  std::lock_guard guard(record.lock);
  if (record.owner == ownerProcessId) record.inProgress = false;
}

void ScanOwnerGone(const void* object) {
  ScanRecord& record = Record();
  std::lock_guard guard(record.lock);
  if (record.reader == object) record.readerGone = true;
}

void ScanObjectEnded(const void* object) {
  ScanRecord& record = Record();
  {
    std::lock_guard guard(record.lock);
    if (record.reader != object) return;
    // No read runs on an object that has ended, whichever owner it named last.
    record.inProgress = false;
    record.reader = nullptr;
    record.readerGone = false;
  }
  record.changed.notify_all();
}

bool ScanInProgress() {
  ScanRecord& record = Record();
  std::lock_guard guard(record.lock);
  return record.inProgress;
}

bool AwaitNoScan(uint32_t waitMs) {
  ScanRecord& record = Record();
  std::unique_lock guard(record.lock);
  // Only a read still finishing in an ending object is waited for; the wait goes on to the
  // object's end, so that its close comes before the connect's open.
  if (record.inProgress && record.readerGone) {
    const void* ending = record.reader;
    record.changed.wait_for(guard, std::chrono::milliseconds(waitMs), [&] { return record.reader != ending; });
  }
  return !record.inProgress;
}

}  // namespace rzd::scanhost::hal_process
