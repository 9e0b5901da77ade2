// CM48tzScannerSettings: the settings class of the one model the driver serves. It keeps
// everything of CScannerSettings_AV and changes the engine facts (operation 21), the current
// document handed to the page metadata (operation 24) and the conversion of one source
// (operation 26).
//
// Where the operations are defined (one folder per job):
//   src/documents/  construction, destruction, SetLogObject2
//   src/window/     ApplyNvData, GetCurrentForSource, ConvertXmlToSettingsForSource (the model's rules)
#pragma once

#include "lowdrv/settings/settings_av.h"

namespace rzd::lowdrv {

class CM48tzScannerSettings : public CScannerSettings_AV {
 public:
  CM48tzScannerSettings();
  ~CM48tzScannerSettings() override;

  // 21: the model's rules (DFD buttons by capability), then CScannerSettings_AV::ApplyNvData.
  BOOL ApplyNvData(MSXML6StoreBSTR& store) override;
  // 24: a set mono stream is handed to the page metadata as the gray stream plus the threshold.
  BSTR GetCurrentForSource(std::u16string_view documentSourceId, std::u16string_view imageSourceType,
                           MSXML6StoreBSTR& callerStore) override;
  // 26: CScannerSettings_AV's conversion, then line art as gray JPEG, the width and length caps.
  BOOL ConvertXmlToSettingsForSource(MSXML6StoreBSTR& store, ReduzidWindowDescriptor& desc,
                                     uint8_t* pbyGammaTables, uint8_t* pbyGammaTables2, uint16_t* pMatrix,
                                     uint32_t* pulFrontTruncLen, uint32_t* pulBackTruncLen) override;

  void SetLogObject2(CLogInterfacePtr holder) override;

  // The model's fact in the engine's inquiry record that no engine answer carries: its ERP
  // (USB off) timer (byte 164 bit 3). Operation 21 applies it to the process's record; the model
  // driver applies it to the record of each configuration read before the power times are held
  // within their limits.
  static void ApplyModelInquiryRule(ReduzidInq& inq);

 protected:
  // This class's own logging mix-in ("CM48tzScannerSettings LLD settings").
  CLogClient& M48Log() { return m_M48Log; }

 private:
  CLogClient m_M48Log;
};

}  // namespace rzd::lowdrv
