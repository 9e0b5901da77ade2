// PollButtons and PollButton: the button table and the double-feed decision buttons as the service
// polls them.
#include "buttons/button_table.h"
#include "driver/bstr_out.h"
#include "driver/process_state.h"
#include "foundation/func_trace.h"
#include "lowdrv/core/driver_engine.h"
#include "lowdrv/engine/engine_caps.h"

#include <cstdint>
#include <optional>

namespace rzd::lowdrv {

namespace {

// DFD decision codes as the engine reports them.
constexpr uint32_t kDfdIgnore = 1;
constexpr uint32_t kDfdRetry = 2;
constexpr uint32_t kDfdStop = 3;

// The code a DFD button type stands for; 0 for any other type.
uint32_t DfdCode(std::u16string_view type) {
  if (type == u"DFDIgnore") return kDfdIgnore;
  if (type == u"DFDRetry") return kDfdRetry;
  if (type == u"DFDStop") return kDfdStop;
  return 0;
}

// The number of an ID "Button<decimal>"; nullopt for any other form. Numbers too large for 32
// bits are held at the largest value (they are out of range either way).
std::optional<int32_t> ButtonNumber(std::u16string_view id) {
  constexpr std::u16string_view kPrefix = u"Button";
  if (id.size() <= kPrefix.size() || id.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  int64_t number = 0;
  for (char16_t c : id.substr(kPrefix.size())) {
    if (c < u'0' || c > u'9') return std::nullopt;
    number = std::min<int64_t>(number * 10 + (c - u'0'), INT32_MAX);
  }
  return static_cast<int32_t>(number);
}

}  // namespace

uint8_t CRZDREduzidLLD::AbilityEx2() const {
  const std::optional<EngineInquiryCache> cached = driver_process::CachedInquiry();
  return cached ? InqBytes(cached->Inquiry)[caps::kInqButtons.offset] : 0;
}

bool CRZDREduzidLLD::UnitReportsButtons() const { return (AbilityEx2() & caps::kInqButtons.mask) != 0; }

LLDError CRZDREduzidLLD::PollButtons(BSTR* pstrOut) {
  if (m_ulStatus != state::kLocked) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollButtons failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return lld::kWrongSequence;
  }
  if (!UnitReportsButtons()) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollButtons failed because AbilityEx2 is %d", static_cast<int>(AbilityEx2()));
    return lld::kInvalidXmlValue;
  }
  // The supported settings must be obtainable, although the document is built from the table.
  const Bstr supported = Bstr::Attach(m_pSettings->GetSupported());
  if (!supported) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollButtons failed because GetSupported failed");
    return lld::kInternal;
  }
  SetBstrOut(pstrOut, buttons::TakeButtonsDocument(m_pSettings->m_bFlatbedSource != 0));
  return 0;
}

LLDError CRZDREduzidLLD::PollButton(uint32_t* pulState, const char16_t* strButton) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"PollButton");
  const std::u16string xpath = strButton ? std::u16string(strButton) : std::u16string();
  RZD_TRACE_DWORD(&result, u"pulState = 0x%X, strButton = %s", static_cast<unsigned>(reinterpret_cast<uintptr_t>(pulState)),
                  xpath.c_str());
  if (!pulState) return result = lld::kInvalidParameter;
  RZD_TRACE_OUTPUT(u"*pulState = %d", pulState, kTraceUInt32);
  *pulState = 0;
  if (!UnitReportsButtons()) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollButton failed because AbilityEx2 is %d", static_cast<int>(AbilityEx2()));
    return result = lld::kInvalidXmlValue;
  }
  const Bstr supported = Bstr::Attach(m_pSettings->GetSupported());
  if (!supported) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollButton failed because GetSupported failed");
    return result = lld::kInternal;
  }
  MSXML6StoreBSTR store;
  if (!store.LoadFromString(supported.View())) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollButton failed because ParseXML failed");
    return result = lld::kInternal;
  }
  if (!store.SelectNode(xpath)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollButton failed because SetContext failed - %s", xpath.c_str());
    return result = lld::kInvalidXmlValue;
  }
  Bstr type;
  store.GetNodeAttribute(u"Type", type);

  if (const uint32_t code = DfdCode(type.View()); code != 0) {
    Bstr subType;
    if (store.GetNodeAttribute(u"SubType", subType) && subType.View() == u"DFD3Button") {
      if (m_ulDFDButton == 0) {
        uint8_t status = 0;
        if (!m_ReduzidScanner.GetDFDButtonNew(&status)) {
          RZD_LOG_ERROR_OF(EngineLog(), u"PollButton failed because GetDFDButton failed");
          return result = m_ReduzidScanner.m_ulLastError;
        }
        if (status == 0) return result = 0;
        m_ulDFDButton = status;
        if (!m_ReduzidScanner.SendResetDFDSelection()) {
          RZD_LOG_ERROR_OF(EngineLog(), u"PollButton failed because GetDFDButton failed");
          return result = m_ReduzidScanner.m_ulLastError;
        }
      }
      if (m_ulDFDButton == code) {
        *pulState = 1;
        m_ulDFDButton = 0;
      }
      return result = 0;
    }
    // Without the subtype the front-panel table answers: a short press ignores, a long one stops.
    if (code == kDfdIgnore) *pulState = buttons::TakeFirstEqual(buttons::kShortPress) ? 1 : 0;
    if (code == kDfdStop) *pulState = buttons::TakeFirstEqual(buttons::kLongPress) ? 1 : 0;
    return result = 0;
  }

  if (m_ulStatus != state::kLocked) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollButton failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  Bstr id;
  if (!store.GetNodeAttribute(u"ID", id)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollButton failed to GetAttribute ID");
    return result = lld::kInternal;
  }
  const std::optional<int32_t> number = ButtonNumber(id.View());
  if (!number) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollButton failed because of bad format of strN - %s", std::u16string(id.View()).c_str());
    return result = lld::kInternal;
  }
  if (*number < 0 || *number >= static_cast<int32_t>(buttons::kButtonCount)) {
    RZD_LOG_ERROR_OF(EngineLog(), u"PollButton failed because of bad button index - %d", *number);
    return result = lld::kInvalidXmlValue;
  }
  *pulState = buttons::TakeEntry(static_cast<uint32_t>(*number));
  return result = 0;
}

}  // namespace rzd::lowdrv
