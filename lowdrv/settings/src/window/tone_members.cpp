// Tone tables, the colour matrix and the accessors of the selected window description.
#include "lowdrv/settings/settings_av.h"

#include "foundation/func_trace.h"
#include "tone_curve.h"
#include "tone_text.h"

#include <cstring>

namespace rzd::lowdrv {

static_assert(window::kToneTableSize == kGammaTableSize);
static_assert(window::kToneTablesSize == kGammaTablesSize);

BOOL CRZDScannerSettingsBase::IsGammaTable512() { return FALSE; }

BOOL CScannerSettings_AV::IsGammaTable512() {
  const uint8_t type = InquiryCopy().ASICShadingTableType;
  return type == 0x80 || type == 0x81 ? FALSE : TRUE;
}

uint8_t CRZDScannerSettingsBase::ComputeToneValue(uint8_t input, uint8_t brightness, double gamma, uint8_t contrast) {
  return window::ToneValue(input, brightness, gamma, contrast);
}

BOOL CRZDScannerSettingsBase::ParseGamma(std::u16string_view text, uint8_t* pbyData) {
  bool ok = false;
  RZD_FUNC_TRACE(u"ParseGamma");
  RZD_TRACE_BOOL(&ok);
  RZD_TRACE_LOG(u"pbyData = 0x%p", static_cast<void*>(pbyData));
  if (pbyData == nullptr) {
    RZD_LOG_ERROR(u"ParseGamma failed because of invalid pbyData");
    return FALSE;
  }
  uint8_t table[window::kToneTableSize];
  switch (window::ParseGammaText(text, IsGammaTable512() != FALSE, table)) {
    case window::TextParse::WrongLength:
      RZD_LOG_ERROR(u"ParseGamma failed because of wrong string length");
      return FALSE;
    case window::TextParse::BadValue:
      RZD_LOG_ERROR(u"ParseGamma failed because of bad value");
      return FALSE;
    case window::TextParse::Ok:
      break;
  }
  std::memcpy(pbyData, table, sizeof(table));
  RZD_TRACE_LOG(u"*pbyData = %d ...", static_cast<int>(pbyData[0]));
  ok = true;
  return TRUE;
}

BOOL CRZDScannerSettingsBase::ParseMatrix(std::u16string_view text, uint16_t* pMatrix) {
  bool ok = false;
  RZD_FUNC_TRACE(u"ParseMatrix");
  RZD_TRACE_BOOL(&ok);
  RZD_TRACE_LOG(u"pMatrix = 0x%p", static_cast<void*>(pMatrix));
  if (pMatrix == nullptr) {
    RZD_LOG_ERROR(u"ParseMatrix failed because of invalid pMatrix");
    return FALSE;
  }
  uint16_t matrix[kMatrixValues];
  switch (window::ParseMatrixText(text, matrix)) {
    case window::TextParse::WrongLength:
      RZD_LOG_ERROR(u"ParseMatrix failed because of wrong string length");
      return FALSE;
    case window::TextParse::BadValue:
      RZD_LOG_ERROR(u"ParseMatrix failed because of bad value");
      return FALSE;
    case window::TextParse::Ok:
      break;
  }
  std::memcpy(pMatrix, matrix, sizeof(matrix));
  RZD_TRACE_LOG(u"*pMatrix = %d ...", static_cast<int>(pMatrix[0]));
  ok = true;
  return TRUE;
}

ReduzidWindowDescriptor* CRZDScannerSettingsBase::GetWindowDescription() {
  ReduzidWindowDescriptor* desc = nullptr;
  RZD_FUNC_TRACE(u"GetWindowDescription");
  RZD_TRACE_POINTER(&desc);
  desc = &SelectedDescription().Desc;
  return desc;
}

void CRZDScannerSettingsBase::GetGammaTable(uint8_t** ppbyRed, uint8_t** ppbyGreen, uint8_t** ppbyBlue,
                                            uint16_t* pwSize) {
  RZD_FUNC_TRACE(u"GetGammaTable");
  RZD_TRACE_LOG(u"ppbyRed = 0x%p, ppbyGreen = 0x%p, ppbyBlue = 0x%p, pwSize = 0x%p", static_cast<void*>(ppbyRed),
                static_cast<void*>(ppbyGreen), static_cast<void*>(ppbyBlue), static_cast<void*>(pwSize));
  RZDWindowDescription& d = m_bAlternateSelected ? m_Alternate : m_Primary;
  if (ppbyRed != nullptr) *ppbyRed = d.Gamma;
  if (ppbyGreen != nullptr) *ppbyGreen = d.Gamma + kGammaTableSize;
  if (ppbyBlue != nullptr) *ppbyBlue = d.Gamma + 2 * kGammaTableSize;
  if (pwSize != nullptr) *pwSize = IsGammaTable512() ? 512 : 256;
}

void CRZDScannerSettingsBase::GetMartix(uint16_t* pMatrix) {
  RZD_FUNC_TRACE(u"GetMartix");
  if (pMatrix == nullptr) return;
  const RZDWindowDescription& d = m_bAlternateSelected ? m_Alternate : m_Primary;
  std::memcpy(pMatrix, d.Matrix, sizeof(d.Matrix));
}

void CRZDScannerSettingsBase::GetCurrentMatrix(uint16_t* pMatrix) {
  if (pMatrix == nullptr) return;
  if (m_bThirdSelected) {
    std::memcpy(pMatrix, m_Third.Matrix, sizeof(m_Third.Matrix));
    return;
  }
  GetMartix(pMatrix);
}

}  // namespace rzd::lowdrv
