// CScannerSettings_AV: construction, Init, the imprinter records, the validity test, the NVRAM
// time setters and the small operations of the class.
#include "foundation/func_trace.h"
#include "foundation/hwprops.h"
#include "lowdrv/settings/settings_av.h"

#include <cstddef>

namespace rzd::lowdrv {
namespace {

// The HWProps.ini key of each switch, in the order of HwipSwitch.
constexpr HwProp kHwipKeys[kHwipSwitchCount] = {
    HwProp::HWIP_ACD,        HwProp::HWIP_BDR,          HwProp::HWIP_Filter,         HwProp::HWIP_CropDeskew,
    HwProp::HWIP_Despeckle,  HwProp::HWIP_IE,           HwProp::HWIP_RB,             HwProp::HWIP_Rotate,
    HwProp::HWIP_BPD,        HwProp::HWIP_BPD_MODE2,    HwProp::HWIP_SB,             HwProp::HWIP_ColorDropout,
    HwProp::HWIP_WFP,        HwProp::HWIP_TextBrightness, HwProp::HWIP_TextEnhancement, HwProp::HWIP_Autobrightness,
    HwProp::HWIP_Moire,
};

}  // namespace

CScannerSettings_AV::CScannerSettings_AV() : m_AVLog(u"CScannerSettings_AV LLD settings") {}

CScannerSettings_AV::~CScannerSettings_AV() = default;

void CScannerSettings_AV::SetLogObject2(CLogInterfacePtr holder) {
  CRZDScannerSettingsBase::SetLogObject2(holder);
  m_AVLog.SetLogObject2(holder);
}

BYTE CScannerSettings_AV::Init(const ReduzidInq& inq, const ReduzidNVMData& nvm, IRZDSettingsEngineLink* pEngineLink,
                               std::u16string_view strDriverVersion, std::u16string_view strTwainDSVersion) {
  int32_t result = FALSE;
  RZD_FUNC_TRACE_OF(m_AVLog, u"Init");
  RZD_TRACE_INT(&result);
  RZD_LOG_INFO_OF(m_AVLog, u"ReduzidInq.ProductQualifier = 0x%X,  ReduzidNVMData.BornDay = %d",
                  static_cast<unsigned>(inq.ProductQualifier), static_cast<int>(nvm.BornDay));

  // The model folder holds HWProps.ini and the colour-correction files.
  const HwPropsFile hwprops(m_strModelName);
  m_ModelFolder = hwprops.Path().empty() ? std::filesystem::path() : hwprops.Path().parent_path();
  for (size_t i = 0; i < kHwipSwitchCount; ++i) {
    m_HWIP[i] = hwprops.ReadInt(kHwipKeys[i]) != 0 ? 1 : 0;
  }

  m_pEngineLink = pEngineLink;
  m_strDriverVersion = std::u16string(strDriverVersion);
  m_strTwainDSVersion = std::u16string(strTwainDSVersion);
  SetInquiryCopy(inq);
  SetNVMDataCopy(nvm);

  if (!Reset()) {
    RZD_LOG_ERROR_OF(m_AVLog, u"Init failed because Reset() failed");
    return static_cast<BYTE>(result);
  }
  SetSettingsInitialised(true);
  result = TRUE;
  return static_cast<BYTE>(result);
}

BYTE CScannerSettings_AV::InitImprInquiry(const uint8_t (&imprInquiry)[kImprInquiryRecordSize],
                                          const uint8_t (&imprInfo)[kImprInfoRecordSize],
                                          const uint8_t (&imprNVMData)[kImprNVMRecordSize]) {
  SetImprRecords(imprInquiry, imprInfo, imprNVMData);
  return TRUE;
}

BOOL CScannerSettings_AV::IsScannerCfgValid() {
  const ReduzidInq inq = InquiryCopy();
  const ReduzidNVMData nvm = NVMDataCopy();
  return inq.ProductQualifier != 0 && nvm.BornDay != 0 ? TRUE : FALSE;
}

void CScannerSettings_AV::SetNvPowerSavingTime(int32_t minutes) {
  SetNVMDataWord(offsetof(ReduzidNVMData, PowerSavingTime), static_cast<uint16_t>(minutes));
}

void CScannerSettings_AV::SetNvPowerOffTime(int32_t minutes) {
  SetNVMDataWord(offsetof(ReduzidNVMData, PowerOffTime), static_cast<uint16_t>(minutes));
}

void CScannerSettings_AV::SetNvERPTime(int32_t minutes) {
  SetNVMDataWord(offsetof(ReduzidNVMData, ERPTime), static_cast<uint16_t>(minutes));
}

void CScannerSettings_AV::SettingsHookB(ReduzidWindowDescriptor& /*desc*/) {}

std::u16string CScannerSettings_AV::GetDefaultFirmwareVersion() const { return m_strDefaultFirmwareVersion; }

}  // namespace rzd::lowdrv
