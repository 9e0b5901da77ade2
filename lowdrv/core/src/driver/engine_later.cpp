// Engine-driver operations whose bodies are not built yet (scanning, JPEG tables).
// Until then each one answers "not implemented" (0x800A) or FALSE, without touching the unit.
#include "lowdrv/core/driver_engine.h"

namespace rzd::lowdrv {

LLDError CRZDREduzidLLD::Read(uint8_t*, uint32_t*, BSTR*, uint32_t*) { return lld::kNotImplemented; }

// No generic or binary control exists for this engine.
LLDError CRZDREduzidLLD::GenericControl(const char16_t*, uint32_t) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::BinaryControl(const void*, const char16_t*) { return lld::kNotImplemented; }

LLDError CRZDREduzidLLD::ReadEngineImageData(uint8_t*, uint32_t, uint8_t&, ImageReadResult&) {
  return lld::kNotImplemented;
}
LLDError CRZDREduzidLLD::FillBackgroundLine(uint8_t*, uint32_t) { return lld::kNotImplemented; }
bool CRZDREduzidLLD::ChrominanceQuantizationTable(uint32_t, uint8_t (&)[kJPEGTablesSize]) { return false; }
void CRZDREduzidLLD::GetGammaTables(uint8_t** ppbyRed, uint8_t** ppbyGreen, uint8_t** ppbyBlue, uint16_t* pwLength) {
  if (ppbyRed) *ppbyRed = nullptr;
  if (ppbyGreen) *ppbyGreen = nullptr;
  if (ppbyBlue) *ppbyBlue = nullptr;
  if (pwLength) *pwLength = 0;
}
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

}  // namespace rzd::lowdrv
