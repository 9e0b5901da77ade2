#include "service/device_event_record.h"

#include "platform/service_host.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>

namespace rzd::service_internal {

namespace {

// DEV_BROADCAST_HDR: size, device type, reserved.
constexpr size_t kCommonHeader = 3 * sizeof(uint32_t);
constexpr size_t kInterfaceHeader = offsetof(DEV_BROADCAST_DEVICEINTERFACE, dbcc_name);
static_assert(kInterfaceHeader == 28, "size, type, reserved and the class come before the name");

uint32_t WordAt(const uint8_t* bytes, size_t offset) {
  uint32_t word = 0;
  std::memcpy(&word, bytes + offset, sizeof word);
  return word;
}

}  // namespace

std::vector<uint8_t> DeviceInterfaceRecord(const GUID& classGuid, std::u16string_view path) {
  std::vector<uint8_t> bytes(kInterfaceHeader + (path.size() + 1) * sizeof(char16_t), 0);
  auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE*>(bytes.data());
  record->dbcc_size = static_cast<uint32_t>(bytes.size());
  record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  record->dbcc_classguid = classGuid;
  std::memcpy(record->dbcc_name, path.data(), path.size() * sizeof(char16_t));
  return bytes;
}

DeviceRecordFault CheckDeviceEventRecord(const uint8_t* bytes, size_t size) {
  if (size == 0) return DeviceRecordFault::kEmpty;
  if (size < kCommonHeader) return DeviceRecordFault::kCutHeader;
  const uint32_t recordSize = WordAt(bytes, 0);
  if (recordSize < kCommonHeader) return DeviceRecordFault::kSizeBelowHeader;
  if (recordSize > size) return DeviceRecordFault::kSizeBeyondArrived;
  if (WordAt(bytes, sizeof(uint32_t)) != DBT_DEVTYP_DEVICEINTERFACE) return DeviceRecordFault::kNone;
  if (recordSize < kInterfaceHeader) return DeviceRecordFault::kCutInterfaceHeader;
  const size_t nameBytes = recordSize - kInterfaceHeader;
  for (size_t at = kInterfaceHeader; at + sizeof(char16_t) <= recordSize; at += sizeof(char16_t)) {
    if (bytes[at] == 0 && bytes[at + 1] == 0) return DeviceRecordFault::kNone;
  }
  return nameBytes % sizeof(char16_t) == 0 ? DeviceRecordFault::kNone : DeviceRecordFault::kCutName;
}

std::vector<uint64_t> AlignedEventData(const uint8_t* bytes, size_t size) {
  std::vector<uint64_t> aligned((size + sizeof(char16_t) + 7) / 8, 0);
  if (size != 0) std::memcpy(aligned.data(), bytes, size);
  return aligned;
}

std::vector<uint64_t> DeviceEventData(const uint8_t* bytes, size_t size) {
  return AlignedEventData(bytes, std::min<size_t>(WordAt(bytes, 0), size));
}

std::u16string DeviceRecordFaultText(DeviceRecordFault fault, const uint8_t* bytes, size_t size) {
  switch (fault) {
    case DeviceRecordFault::kNone:
      return u"whole";
    case DeviceRecordFault::kEmpty:
      return u"no record arrived";
    case DeviceRecordFault::kCutHeader:
      return FormatW(u"the record is cut: %u bytes arrived, its header is %u", static_cast<uint32_t>(size),
                     static_cast<uint32_t>(kCommonHeader));
    case DeviceRecordFault::kSizeBelowHeader:
      return FormatW(u"the record names a size of %u bytes, less than its header", WordAt(bytes, 0));
    case DeviceRecordFault::kSizeBeyondArrived:
      return FormatW(u"the record claims %u bytes, %u arrived", WordAt(bytes, 0), static_cast<uint32_t>(size));
    case DeviceRecordFault::kCutInterfaceHeader:
      return FormatW(u"the device-interface record is cut: %u bytes, its header is %u", WordAt(bytes, 0),
                     static_cast<uint32_t>(kInterfaceHeader));
    case DeviceRecordFault::kCutName:
      return u"the device-interface name is cut inside a character";
  }
  return u"the record is not whole";
}

}  // namespace rzd::service_internal
