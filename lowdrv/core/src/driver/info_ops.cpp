// The unit information document (operation 30).
#include "bstr_out.h"
#include "foundation/func_trace.h"
#include "lowdrv/core/driver_engine.h"
#include "process_state.h"
#include "scanner_info.h"

namespace rzd::lowdrv {

LLDError CRZDREduzidLLD::GetScannerInfoString(BSTR* pstrOut) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"GetScannerInfoString");
  RZD_TRACE_DWORD(&result);
  if (!pstrOut) return result = lld::kInvalidParameter;
  std::u16string document;
  ReduzidNVMData record{};
  result = ReadScannerInfo(document, record);
  if (result == 0) SetBstrOut(pstrOut, document);
  return result;
}

LLDError CRZDREduzidLLD::ReadScannerInfo(std::u16string& document, ReduzidNVMData& record) {
  if (m_ulStatus == state::kClosed) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetScannerInfoString failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return lld::kWrongSequence;
  }
  // An open object takes the unit for this call when nobody else holds it.
  bool lockedHere = false;
  if (m_ulStatus == state::kOpen) {
    const uint32_t noWait = 0;
    lockedHere = LockScanner(&noWait, sizeof noWait) == 0;
  }
  std::optional<uint16_t> trayHeight;
  const bool hasTray = GetInterfaceCapabilityFlag();
  if (m_ulStatus == state::kLocked) {
    // Held: the unit's own record, which becomes the process's.
    record = {};
    m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
    if (!m_ReduzidScanner.ReadNVRAM(record) && record.BornDay == 0) {
      const LLDError code = m_ReduzidScanner.m_ulLastError != 0 ? m_ReduzidScanner.m_ulLastError : lld::kInternal;
      RZD_LOG_ERROR_OF(EngineLog(), u"GetScannerCfg failed because ReduzidNVMData.BornDay=%d",
                       static_cast<int>(record.BornDay));
      if (lockedHere) UnlockScanner();
      return code;
    }
    driver_process::StoreNVMData(record);
    if (hasTray && m_bNewCommandSet) {
      uint16_t values[14] = {};
      if (m_ReduzidScanner.ReadInputTrayAbility(values)) m_wLastTrayHeight = values[13];
    }
    if (m_bImprinterFound && m_bNewCommandSet) {
      m_bImprInkKnown = m_ReduzidScanner.ReadImprInkRemainingNew(&m_byImprInkLevel, &m_byImprInkSecond) ? 1 : 0;
    }
  } else {
    // Held by another (or scanning, calibrating): what the process knows, no engine command.
    record = CRZDScannerSettingsBase::NVMDataCopy();
  }
  if (lockedHere) UnlockScanner();
  if (hasTray) trayHeight = m_bNewCommandSet ? m_wLastTrayHeight : 0;

  ScannerInfo info;
  info.productName = m_pSettings->m_strProductName;
  info.vendorName = m_pSettings->m_strVendorName;
  info.modelId = m_pSettings->m_wModelID;
  info.vendorId = m_pSettings->m_wVendorID;
  info.scannerModel = m_pSettings->m_strModelName;
  info.serialNumber = SerialNumberText(m_strInstanceName, record);
  info.firmwareVersion = m_strFirmwareVersion;
  info.driverVersion = m_strDriverVersion;
  info.twainVersion = m_strTwainDSVersion;
  info.nvm = record;
  // The timers are those of the process's inquiry record (the model's rule marks its ERP timer).
  const ReduzidInq inquiry = CRZDScannerSettingsBase::InquiryCopy();
  info.hasPowerOffTimer = HasPowerOffTimer(inquiry);
  info.hasERPTimer = HasERPTimer(inquiry);
  info.trayHeight = trayHeight;
  info.canUpdateFirmware = m_pSettings->m_bCanUpdateFirmware != 0;
  info.defaultFirmwareVersion = m_pSettings->m_strDefaultFirmwareVersion;
  info.imprinter = m_bImprinterFound != 0;
  if (m_bImprinterFound && m_bNewCommandSet && m_bImprInkKnown)
    info.inkRemaining = std::make_pair(m_byImprInkLevel, m_byImprInkSecond);
  document = BuildScannerInfoDocument(info);
  return 0;
}

}  // namespace rzd::lowdrv
