// The settings documents of the unit (operations 27, 31, 32, 33) and the power time-outs that
// applying settings sends to the unit.
#include "bstr_out.h"
#include "foundation/func_trace.h"
#include "lowdrv/core/driver_engine.h"
#include "process_state.h"

#include <vector>

namespace rzd::lowdrv {

namespace {

// The power times of a record, in the order they are sent.
enum class PowerTime { Sleep, Off, ERP };

uint16_t ValueOf(const ReduzidNVMData& nvm, PowerTime which) {
  switch (which) {
    case PowerTime::Sleep: return nvm.PowerSavingTime;
    case PowerTime::Off: return nvm.PowerOffTime;
    case PowerTime::ERP: return nvm.ERPTime;
  }
  return 0;
}

const char16_t* SendFailure(PowerTime which) {
  switch (which) {
    case PowerTime::Sleep: return u"SetScannerCurrentString failed because SendPowerSavingTime failed with %d";
    case PowerTime::Off: return u"SetScannerCurrentString failed because SendPowerOffTime failed with %d";
    case PowerTime::ERP: return u"SetScannerCurrentString failed because SendERPTime failed with %d";
  }
  return u"";
}

// Hands a document of the settings object to the caller's slot (freed when there is no slot);
// false when the settings object had none.
bool HandOut(BSTR document, BSTR* pstrOut) {
  if (!document) return false;
  if (pstrOut) *pstrOut = document;
  else SysFreeString(document);
  return true;
}

}  // namespace

LLDError CRZDREduzidLLD::GetScannerSupportedString(BSTR* pstrOut) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"GetScannerSupportedString");
  RZD_TRACE_DWORD(&result);
  if (!HandOut(m_pSettings->GetSupported(), pstrOut)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetScannerSupportedString failed because m_pSettings->GetSupported failed");
    return result = lld::kInternal;
  }
  return result;
}

LLDError CRZDREduzidLLD::GetScannerCurrentString(BSTR* pstrOut) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"GetScannerCurrentString");
  RZD_TRACE_DWORD(&result);
  if (!HandOut(m_pSettings->GetCurrent(), pstrOut)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetScannerCurrentString failed because m_pSettings->GetCurrent failed");
    return result = lld::kInternal;
  }
  return result;
}

LLDError CRZDREduzidLLD::ResetCurrentSettings(BSTR* pstrOut) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"ResetCurrentSettings");
  RZD_TRACE_DWORD(&result);
  if (m_ulStatus != state::kOpen && m_ulStatus != state::kLocked) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetCurrentSettings failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  if (!m_pSettings->Reset()) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetCurrentSettings failed m_pSettings->Reset() failed");
    return result = lld::kInternal;
  }
  if (!HandOut(m_pSettings->GetCurrent(), pstrOut)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ResetCurrentSettings failed m_pSettings->GetCurrent() failed");
    return result = lld::kInternal;
  }
  return result;
}

LLDError CRZDREduzidLLD::SetScannerCurrentString(const char16_t* strSettings) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"SetScannerCurrentString");
  RZD_TRACE_DWORD(&result);
  if (m_ulStatus != state::kOpen && m_ulStatus != state::kLocked) {
    RZD_LOG_ERROR_OF(EngineLog(), u"SetScannerCurrentString failed because m_ulStatus is %d",
                     static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  const std::u16string_view text = strSettings ? std::u16string_view(strSettings) : std::u16string_view();
  const bool timeoutChange = text.find(u"SleepTimeout") != std::u16string_view::npos ||
                             text.find(u"OffTimeout") != std::u16string_view::npos ||
                             text.find(u"ERPTimeout") != std::u16string_view::npos;

  // What applying may change before it fails or before the unit takes the times: the cached
  // record (its power times) and the settings documents.
  const ReduzidNVMData savedRecord = CRZDScannerSettingsBase::NVMDataCopy();
  const Bstr savedCurrent = Bstr::Attach(m_pSettings->GetCurrent());
  auto putBack = [&] {
    if (savedCurrent) {
      const uint32_t applied = m_pSettings->SetCurrent(savedCurrent.View());
      if (applied != 0 && applied != lld::kValueAdjusted)
        RZD_LOG_ERROR_OF(EngineLog(), u"SetScannerCurrentString could not apply the earlier settings again");
    }
    driver_process::StoreNVMData(savedRecord);
  };

  result = m_pSettings->SetCurrent(text);
  if (result != 0 && result != lld::kValueAdjusted) {
    RZD_LOG_ERROR_OF(EngineLog(), u"SetScannerCurrentString failed because m_pSettings->SetCurrent failed with %d",
                     static_cast<int>(result));
    // The power times written before the failure were never sent.
    driver_process::StoreNVMData(savedRecord);
    return result;
  }
  // Settings accepted with values adjusted (0x800C) were accepted all the same: their time-outs
  // go to the unit as well.
  if (!timeoutChange) return result;

  const ReduzidNVMData wanted = CRZDScannerSettingsBase::NVMDataCopy();
  const bool changed = wanted.PowerSavingTime != savedRecord.PowerSavingTime ||
                       (HasPowerOffTimer(CRZDScannerSettingsBase::InquiryCopy()) && wanted.PowerOffTime != savedRecord.PowerOffTime) ||
                       (m_bNewCommandSet && wanted.ERPTime != savedRecord.ERPTime);
  if (changed) {
    bool lockedHere = false;
    LLDError sent = 0;
    if (m_ulStatus == state::kOpen) {
      const uint32_t timeoutMs = 1500;
      sent = LockScanner(&timeoutMs, sizeof timeoutMs);
      lockedHere = sent == 0;
      if (sent != 0) {
        if (wanted.PowerSavingTime != savedRecord.PowerSavingTime) {
          RZD_LOG_ERROR_OF(EngineLog(), SendFailure(PowerTime::Sleep), static_cast<int>(sent));
        } else {
          RZD_LOG_ERROR_OF(EngineLog(), u"SetScannerCurrentString failed because LockScanner failed with %d",
                           static_cast<int>(sent));
        }
      }
    }
    if (sent == 0) sent = SendChangedPowerTimes(savedRecord);
    if (sent != 0) {
      // The unit keeps what it had: so do the record and the documents.
      putBack();
      result = sent;
    }
    if (lockedHere) UnlockScanner();
  }
  SetWakeupEvent();
  return result;
}

LLDError CRZDREduzidLLD::SendChangedPowerTimes(const ReduzidNVMData& before) {
  const ReduzidNVMData wanted = CRZDScannerSettingsBase::NVMDataCopy();
  struct Time {
    PowerTime which;
    bool applies;
    bool (CRZDREduzidLLD::*send)(uint16_t);
  };
  const Time times[] = {
      {PowerTime::Sleep, true, &CRZDREduzidLLD::SendPowerSavingTime},
      {PowerTime::Off, HasPowerOffTimer(CRZDScannerSettingsBase::InquiryCopy()), &CRZDREduzidLLD::SendPowerOffTime},
      {PowerTime::ERP, m_bNewCommandSet != 0, &CRZDREduzidLLD::SendERPTime},
  };
  std::vector<const Time*> sent;
  for (const Time& t : times) {
    if (!t.applies || ValueOf(wanted, t.which) == ValueOf(before, t.which)) continue;
    if ((this->*t.send)(ValueOf(wanted, t.which))) {
      sent.push_back(&t);
      continue;
    }
    const LLDError code = m_ReduzidScanner.m_ulLastError != 0 ? m_ReduzidScanner.m_ulLastError : lld::kInternal;
    RZD_LOG_ERROR_OF(EngineLog(), SendFailure(t.which), static_cast<int>(code));
    // The times the unit already took go back, so the unit and the record agree again.
    for (const Time* back : sent) (this->*back->send)(ValueOf(before, back->which));
    return code;
  }
  return 0;
}

}  // namespace rzd::lowdrv
