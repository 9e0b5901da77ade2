// The scan pipeline's hooks into the buttons table and the imprinter, and the Exif texts of the
// driver's JPEG headers.
#include "lowdrv/core/driver_system.h"
#include "scan/scan_steps.h"

namespace rzd::lowdrv {

namespace {

// The imprinter's closing page setting: the head with a total length of 8 and no flags.
constexpr size_t kClosingRecordSize = 8;

}  // namespace

void ClearButtonTableForScan() {}

void SendImprinterPageSettingsForScan(CRZDREduzidLLD& /*d*/) {}

BOOL SendImprinterClosingRecordForScan(CRZDREduzidLLD& d) {
  uint8_t record[kClosingRecordSize] = {0, 0, 1, static_cast<uint8_t>(kClosingRecordSize), 0, 0, 0, 0};
  return d.m_ReduzidScanner.SetImprPageSettingNew(record, sizeof record);
}

void ExifTexts(const std::u16string& friendlyName, std::string& make, std::string& model) {
  model = WideToNarrow(friendlyName);
  if (const size_t cut = model.find(" #"); cut != std::string::npos) model.resize(cut);
  make = model.find("Quarx") != std::string::npos ? "Quarx" : "Corvanite";
}

}  // namespace rzd::lowdrv
