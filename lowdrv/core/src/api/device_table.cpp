// The open-device list.
#include "api/device_table.h"

#include "api/api_log.h"
#include "lowdrv/core/driver_codes.h"

#include "foundation/func_trace.h"
#include "foundation/module_objects.h"

#include <mutex>

namespace rzd::lowdrv::api {

LLDError DeviceLease::Release() {
  if (!object_) return lld::kSuccess;
  return table_->Unlock(*this);
}

DeviceTable& DeviceTable::Instance() {
  static ModuleObject<DeviceTable> table;
  return table.Get();
}

DeviceTable::~DeviceTable() = default;

std::list<DeviceTable::Entry>::iterator DeviceTable::Find(const void* handle) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (HandleOf(it->object.get()) == handle) return it;
  }
  return entries_.end();
}

std::list<DeviceTable::Entry>::const_iterator DeviceTable::Find(const void* handle) const {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (HandleOf(it->object.get()) == handle) return it;
  }
  return entries_.end();
}

LLDError DeviceTable::Lock(const void* handle, bool force, DeviceLease& lease) {
  CLogClient& log = ApiLog();
  LLDError result = lld::kInvalidDeviceHandle;
  IDriverObject* pLLD = nullptr;
  RZD_FUNC_TRACE_OF(log, u"LockScannerClass");
  RZD_TRACE_DWORD(&result, u"pvDevHandle = 0x%llX, pLLD = 0x%llX", LogPointer(handle), LogPointer(pLLD));
  if (handle == nullptr) {
    RZD_LOG_ERROR_OF(log, u"LockScannerClass failed because pvDevHandle or  g_lst_Devices is empty= NULL");
    return result;
  }
  bool busy = false;
  {
    std::lock_guard guard(lock_);
    auto it = Find(handle);
    if (it != entries_.end()) {
      if (it->inUse && !force) {
        busy = true;
        result = lld::kInUse;
      } else {
        lease.ownsMark_ = !it->inUse;
        it->inUse = true;
        ++it->calls;
        lease.table_ = this;
        lease.object_ = it->object.get();
        pLLD = lease.object_;
        result = lld::kSuccess;
      }
    }
  }
  if (busy) RZD_LOG_ERROR_OF(log, u"LockScannerClass failed because device is used by other program");
  return result;
}

LLDError DeviceTable::Unlock(DeviceLease& lease) {
  CLogClient& log = ApiLog();
  LLDError result = lld::kInvalidDeviceHandle;
  IDriverObject* pLLD = lease.object_;
  RZD_FUNC_TRACE_OF(log, u"UnlockScannerClass");
  RZD_TRACE_DWORD(&result, u"pLLD = 0x%llX", LogPointer(pLLD));
  {
    std::lock_guard guard(lock_);
    auto it = Find(HandleOf(pLLD));
    if (it != entries_.end()) {
      if (lease.ownsMark_) it->inUse = false;
      if (it->calls > 0) --it->calls;
      result = lld::kSuccess;
    }
  }
  lease.table_ = nullptr;
  lease.object_ = nullptr;
  lease.ownsMark_ = false;
  if (result != lld::kSuccess) {
    RZD_LOG_ERROR_OF(log, u"UnlockScannerClass failed because pLLD is not in the g_lst_Devices");
  }
  return result;
}

void* DeviceTable::Add(std::unique_ptr<IDriverObject>& object, DeviceLease& lease) {
  // The node is made before the lock is taken, so a failing allocation leaves the list as it was
  // and the object with the caller.
  std::list<Entry> node;
  try {
    node.emplace_back();
  } catch (...) {
    return nullptr;
  }
  Entry& entry = node.front();
  entry.object = std::move(object);
  entry.inUse = true;
  entry.calls = 1;
  IDriverObject* added = entry.object.get();
  {
    std::lock_guard guard(lock_);
    entries_.splice(entries_.end(), node);
  }
  lease.table_ = this;
  lease.object_ = added;
  lease.ownsMark_ = true;
  return HandleOf(added);
}

LLDError DeviceTable::Remove(DeviceLease& lease, std::unique_ptr<IDriverObject>& removed) {
  std::lock_guard guard(lock_);
  auto it = Find(HandleOf(lease.object_));
  if (it == entries_.end()) return lld::kInvalidDeviceHandle;
  // The lease of the closing call is one of the calls; any other is still using the object.
  if (it->calls > 1) return lld::kInUse;
  removed = std::move(it->object);
  entries_.erase(it);
  lease.table_ = nullptr;
  lease.object_ = nullptr;
  lease.ownsMark_ = false;
  return lld::kSuccess;
}

std::vector<std::unique_ptr<IDriverObject>> DeviceTable::RemoveAll() {
  std::vector<std::unique_ptr<IDriverObject>> all;
  std::lock_guard guard(lock_);
  all.reserve(entries_.size());
  for (Entry& entry : entries_) all.push_back(std::move(entry.object));
  entries_.clear();
  return all;
}

size_t DeviceTable::Count() const {
  std::lock_guard guard(lock_);
  return entries_.size();
}

uint32_t DeviceTable::CallsInFlight(const void* handle) const {
  std::lock_guard guard(lock_);
  auto it = Find(handle);
  return it == entries_.end() ? 0 : it->calls;
}

bool DeviceTable::IsMarkedInUse(const void* handle) const {
  std::lock_guard guard(lock_);
  auto it = Find(handle);
  return it != entries_.end() && it->inUse;
}

}  // namespace rzd::lowdrv::api
