// CScannerSettings_AV::ConvertXmlToImprinterParam and GetConsoleUserName: the imprinter settings
// of a current-settings document into the imprinter parameters.
#include "decimal_text.h"
#include "foundation/func_trace.h"
#include "imprinter_text.h"
#include "lowdrv/settings/settings_av.h"
#include "platform/process.h"
#include "platform/session.h"
#include "platform/text.h"
#include "store_read.h"

#include <algorithm>

namespace rzd::lowdrv {

namespace {

constexpr int32_t kDefaultFontRotation = 90;
constexpr int32_t kDefaultCounterDigits = 1;

// The name of this machine for the "{Mach}" token.
std::u16string MachineName() {
  for (const char* name : {"COMPUTERNAME", "HOSTNAME"}) {
    if (auto value = GetEnv(name); value && !value->empty()) return FromUtf8(*value);
  }
  return {};
}

// The name of the user this process runs as (USER, else LOGNAME), up to 260 characters.
std::u16string ProcessUserName() {
  constexpr size_t kMaxUserName = 260;
  for (const char* name : {"USER", "LOGNAME"}) {
    if (auto value = GetEnv(name); value && !value->empty()) return FromUtf8(*value).substr(0, kMaxUserName);
  }
  return {};
}

uint8_t ByteOf(int32_t value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

// The console session's user; without one (or without its name) the user this process runs as;
// "USER" when neither is known.
std::u16string CScannerSettings_AV::GetConsoleUserName() {
  std::u16string name;
  if (ActiveConsoleSessionId() != kNoConsoleSession) name = FromUtf8(ConsoleUserName());
  if (name.empty()) name = ProcessUserName();
  if (name.empty()) name = u"USER";
  return name;
}

BOOL CScannerSettings_AV::ConvertXmlToImprinterParam(MSXML6StoreBSTR& store) {
  bool ok = false;
  CLogClient& log = AVLog();
  RZD_FUNC_TRACE_OF(log, u"ConvertXmlToImprinterParam");
  RZD_TRACE_BOOL(&ok);

  if (!window::AttributeHere(store, u"Type")) {
    RZD_LOG_ERROR_OF(log, u"ConvertXmlToSettings cannot find second image source type");
    return FALSE;
  }

  // Built whole, then taken: a failed conversion leaves the parameters as they were.
  RZDImprinterParam param;
  param.strFileName = m_ImprParam.strFileName;
  const auto isSet = window::TextBelow(store, u"//Imprinters/List/Item/@IsSet");
  param.bEnabled = isSet && *isSet == u"true" ? 1 : 0;
  if (!param.bEnabled) {
    m_ImprParam.bEnabled = 0;
    ok = true;
    return TRUE;
  }

  const std::u16string escape = window::TextBelow(store, u"//Imprinters/List/Item/PrinterEscString").value_or(u"");
  const window::ImprinterTokens tokens = window::ParseImprinterEscape(escape);
  param.bDateToken = tokens.date ? 1 : 0;
  param.bTimeToken = tokens.time ? 1 : 0;
  param.bCounterToken = tokens.counter ? 1 : 0;
  param.strDateSeparator = tokens.dateSeparator;
  param.strTimeSeparator = tokens.timeSeparator;
  const std::u16string user = FromAnsi(ToAnsi(GetConsoleUserName()));
  param.strText = window::ReplaceImprinterNames(tokens.text, param.strFileName, user, MachineName());

  auto text = [&](std::u16string_view path) { return window::TextBelow(store, path); };
  param.lPrinterMode = 0;
  if (auto v = text(u"//Imprinters/List/Item/PrinterMode/Enum/Value")) param.lPrinterMode = WToI(*v);
  if (auto v = text(u"//Imprinters/List/Item/TopOffset/Range/Value"))
    param.fTopOffset = static_cast<float>(window::DecimalValue(*v));
  if (auto v = text(u"//Imprinters/List/Item/CounterStart/Range/Value")) param.llCounterStart = WToI64(*v);
  if (auto v = text(u"//Imprinters/List/Item/Pages/Range/Value")) param.bSinglePage = WToI(*v) == 1 ? 1 : 0;
  if (auto v = text(u"//Imprinters/List/Item/Cleaning/Enum/Value[@IsCurrent=\"true\"]"))
    param.bCleaning = *v == u"On" ? 1 : 0;
  param.lFontRotation = kDefaultFontRotation;
  if (auto v = text(u"//Imprinters/List/Item/FontRotations/Enum/Value[@IsCurrent=\"true\"]"))
    param.lFontRotation = WToI(*v);
  if (auto v = text(u"//Imprinters/List/Item/FontType/Enum/Value[@IsCurrent=\"true\"]"))
    param.byFontType = ByteOf(WToI(*v));
  if (auto v = text(u"//Imprinters/List/Item/FontStyle/Enum/Value[@IsCurrent=\"true\"]"))
    param.bFixedPitch = *v == u"Fixed" ? 1 : 0;
  const auto digits = text(u"//Imprinters/List/Item/CounterDigits/Range/Value");
  const int32_t counterDigits = digits ? WToI(*digits) : kDefaultCounterDigits;
  param.byCounterDigits = tokens.counter ? ByteOf(counterDigits) : 0;
  param.byDateTimeFormat = window::DateTimeFormatCode(tokens);

  if (!digits) {
    RZD_LOG_ERROR_OF(log, u"ConvertXmlToImprinterParam failed because of missing CounterDigits");
    return FALSE;
  }
  m_ImprParam = std::move(param);
  ok = true;
  return TRUE;
}

}  // namespace rzd::lowdrv
