// CRZDScannerSettingsBase: the root of the driver's settings model. It keeps the supported-settings
// document (the device description adapted to the unit), the current-settings document derived
// from it, the three engine window descriptions translated from the current document, and the
// process-wide copies of the engine records the settings are built from.
//
// Where the operations are defined (one folder per job):
//   src/documents/  construction, the process-wide records, Reset, GetSupported, GetCurrent,
//                   UpdateCurrent, RemoveNonCurrentItems, ReadDisableButtons, SettingsHookA,
//                   GetImageSourceID, GetCurrentImageSourceID
//   src/apply/      SetCurrent, GetCurrentNodeXPath (checking and merging a client's document)
//   src/window/     GetWindowDescription, GetGammaTable, GetMartix, GetCurrentMatrix,
//                   IsGammaTable512, ParseGamma, ParseMatrix, ComputeToneValue
#pragma once

#include "foundation/log_client.h"
#include "foundation/xml_store.h"
#include "lowdrv/engine/imprinter_records.h"
#include "lowdrv/engine/inquiry_record.h"
#include "lowdrv/engine/nvm_record.h"
#include "lowdrv/engine/window_desc.h"
#include "platform/types.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace rzd::lowdrv {

// The device description: resource type "XML", this identifier, UTF-16LE with a byte-order mark.
inline constexpr uint32_t IDR_XML_SUPPORTED_SETTINGS = 110;
inline constexpr char16_t kSettingsResourceType[] = u"XML";

// Tone tables of a window description: three 512-byte tables in a row, kept in 2560-byte buffers.
inline constexpr size_t kGammaTableSize = 512;
inline constexpr size_t kGammaTablesSize = 3 * kGammaTableSize;  // 1536
inline constexpr size_t kGammaBufferSize = 2560;
inline constexpr size_t kMatrixValues = 9;
inline constexpr size_t kImprInquiryRecordSize = 71;
inline constexpr size_t kImprInfoRecordSize = 71;

// Bits of DisableButtons that count (ReadDisableButtons); 0x8000 keeps the flatbed, drops the feeder.
inline constexpr uint32_t kDisableButtonsMask = 0xC000;
inline constexpr uint32_t kDisableButtonsKeepFlatbed = 0x8000;

// One window description per converted document source: the engine window descriptor, the
// tone tables (first buffer: the three tables as sent; second buffer: the conversion's second
// table buffer), the 3x3 colour matrix, the document source's ID and its truncation lengths
// (0 when there is no vertical over-scan).
struct RZDWindowDescription {
  ReduzidWindowDescriptor Desc{};
  uint8_t Gamma[kGammaBufferSize]{};
  uint8_t Gamma2[kGammaBufferSize]{};
  uint16_t Matrix[kMatrixValues]{};
  std::u16string ImageSourceID;
  uint32_t FrontTruncLen = 0;
  uint32_t BackTruncLen = 0;
};

// The power time-out limits of the engine driver (minutes), as its LoadPowerTimeoutLimits found
// them. `found` has the same bits as that operation's result: 1 power-off, 2 sleep, 4 ERP; only
// the limits of a found range are written into the supported document.
struct RZDPowerTimeoutLimits {
  uint32_t found = 0;
  uint16_t sleepMin = 0, sleepMax = 0, sleepDefault = 0;
  uint16_t offMin = 0, offMax = 0, offDefault = 0;
  uint16_t erpMin = 0, erpMax = 0, erpDefault = 0;
};
inline constexpr uint32_t kPowerLimitsOff = 1;
inline constexpr uint32_t kPowerLimitsSleep = 2;
inline constexpr uint32_t kPowerLimitsERP = 4;

// What the settings model asks of the engine driver that owns it. The engine driver implements
// it; the settings object keeps a pointer it does not own (null: no imprinter, no limits, no
// last pass).
class IRZDSettingsEngineLink {
 public:
  // Whether the unit has an imprinter fitted (the imprinter parameters are converted only then).
  virtual bool IsImprinterFitted() = 0;
  // The power time-out limits; false when none are known.
  virtual bool GetPowerTimeoutLimits(RZDPowerTimeoutLimits* limits) = 0;
  // The engine driver's last pass over the supported document, at the end of ApplyNvData.
  virtual void AdaptSupportedSettings(MSXML6StoreBSTR& store) = 0;

 protected:
  ~IRZDSettingsEngineLink() = default;
};

class CRZDScannerSettingsBase : public CLogClient {
 public:
  // Deleted through a base pointer by the driver that owns it.
  ~CRZDScannerSettingsBase() override;
  CRZDScannerSettingsBase(const CRZDScannerSettingsBase&) = delete;
  CRZDScannerSettingsBase& operator=(const CRZDScannerSettingsBase&) = delete;

  // ---- Operations 15-22, in this order.
  // 15: whether the engine records are valid (inquiry byte 0 and NVRAM BornDay non-zero).
  virtual BOOL IsScannerCfgValid() = 0;
  // 16: translates a current-settings document into the window descriptions.
  virtual BOOL ConvertXmlToSettings(std::u16string_view strCurrentSettings) = 0;
  // 17: called by SetCurrent with the incoming document when the network-data flag is set.
  virtual BOOL SettingsHookA(MSXML6StoreBSTR& incoming);
  // 18-20: store the minutes as 16 bits at NVRAM offsets 70, 122 and 148 of the process-wide copy.
  virtual void SetNvPowerSavingTime(int32_t minutes) = 0;
  virtual void SetNvPowerOffTime(int32_t minutes) = 0;
  virtual void SetNvERPTime(int32_t minutes) = 0;
  // 21: writes the unit's facts into `store` (the device description being adapted by Reset).
  virtual BOOL ApplyNvData(MSXML6StoreBSTR& store) = 0;
  // 22: whether a tone table holds 256 two-byte entries (else 256 one-byte entries).
  virtual BOOL IsGammaTable512();

  // ---- Documents and their life.
  // Reloads and adapts the device description, then UpdateCurrent. The description is adapted in
  // a scratch store that replaces the supported document only when every step succeeded.
  BOOL Reset();
  // A new BSTR with the supported document (the caller frees it); NULL when the engine records
  // are not valid.
  BSTR GetSupported();
  // A new BSTR copy of the current document (the caller frees it); NULL before the first
  // successful UpdateCurrent.
  BSTR GetCurrent();
  // Derives the current document from the supported one and converts it.
  BOOL UpdateCurrent();
  // The walk of UpdateCurrent below `store`'s current node: keeps the current values of every
  // Enum, the set and the Setup items of every List, everything outside lists and enumerations.
  // `pbEmptied` (optional) is set when the node lost its last child.
  BOOL RemoveNonCurrentItems(MSXML6StoreBSTR& store, bool* pbEmptied = nullptr);
  // HKLM\Software\Corvanite\<model> DisableButtons AND kDisableButtonsMask (0 when missing).
  uint32_t ReadDisableButtons();

  // ---- Accessors of the selected window description.
  // The third description when third selected, else the alternate when alternate selected, else
  // the primary.
  RZDWindowDescription& SelectedDescription() {
    return m_bThirdSelected ? m_Third : m_bAlternateSelected ? m_Alternate : m_Primary;
  }
  ReduzidWindowDescriptor* GetWindowDescription();
  void GetGammaTable(uint8_t** ppbyRed, uint8_t** ppbyGreen, uint8_t** ppbyBlue, uint16_t* pwSize);
  void GetMartix(uint16_t* pMatrix);
  void GetCurrentMatrix(uint16_t* pMatrix);
  // The alternate description's ID when alternate selected, else the primary's.
  std::u16string GetImageSourceID();
  // The third description's ID when third selected, else GetImageSourceID.
  std::u16string GetCurrentImageSourceID();

  // ---- Applying a client's document: the result code (0, 0x800C, 0x8002, 0x8004, 0x8006).
  uint32_t SetCurrent(std::u16string_view strSettings);
  // The ID chain of `store`'s current node: "/" name [@ID="..."] [@DependsOnValue="..."] per step.
  static bool GetCurrentNodeXPath(MSXML6StoreBSTR& store, std::u16string& path);

  // ---- Tone tables and matrix.
  // 256 tokens "0xHH" into 512 bytes (layout by IsGammaTable512).
  BOOL ParseGamma(std::u16string_view text, uint8_t* pbyData);
  // 9 tokens "0xHHH" into nine 16-bit values.
  BOOL ParseMatrix(std::u16string_view text, uint16_t* pMatrix);
  static uint8_t ComputeToneValue(uint8_t input, uint8_t brightness, double gamma, uint8_t contrast);

  // ---- The process-wide engine records (one set per process; written by Init, InitImprInquiry
  // and the NVRAM time setters, under a process-wide lock; read as snapshots).
  static ReduzidInq InquiryCopy();
  static ReduzidNVMData NVMDataCopy();
  static void SetInquiryCopy(const ReduzidInq& inq);
  static void SetNVMDataCopy(const ReduzidNVMData& nvm);
  // Writes one 16-bit field of the NVRAM copy (host order) at its byte offset.
  static void SetNVMDataWord(size_t offset, uint16_t value);
  static void SetImprRecords(const uint8_t (&inquiry)[kImprInquiryRecordSize],
                             const uint8_t (&info)[kImprInfoRecordSize],
                             const uint8_t (&nvm)[kImprNVMRecordSize]);
  static void GetImprRecords(uint8_t (&inquiry)[kImprInquiryRecordSize], uint8_t (&info)[kImprInfoRecordSize],
                             uint8_t (&nvm)[kImprNVMRecordSize]);
  // Set by a successful Init anywhere in the process.
  static bool IsSettingsInitialised();
  static void SetSettingsInitialised(bool value);

  // ---- Members (the driver writes the construction values and reads the window descriptions
  // and their flags).
  IRZDSettingsEngineLink* m_pEngineLink = nullptr;  // not owned
  std::u16string m_strProductName;
  std::u16string m_strVendorName;    // the vendor company name
  std::u16string m_strModelName;     // selects the DisableButtons key and the model folder
  uint16_t m_wModelID = 0;           // written as ModelID ("%.4X"): the USB product identifier
  uint16_t m_wVendorID = 0;          // written as VendorID ("%.4X"): the USB vendor identifier
  // Frame parameters (1/1000 inch; the truncation lengths in the engine's units).
  int32_t m_lFrameReserved1 = 0;     // carried, read by no operation
  int32_t m_lFrameReserved2 = 0;     // carried, read by no operation
  int32_t m_lMaxLongLength = 14000;  // read by no operation
  int32_t m_lOverScanMargin = 500;
  int32_t m_lFrontTruncLen = 400;
  int32_t m_lBackTruncLen = 200;
  uint8_t m_bNetworkData = 0;        // SetCurrent calls operation 17 when set

  RZDWindowDescription m_Primary;
  RZDWindowDescription m_Alternate;
  RZDWindowDescription m_Third;
  uint8_t m_bAlternateDefined = 0;
  uint8_t m_bThirdDefined = 0;
  uint8_t m_bAlternateSelected = 0;   // set by the scan preparation
  uint8_t m_bThirdSelected = 0;       // set by the scan preparation

  std::u16string m_strDriverVersion = u"X, X, X, X";
  std::u16string m_strTwainDSVersion = u"X, X, X, X";
  uint32_t m_uSupportedResourceId = IDR_XML_SUPPORTED_SETTINGS;

  uint8_t m_bFeederAndFlatbed = 0;    // Reset: a feeder and a flatbed/transparency source exist

 protected:
  explicit CRZDScannerSettingsBase(std::u16string featureName = u"RZD ScannerSettingsBase");

  // The supported-settings store (always allocated) and the current document.
  MSXML6StoreBSTR& SupportedStore() { return *m_pSupportedStore; }
  // Replaces the supported store (Reset swaps in the adapted scratch store).
  void ReplaceSupportedStore(std::unique_ptr<MSXML6StoreBSTR> store) { m_pSupportedStore = std::move(store); }
  // The held current document (NULL until the first successful UpdateCurrent).
  const Bstr& CurrentDocument() const { return m_bstrCurrent; }

  // The device description text (resource m_uSupportedResourceId of this module, without its
  // byte-order mark); false when the resource is missing or is not UTF-16 with the mark.
  bool LoadDescriptionResource(std::u16string& text);

 private:
  std::unique_ptr<MSXML6StoreBSTR> m_pSupportedStore;
  Bstr m_bstrCurrent;
};

}  // namespace rzd::lowdrv
