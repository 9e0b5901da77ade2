// CReduzidInterface: the engine's two command sets over one USB device. It keeps the last
// status, sense and result code, and runs every command under the process-wide command lock.
//
// Every operation returns TRUE when its command succeeded and leaves the result code in
// m_ulLastError (never 0 after a failure). Operations named ...New exist only in the new command
// set and refuse under the classic set (FALSE, result 21); the dispatchers without a suffix pick
// the body by m_bNewCommandSet.
#pragma once

#include "lowdrv/engine/button_report.h"
#include "lowdrv/engine/calib_format.h"
#include "lowdrv/engine/inquiry_record.h"
#include "lowdrv/engine/new_set_inquiry.h"
#include "lowdrv/engine/nvm_record.h"
#include "lowdrv/engine/result_codes.h"
#include "lowdrv/engine/scanner_base.h"
#include "lowdrv/engine/send_records.h"
#include "lowdrv/engine/sense_record.h"
#include "lowdrv/engine/window_desc.h"

#include <cstddef>
#include <cstdint>

namespace rzd::lowdrv {

struct Cdb;

// What an open may take from an earlier open of the same unit instead of asking the engine:
// the inquiry record and what the new-set inquiry reported beside it.
struct EngineInquiryCache {
  ::rzd::lowdrv::ReduzidInq Inquiry{};
  EngineCapabilities Caps{};
};

// The three values and flags an image-data read reports besides its bytes.
struct ImageReadResult {
  uint32_t actualLength = 0;  // bytes of the buffer that hold image data
  uint32_t value1 = 0;        // sense bytes 22-24 at the end of a side
  uint32_t value2 = 0;        // sense bytes 25-27
  uint32_t value3 = 0;        // sense bytes 28-31
  uint32_t transferred = 0;   // data-phase bytes of a failed read (0 after a successful one)
  uint8_t secondFlag = 0;     // ASCQ 0x22: the other side ended
};

class CReduzidInterface : public CScannerBase {
 public:
  CReduzidInterface();
  ~CReduzidInterface() override;

  using CScannerBase::SetDevice;
  BOOL DoSCSICommand(const uint8_t* cdb, uint32_t cdbLength, void* data, uint32_t dataLength, int direction) override;
  // ---- Operation 18: binds the USB device and reads (or takes from `cached`) the inquiry.
  // With a non-zero time-out one TEST UNIT READY runs with it first.
  virtual BOOL SetDevice(CDevice* device, const EngineInquiryCache* cached, uint32_t timeoutMs);

  // The inquiry record and new-set capabilities as held now, to serve a later cached open.
  EngineInquiryCache GetInquiryCache() const;

  // ---- Results and texts.
  LLDError InterfaceToScannerError();
  LLDError SenseToScannerError(const ReduzidSense& sense) const;
  static std::u16string_view ScannerErrorToText(LLDError code);
  // Up to ten TEST UNIT READY with a 3000 ms time-out each; 0 when ready.
  LLDError WaitForUnitReady();

  // ---- Commands without data.
  BOOL TestUnitReady();
  BOOL TestUnitReadyNew();
  BOOL TestUnitReadyClassic();
  BOOL ReserveUnit(uint8_t control);
  BOOL ReleaseUnit(uint8_t control);
  BOOL ResetUnit();
  BOOL ResetFWNew();
  BOOL Scan();  // classic set only
  BOOL ObjectPosition();

  // ---- Commands with their own blocks.
  BOOL RequestSense();                    // polling form in the new set
  BOOL RequestSenseNew(bool automatic);   // automatic: the form sent after a check condition
  BOOL RequestSenseClassic();
  BOOL Inquiry();
  BOOL InquiryNew();
  BOOL InquiryClassic();
  BOOL SetWindow(ReduzidWindowDesc& window);
  BOOL SetWindowNew(ReduzidWindowDesc& window);
  BOOL SetWindowClassic(ReduzidWindowDesc& window);
  BOOL MediaCheck(uint8_t checkType, uint8_t* status);
  BOOL MediaCheckNew(uint8_t* status);
  BOOL MediaCheckClassic(uint8_t checkType, uint8_t* status);
  BOOL GetDFDButtonNew(uint8_t* status);

  // ---- Data-type commands.
  // `endFlag` in: the information field counts bytes not delivered; out: a side ended.
  BOOL ReadImageData(uint8_t* buffer, uint32_t length, uint8_t& endFlag, ImageReadResult& result);
  BOOL ReadCalibrationFormat(ReduzidCalibFormat& format);
  BOOL PollEngineState6D(uint8_t* answer8);
  BOOL ReadEngineValue6F(uint32_t* value);
  BOOL ReadNVRAM(ReduzidNVMData& nvm);
  BOOL ReadNVRAMNew(ReduzidNVMData& nvm);
  BOOL ReadNVRAMClassic(ReduzidNVMData& nvm);
  BOOL SendGammaTables(const uint8_t* red, const uint8_t* green, const uint8_t* blue, uint16_t length);
  BOOL SendMatrix(const uint16_t (&matrix)[9]);
  BOOL SendNVRAM(const ReduzidNVMData& nvm);
  BOOL SendFlashRAM(const uint8_t* block, uint32_t length);
  BOOL SendJPEGQuantizationTables(const uint8_t (&tables)[kJPEGTablesSize]);
  BOOL SendControlIndividualUltrasonicSensorNew(uint32_t sensorMask);
  BOOL SendTruncLen(bool tail, uint16_t length, uint16_t secondLength);
  BOOL SendIP(const uint8_t (&block)[kIPBlockSize]);
  BOOL SendNVRAMFieldNew(uint32_t value);
  BOOL ReadBackgroundRaster(uint8_t* buffer, uint32_t length);
  BOOL LampControl(bool on);
  BOOL ReadLampStatus(uint8_t* status);
  BOOL ReadButtonStatus(ButtonReport& report);
  BOOL SendPowerSavingTime(uint16_t minutes);
  BOOL SendPowerOffTime(uint16_t minutes);
  BOOL SendERPTimeNew(uint16_t minutes);
  BOOL SendLEDNumNew(uint8_t indicator);
  BOOL SendLEDNumClassic(const uint8_t (&record)[8]);
  BOOL ReadDuplexTransferMode(uint8_t (&answer)[7]);
  BOOL ReadInputTrayAbility(uint16_t (&values)[14]);
  BOOL SendTrayHeight(uint16_t height);
  BOOL ReadLCDStringInfoHeaderNew(uint8_t (&header)[20]);
  BOOL SendLCDSpecifyStringDataNew(const uint8_t (&block)[kLCDStringBlockSize]);
  BOOL ReadLCDSpecifyStringDataAllNew(uint8_t* buffer, uint32_t length);
  BOOL SendLCDDisplayData(const uint8_t* buffer, size_t size);
  BOOL SendResetDFDSelection();
  BOOL GetImprInquiry(uint8_t (&record)[71]);
  BOOL GetImprInfoNew(uint8_t (&record)[71]);
  BOOL SetImprParameterNew(const uint8_t (&param)[kImprParameterSize]);
  BOOL SetImprPageSettingNew(const uint8_t* record, size_t size);
  BOOL GetImprNVMDataNew(uint8_t (&record)[520]);
  BOOL EnableImprinterNew();
  BOOL DisableImprinterNew();
  BOOL StartImprinterNew();
  BOOL StopImprinterNew();
  BOOL ReadImprInkRemainingNew(uint8_t* first, uint8_t* second);
  BOOL CleanImprinterNew();
  // Dispatcher names of the new-set-only imprinter operations.
  BOOL DisableImprinter() { return DisableImprinterNew(); }
  BOOL StopImprinter() { return StopImprinterNew(); }
  BOOL ReadImprInkRemaining(uint8_t* first, uint8_t* second) { return ReadImprInkRemainingNew(first, second); }

  // Generic new-set READ and SEND of a data type (the imprinter's font and text blocks).
  BOOL ReadNew(uint16_t dataType, void* buffer, uint32_t length);
  BOOL SendNew(uint16_t dataType, const void* data, uint32_t length);

  // ---- State the driver reads and sets directly.
  ReduzidSense m_Sense{};                  // host order
  ::rzd::lowdrv::ReduzidInq ReduzidInq{};  // the inquiry record
  uint8_t m_byStatus = 0;                  // status byte of the last command
  LLDError m_ulLastError = 0;              // result of the last command
  uint8_t m_bInRequestSense = 0;
  uint32_t m_ulCmdTimeout = 5000;          // ms per transfer of a command
  uint8_t m_bCalibPollStarted = 0;
  EngineCapabilities m_Caps{};             // set by the new-set inquiry
  uint8_t m_Cdb[12] = {};
  uint8_t m_bLongSense = 0;
  uint8_t m_bNewCommandSet = 0;
  uint8_t m_bBackgroundCheck = 0;          // set by the new-set SET WINDOW
  uint32_t m_ulDataTransferred = 0;        // data-phase bytes of the last command

 private:
  friend class EngineOperation;
  BOOL Run(const Cdb& cdb, void* data, uint32_t length, int direction);
  BOOL ReadClassic(uint8_t dataType, void* buffer, uint32_t length);
  BOOL SendClassic(uint8_t dataType, uint16_t qualifier, const void* data, uint32_t length);
  BOOL RefuseClassic();
  BOOL Refuse(LLDError code);
  BOOL SendImprinterAction(uint16_t dataType, uint8_t action);
  void SendSenseToCaller(void* data, uint32_t dataLength);
  BOOL DoCommandPhases(void* data, uint32_t dataLength, int direction, uint32_t& dataCount);
};

}  // namespace rzd::lowdrv
