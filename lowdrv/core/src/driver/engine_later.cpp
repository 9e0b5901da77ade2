// Engine-driver operations whose bodies are not built yet (information and settings documents,
// sensors and indicators, counters and notifications, scanning, JPEG tables,
// calibration, firmware). Until then each one answers "not implemented" (0x800A) or FALSE,
// without touching the unit.
#include "lowdrv/core/driver_engine.h"

namespace rzd::lowdrv {

LLDError CRZDREduzidLLD::Read(uint8_t*, uint32_t*, BSTR*, uint32_t*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::ResetCurrentSettings(BSTR*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::GetScannerInfoString(BSTR*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::GetScannerSupportedString(BSTR*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::GetScannerCurrentString(BSTR*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::SetScannerCurrentString(const char16_t*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::PollSensor(uint32_t*, const char16_t*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::StartCalibration(BSTR*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::GetCalibrationStatus(const uint32_t*, uint32_t*, uint32_t, BSTR*) {
  return lld::kNotImplemented;
}
LLDError CRZDREduzidLLD::SendFirmwareBuffers(const uint8_t*, uint32_t, const uint8_t*, uint32_t) {
  return lld::kNotImplemented;
}
LLDError CRZDREduzidLLD::WriteFirmware(const void*, uint32_t, const char16_t*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::WriteDefaultFirmware() { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::GetIndicator(uint32_t*, uint32_t*, const char16_t*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::SetIndicator(const void*, uint32_t, const char16_t*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::ResetScannerCounter(const void*, uint32_t, const char16_t*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::ExecControl(const void*, uint32_t, const char16_t*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::SessionStateChanged(const void*, uint32_t) { return lld::kNotImplemented; }

// No generic or binary control exists for this engine.
LLDError CRZDREduzidLLD::GenericControl(const char16_t*, uint32_t) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::BinaryControl(const void*, const char16_t*) { return lld::kNotImplemented; }

LLDError CRZDREduzidLLD::ReadEngineImageData(uint8_t*, uint32_t, uint8_t&, ImageReadResult&) {
  return lld::kNotImplemented;
}
LLDError CRZDREduzidLLD::FillBackgroundLine(uint8_t*, uint32_t) { return lld::kNotImplemented; }
bool CRZDREduzidLLD::ChrominanceQuantizationTable(uint32_t, uint8_t (&)[kJPEGTablesSize]) { return false; }
LLDError CRZDREduzidLLD::ComputeFirmwareChecksum(const uint8_t*, uint32_t, uint8_t*, uint32_t*) {
  return lld::kNotImplemented;
}
bool CRZDREduzidLLD::CheckFirmwareBuffers(const uint8_t*, uint32_t, const uint8_t*, uint32_t) { return false; }
void CRZDREduzidLLD::GetGammaTables(uint8_t** ppbyRed, uint8_t** ppbyGreen, uint8_t** ppbyBlue, uint16_t* pwLength) {
  if (ppbyRed) *ppbyRed = nullptr;
  if (ppbyGreen) *ppbyGreen = nullptr;
  if (ppbyBlue) *ppbyBlue = nullptr;
  if (pwLength) *pwLength = 0;
}
bool CRZDREduzidLLD::IsCalibrationRunning() { return false; }
bool CRZDREduzidLLD::IsCalibrationTimeUp() { return false; }
LLDError CRZDREduzidLLD::PrepareScan(uint8_t*) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::ReadBackground(uint8_t*, uint32_t*) { return lld::kNotImplemented; }
bool CRZDREduzidLLD::GenerateMetaData(const ReduzidWindowDescriptor&, uint32_t, uint32_t, bool, BSTR*,
                                      std::u16string_view, uint32_t, uint32_t, uint32_t, bool, uint32_t) {
  return false;
}
bool CRZDREduzidLLD::GenerateMetaDataBothSides(const ReduzidWindowDescriptor&, uint32_t, uint32_t, bool, BSTR*,
                                               std::u16string_view, uint32_t, uint32_t, uint32_t, bool, uint32_t) {
  return false;
}
uint32_t CRZDREduzidLLD::GetLuminanceQuantTable(uint8_t** ppTable) {
  if (ppTable) *ppTable = nullptr;
  return 0;
}
uint32_t CRZDREduzidLLD::GetChrominanceQuantTable(uint8_t** ppTable) {
  if (ppTable) *ppTable = nullptr;
  return 0;
}
LLDError CRZDREduzidLLD::WriteLcdScreen(const void*, uint32_t, const char16_t*) { return lld::kNotImplemented; }

}  // namespace rzd::lowdrv
