// Engine commands of CReduzidInterface: unit control, inquiry, window and media check.
#include "engine_operation.h"
#include "lowdrv/engine/byte_order.h"
#include "lowdrv/engine/command_blocks.h"
#include "lowdrv/engine/hex_dump.h"
#include "lowdrv/engine/new_set_window.h"
#include "lowdrv/engine/reduzid_interface.h"
#include "lowdrv/engine/sense_decode.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace rzd::lowdrv {

BOOL CReduzidInterface::ReserveUnit(uint8_t control) {
  EngineOperation op(*this, u"ReserveUnit");
  RZD_LOG_DATA_INFO(u"Control: 0x%02X", control);
  return op.Done(Run(m_bNewCommandSet ? NewReserveUnitCdb(control) : ClassicReserveUnitCdb(control), nullptr, 0, kDataNone));
}

BOOL CReduzidInterface::ReleaseUnit(uint8_t control) {
  EngineOperation op(*this, u"ReleaseUnit");
  RZD_LOG_DATA_INFO(u"Control: 0x%02X", control);
  return op.Done(Run(m_bNewCommandSet ? NewReleaseUnitCdb(control) : ClassicReleaseUnitCdb(control), nullptr, 0, kDataNone));
}

BOOL CReduzidInterface::ResetUnit() {
  if (m_bNewCommandSet) return ResetFWNew();
  EngineOperation op(*this, u"Reset Unit");
  return op.Done(Run(ClassicResetUnitCdb(), nullptr, 0, kDataNone));
}

BOOL CReduzidInterface::ResetFWNew() {
  EngineOperation op(*this, u"ResetFWNew");
  // Sent with the write direction and no data: the command layer corrects the direction.
  return op.Done(Run(NewResetCdb(), nullptr, 0, kDataOut));
}

BOOL CReduzidInterface::Scan() {
  EngineOperation op(*this, u"Scan");
  if (m_bNewCommandSet) {
    // The new set has no SCAN command: nothing is sent.
    RZD_LOG_ERROR(u"Function not supported by the new command set");
    return op.Done(Refuse(lld::kInvalidCommand));
  }
  RZD_LOG_DATA_INFO(u"Preview: [%s]\n", u"FALSE");
  RZD_LOG_DATA_INFO(u"Quality: [%s]\n", u"TRUE");
  return op.Done(Run(ClassicScanCdb(), nullptr, 0, kDataNone));
}

BOOL CReduzidInterface::ObjectPosition() {
  EngineOperation op(*this, u"ObjectPosition");
  if (m_bNewCommandSet) {
    RZD_LOG_INFO(u"Function not supported");
    return op.Done(TRUE);
  }
  RZD_LOG_DATA_INFO(u"Position: 0x%02X", 0);
  return op.Done(Run(ClassicObjectPositionCdb(0), nullptr, 0, kDataNone));
}

// ---- Inquiry.

BOOL CReduzidInterface::Inquiry() { return m_bNewCommandSet ? InquiryNew() : InquiryClassic(); }

BOOL CReduzidInterface::InquiryNew() {
  EngineOperation op(*this, u"Inquiry");
  uint8_t head[5] = {};
  if (!Run(NewInquiryCdb(sizeof head), head, sizeof head, kDataIn)) return op.Done(FALSE);
  const uint16_t size = GetBE16(head + 3);
  if (size <= sizeof head) return op.Done(TRUE);
  // The allocation travels in one byte: at most 255 bytes are asked for.
  const uint8_t allocation = static_cast<uint8_t>(std::min<size_t>(size, kNewInquiryMax));
  std::vector<uint8_t> answer(allocation, 0);
  if (!Run(NewInquiryCdb(allocation), answer.data(), allocation, kDataIn)) return op.Done(FALSE);
  TranslateNewInquiry(answer.data(), m_ulDataTransferred, ReduzidInq, m_Caps);
  if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%S", DumpInquiry(ReduzidInq).c_str());
  return op.Done(TRUE);
}

BOOL CReduzidInterface::InquiryClassic() {
  EngineOperation op(*this, u"Inquiry");
  uint8_t* record = InqBytes(ReduzidInq);
  BOOL ok = Run(ClassicInquiryCdb(5), record, 5, kDataIn);
  if (ok && ReduzidInq.ProductQualifier == 6) {
    const uint32_t allocation = std::min<uint32_t>(ReduzidInq.AdditionalLength + 5u, kClassicInquiryMax);
    ok = Run(ClassicInquiryCdb(static_cast<uint8_t>(allocation)), record, allocation, kDataIn);
    if (ok) {
      ConvertByteOrder(ReduzidInq);
      if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%S", DumpInquiry(ReduzidInq).c_str());
    }
  }
  return op.Done(ok);
}

// ---- Window.

BOOL CReduzidInterface::SetWindow(ReduzidWindowDesc& window) {
  return m_bNewCommandSet ? SetWindowNew(window) : SetWindowClassic(window);
}

BOOL CReduzidInterface::SetWindowNew(ReduzidWindowDesc& window) {
  EngineOperation op(*this, u"SetWindow");
  NewWindowResult built = BuildNewWindow(window, m_Caps);
  m_bBackgroundCheck = built.backgroundCheck ? 1 : 0;
  if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%S", DumpWindow(window).c_str());
  return op.Done(Run(NewSetWindowCdb(), built.bytes.data(), kNewWindowSize, kDataOut));
}

BOOL CReduzidInterface::SetWindowClassic(ReduzidWindowDesc& window) {
  EngineOperation op(*this, u"SetWindow");
  if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%S", DumpWindow(window).c_str());
  // The transfer length is one byte: the low byte of the descriptor length plus the header.
  // A length that byte cannot hold is refused, so the block never names fewer bytes than go
  // out. What lies beyond the record is sent as zeros rather than read from past its end.
  const uint32_t length = ClassicWindowTransferLength(window);
  if (length > kClassicWindowMaxTransfer) {
    RZD_LOG_ERROR(u"SetWindow failed because the window's length %u does not fit the command block",
                  static_cast<uint32_t>(window.Data.Length));
    return op.Done(Refuse(lld::kInvalidParameter));
  }
  std::vector<uint8_t> wire(length, 0);
  ReduzidWindowDesc converted = window;
  ConvertByteOrder(converted);
  std::memcpy(wire.data(), &converted, std::min<size_t>(length, sizeof converted));
  return op.Done(Run(ClassicSetWindowCdb(static_cast<uint8_t>(length)), wire.data(), length, kDataOut));
}

// ---- Media and buttons.

BOOL CReduzidInterface::MediaCheck(uint8_t checkType, uint8_t* status) {
  return m_bNewCommandSet ? MediaCheckNew(status) : MediaCheckClassic(checkType, status);
}

BOOL CReduzidInterface::MediaCheckNew(uint8_t* status) {
  EngineOperation op(*this, u"MediaCheck");
  uint8_t answer[kNewMediaCheckLength] = {};
  BOOL ok = Run(NewMediaCheckCdb(), answer, sizeof answer, kDataIn);
  if (status) *status = answer[4];
  RZD_LOG_DATA_INFO(u"ADF Status : 0x%02X", answer[4]);
  if (ok && answer[4] == 0) {
    ok = RequestSenseNew(false);
    if (ok) {
      const LLDError decoded = ::rzd::lowdrv::SenseToScannerError(m_Sense);
      if (decoded != lld::kSuccess && decoded != lld::kNoSense) {
        m_ulLastError = decoded;  // the sense stays readable
        ok = FALSE;
      }
    }
  }
  return op.Done(ok);
}

BOOL CReduzidInterface::MediaCheckClassic(uint8_t checkType, uint8_t* status) {
  EngineOperation op(*this, u"MediaCheck");
  RZD_LOG_DATA_INFO(u"Check Type: 0x%02X", checkType);
  uint8_t answer = 0;
  const BOOL ok = Run(ClassicMediaCheckCdb(checkType), &answer, 1, kDataIn);
  if (status) *status = answer;
  return op.Done(ok);
}

BOOL CReduzidInterface::GetDFDButtonNew(uint8_t* status) {
  EngineOperation op(*this, u"GetDFDButtonNew");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  uint8_t answer[kNewDfdButtonLength] = {};
  const BOOL ok = Run(NewDfdButtonCdb(), answer, sizeof answer, kDataIn);
  if (status) *status = answer[4];
  RZD_LOG_DATA_INFO(u"DFD Status : 0x%02X", answer[4]);
  return op.Done(ok);
}

}  // namespace rzd::lowdrv
