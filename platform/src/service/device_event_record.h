// The event data of a device event (control 11): the device-interface record the dispatcher
// hands a handler, and the check of one as it arrived on a service's control socket. Any process
// of the service's user may send one, so before a handler reads the record (its size, type, class
// and name) the dispatcher checks it against the bytes that arrived.
#pragma once

#include "platform/types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::service_internal {

enum class DeviceRecordFault {
  kNone,                // whole: its header and (for a device interface) its name lie inside
  kEmpty,               // no bytes at all
  kCutHeader,           // fewer bytes than the common header (size, type, reserved)
  kSizeBelowHeader,     // its size is smaller than that header
  kSizeBeyondArrived,   // its size claims more bytes than arrived
  kCutInterfaceHeader,  // a device-interface record too short for its class
  kCutName,             // a device-interface name without terminator that ends inside a character
};

// The DEV_BROADCAST_DEVICEINTERFACE of `classGuid` naming `path`, terminated, exactly as long as
// its dbcc_size says.
std::vector<uint8_t> DeviceInterfaceRecord(const GUID& classGuid, std::u16string_view path);

// What is wrong with the `size` bytes at `bytes` as a device event's record. A record is whole
// when its common header lies inside what arrived, its size (dbch_size) is at least that header
// and at most what arrived, and, for a device interface, its class lies inside that size and its
// name ends at its terminator or at the record's end on a whole character. Bytes after the
// record's size are not part of it.
DeviceRecordFault CheckDeviceEventRecord(const uint8_t* bytes, size_t size);

// Event data as a handler reads it: the `size` bytes at `bytes`, 8-byte aligned, with a zero
// character after them.
std::vector<uint64_t> AlignedEventData(const uint8_t* bytes, size_t size);

// The event data a handler is handed for a whole device event's record (CheckDeviceEventRecord):
// exactly the record, its dbch_size bytes without what arrived after it, aligned and with a zero
// character after it, so a name that runs to the record's end is terminated there.
std::vector<uint64_t> DeviceEventData(const uint8_t* bytes, size_t size);

// The line the dispatcher logs for a refused record.
std::u16string DeviceRecordFaultText(DeviceRecordFault fault, const uint8_t* bytes, size_t size);

}  // namespace rzd::service_internal
