// CScannerSettings_AV: the settings class of the engine family. It reads the HWProps.ini switches,
// writes the engine's facts into the supported document, converts the current document into
// window descriptions and imprinter parameters, and keeps the options the driver reads.
//
// Where the operations are defined (one folder per job):
//   src/documents/  construction, Init, InitImprInquiry, IsScannerCfgValid, SetNvPowerSavingTime,
//                   SetNvPowerOffTime, SetNvERPTime, ApplyNvData, SettingsHookB,
//                   GetDefaultFirmwareVersion, SetLogObject2
//   src/window/     IsGammaTable512, ConvertXmlToSettings, GetCurrentForSource,
//                   ConvertXmlToSettingsForSource, ConvertXmlToImprinterParam, GetConsoleUserName
#pragma once

#include "lowdrv/settings/settings_base.h"

#include <filesystem>

namespace rzd::lowdrv {

// The 17 hardware image-processing switches of HWProps.ini [TWAIN], in the order Init reads them.
enum HwipSwitch : size_t {
  kHWIP_ACD,
  kHWIP_BDR,
  kHWIP_Filter,
  kHWIP_CropDeskew,
  kHWIP_Despeckle,
  kHWIP_IE,
  kHWIP_RB,
  kHWIP_Rotate,
  kHWIP_BPD,
  kHWIP_BPD_MODE2,
  kHWIP_SB,
  kHWIP_ColorDropout,
  kHWIP_WFP,
  kHWIP_TextBrightness,
  kHWIP_TextEnhancement,
  kHWIP_Autobrightness,
  kHWIP_Moire,
  kHwipSwitchCount
};

// The imprinter parameters (filled by ConvertXmlToImprinterParam, read by the imprinter code).
struct RZDImprinterParam {
  uint8_t bEnabled = 0;
  int32_t lPrinterMode = 0;
  float fTopOffset = 0.0f;          // inches
  int64_t llCounterStart = 0;
  uint8_t bSinglePage = 0;
  uint8_t bCleaning = 0;
  int32_t lFontRotation = 0;        // degrees
  uint8_t byFontType = 0;
  uint8_t byDateTimeFormat = 0;     // 0..5
  uint8_t bFixedPitch = 0;
  uint8_t byCounterDigits = 0;      // 0 without a counter token
  uint8_t bCounterToken = 0;
  uint8_t bDateToken = 0;
  uint8_t bTimeToken = 0;
  std::u16string strText;
  std::u16string strDateSeparator;  // zero or one character
  std::u16string strTimeSeparator;  // zero or one character
  std::u16string strFileName;       // replaces the "{FN}" token; empty from construction
};

class CScannerSettings_AV : public CRZDScannerSettingsBase {
 public:
  CScannerSettings_AV();
  ~CScannerSettings_AV() override;

  // ---- Operations 15-22 filled here.
  BOOL IsScannerCfgValid() override;
  BOOL ConvertXmlToSettings(std::u16string_view strCurrentSettings) override;
  void SetNvPowerSavingTime(int32_t minutes) override;
  void SetNvPowerOffTime(int32_t minutes) override;
  void SetNvERPTime(int32_t minutes) override;
  BOOL ApplyNvData(MSXML6StoreBSTR& store) override;
  BOOL IsGammaTable512() override;

  // ---- Operations 23-26, in this order.
  // 23: called with the descriptor when the conversion applies vertical over-scan; does nothing.
  virtual void SettingsHookB(ReduzidWindowDescriptor& desc);
  // 24: the current document for the page metadata of one document source and image side; a new
  // BSTR the caller frees. `callerStore` is the metadata under construction.
  virtual BSTR GetCurrentForSource(std::u16string_view documentSourceId, std::u16string_view imageSourceType,
                                   MSXML6StoreBSTR& callerStore);
  // 25: the imprinter settings of `store` into m_ImprParam.
  virtual BOOL ConvertXmlToImprinterParam(MSXML6StoreBSTR& store);
  // 26: converts the document source `store` stands on into one window description: descriptor,
  // three tone tables (kGammaTablesSize bytes), the second table buffer (kGammaBufferSize bytes),
  // the matrix (kMatrixValues) and the two truncation lengths.
  virtual BOOL ConvertXmlToSettingsForSource(MSXML6StoreBSTR& store, ReduzidWindowDescriptor& desc,
                                             uint8_t* pbyGammaTables, uint8_t* pbyGammaTables2,
                                             uint16_t* pMatrix, uint32_t* pulFrontTruncLen,
                                             uint32_t* pulBackTruncLen);

  // ---- Start-up.
  // Copies the records into the process-wide copies, reads the HWProps.ini switches, keeps the
  // link and the two version texts, then Reset. TRUE when Reset succeeded (and then the
  // process-wide settings-initialised flag is set).
  BYTE Init(const ReduzidInq& inq, const ReduzidNVMData& nvm, IRZDSettingsEngineLink* pEngineLink,
            std::u16string_view strDriverVersion, std::u16string_view strTwainDSVersion);
  // Copies the imprinter records into the process-wide copies; always TRUE.
  BYTE InitImprInquiry(const uint8_t (&imprInquiry)[kImprInquiryRecordSize],
                       const uint8_t (&imprInfo)[kImprInfoRecordSize],
                       const uint8_t (&imprNVMData)[kImprNVMRecordSize]);

  // A copy of the default firmware version text (empty when the description has none).
  std::u16string GetDefaultFirmwareVersion() const;
  // The user name of the active console session ("USER" when none can be found).
  static std::u16string GetConsoleUserName();

  // Whether a hardware image-processing switch allows its settings.
  bool HwipOn(HwipSwitch which) const { return m_HWIP[which] != 0; }
  // The imprinter option and its cleaning option are the imprinter parameters' enabled and
  // cleaning flags.
  bool ImprinterOptionOn() const { return m_ImprParam.bEnabled != 0; }
  bool ImprinterCleaningOn() const { return m_ImprParam.bCleaning != 0; }

  // Sets the logger slot of this object's mix-ins.
  void SetLogObject2(CLogInterfacePtr holder) override;

  // ---- Members.
  RZDImprinterParam m_ImprParam;
  uint8_t m_HWIP[kHwipSwitchCount] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  std::filesystem::path m_ModelFolder;     // the folder of HWProps.ini and the ColorQA*.xml files
  std::u16string m_strDefaultFirmwareVersion;
  uint8_t m_bFlatbedSource = 0;            // the last converted document source is a flatbed
  // DFD: the three ultrasonic sensor switches (1 = on) and whether the document sets them.
  uint8_t m_byDFDSensorLeft = 1;
  uint8_t m_byDFDSensorCenter = 1;
  uint8_t m_byDFDSensorRight = 1;
  uint8_t m_bThreeSensor = 0;
  uint8_t m_bStaplesDetect = 0;
  // Row alignment: two-sided uncompressed (A1), one-sided uncompressed (A2), two-sided
  // compressed (A3), one-sided compressed (A4); 1 means none.
  uint32_t m_ulAlignA1 = 1;
  uint32_t m_ulAlignA2 = 1;
  uint32_t m_ulAlignA3 = 8;
  uint32_t m_ulAlignA4 = 8;
  uint8_t m_byVSPLength = 24;              // Desc.VSPLength
  uint16_t m_wHalftone = 127;              // Desc.HalftoneNum for gray and colour
  uint8_t m_byJpegQualityMax = 92;
  uint8_t m_byJpegQualityMin = 24;
  // Options other parts read.
  uint8_t m_bWidthFlag = 0;                // keep the engine's pixel boundary with compression
  uint8_t m_bUltrasonicOption = 0;         // marked available by the configuration read
  uint8_t m_bDFDResetOption = 0;           // reset the DFD selection after a double-feed pause
  uint8_t m_bMediaStatusOverride = 0;
  uint8_t m_bShortImprFlags = 0;           // one-byte imprinter page-setting flags
  uint8_t m_bCanUpdateFirmware = 0;        // set by the driver from its firmware-update hook
  uint8_t m_bDFD3Button = 0;               // the description has DFD3Button items (ApplyNvData)
  std::string m_strFriendlyNameA;          // the unit's friendly name, ANSI (Exif Model)

 protected:
  // This class's own logging mix-in ("CScannerSettings_AV LLD settings").
  CLogClient& AVLog() { return m_AVLog; }

 private:
  CLogClient m_AVLog;
};

}  // namespace rzd::lowdrv
