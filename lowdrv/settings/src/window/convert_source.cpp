// CScannerSettings_AV::ConvertXmlToSettingsForSource: one document source into one window
// description.
#include "foundation/func_trace.h"
#include "lowdrv/settings/settings_av.h"
#include "platform/text.h"
#include "source_conversion.h"
#include "store_read.h"

namespace rzd::lowdrv {

namespace {

// The MaxDPI attribute of the first element `name` of the supported document; 0 (logged) when
// there is none.
int32_t SupportedMaxDpi(MSXML6StoreBSTR& supported, const CLogClient& log, std::u16string_view path,
                        const char16_t* missing) {
  window::KeptContext here(supported);
  std::optional<std::u16string> value;
  if (supported.SelectNode(path)) value = window::AttributeHere(supported, u"MaxDPI");
  here.Restore();
  if (!value) {
    RZD_LOG_ERROR_OF(log, u"%s", missing);
    return 0;
  }
  return WToI(*value);
}

}  // namespace

BOOL CScannerSettings_AV::ConvertXmlToSettingsForSource(MSXML6StoreBSTR& store, ReduzidWindowDescriptor& desc,
                                                        uint8_t* pbyGammaTables, uint8_t* /*pbyGammaTables2*/,
                                                        uint16_t* pMatrix, uint32_t* pulFrontTruncLen,
                                                        uint32_t* pulBackTruncLen) {
  bool ok = false;
  CLogClient& log = AVLog();
  RZD_FUNC_TRACE_OF(log, u"ConvertXmlToSettingsForSource");
  RZD_TRACE_BOOL(&ok);
  if (pbyGammaTables == nullptr || pMatrix == nullptr || pulFrontTruncLen == nullptr || pulBackTruncLen == nullptr) {
    RZD_LOG_ERROR_OF(log, u"ConvertXmlToSettingsForSource failed because of invalid parameter");
    return FALSE;
  }

  window::SourceConversionSettings settings;
  settings.inquiry = InquiryCopy();
  settings.overscanMargin = m_lOverScanMargin;
  settings.frontTruncation = m_lFrontTruncLen;
  settings.backTruncation = m_lBackTruncLen;
  settings.rowAlign[0] = m_ulAlignA1;
  settings.rowAlign[1] = m_ulAlignA2;
  settings.rowAlign[2] = m_ulAlignA3;
  settings.rowAlign[3] = m_ulAlignA4;
  settings.halftone = m_wHalftone;
  settings.qualityMin = m_byJpegQualityMin;
  settings.qualityMax = m_byJpegQualityMax;
  settings.cropDeskewAllowed = HwipOn(kHWIP_CropDeskew);
  settings.threeSensor = m_bThreeSensor != 0;
  settings.widthFlag = m_bWidthFlag != 0;
  settings.twoByteTables = IsGammaTable512() != FALSE;
  settings.autoCropMaxDpi = SupportedMaxDpi(SupportedStore(), log, u"(//AutoCrop)[1]",
                                            u"ConvertXmlToSettings cannot find AutoCropMaxDPI");
  settings.straightenMaxDpi = SupportedMaxDpi(SupportedStore(), log, u"(//Straighten)[1]",
                                              u"ConvertXmlToSettings cannot find StraightenMaxDPI");

  window::SourceConversionFlags flags{m_bFlatbedSource, m_bStaplesDetect, m_byDFDSensorLeft, m_byDFDSensorCenter,
                                      m_byDFDSensorRight};
  window::SourceConversion conversion(*this, log, store, settings, flags, desc, pbyGammaTables, pMatrix);
  uint32_t front = 0, back = 0;
  if (!conversion.Run(front, back)) return FALSE;
  *pulFrontTruncLen = front;
  *pulBackTruncLen = back;
  ok = true;
  return TRUE;
}

}  // namespace rzd::lowdrv
