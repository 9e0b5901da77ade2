// The Exif texts of the driver's JPEG headers.
#include "lowdrv/core/driver_system.h"
#include "scan/scan_steps.h"

namespace rzd::lowdrv {

void ExifTexts(const std::u16string& friendlyName, std::string& make, std::string& model) {
  model = WideToNarrow(friendlyName);
  if (const size_t cut = model.find(" #"); cut != std::string::npos) model.resize(cut);
  make = model.find("Quarx") != std::string::npos ? "Quarx" : "Corvanite";
}

}  // namespace rzd::lowdrv
