// LCD screen uploads (operation 82).
#include "foundation/func_trace.h"
#include "lcd_slot.h"
#include "lowdrv/core/driver_engine.h"

#include <cstring>
#include <vector>

namespace rzd::lowdrv {

namespace {

constexpr size_t kHeaderBytes = 10;

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// One "%d" at `at`: blanks, a sign, at least one digit. nullopt when there is no number.
std::optional<int64_t> Number(std::u16string_view text, size_t& at) {
  size_t i = at;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  const size_t digits = i;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    if (value < (int64_t{1} << 40)) value = value * 10 + (text[i] - u'0');
  }
  if (i == digits) return std::nullopt;
  at = i;
  return negative ? -value : value;
}

}  // namespace

std::optional<LcdSlot> ParseLcdSlot(std::u16string_view text) {
  if (text.empty() || text[0] != u'F') return std::nullopt;
  size_t at = 1;
  const std::optional<int64_t> slot = Number(text, at);
  if (!slot) return std::nullopt;
  LcdSlot parsed;
  parsed.slot = *slot;
  if (at < text.size() && text[at] == u'N') {
    ++at;
    if (const std::optional<int64_t> screens = Number(text, at)) parsed.screens = *screens;
  }
  return parsed;
}

LLDError CRZDREduzidLLD::WriteLcdScreen(const void* pIn, uint32_t stSizeIn, const char16_t* strSlot) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"WriteLcdScreen");
  RZD_TRACE_DWORD(&result);
  // A call without a slot string, or one that names no slot, sends nothing.
  const std::optional<LcdSlot> slot = strSlot ? ParseLcdSlot(strSlot) : std::nullopt;
  if (!slot) {
    RZD_LOG_ERROR_OF(EngineLog(), u"WriteLcdScreen failed because of bad slot string - %s", strSlot ? strSlot : u"(null)");
    return result = lld::kNotImplemented;
  }
  if (slot->slot < 0 || slot->slot > kMaxLcdSlot || slot->screens < 1 || slot->screens > kMaxLcdScreens) {
    RZD_LOG_ERROR_OF(EngineLog(), u"WriteLcdScreen failed because slot %d or screen count %d is out of range",
                     static_cast<int>(slot->slot), static_cast<int>(slot->screens));
    return result = lld::kInvalidParameter;
  }
  // The unit takes `screens` screens of 1086 bytes: a shorter bitmap is padded with zeros, a
  // longer one would lose its end.
  const uint64_t capacity = static_cast<uint64_t>(kLcdScreenBytes) * static_cast<uint64_t>(slot->screens);
  if (!pIn || stSizeIn == 0 || stSizeIn > capacity) {
    RZD_LOG_ERROR_OF(EngineLog(), u"WriteLcdScreen failed because stSizeIn = %d", static_cast<int>(stSizeIn));
    return result = lld::kInvalidParameter;
  }
  if (!m_bNewCommandSet) {
    RZD_LOG_ERROR_OF(EngineLog(), u"WriteLcdScreen failed because the classic command set has no LCD screens");
    return result = lld::kNotImplemented;
  }
  std::vector<uint8_t> record(kHeaderBytes + stSizeIn, 0);
  const uint32_t slotValue = static_cast<uint32_t>(slot->slot + kLcdSlotBase);
  record[7] = static_cast<uint8_t>(slotValue & 0xFF);
  record[8] = static_cast<uint8_t>(slotValue >> 8);
  record[9] = static_cast<uint8_t>(slot->screens);
  std::memcpy(record.data() + kHeaderBytes, pIn, stSizeIn);
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  if (!m_ReduzidScanner.SendLCDDisplayData(record.data(), record.size())) {
    result = m_ReduzidScanner.m_ulLastError != 0 ? m_ReduzidScanner.m_ulLastError : lld::kInternal;
    RZD_LOG_ERROR_OF(EngineLog(), u"WriteLcdScreen failed because SendLCDDisplayData failed with %d",
                     static_cast<int>(result));
  }
  return result;
}

}  // namespace rzd::lowdrv
