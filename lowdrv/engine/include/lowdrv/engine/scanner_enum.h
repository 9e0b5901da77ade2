// CScannerEnum: finds the device interface paths of the model's units among the present
// interfaces of the image device class. A short-lived object on the caller's stack.
#pragma once

#include "foundation/log_client.h"
#include "platform/types.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::lowdrv {

class CScannerEnum : public CLogClient {
 public:
  CScannerEnum();

  // Empties the list, walks the class and keeps the paths that match; TRUE when one matched.
  BOOL FindScanners();
  // TRUE when the path names a unit of the configured ids (case-sensitive: the device tables
  // report paths in lower case).
  BOOL MatchDevicePath(std::u16string_view path) const;
  // The device path of interface `index`, or FALSE with a Win32 error (259 past the last one).
  BOOL GetDeviceInterfacePath(uint32_t index, uint32_t& error, std::u16string& path) const;

  std::vector<std::u16string> m_Paths;  // matched paths, in enumeration order
  uint32_t m_ulVendorId = 0;            // only the low 16 bits count; 0xFFFF matches nothing
  uint32_t m_ulProductId = 0;           // 0xFFFF: any product of the vendor
};

}  // namespace rzd::lowdrv
