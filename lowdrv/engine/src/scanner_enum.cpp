// CScannerEnum: discovery of the model's units on the image device interface class.
#include "lowdrv/engine/scanner_enum.h"

#include "platform/devices.h"
#include "platform/text.h"

namespace rzd::lowdrv {

CScannerEnum::CScannerEnum() : CLogClient(u"Scanner Enumerator") {}

BOOL CScannerEnum::GetDeviceInterfacePath(uint32_t index, uint32_t& error, std::u16string& path) const {
  error = ERROR_INVALID_PARAMETER;
  // Each index stands alone: the class is listed afresh, as the interface set is reopened.
  const std::vector<DeviceEntry> present = EnumerateDevices(GUID_DEVINTERFACE_IMAGE);
  if (index >= present.size()) {
    error = ERROR_NO_MORE_ITEMS;
    return FALSE;
  }
  path = present[index].interfacePath;
  error = ERROR_SUCCESS;
  return TRUE;
}

BOOL CScannerEnum::MatchDevicePath(std::u16string_view path) const {
  const uint32_t vendor = m_ulVendorId & 0xFFFF;
  const uint32_t product = m_ulProductId & 0xFFFF;
  if (vendor == 0xFFFF) return FALSE;
  const std::u16string vendorText = FormatW(u"vid_%04x", vendor);
  if (path.find(vendorText) == std::u16string_view::npos) return FALSE;
  if (product == 0xFFFF) return TRUE;
  const std::u16string productText = FormatW(u"pid_%04x", product);
  return path.find(productText) != std::u16string_view::npos ? TRUE : FALSE;
}

BOOL CScannerEnum::FindScanners() {
  m_Paths.clear();
  std::u16string path;
  uint32_t error = 0;
  for (uint32_t index = 0; GetDeviceInterfacePath(index, error, path); ++index) {
    if (MatchDevicePath(path)) {
      RZD_LOG_INFO(u"Device %s recognized, adding to list", path.c_str());
      m_Paths.push_back(path);
    } else {
      RZD_LOG_INFO(u"Device %s not recognized, skipping", path.c_str());
    }
  }
  const BOOL found = m_Paths.empty() ? FALSE : TRUE;
  RZD_LOG_INFO(u"FindScanners Exit [%s]", found ? u"TRUE" : u"FALSE");
  return found;
}

}  // namespace rzd::lowdrv
