#include "serial/usb_serial.h"

#include "platform/devices.h"
#include "platform/text.h"

namespace rzd::scanhost {

namespace {

constexpr size_t kMaxHexDigits = 4;

// Hex digits at `at` (one to four, and no fifth one); advances `at`.
std::optional<uint16_t> ReadHex(std::u16string_view text, size_t& at) {
  uint32_t value = 0;
  size_t digits = 0;
  while (at < text.size()) {
    const int digit = HexDigitValue(text[at]);
    if (digit < 0) break;
    if (++digits > kMaxHexDigits) return std::nullopt;
    value = value * 16 + static_cast<uint32_t>(digit);
    ++at;
  }
  if (digits == 0) return std::nullopt;
  return static_cast<uint16_t>(value);
}

}  // namespace

std::optional<UsbIds> ParseUsbIds(std::u16string_view path) {
  const std::u16string folded = ToLower(path);
  size_t at = folded.find(u"vid_");
  if (at == std::u16string::npos) return std::nullopt;
  at += 4;
  const std::optional<uint16_t> vendor = ReadHex(folded, at);
  if (!vendor || folded.compare(at, 5, u"&pid_") != 0) return std::nullopt;
  at += 5;
  const std::optional<uint16_t> product = ReadHex(folded, at);
  if (!product) return std::nullopt;
  return UsbIds{*vendor, *product};
}

std::u16string LookUpUsbSerialNumber(const UsbIds& ids, std::u16string_view driverKey) {
  if (driverKey.empty()) return {};
  for (const DeviceEntry& device : EnumerateDevices(GUID_DEVINTERFACE_IMAGE)) {
    const std::optional<UsbIds> deviceIds = ParseUsbIds(device.interfacePath);
    if (!deviceIds || *deviceIds != ids) continue;
    // Another unit of the same model: go on with the next device.
    if (!EqualsNoCase(device.driverKey, driverKey)) continue;
    return device.serialNumber;
  }
  return {};
}

}  // namespace rzd::scanhost
