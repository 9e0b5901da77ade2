// The open-device list: one entry per open driver object, in order of opening, each with an
// in-use mark and a count of the calls running on the object. One process-wide lock guards the
// list, the marks and the counts; it is never held while a driver object runs.
//
// A call takes a DeviceLease on its object (LockScannerClass) and gives it back at its end
// (UnlockScannerClass). A normal lease needs the mark clear and sets it; a forced lease (the
// driver notification) passes a set mark, sets the mark only when it found it clear, and clears
// only a mark it set itself. Every lease counts as a call in flight, so a close (itself a call
// holding a lease) can see whether any other call still uses the object and refuse.
#pragma once

#include "lowdrv/core/driver_object.h"
#include "platform/kernel.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

namespace rzd::lowdrv::api {

class DeviceTable;

// A driver object held for one call. Gives the object back when it ends.
class DeviceLease {
 public:
  DeviceLease() = default;
  ~DeviceLease() { Release(); }
  DeviceLease(const DeviceLease&) = delete;
  DeviceLease& operator=(const DeviceLease&) = delete;

  IDriverObject* Object() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // UnlockScannerClass: clears the mark (when this lease set it) and ends the call's count.
  LLDError Release();

 private:
  friend class DeviceTable;
  DeviceTable* table_ = nullptr;
  IDriverObject* object_ = nullptr;
  bool ownsMark_ = false;
};

class DeviceTable {
 public:
  // The process's list, made at first use (the library's load makes it).
  static DeviceTable& Instance();

  DeviceTable() = default;
  ~DeviceTable();
  DeviceTable(const DeviceTable&) = delete;
  DeviceTable& operator=(const DeviceTable&) = delete;

  // LockScannerClass: 0 with the lease holding the object; 0x8003 for a null handle or one not
  // in the list; 0x8008 when the object is marked in use and `force` is not set. `lease` must
  // be empty.
  LLDError Lock(const void* handle, bool force, DeviceLease& lease);
  // UnlockScannerClass (the lease's Release): 0, or 0x8003 when the object is not in the list.
  LLDError Unlock(DeviceLease& lease);

  // Appends the object, marked in use by `lease` (the call that opened it), and answers its
  // handle. Null when memory ran out; `object` then still owns the object.
  void* Add(std::unique_ptr<IDriverObject>& object, DeviceLease& lease);
  // Takes the object of `lease` out of the list when no other call runs on it: 0 with the object
  // in `removed` and the lease emptied; 0x8008 while another call holds it; 0x8003 when the
  // object is not in the list.
  LLDError Remove(DeviceLease& lease, std::unique_ptr<IDriverObject>& removed);
  // Takes every object out of the list, in order of opening.
  std::vector<std::unique_ptr<IDriverObject>> RemoveAll();

  size_t Count() const;
  // The calls now running on the object of `handle` (0 when it is not in the list); for tests.
  uint32_t CallsInFlight(const void* handle) const;
  bool IsMarkedInUse(const void* handle) const;

 private:
  struct Entry {
    std::unique_ptr<IDriverObject> object;
    bool inUse = false;
    uint32_t calls = 0;
  };
  std::list<Entry>::iterator Find(const void* handle);
  std::list<Entry>::const_iterator Find(const void* handle) const;

  mutable CriticalSection lock_;
  std::list<Entry> entries_;
};

// The handle of an object: its address as the list knows it.
inline void* HandleOf(IDriverObject* object) { return static_cast<void*>(object); }

}  // namespace rzd::lowdrv::api
