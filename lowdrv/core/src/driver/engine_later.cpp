// Engine-driver operations whose bodies are not built yet (information and settings documents,
// sensors and indicators, counters and notifications, calibration, firmware). Until then each
// one answers "not implemented" (0x800A) or FALSE, without touching the unit.
#include "lowdrv/core/driver_engine.h"

namespace rzd::lowdrv {

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

LLDError CRZDREduzidLLD::ComputeFirmwareChecksum(const uint8_t*, uint32_t, uint8_t*, uint32_t*) {
  return lld::kNotImplemented;
}
bool CRZDREduzidLLD::CheckFirmwareBuffers(const uint8_t*, uint32_t, const uint8_t*, uint32_t) { return false; }
bool CRZDREduzidLLD::IsCalibrationRunning() { return false; }
bool CRZDREduzidLLD::IsCalibrationTimeUp() { return false; }
LLDError CRZDREduzidLLD::WriteLcdScreen(const void*, uint32_t, const char16_t*) { return lld::kNotImplemented; }

}  // namespace rzd::lowdrv
