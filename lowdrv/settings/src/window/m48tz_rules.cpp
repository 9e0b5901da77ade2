// CM48tzScannerSettings: the model's engine facts (operation 21) and its window rules
// (operation 26).
#include "foundation/func_trace.h"
#include "lowdrv/engine/engine_caps.h"
#include "lowdrv/settings/m48tz_settings.h"
#include "model_rules.h"
#include "store_read.h"

namespace rzd::lowdrv {

namespace {

constexpr uint8_t kDfdButtonAbility = 0x80;  // AbilityEx8 (byte 133)

void RemoveAll(MSXML6StoreBSTR& store, std::u16string_view path) {
  while (store.SelectNode(path)) {
    if (!store.RemoveContextNode()) break;
  }
}

void MarkValue(MSXML6StoreBSTR& store, std::u16string_view path, bool current) {
  if (!store.SelectNode(path)) return;
  do {
    if (current) {
      store.SetAttribute(u"IsCurrent", u"true");
      store.SetAttribute(u"IsDefault", u"true");
    } else {
      store.RemoveAttribute(u"IsCurrent");
      store.RemoveAttribute(u"IsDefault");
    }
  } while (store.MoveToNextNode());
}

}  // namespace

void CM48tzScannerSettings::ApplyModelInquiryRule(ReduzidInq& inq) {
  InqBytes(inq)[caps::kInqERPTimer.offset] |= caps::kInqERPTimer.mask;
}

BOOL CM48tzScannerSettings::ApplyNvData(MSXML6StoreBSTR& store) {
  ReduzidInq inq = InquiryCopy();
  ApplyModelInquiryRule(inq);
  SetInquiryCopy(inq);

  if ((inq.AbilityEx8 & kDfdButtonAbility) == 0) {
    RemoveAll(store, u"//Item[@ID=\"Button7\"]");
    RemoveAll(store, u"//Item[@ID=\"Button8\"]");
    MarkValue(store, u"//Item[@ID=\"Ultrasonic\"]/Action/Enum/Value[.=\"Stop\"]", true);
    MarkValue(store, u"//Item[@ID=\"Ultrasonic\"]/Action/Enum/Value[.=\"StopAndContinue\"]", false);
  }
  // The imprinter settings are offered only by a unit that reports its front post-imprinter.
  if (!caps::IsSet(InqBytes(inq), sizeof inq, caps::kInqFrontPostImprinter)) RemoveAll(store, u"//Imprinters");
  store.SelectRoot();
  return CScannerSettings_AV::ApplyNvData(store);
}

BOOL CM48tzScannerSettings::ConvertXmlToSettingsForSource(MSXML6StoreBSTR& store, ReduzidWindowDescriptor& desc,
                                                          uint8_t* pbyGammaTables, uint8_t* pbyGammaTables2,
                                                          uint16_t* pMatrix, uint32_t* pulFrontTruncLen,
                                                          uint32_t* pulBackTruncLen) {
  if (!CScannerSettings_AV::ConvertXmlToSettingsForSource(store, desc, pbyGammaTables, pbyGammaTables2, pMatrix,
                                                          pulFrontTruncLen, pulBackTruncLen))
    return FALSE;

  const ReduzidInq inq = InquiryCopy();
  window::LineArtToGray(desc, m_byJpegQualityMax, inq.GrayPixelBound);
  window::PixelBounds bounds;
  bounds.colour = inq.ColorPixelBound;
  bounds.gray = inq.GrayPixelBound;
  bounds.lineArt = inq.LineartPixelBound;
  window::ApplyHighResolutionRules(desc, inq.ADFMaxWidth, bounds);
  const uint32_t align[4] = {m_ulAlignA1, m_ulAlignA2, m_ulAlignA3, m_ulAlignA4};
  window::ApplyPageLengthCap(desc, align, *pulFrontTruncLen, *pulBackTruncLen);
  return TRUE;
}

}  // namespace rzd::lowdrv
