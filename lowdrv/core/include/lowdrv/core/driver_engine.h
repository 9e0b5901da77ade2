// CRZDREduzidLLD: the engine driver. Every operation of the scanner engine, reached through the
// unit's USB device (m_ScannerDevice) and the engine command interface (m_ReduzidScanner). It
// owns the settings object (m_pSettings) and implements what the settings model asks of it.
//
// Open, close, lock and unlock share the unit with other driver objects and other processes
// through named kernel objects (driver_names.h): the unit semaphore is held while a lock lasts and
// while an open talks to the engine; the old-driver event is held with it. The first open of the
// process that finds the unit's button-thread event free runs the unit's buttons thread.
//
// Operations whose bodies are not built yet answer 0x800A (result codes) or FALSE until then.
#pragma once

#include "lowdrv/core/driver_base.h"
#include "lowdrv/core/imprinter.h"
#include "lowdrv/core/scan_state.h"
#include "lowdrv/engine/reduzid_interface.h"
#include "lowdrv/engine/usb_device.h"
#include "lowdrv/settings/settings_av.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace rzd::gdi {
class GlyphSource;
}

namespace rzd::lowdrv {

namespace calibration {
struct Run;
// What a calibration thread runs on its record; answers the thread's exit code.
using ThreadBody = std::function<uint32_t(Run&)>;
}

// Bytes of the LCD string table block for a string count from the unit: 7 + 260 per string, at
// most 512 strings; 0 for a count of 0 (nothing to read).
uint32_t LcdStringBlockSize(uint32_t count);

class CRZDREduzidLLD : public CRZDBaseLLD, public IRZDSettingsEngineLink {
 public:
  explicit CRZDREduzidLLD(std::u16string_view devicePath);
  // Waits for a calibration thread, closes the unit (CloseScanner), closes the button-thread event
  // and destroys the settings object.
  ~CRZDREduzidLLD() override;

  // ---- Operations 16-21 overridden.
  LLDError DoControlCode(uint32_t dwControlCode, const char16_t* strIn, BSTR* pstrOut, void* pbyBufferIn,
                         uint32_t stSizeIn, void* pbyBufferOut, uint32_t* pstActualSizeOut) override;
  LLDError Read(uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut, BSTR* pstrMetaOut, uint32_t* pdwBoundary) override;
  std::u16string GetLastErrorString(LLDError error) override;

  // ---- Operations 22-82, in this order.
  virtual uint32_t GetStatus();                                            // 22
  virtual LLDError LockScanner(const void* pIn, uint32_t stSizeIn);         // 23
  virtual LLDError UnlockScanner();                                        // 24
  LLDError OpenScanner() override;                                         // 25
  LLDError CloseScanner() override;                                        // 26
  virtual LLDError ResetCurrentSettings(BSTR* pstrOut);                    // 27
  virtual LLDError ResetHardware();                                        // 28
  virtual LLDError CancelOperation();                                      // 29
  virtual LLDError GetScannerInfoString(BSTR* pstrOut);                    // 30
  virtual LLDError GetScannerSupportedString(BSTR* pstrOut);               // 31
  virtual LLDError GetScannerCurrentString(BSTR* pstrOut);                 // 32
  virtual LLDError SetScannerCurrentString(const char16_t* strSettings);   // 33
  virtual LLDError PollSensor(uint32_t* pulOut, const char16_t* strXPath); // 34
  virtual LLDError PollButton(uint32_t* pulState, const char16_t* strButton);  // 35
  virtual LLDError PollButtons(BSTR* pstrOut);                             // 36
  virtual LLDError FindImprinter(uint8_t* pbyFound);                       // 37
  virtual LLDError SetTrayHeight(uint16_t wHeight);                        // 38
  virtual LLDError SendLCDString(uint16_t wNumber, const char16_t* strText);  // 39
  virtual LLDError StartCalibration(BSTR* pstrOut);                        // 40
  virtual LLDError GetCalibrationStatus(const uint32_t* pIn, uint32_t* pULOut, uint32_t stOutBuffSize,
                                        BSTR* pstrOut);                    // 41
  virtual LLDError SendFirmwareBuffers(const uint8_t* pMaster, uint32_t masterSize, const uint8_t* pSlave,
                                       uint32_t slaveSize);                // 42
  virtual LLDError WriteFirmware(const void* pIn, uint32_t stSizeIn, const char16_t* strFirmware);  // 43
  virtual LLDError WriteDefaultFirmware();                                 // 44
  virtual LLDError GetIndicator(uint32_t* pulOut, uint32_t* pstSize, const char16_t* strXPath);  // 45
  virtual LLDError SetIndicator(const void* pIn, uint32_t stSizeIn, const char16_t* strXPath);   // 46
  virtual LLDError ResetScannerCounter(const void* pIn, uint32_t stSizeIn, const char16_t* strXPath);  // 47
  virtual LLDError ExecControl(const void* pIn, uint32_t stSizeIn, const char16_t* strXPath);    // 48
  virtual LLDError SessionStateChanged(const void* pIn, uint32_t stSizeIn);  // 49
  virtual LLDError GenericControl(const char16_t* strIn, uint32_t dwValue);  // 50
  virtual LLDError BinaryControl(const void* pIn, const char16_t* strIn);    // 51
  // 52: reads up to `request` bytes of image data; the engine's end flag and values in `result`.
  virtual LLDError ReadEngineImageData(uint8_t* pbyBuffer, uint32_t request, uint8_t& endFlag,
                                       ImageReadResult& result);
  virtual LLDError FillBackgroundLine(uint8_t* pbyBuffer, uint32_t length);  // 53
  // 54: fills the 128 bytes (luminance, then chrominance) for `scale` and sends them.
  virtual bool ChrominanceQuantizationTable(uint32_t scale, uint8_t (&tables)[kJPEGTablesSize]);
  virtual LLDError ComputeFirmwareChecksum(const uint8_t* pPart, uint32_t size, uint8_t* pRecord,
                                           uint32_t* pRecordSize);         // 55
  virtual bool CheckFirmwareBuffers(const uint8_t* pMaster, uint32_t masterSize, const uint8_t* pSlave,
                                    uint32_t slaveSize);                   // 56
  virtual bool SendPowerSavingTime(uint16_t minutes);                      // 57
  virtual bool SendPowerOffTime(uint16_t minutes);                         // 58
  virtual bool SendERPTime(uint16_t minutes);                              // 59
  virtual bool HasPowerOffTimer(const ReduzidInq& inq);                    // 60
  virtual bool GetInterfaceCapabilityFlag();                               // 61
  virtual bool HasERPTimer(const ReduzidInq& inq);                         // 62
  virtual void GetGammaTables(uint8_t** ppbyRed, uint8_t** ppbyGreen, uint8_t** ppbyBlue, uint16_t* pwLength);  // 63
  virtual LLDError MediaCheck(uint8_t* pbyStatus, uint8_t byCheckType);    // 64
  // 65: the last pass over the supported-settings document; does nothing.
  virtual void LLDHookA(MSXML6StoreBSTR& store);
  // 66: the firmware-update hook; FALSE.
  virtual BOOL LLDHookB();
  virtual bool IsCalibrationRunning();                                     // 67
  virtual bool IsCalibrationTimeUp();                                      // 68
  // 69: the engine's facts into the settings model; `read`: ask the engine, else take the
  // process's stored records.
  virtual LLDError GetScannerCfg(bool read);
  virtual LLDError PrepareScan(uint8_t* pbyMedia);                         // 70
  virtual LLDError ReadBackground(uint8_t* pbyBuffer, uint32_t* pSize);    // 71
  // 72 and 73: the page metadata of one side, and of both sides delivered in alternating blocks.
  virtual bool GenerateMetaData(const ReduzidWindowDescriptor& window, uint32_t dwLines, uint32_t bytes,
                                bool bEndOfImage, BSTR* pstrMetaData, std::u16string_view sourceId,
                                uint32_t autoWidth, uint32_t sideLines, uint32_t sideBytes, bool blank,
                                uint32_t mcu);
  virtual bool GenerateMetaDataBothSides(const ReduzidWindowDescriptor& window, uint32_t dwLines, uint32_t bytes,
                                    bool bEndOfImage, BSTR* pstrMetaData, std::u16string_view sourceId,
                                    uint32_t autoWidth, uint32_t sideLines, uint32_t sideBytes, bool blank,
                                    uint32_t mcu);
  virtual BOOL LoadOldLLDSyncObject();                                     // 74
  virtual BOOL UnLoadOldLLDSyncObject();                                   // 75
  virtual BOOL UnlockOldLLDSyncObject();                                   // 76
  virtual uint32_t GetLuminanceQuantTable(uint8_t** ppTable);              // 77
  virtual uint32_t GetChrominanceQuantTable(uint8_t** ppTable);            // 78
  virtual BOOL LockOldLLDSyncObject(uint32_t timeoutMs);                   // 79
  // 80: the engine's background raster of `length` bytes into the buffer.
  virtual LLDError ReadBackgroundRaster(uint8_t* pbyBuffer, uint32_t length);
  // 81: the window hook, called with the window record before it is sent; does nothing.
  virtual void LLDHookA(ReduzidWindowDesc& window);
  virtual LLDError WriteLcdScreen(const void* pIn, uint32_t stSizeIn, const char16_t* strSlot);  // 82

  // ---- The imprinter's line (imprinter/).
  // Composes the line from the settings' imprinter parameters, draws its glyphs and sends the
  // page-setting, digit-font, print-out, date-time, separate-font and parameter blocks.
  void SendImprinterPageSettings();
  // Draws `text` (mode imprint::kDigits, kText or kSeparators) for a font rotation into glyph
  // data, one 16-bit word per row; the average width (in mode kSeparators one width per byte of
  // the text) and the length in rows come back. Nothing is written past the spans.
  void RenderImprintGlyphs(uint8_t mode, int32_t rotation, uint8_t fontType, std::span<uint8_t> glyphs,
                           std::span<uint32_t> widths, uint32_t* length, std::string_view text, bool dbcsDefault,
                           uint8_t fixedPitch);
  // The page-setting block that closes a page's imprint at its end.
  BOOL SendImprinterClosingRecord();

  // ---- What the settings model asks (IRZDSettingsEngineLink).
  bool IsImprinterFitted() override;
  bool GetPowerTimeoutLimits(RZDPowerTimeoutLimits* limits) override;
  void AdaptSupportedSettings(MSXML6StoreBSTR& store) override;

  // ---- Read access for tests and the service.
  CScannerSettings_AV* Settings() const { return m_pSettings.get(); }
  uint32_t PageNumber() const { return m_ulPageNumber; }
  bool HoldsOldDriverEvent() const;
  const std::u16string& ProductText() const { return m_strProductText; }
  const std::u16string& RevisionText() const { return m_strRevisionText; }

  // ---- Members of the engine driver.
  CUSBDevice m_ScannerDevice;
  CReduzidInterface m_ReduzidScanner;
  std::unique_ptr<CScannerSettings_AV> m_pSettings;
  Event m_hButtonThreadEvent;
  std::u16string m_strOldDriverEventPrefix;  // empty in the engine driver
  Event m_hOldDriverEvent;
  uint32_t m_uDescriptionResource = 110;   // the device description
  uint32_t m_uReadResultResource = 120;    // the read-result template
  uint32_t m_uFirmwareMasterResource = 0;  // 0: no firmware image carried
  uint32_t m_uFirmwareSlaveResource = 0;
  uint8_t m_bReopen = 1;
  uint32_t m_ulPageNumber = 1;
  uint32_t m_ulSideCounter = 1;
  uint32_t m_ulButtonThreadWait = 1000;
  uint32_t m_ulShortTimeout = 500;
  uint32_t m_ulLongTimeout = 120000;
  uint32_t m_ulReleaseTimeout = 10000;
  uint32_t m_ulReserveTimeout = 500;
  uint32_t m_ulReadTimeout = 5000;
  uint8_t m_bNewCommandSet = 0;
  uint8_t m_bLongSense = 0;                 // handed to the engine interface by every open
  // The four per-model values of the settings model (row alignments A1 to A4).
  uint32_t m_ulAlign[4] = {1, 1, 8, 8};
  uint32_t m_errDFDErrWait = 0;
  uint8_t m_bUnitReserved = 0;
  uint8_t m_bDFDResetPending = 0;
  uint8_t m_bBatchReservation = 0;
  uint8_t m_bReadLoopFlag = 0;
  uint8_t m_bImprinterStarted = 0;
  uint32_t m_ulDFDButton = 0;               // the pending DFD decision (1 ignore, 2 retry, 3 stop)
  uint16_t m_wLastTrayHeight = 0;
  uint16_t m_wLastLcdNumber = 0;
  std::u16string m_strLastLcdText;
  Event m_hCalibEvent;
  Thread m_hCalibThread;
  uint8_t m_bImprinterFound = 0;
  uint8_t m_byImprInkLevel = 0;
  uint8_t m_byImprInkSecond = 0;
  std::shared_ptr<gdi::GlyphSource> m_pImprintGlyphs;  // null: the machine's fonts
  ImprinterClock m_ImprinterClock;                     // empty: the machine's local time
  std::u16string m_strProductText;          // the inquiry's product text
  std::u16string m_strRevisionText;         // the inquiry's revision text
  uint8_t m_bImprInkKnown = 0;              // the ink query of m_byImprInkLevel/Second succeeded
  // The calibration the object started (calibration.cpp): its status, progress and error, the
  // flags of operations 67 and 68, and what its thread needs. Shared with the thread, which may
  // outlive a wait for it.
  std::shared_ptr<calibration::Run> m_pCalibration;
  uint32_t m_ulCalibStepWait = 1000;        // ms between two calibration steps
  calibration::ThreadBody m_CalibrationBody;  // empty: calibration::CalibrationThread
  ScanState m_Scan;                         // the scan in progress (scan/)
  // The model's changes to the engine's inquiry record (applied before the settings see it).
  struct InquiryPatch {
    bool apply = false;
    uint8_t shadingTableType = 0;   // byte 91
    uint16_t overscanWidth = 0;     // bytes 165-166, host order
    // The model's settings rule for the record (its ERP timer), also applied before the power
    // times of the configuration read are checked; null: none.
    void (*modelRule)(ReduzidInq& inq) = nullptr;
  } m_InquiryPatch;

 protected:
  // The logging mix-in of this layer ("RZD REduzid LLD").
  CLogClient& EngineLog() { return m_EngineLog; }
  // Replaces the settings object (the model driver's own class).
  void ReplaceSettings(std::unique_ptr<CScannerSettings_AV> settings);
  // The engine driver's operation body for the model's overrides.
  LLDError EngineReadBackgroundRaster(uint8_t* pbyBuffer, uint32_t length);

 private:
  // The scan pipeline's steps (scan/) work on the driver's members and log under its feature.
  friend class ScanSteps;
  // Open steps after the semaphore: device, engine binding, configuration read.
  LLDError OpenUnitAndReadConfig(bool semaphoreHeld);
  // Gives back what a failed open took: the semaphore count, the old-driver event, the handles.
  void UndoFailedOpen(bool semaphoreHeld);
  // Byte 51 (AbilityEx2) of the process's inquiry record, and its bit 0x04: the unit reports
  // button presses.
  uint8_t AbilityEx2() const;
  bool UnitReportsButtons() const;
  void StartButtonsThreadIfFree();
  void StopButtonsThreadIfLast(uint32_t openCountAfter);
  bool ReadImprinterRecords();
  LLDError ReadLcdStringTable();
  // Holds the power times of `nvm` within the model's limits, for the unit whose inquiry record
  // is `inq` (the record this configuration read makes the process's).
  void LimitPowerTimeouts(const ReduzidInq& inq, ReduzidNVMData& nvm);

  // ---- Information, settings, maintenance (scanner_info.cpp, settings_ops.cpp, calibration.cpp).
  // The information document and the NVRAM record it was built from: read from the unit while
  // the object holds it (then also cached for the process), else the process's cached record.
  LLDError ReadScannerInfo(std::u16string& document, ReduzidNVMData& record);
  // Sends the power times that changed from `before` to the cached record; on a failure every
  // time already sent is sent back. 0 or the engine's code (the send's log line written).
  LLDError SendChangedPowerTimes(const ReduzidNVMData& before);
  // Ends a calibration thread: its stop event, then a wait of up to `waitMs` (messages flowing).
  // A thread that overruns is logged and left to end by itself; it keeps what it uses.
  void EndCalibrationThread(uint32_t waitMs);

  CLogClient m_EngineLog;
  // Open count of the process was raised by this object's open.
  bool m_bCounted = false;
};

}  // namespace rzd::lowdrv
