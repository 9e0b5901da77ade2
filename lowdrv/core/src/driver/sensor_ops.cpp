// Sensors, mechanical controls and the front-panel indicator (operations 34, 45, 46, 48): each
// names an element of the supported-settings document whose attributes say what it is.
#include "foundation/func_trace.h"
#include "foundation/xml_store.h"
#include "lowdrv/core/driver_engine.h"

#include <cstring>
#include <string>

namespace rzd::lowdrv {

namespace {

// The engine's codes these operations read: the feeder cover is open, the scanner is locked.
constexpr LLDError kCoverOpen = 4;
constexpr LLDError kScannerLocked = 50;
// Paper release arguments (new command set): eject, rewind.
constexpr uint32_t kReleaseEject = 1;
constexpr uint32_t kReleaseRewind = 2;

uint32_t FirstWord(const void* buffer) {
  uint32_t value = 0;
  std::memcpy(&value, buffer, sizeof value);
  return value;
}

std::u16string Text(const char16_t* s) { return s ? std::u16string(s) : std::u16string(); }

// Loads the supported document into `store` and selects `xpath`, logging as operation `op`:
// 0, 0x8002 (no document) or 0x8006 (no such element).
LLDError SelectSupportedElement(CRZDREduzidLLD& driver, CLogClient& log, MSXML6StoreSTL& store,
                                       std::u16string_view op, const std::u16string& xpath) {
  const Bstr supported = Bstr::Attach(driver.m_pSettings->GetSupported());
  if (!supported) {
    RZD_LOG_ERROR_OF(log, (std::u16string(op) + u" failed because GetSupported failed").c_str());
    return lld::kInternal;
  }
  if (!store.LoadFromString(supported.View())) {
    RZD_LOG_ERROR_OF(log, (std::u16string(op) + u" failed because ParseXML failed").c_str());
    return lld::kInternal;
  }
  if (xpath.empty() || !store.SelectNode(xpath)) {
    RZD_LOG_ERROR_OF(log, (std::u16string(op) + u" failed because SetContext failed - %s").c_str(), xpath.c_str());
    return lld::kInvalidXmlValue;
  }
  return 0;
}

}  // namespace

LLDError CRZDREduzidLLD::PollSensor(uint32_t* pulOut, const char16_t* strXPath) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"PollSensor");
  RZD_TRACE_DWORD(&result);
  if (!pulOut) return result = lld::kInvalidParameter;
  *pulOut = 0;
  if (m_ulStatus != state::kLocked) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollSensor failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  MSXML6StoreSTL store;
  result = SelectSupportedElement(*this, EngineLog(), store, u"PollSensor", Text(strXPath));
  if (result != 0) return result;
  std::u16string usage;
  if (!store.GetNodeAttribute(u"Usage", usage)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollSensor failed because GetAttribute \"Usage\" failed");
    return result = lld::kInternal;
  }
  if (usage != u"Poll") {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollSensor failed because the sensor's Usage is %s", usage.c_str());
    return result = lld::kInternal;
  }
  std::u16string type;
  if (!store.GetNodeAttribute(u"Type", type)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollSensor failed because GetAttribute \"Type\" failed");
    return result = lld::kInternal;
  }
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;

  if (type == u"Media") {
    // The document source the sensor belongs to: Item, List, Sensors, then the source's Item.
    static constexpr const char16_t* kSeekFailures[] = {u"PollSensor failed because SeekParent_0 failed",
                                                        u"PollSensor failed because SeekParent_1 failed",
                                                        u"PollSensor failed because SeekParent_2 failed"};
    for (const char16_t* failure : kSeekFailures) {
      if (!store.MoveToParent()) {
        RZD_LOG_ERROR_OF(EngineLog(), failure);
        return result = lld::kInternal;
      }
    }
    std::u16string sourceType;
    std::u16string sourceId;
    store.GetNodeAttribute(u"Type", sourceType);
    store.GetNodeAttribute(u"ID", sourceId);
    if (sourceType != u"ADF" && sourceType != u"Feeder") {
      RZD_LOG_ERROR_OF(EngineLog(), u"PollSensor failed because of unsupported document source");
      return result = lld::kInvalidXmlValue;
    }
    uint8_t status = 0;
    result = MediaCheck(&status, 0);
    if (result != 0) {
      RZD_LOG_ERROR_OF(EngineLog(), u"PollSensor failed because MediaCheck failed with %d", static_cast<int>(result));
      return result;
    }
    if (status & 0x01) {
      const uint8_t bits = status & 0x30;
      if (sourceType == u"ADF") *pulOut = bits == 0 ? 1 : 0;
      else if (sourceId == u"RearTray") *pulOut = bits == 0x10 ? 1 : 0;
      else *pulOut = bits == 0x20 ? 1 : 0;
    }
    return result;
  }
  if (type == u"Cover" || type == u"Lock") {
    if (m_ReduzidScanner.TestUnitReady()) return result;
    const LLDError code = m_ReduzidScanner.m_ulLastError;
    if (code == (type == u"Cover" ? kCoverOpen : kScannerLocked)) {
      *pulOut = 1;
      return result;
    }
    return result = code != 0 ? code : lld::kInternal;
  }
  RZD_LOG_ERROR_OF(EngineLog(), u"PollSensor failed because of unrecognized sensor type or bad XPath");
  return result = lld::kInvalidXmlValue;
}

LLDError CRZDREduzidLLD::ExecControl(const void* pIn, uint32_t stSizeIn, const char16_t* strXPath) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"ExecControl");
  RZD_TRACE_DWORD(&result);
  if (m_ulStatus != state::kLocked) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ExecControl failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  if (!pIn || stSizeIn < 4) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ExecControl failed because stSizeIn = %d", static_cast<int>(stSizeIn));
    return result = lld::kInvalidParameter;
  }
  const bool on = FirstWord(pIn) != 0;
  MSXML6StoreSTL store;
  result = SelectSupportedElement(*this, EngineLog(), store, u"ExecControl", Text(strXPath));
  if (result != 0) return result;
  std::u16string name;
  if (!store.GetNodeAttribute(u"Name", name)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ExecControl failed because GetAttribute Name");
    return result = lld::kInvalidXmlValue;
  }
  if (name != u"Control") {
    RZD_LOG_ERROR_OF(EngineLog(), u"ExecControl failed because of unsupported function - %s", name.c_str());
    return result = lld::kInvalidXmlValue;
  }
  std::u16string type;
  if (!store.GetNodeAttribute(u"Type", type)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"ExecControl failed because GetAttribute \"Type\" failed");
    return result = lld::kInvalidXmlValue;
  }
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  // The feeder status; a failure is logged and ends a control that moves paper (its result 0).
  auto mediaCheck = [&] {
    uint8_t status = 0;
    const LLDError checked = MediaCheck(&status, 0);
    if (checked != 0)
      RZD_LOG_ERROR_OF(EngineLog(), u"ExecControl failed because MediaCheck failed with %d", static_cast<int>(checked));
    return checked == 0;
  };
  // The paper leaves the unit or goes back to the feeder; a reserved unit is given back first.
  auto paperRelease = [&](uint32_t how) {
    m_ReduzidScanner.m_ulCmdTimeout = m_ulReleaseTimeout;
    if (m_bUnitReserved) {
      m_ReduzidScanner.ReleaseUnit(2);
      m_bUnitReserved = 0;
      if (m_pSettings->ImprinterOptionOn() && m_bImprinterStarted) {
        m_ReduzidScanner.DisableImprinter();
        m_ReduzidScanner.StopImprinter();
      }
      m_bImprinterStarted = 0;
    }
    if (m_bNewCommandSet) m_ReduzidScanner.SendNVRAMFieldNew(how);
    m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  };

  if (type == u"Load") {
    mediaCheck();
    return result = 0;
  }
  if (type == u"Rewind" || type == u"Eject") {
    if (!on) {
      RZD_LOG_WARN_OF(EngineLog(), type == u"Rewind" ? u"Rewind (false) does nothing" : u"Eject (false) does nothing");
      return result = 0;
    }
    if (!mediaCheck()) return result = 0;
    if (type == u"Rewind") {
      paperRelease(kReleaseRewind);
    } else if (m_bNewCommandSet) {
      paperRelease(kReleaseEject);
    } else {
      m_ReduzidScanner.ObjectPosition();
    }
    return result = 0;
  }
  if (type == u"Lamp") {
    if (!m_ReduzidScanner.LampControl(on)) {
      RZD_LOG_ERROR_OF(EngineLog(), u"ExecControl failed because LampControl() failed");
      return result = m_ReduzidScanner.m_ulLastError != 0 ? m_ReduzidScanner.m_ulLastError : lld::kInternal;
    }
    return result = 0;
  }
  RZD_LOG_ERROR_OF(EngineLog(), u"ExecControl failed because of unsupported control");
  return result = lld::kInvalidXmlValue;
}

LLDError CRZDREduzidLLD::GetIndicator(uint32_t* pulOut, uint32_t* pstSize, const char16_t* strXPath) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"GetIndicator");
  RZD_TRACE_DWORD(&result);
  if (!pulOut || !pstSize) return result = lld::kInvalidParameter;
  if (m_ulStatus != state::kLocked) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetIndicator failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  MSXML6StoreSTL store;
  result = SelectSupportedElement(*this, EngineLog(), store, u"GetIndicator", Text(strXPath));
  if (result != 0) return result;
  std::u16string type;
  if (!store.GetNodeAttribute(u"Type", type)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetIndicator failed to GetAttribute Type");
    return result = lld::kInternal;
  }
  if (type != u"Segment" && type != u"LED") {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetIndicator failed because of unsupported Type = %s", type.c_str());
    return result = lld::kInvalidXmlValue;
  }
  if (*pstSize <= 3) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetIndicator failed because *pstActualSizeOut = %d", static_cast<int>(*pstSize));
    return result = lld::kInvalidParameter;
  }
  if (type == u"LED") {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetIndicator failed because of unsupported Type = %s", type.c_str());
    return result = lld::kInvalidXmlValue;
  }
  ButtonReport report{};
  m_ReduzidScanner.m_ulCmdTimeout = m_ulShortTimeout;
  const BOOL read = m_ReduzidScanner.ReadButtonStatus(report);
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  if (!read) {
    RZD_LOG_ERROR_OF(EngineLog(), u"GetIndicator failed because ReadButtonStatus failed");
    *pstSize = 0;
    return result = m_ReduzidScanner.m_ulLastError != 0 ? m_ReduzidScanner.m_ulLastError : lld::kInternal;
  }
  *pulOut = report.FuncNum;
  *pstSize = 4;
  return result;
}

LLDError CRZDREduzidLLD::SetIndicator(const void* pIn, uint32_t stSizeIn, const char16_t* strXPath) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"SetIndicator");
  RZD_TRACE_DWORD(&result);
  if (m_ulStatus != state::kLocked) {
    RZD_LOG_ERROR_OF(EngineLog(), u"SetIndicator failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  if (!pIn || stSizeIn < 4) {
    RZD_LOG_ERROR_OF(EngineLog(), u"SetIndicator failed because *stSizeIn = %d", static_cast<int>(stSizeIn));
    return result = lld::kInvalidParameter;
  }
  const uint32_t number = FirstWord(pIn);
  if (number > m_ulMaxIndicator) {
    RZD_LOG_ERROR_OF(EngineLog(), u"SetIndicator failed because *pIn = %d", static_cast<int>(number));
    return result = lld::kInvalidXmlValue;
  }
  MSXML6StoreSTL store;
  result = SelectSupportedElement(*this, EngineLog(), store, u"SetIndicator", Text(strXPath));
  if (result != 0) return result;
  std::u16string type;
  if (!store.GetNodeAttribute(u"Type", type)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"SetIndicator failed to GetAttribute Type");
    return result = lld::kInvalidXmlValue;
  }
  if (type != u"Segment") {
    RZD_LOG_ERROR_OF(EngineLog(), u"SetIndicator failed because of unsupported Type = %s", type.c_str());
    return result = lld::kInvalidXmlValue;
  }
  const uint8_t indicator = static_cast<uint8_t>(number);
  m_ReduzidScanner.m_ulCmdTimeout = m_ulShortTimeout;
  BOOL sent = FALSE;
  if (m_bNewCommandSet) {
    sent = m_ReduzidScanner.SendLEDNumNew(indicator);
  } else {
    const uint8_t record[8] = {indicator};
    sent = m_ReduzidScanner.SendLEDNumClassic(record);
  }
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  if (!sent) {
    RZD_LOG_ERROR_OF(EngineLog(), u"SetIndicator failed because SendLEDNum failed");
    return result = m_ReduzidScanner.m_ulLastError != 0 ? m_ReduzidScanner.m_ulLastError : lld::kInternal;
  }
  return result;
}

}  // namespace rzd::lowdrv
