// The model's engine records as the model driver leaves them after opening the unit, and the
// construction values the model driver writes into its settings object. Shared by the settings
// tests and the settings fuzz target, so both work on the settings object the driver builds.
#pragma once

#include "lowdrv/engine/engine_caps.h"
#include "lowdrv/settings/m48tz_settings.h"

#include <cstring>

namespace rzd::lowdrv::fixtures {

// The simulated unit's inquiry facts as the settings model sees them after the model driver's
// open: feeder width 2700/300 inch, pixel boundaries 8 (colour, gray) and 32 (line art), one-byte
// tone tables (byte 91 = 0x80), the wider over-scan width 0x0A5A, the DFD button capability, the
// front post-imprinter.
inline ReduzidInq ModelInquiry() {
  ReduzidInq inq{};
  inq.ProductQualifier = 6;
  inq.ColorPixelBound = 8;
  inq.GrayPixelBound = 8;
  inq.LineartPixelBound = 32;
  inq.ADFMaxWidth = 2700;
  inq.ADFMaxLength = 4200;
  inq.ASICShadingTableType = 0x80;
  inq.AbilityEx8 = 0x80;
  inq.OverscanWidth = 0x0A5A;
  InqBytes(inq)[caps::kInqFrontPostImprinter.offset] |= caps::kInqFrontPostImprinter.mask;
  std::memcpy(inq.ProductReversion, "1.00", 4);
  return inq;
}

inline ReduzidNVMData ModelNvm() {
  ReduzidNVMData nvm{};
  nvm.BornYear = 2013;
  nvm.BornMonth = 5;
  nvm.BornDay = 7;
  nvm.FirstScanYear = 2013;
  nvm.FirstScanMonth = 6;
  nvm.FirstScanDay = 1;
  std::memcpy(nvm.SerialNumber, "SN0001", 6);
  nvm.PowerSavingTime = 15;
  return nvm;
}

// The construction values the model driver writes into its settings object.
inline void ConfigureAsModel(CM48tzScannerSettings& s) {
  s.m_strProductName = u"Quarx M48tz Scanner";
  s.m_strVendorName = u"Quarx Incorporated";
  s.m_strModelName = u"M48tz";
  s.m_lFrameReserved1 = 200;
  s.m_lFrameReserved2 = 200;
  s.m_lMaxLongLength = 236000;
  s.m_lOverScanMargin = 500;
  s.m_lFrontTruncLen = 200;
  s.m_lBackTruncLen = 200;
  s.m_byVSPLength = 29;
  s.m_wHalftone = 127;
  s.m_byJpegQualityMax = 87;
  s.m_byJpegQualityMin = 24;
}

}  // namespace rzd::lowdrv::fixtures
