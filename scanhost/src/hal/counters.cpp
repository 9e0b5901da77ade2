// The scanner HAL object: the unit's maintenance counters copied into the local machine's
// registry under the unit's serial number (when HWProps.ini enables it).
#include "hal/counters.h"
#include "hal/scanner_base.h"

#include "lowdrv/engine/model_ids.h"
#include "platform/registry.h"

namespace rzd::scanhost {

namespace {

const char16_t* const kCounterNames[kCounterCount] = {
    u"PadScanCount", u"SeparationRollerScanCount", u"RollerScanCount", u"ADFCount", u"ClearRollerScanCount",
    u"ADFSimplexCount", u"ADFDuplexCount", u"ADFMultifeedCount", u"ADFJamCount", u"FlatbedScanCount"};

// The decimal number after the element's start tag: blanks skipped, an optional sign, digits up
// to the first other character; 0 when the element does not occur.
uint32_t CounterValue(std::u16string_view document, std::u16string_view name) {
  const std::u16string tag = u"<" + std::u16string(name) + u">";
  size_t at = document.find(tag);
  if (at == std::u16string_view::npos) return 0;
  at += tag.size();
  while (at < document.size() && (document[at] == u' ' || document[at] == u'\t' || document[at] == u'\r' ||
                                  document[at] == u'\n')) {
    ++at;
  }
  bool negative = false;
  if (at < document.size() && (document[at] == u'-' || document[at] == u'+')) negative = document[at++] == u'-';
  uint32_t value = 0;
  for (; at < document.size() && document[at] >= u'0' && document[at] <= u'9'; ++at) {
    value = value * 10 + static_cast<uint32_t>(document[at] - u'0');
  }
  return negative ? 0u - value : value;
}

}  // namespace

UnitCounters ReadUnitCounters(std::u16string_view document) {
  UnitCounters counters;
  for (size_t i = 0; i < kCounterCount; ++i) {
    counters.names[i] = kCounterNames[i];
    counters.values[i] = CounterValue(document, kCounterNames[i]);
  }
  constexpr std::u16string_view kOpen = u"<SerialNumber><![CDATA[";
  constexpr std::u16string_view kClose = u"]]></SerialNumber>";
  const size_t start = document.find(kOpen);
  if (start != std::u16string_view::npos) {
    const size_t end = document.find(kClose, start + kOpen.size());
    if (end != std::u16string_view::npos) counters.serial = document.substr(start + kOpen.size(), end - start - kOpen.size());
  }
  return counters;
}

std::u16string CountersKeyPath(std::u16string_view serial) {
  return u"Software\\Corvanite\\" + std::u16string(lowdrv::kModelName) + u"\\Info\\" + std::u16string(serial);
}

void CRZDHALScannerBase::UpdateCountersInRegistry(void* handle) {
  if (!countersToRegistry_) return;
  Bstr info;
  DriverAnswer answer = driver_.Control(handle, driver_code::kScannerInfo, u"", info.Out(), nullptr, 0, nullptr, nullptr);
  if (!answer.ok || !info) return;
  const UnitCounters counters = ReadUnitCounters(info.View());
  // An empty serial would write into the model's Info key itself, and a backslash into another
  // unit's key: neither names this unit.
  if (counters.serial.empty() || counters.serial.find(u'\\') != std::u16string::npos) {
    RZD_LOG_ERROR(u"UpdateCountersInRegistry: the serial number \"%s\" names no key; no counter is written",
                  counters.serial.c_str());
    return;
  }
  RegKey key;
  if (RegKey::Create(Hive::LocalMachine, CountersKeyPath(counters.serial), &key) != ERROR_SUCCESS) return;
  for (size_t i = 0; i < kCounterCount; ++i) {
    uint32_t stored = 0;
    const bool present = key.GetDword(counters.names[i], &stored) == ERROR_SUCCESS;
    if (!present || stored != counters.values[i]) key.SetDword(counters.names[i], counters.values[i]);
  }
}

}  // namespace rzd::scanhost
