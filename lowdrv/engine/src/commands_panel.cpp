// Engine commands of CReduzidInterface: lamp, buttons, power times, indicators, input tray,
// LCD screens and strings, feeder settings and the imprinter.
#include "engine_operation.h"
#include "lowdrv/engine/byte_order.h"
#include "lowdrv/engine/command_blocks.h"
#include "lowdrv/engine/imprinter_records.h"
#include "lowdrv/engine/reduzid_interface.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace rzd::lowdrv {

namespace {

uint32_t SizeOf(const Bytes& b) { return static_cast<uint32_t>(b.size()); }

// Fields of an answer are turned to host order only when they arrived whole: a short answer
// leaves the caller's bytes beyond it as they were.
void SwapArrived16(uint8_t* answer, uint32_t at, uint32_t arrived) {
  if (at + 2 <= arrived) SwapField16(answer + at);
}
void SwapArrived32(uint8_t* answer, uint32_t at, uint32_t arrived) {
  if (at + 4 <= arrived) SwapField32(answer + at);
}

}  // namespace

// ---- Lamp and buttons.

BOOL CReduzidInterface::LampControl(bool on) {
  EngineOperation op(*this, u"LampControl");
  if (m_bNewCommandSet) return op.Done(TRUE);  // the new set has no lamp command
  const Bytes record = LampRecordClassic(on);
  return op.Done(SendClassic(static_cast<uint8_t>(dt::kLamp), dtq::kNone, record.data(), SizeOf(record)));
}

BOOL CReduzidInterface::ReadLampStatus(uint8_t* status) {
  EngineOperation op(*this, u"ReadLampStatus");
  BOOL ok = FALSE;
  if (m_bNewCommandSet) {
    uint8_t answer[5] = {};
    ok = ReadNew(dt::kLamp, answer, sizeof answer);
    if (ok && status) *status = answer[4];
  } else {
    uint8_t answer = 0;
    ok = ReadClassic(static_cast<uint8_t>(dt::kLamp), &answer, 1);
    if (ok && status) *status = answer;
  }
  return op.Done(ok);
}

BOOL CReduzidInterface::ReadButtonStatus(ButtonReport& report) {
  EngineOperation op(*this, u"ReadButtonStatus");
  BOOL ok = FALSE;
  if (m_bNewCommandSet) {
    uint8_t answer[20] = {};
    ok = ReadNew(dt::kButtons, answer, sizeof answer);
    if (ok) std::memcpy(&report, answer + 4, sizeof report);
  } else {
    ok = ReadClassic(static_cast<uint8_t>(dt::kButtons), &report, sizeof report);
  }
  if (ok && DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%S", DumpButtonReport(report).c_str());
  return op.Done(ok);
}

// ---- Power times and indicators.

BOOL CReduzidInterface::SendPowerSavingTime(uint16_t minutes) {
  EngineOperation op(*this, u"SendPowerSavingTime");
  RZD_LOG_DATA_INFO(u"\nTime: %d", minutes);
  if (m_bNewCommandSet) {
    const Bytes record = TimeRecord(minutes);
    return op.Done(SendNew(dt::kPowerSaving, record.data(), SizeOf(record)));
  }
  const Bytes record = TimeRecordClassic(minutes);
  return op.Done(SendClassic(static_cast<uint8_t>(dt::kPowerSavingClassic), dtq::kNone, record.data(), SizeOf(record)));
}

BOOL CReduzidInterface::SendPowerOffTime(uint16_t minutes) {
  EngineOperation op(*this, u"SendPowerOffTime");
  RZD_LOG_DATA_INFO(u"\nTime: %d", minutes);
  if (m_bNewCommandSet) {
    const Bytes record = TimeRecord(minutes);
    return op.Done(SendNew(dt::kPowerOff, record.data(), SizeOf(record)));
  }
  const Bytes record = TimeRecordClassic(minutes);
  return op.Done(SendClassic(static_cast<uint8_t>(dt::kPowerOffClassic), dtq::kNone, record.data(), SizeOf(record)));
}

BOOL CReduzidInterface::SendERPTimeNew(uint16_t minutes) {
  EngineOperation op(*this, u"SendERPTimeNew");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  RZD_LOG_DATA_INFO(u"\nTime: %d", minutes);
  const Bytes record = TimeRecord(minutes);
  return op.Done(SendNew(dt::kERPTime, record.data(), SizeOf(record)));
}

BOOL CReduzidInterface::SendLEDNumNew(uint8_t indicator) {
  EngineOperation op(*this, u"SendLEDNum");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  RZD_LOG_DATA_INFO(u"\nLED Num: %d", indicator);
  const Bytes record = LEDNumRecord(indicator);
  return op.Done(SendNew(dt::kLEDNum, record.data(), SizeOf(record)));
}

BOOL CReduzidInterface::SendLEDNumClassic(const uint8_t (&record)[8]) {
  EngineOperation op(*this, u"SendLEDNum");
  RZD_LOG_DATA_INFO(u"\nLED Num: %d", record[0]);
  return op.Done(SendClassic(static_cast<uint8_t>(dt::kLEDNum), dtq::kLEDNum, record, sizeof record));
}

// ---- Feeder and tray.

BOOL CReduzidInterface::ReadDuplexTransferMode(uint8_t (&answer)[7]) {
  EngineOperation op(*this, u"ReadDuplexTransferMode");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  const BOOL ok = ReadNew(dt::kDuplexTransferMode, answer, sizeof answer);
  if (ok) SwapField16(answer + 5);
  return op.Done(ok);
}

BOOL CReduzidInterface::ReadInputTrayAbility(uint16_t (&values)[14]) {
  EngineOperation op(*this, u"ReadInputTrayAbility");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  uint8_t answer[32] = {};
  const BOOL ok = ReadNew(dt::kInputTray, answer, sizeof answer);
  if (ok) {
    for (size_t i = 0; i < 14; ++i) values[i] = GetBE16(answer + 4 + 2 * i);
    RZD_LOG_DATA_INFO(u"\nCurrentHeight: %d", values[13]);
  }
  return op.Done(ok);
}

BOOL CReduzidInterface::SendTrayHeight(uint16_t height) {
  EngineOperation op(*this, u"SendTrayHeight");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  RZD_LOG_DATA_INFO(u"\nTrayHeight: %d", height);
  const Bytes record = TimeRecord(height);
  return op.Done(SendNew(dt::kInputTray, record.data(), SizeOf(record)));
}

BOOL CReduzidInterface::SendResetDFDSelection() {
  EngineOperation op(*this, u"SendResetDFDSelection");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  const Bytes record = ResetDFDSelectionRecord();
  return op.Done(SendNew(dt::kResetDFD, record.data(), SizeOf(record)));
}

// ---- LCD.

BOOL CReduzidInterface::ReadLCDStringInfoHeaderNew(uint8_t (&header)[20]) {
  EngineOperation op(*this, u"ReadLCDStringInfoHeader");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  const BOOL ok = ReadNew(dt::kLCDStringInfo, header, sizeof header);
  if (ok) {
    const uint32_t arrived = std::min<uint32_t>(m_ulDataTransferred, sizeof header);
    SwapArrived16(header, 0, arrived);
    SwapArrived32(header, 4, arrived);
    SwapArrived16(header, 8, arrived);
  }
  return op.Done(ok);
}

BOOL CReduzidInterface::SendLCDSpecifyStringDataNew(const uint8_t (&block)[kLCDStringBlockSize]) {
  EngineOperation op(*this, u"SendLCDSpecifyStringData");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  const Bytes record = LCDStringRecord(block);
  return op.Done(SendNew(dt::kLCDStringData, record.data(), SizeOf(record)));
}

BOOL CReduzidInterface::ReadLCDSpecifyStringDataAllNew(uint8_t* buffer, uint32_t length) {
  EngineOperation op(*this, u"ReadLCDSpecifyStringDataAll");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  if (!buffer || length < 7) return op.Done(Refuse(lld::kInternal));
  if (!ReadNew(dt::kLCDStringData, buffer, length)) return op.Done(FALSE);
  const uint32_t arrived = std::min(m_ulDataTransferred, length);
  SwapArrived16(buffer, 0, arrived);
  SwapArrived32(buffer, 3, arrived);
  if (arrived < 7) return op.Done(TRUE);  // no length stated: no entry to convert
  // Entries are converted only within the stated length, the buffer and what arrived.
  const uint32_t stated = GetLE32(buffer + 3);
  const uint32_t used = std::min(stated, arrived);
  if (used > 266) {
    const uint32_t entries = (used - 267) / 260 + 1;
    for (uint32_t i = 0; i < entries; ++i) SwapField16(buffer + 7 + 260 * i);
  }
  return op.Done(TRUE);
}

BOOL CReduzidInterface::SendLCDDisplayData(const uint8_t* buffer, size_t size) {
  EngineOperation op(*this, u"SendLCDDisplayData");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  const std::optional<Bytes> record = LCDDisplayRecord(buffer, size);
  if (!record) return op.Done(Refuse(lld::kInternal));
  return op.Done(SendNew(dt::kLCDDisplay, record->data(), SizeOf(*record)));
}

// ---- Imprinter.

BOOL CReduzidInterface::GetImprInquiry(uint8_t (&record)[kImprInquirySize]) {
  EngineOperation op(*this, u"GetImprInquiry");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  const BOOL ok = ReadNew(dt::kImprInquiry, record, sizeof record);
  if (ok) ConvertImprInquiry(record);
  return op.Done(ok);
}

BOOL CReduzidInterface::GetImprInfoNew(uint8_t (&record)[kImprInfoSize]) {
  EngineOperation op(*this, u"GetImprInfoNew");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  const BOOL ok = ReadNew(dt::kImprInfo, record, sizeof record);
  if (ok) ConvertImprInfo(record);
  return op.Done(ok);
}

BOOL CReduzidInterface::GetImprNVMDataNew(uint8_t (&record)[kImprNVMRecordSize]) {
  EngineOperation op(*this, u"GetImprNVMDataNew");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  // The engine answers one byte more than the record holds: read into a buffer of the wire size.
  uint8_t answer[kImprNVMWireSize] = {};
  const BOOL ok = ReadNew(dt::kImprNVMData, answer, sizeof answer);
  if (ok) {
    ConvertImprNVMData(answer, sizeof answer);
    std::memcpy(record, answer, sizeof record);
  }
  return op.Done(ok);
}

BOOL CReduzidInterface::SetImprParameterNew(const uint8_t (&param)[kImprParameterSize]) {
  EngineOperation op(*this, u"SetImprParameterNew");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  const Bytes record = ImprParameterRecord(param);
  return op.Done(SendNew(dt::kImprParameter, record.data(), SizeOf(record)));
}

BOOL CReduzidInterface::SetImprPageSettingNew(const uint8_t* record, size_t size) {
  EngineOperation op(*this, u"SetImprPageSettingNew");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  const std::optional<Bytes> wire = ImprPageSettingRecord(record, size);
  if (!wire) {
    RZD_LOG_ERROR(u"SetImprPageSettingNew failed because the record length does not fit its buffer of %d bytes",
                  static_cast<int>(size));
    return op.Done(Refuse(lld::kInternal));
  }
  return op.Done(SendNew(dt::kImprPageSetting, wire->data(), SizeOf(*wire)));
}

BOOL CReduzidInterface::SendImprinterAction(uint16_t dataType, uint8_t action) {
  if (!m_bNewCommandSet) return RefuseClassic();
  const Bytes record = ImprinterActionRecord(action);
  return SendNew(dataType, record.data(), SizeOf(record));
}

BOOL CReduzidInterface::EnableImprinterNew() {
  EngineOperation op(*this, u"EnableImprinterNew");
  return op.Done(SendImprinterAction(dt::kImprEnable, 1));
}

BOOL CReduzidInterface::DisableImprinterNew() {
  EngineOperation op(*this, u"DisableImprinterNew");
  return op.Done(SendImprinterAction(dt::kImprEnable, 0));
}

BOOL CReduzidInterface::StartImprinterNew() {
  EngineOperation op(*this, u"StartImprinterNew");
  return op.Done(SendImprinterAction(dt::kImprStart, 1));
}

BOOL CReduzidInterface::StopImprinterNew() {
  EngineOperation op(*this, u"StopImprinterNew");
  return op.Done(SendImprinterAction(dt::kImprStart, 2));
}

BOOL CReduzidInterface::CleanImprinterNew() {
  EngineOperation op(*this, u"CleanImprinterNew");
  return op.Done(SendImprinterAction(dt::kImprClean, 1));
}

BOOL CReduzidInterface::ReadImprInkRemainingNew(uint8_t* first, uint8_t* second) {
  EngineOperation op(*this, u"ReadImprInkRemainingNew");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  uint8_t answer[9] = {};
  const BOOL ok = ReadNew(dt::kImprInk, answer, sizeof answer);
  if (ok) {
    if (first) *first = answer[7];
    if (second) *second = answer[8];
  }
  return op.Done(ok);
}

}  // namespace rzd::lowdrv
