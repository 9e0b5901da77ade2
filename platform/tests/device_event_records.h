// Device events' records as any process of a service's user might send them to its control
// socket, whole or not: for the tests of the dispatcher's check of a record and of the services
// that refuse one that is not whole.
#pragma once

#include "platform/devices.h"
#include "platform/service_host.h"
#include "service/device_event_record.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rzd::test {

// The image class's device-interface record naming `name`, as a process might send it: `size` is
// what dbcc_size says (by default the record's true size), `cut` bytes are left off its end, the
// name may lack its terminator, and `type` is its device type.
inline std::vector<uint8_t> DeviceRecord(const std::u16string& name, bool terminated = true,
                                         std::optional<uint32_t> size = std::nullopt, size_t cut = 0,
                                         uint32_t type = DBT_DEVTYP_DEVICEINTERFACE) {
  std::vector<uint8_t> bytes = service_internal::DeviceInterfaceRecord(GUID_DEVINTERFACE_IMAGE, name);
  if (!terminated) bytes.resize(bytes.size() - sizeof(char16_t));
  auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE*>(bytes.data());
  record->dbcc_size = size.value_or(static_cast<uint32_t>(bytes.size()));
  record->dbcc_devicetype = type;
  bytes.resize(bytes.size() - cut);
  return bytes;
}

}  // namespace rzd::test
