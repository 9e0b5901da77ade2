// The unit information document `RZDScanner`: what the driver knows of the unit, its NVRAM
// counters and power times, built in one pass.
#pragma once

#include "lowdrv/engine/nvm_record.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace rzd::lowdrv {

struct ScannerInfo {
  std::u16string productName;
  std::u16string vendorName;
  uint16_t modelId = 0;   // the USB product identifier
  uint16_t vendorId = 0;  // the USB vendor identifier
  std::u16string scannerModel;
  std::u16string serialNumber;
  std::u16string firmwareVersion;
  std::u16string driverVersion;
  std::u16string twainVersion;
  ReduzidNVMData nvm{};
  bool hasPowerOffTimer = false;
  bool hasERPTimer = false;
  std::optional<uint16_t> trayHeight;  // present when the unit has a tray
  bool canUpdateFirmware = false;
  std::u16string defaultFirmwareVersion;
  bool imprinter = false;
  std::optional<std::pair<uint8_t, uint8_t>> inkRemaining;  // whole and tenths
};

// The serial number the document shows: the unit's instance name, which the device path carries
// in lower case, written as the unit's own serial number (its NVRAM record) when that is the same
// text without regard to case; the instance name as it is otherwise.
std::u16string SerialNumberText(std::u16string_view instanceName, const ReduzidNVMData& record);

// The document: "<RZDScanner>" CR LF, then one line per element (a tab, the element, CR LF;
// ImprInkRemaining without the tab), then "</RZDScanner>" CR LF. Texts from the unit and from
// files go into CDATA sections made safe (xml_text.h); counters are unsigned decimals, ADFCount
// the 64-bit sum of the simplex and duplex counters.
std::u16string BuildScannerInfoDocument(const ScannerInfo& info);

}  // namespace rzd::lowdrv
