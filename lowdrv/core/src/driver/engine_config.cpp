// The configuration read at open: what the engine reports about itself, handed to the settings.
#include "foundation/func_trace.h"
#include "lowdrv/core/driver_engine.h"
#include "lowdrv/core/driver_system.h"
#include "lowdrv/engine/engine_caps.h"
#include "process_state.h"

#include <algorithm>
#include <cstring>

namespace rzd::lowdrv {

namespace {

// The LCD string table: a 7-byte head and 260 bytes per string. More strings than this are not
// read: the count comes from the unit and bounds an allocation.
constexpr uint32_t kLcdHeadBytes = 7;
constexpr uint32_t kLcdStringBytes = 260;
constexpr uint32_t kMaxLcdStrings = 512;

uint16_t Read16(const uint8_t* bytes) {
  uint16_t value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// Text of up to `count` bytes, ended by a zero byte, each byte widened.
std::u16string WidenBytes(const char* bytes, size_t count) {
  std::u16string text;
  for (size_t i = 0; i < count && bytes[i] != '\0'; ++i) text.push_back(static_cast<unsigned char>(bytes[i]));
  return text;
}

uint16_t Clamp(uint16_t value, uint16_t minimum, uint16_t maximum) {
  if (value > maximum) value = maximum;
  if (value < minimum) value = minimum;
  return value;
}

}  // namespace

uint32_t LcdStringBlockSize(uint32_t count) {
  const uint32_t strings = std::min(count, kMaxLcdStrings);
  return strings == 0 ? 0 : kLcdHeadBytes + kLcdStringBytes * strings;
}

LLDError CRZDREduzidLLD::GetScannerCfg(bool read) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"GetScannerCfg");
  RZD_TRACE_DWORD(&result, u"bRead = %d", read ? 1 : 0);

  ReduzidInq inq{};
  ReduzidNVMData nvm{};
  if (!read) {
    const std::optional<EngineInquiryCache> storedInq = driver_process::CachedInquiry();
    const std::optional<ReduzidNVMData> storedNvm = driver_process::CachedNVMData();
    if (!storedInq || !storedNvm) {
      RZD_LOG_ERROR_OF(EngineLog(), u"GetScannerCfg failed because no engine records are stored");
      return result = lld::kInternal;
    }
    inq = storedInq->Inquiry;
    nvm = *storedNvm;
  } else {
    m_ReduzidScanner.m_ulCmdTimeout = 5 * m_ulShortTimeout;
    const BOOL asked = m_ReduzidScanner.Inquiry();
    inq = m_ReduzidScanner.ReduzidInq;
    if (!asked && inq.ProductQualifier != 6) {
      RZD_LOG_ERROR_OF(EngineLog(), u"GetScannerCfg failed because ReduzidInq.ProductQualifier=%d",
                       static_cast<int>(inq.ProductQualifier));
      return result = m_ReduzidScanner.m_ulLastError;
    }
    // The model's view of the record reaches the settings before they are built, and the power
    // timers below are those of the model's record.
    if (m_InquiryPatch.apply) {
      inq.ASICShadingTableType = m_InquiryPatch.shadingTableType;
      inq.OverscanWidth = m_InquiryPatch.overscanWidth;
      if (m_InquiryPatch.modelRule) m_InquiryPatch.modelRule(inq);
      m_ReduzidScanner.ReduzidInq = inq;
    }
  }

  // The unit's abilities, as the inquiry (or the stored one) reported them.
  if (m_ReduzidScanner.m_Caps.Ultrasonic) m_pSettings->m_bUltrasonicOption = 1;
  m_bImprinterFound = m_ReduzidScanner.m_Caps.Imprinter ? 1 : 0;

  if (read) {
    if (m_bImprinterFound && m_bNewCommandSet && !ReadImprinterRecords()) return result = m_ReduzidScanner.m_ulLastError;
    if ((inq.AbilityEx7 & 0x01) && m_bNewCommandSet && !driver_process::HasLcdStringTable()) {
      result = ReadLcdStringTable();
      if (result != 0) return result;
    }
    const BOOL nvmRead = m_ReduzidScanner.ReadNVRAM(nvm);
    if (!nvmRead && nvm.BornDay == 0) {
      RZD_LOG_ERROR_OF(EngineLog(), u"GetScannerCfg failed because ReduzidNVMData.BornDay=%d",
                       static_cast<int>(nvm.BornDay));
      return result = m_ReduzidScanner.m_ulLastError;
    }
    LimitPowerTimeouts(inq, nvm);
  }

  m_pSettings->m_bCanUpdateFirmware = LLDHookB() ? 1 : 0;
  // The per-model values shape the window descriptions that Init builds, so they come first.
  m_pSettings->m_ulAlignA1 = m_ulAlign[0];
  m_pSettings->m_ulAlignA2 = m_ulAlign[1];
  m_pSettings->m_ulAlignA3 = m_ulAlign[2];
  m_pSettings->m_ulAlignA4 = m_ulAlign[3];
  if (!m_pSettings->Init(inq, nvm, this, m_strDriverVersion, m_strTwainDSVersion)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetScannerCfg failed because Init() failed");
    return result = lld::kInternal;
  }
  if (read) {
    // Init made the record the process's (and the model's rule changed it there): what is
    // stored beside it is what the inquiry reported besides the record.
    driver_process::StoreInquiryCaps(m_ReduzidScanner.GetInquiryCache().Caps);
    driver_process::StoreNVMData(nvm);
  }

  m_strProductText = WidenBytes(inq.ProductIdent, sizeof inq.ProductIdent);
  m_strRevisionText = WidenBytes(inq.ProductReversion, sizeof inq.ProductReversion);
  m_strFirmwareVersion = m_strRevisionText;
  return result = 0;
}

bool CRZDREduzidLLD::ReadImprinterRecords() {
  uint8_t inquiry[kImprInquiryRecordSize] = {};
  uint8_t info[kImprInfoRecordSize] = {};
  uint8_t nvmWire[520] = {};
  if (!m_ReduzidScanner.GetImprInquiry(inquiry)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetImprInquiry failed\n");
    return false;
  }
  if (!m_ReduzidScanner.GetImprInfoNew(info)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetImprInfo failed\n");
    return false;
  }
  if (!m_ReduzidScanner.GetImprNVMDataNew(nvmWire)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetImprNVMData failed\n");
    return false;
  }
  m_bImprInkKnown = m_ReduzidScanner.ReadImprInkRemainingNew(&m_byImprInkLevel, &m_byImprInkSecond) ? 1 : 0;
  uint8_t nvm[kImprNVMRecordSize] = {};
  std::memcpy(nvm, nvmWire, std::min(sizeof nvm, sizeof nvmWire));
  m_pSettings->InitImprInquiry(inquiry, info, nvm);
  return true;
}

LLDError CRZDREduzidLLD::ReadLcdStringTable() {
  driver_process::LcdStringTable table;
  if (!m_ReduzidScanner.ReadLCDStringInfoHeaderNew(table.header)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ReadLCDStringInfoHeader failed\n");
    return m_ReduzidScanner.m_ulLastError;
  }
  const uint32_t size = LcdStringBlockSize(Read16(table.header));
  if (size != 0) {
    table.block.assign(size, 0);
    if (!m_ReduzidScanner.ReadLCDSpecifyStringDataAllNew(table.block.data(), size)) {
      RZD_LOG_ERROR_OF(EngineLog(), u"ReadLCDSpecifyStringDataAll failed\n");
      return m_ReduzidScanner.m_ulLastError;
    }
  }
  table.currentString = Read16(table.header + 8);
  driver_process::StoreLcdStringTable(std::move(table));
  return 0;
}

void CRZDREduzidLLD::LimitPowerTimeouts(const ReduzidInq& inq, ReduzidNVMData& nvm) {
  const uint32_t found = LoadPowerTimeoutLimits();
  const RZDPowerTimeoutLimits limits = driver_process::PowerLimits();

  if (found & kPowerLimitsSleep) {
    const uint16_t sleep = Clamp(nvm.PowerSavingTime, limits.sleepMin, limits.sleepMax);
    if (sleep != nvm.PowerSavingTime && SendPowerSavingTime(sleep)) nvm.PowerSavingTime = sleep;
  }

  // Power-off and ERP follow one rule: held within their limits and, when not 0, not below the
  // sleep time; with power-off disabled on the machine a time that is not 0 becomes 0.
  const bool disabled = IsDisablePowerOff();
  auto limitTimer = [&](uint16_t& current, bool limitsKnown, uint16_t minimum, uint16_t maximum,
                        bool (CRZDREduzidLLD::*send)(uint16_t)) {
    uint16_t wanted = current;
    if (!disabled) {
      if (!limitsKnown) return;
      wanted = Clamp(current, minimum, maximum);
      if (wanted != 0 && wanted < nvm.PowerSavingTime) wanted = nvm.PowerSavingTime;
    } else {
      wanted = 0;
    }
    if (wanted != current && (this->*send)(wanted)) current = wanted;
  };
  if (HasPowerOffTimer(inq)) {
    uint16_t off = nvm.PowerOffTime;
    limitTimer(off, (found & kPowerLimitsOff) != 0, limits.offMin, limits.offMax, &CRZDREduzidLLD::SendPowerOffTime);
    nvm.PowerOffTime = off;
  }
  if (HasERPTimer(inq)) {
    uint16_t erp = nvm.ERPTime;
    limitTimer(erp, (found & kPowerLimitsERP) != 0, limits.erpMin, limits.erpMax, &CRZDREduzidLLD::SendERPTime);
    nvm.ERPTime = erp;
  }
}

// ---- Power time-outs in the engine.

bool CRZDREduzidLLD::SendPowerSavingTime(uint16_t minutes) {
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  return m_ReduzidScanner.SendPowerSavingTime(minutes) != FALSE;
}

bool CRZDREduzidLLD::SendPowerOffTime(uint16_t minutes) {
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  return m_ReduzidScanner.SendPowerOffTime(minutes) != FALSE;
}

bool CRZDREduzidLLD::SendERPTime(uint16_t minutes) {
  if (!m_bNewCommandSet) return false;
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  return m_ReduzidScanner.SendERPTimeNew(minutes) != FALSE;
}

bool CRZDREduzidLLD::HasPowerOffTimer(const ReduzidInq& inq) {
  return (InqBytes(inq)[149] & 0x05) == 0x05;
}

bool CRZDREduzidLLD::HasERPTimer(const ReduzidInq& inq) {
  return caps::IsSet(InqBytes(inq), sizeof inq, caps::kInqERPTimer);
}

}  // namespace rzd::lowdrv
