// The last passes over a client's settings document: power time-outs, the tray's eject direction
// and the long-length SetLength.
#include "apply/apply_run.h"
#include "apply/id_chain.h"
#include "apply/range_number.h"
#include "apply/store_walk.h"
#include "platform/text.h"

#include <algorithm>
#include <limits>

namespace rzd::lowdrv::apply {

namespace {

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

// The whole minutes of a time-out value: nullopt when the text is not a number or is negative.
// The NVRAM holds 16 bits, so a larger value is held at 65535.
std::optional<int64_t> Minutes(std::u16string_view text) {
  Millionths number = ParseMillionths(text);
  if (number.status == NumberStatus::kNotANumber || number.value < 0) return std::nullopt;
  return std::min<int64_t>(number.value / kMillion, 0xFFFF);
}

// Reads (and raises to `floor` when 0 < value < floor) one time-out; 0 to go on.
uint32_t ReadTimeout(ApplyRun& run, std::u16string_view path, int64_t floor, std::optional<uint16_t>& out) {
  MSXML6StoreBSTR& sc = run.scratch;
  if (!sc.SelectNode(path)) return kApplyOk;
  auto minutes = Minutes(CurrentText(sc).value_or(u""));
  if (!minutes) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because cannot find Timeout value in Supported settings");
    return kApplyInternal;
  }
  int64_t value = *minutes;
  if (value > 0 && value < floor) {
    value = floor;
    if (!sc.SetText(FormatW(u"%lld", static_cast<long long>(value)))) return kApplyInternal;
  }
  out = static_cast<uint16_t>(value);
  return kApplyOk;
}

}  // namespace

uint32_t ApplyPowerTimeouts(ApplyRun& run, PowerTimes& times) {
  times = {};
  if (uint32_t code = ReadTimeout(run, u"//SleepTimeout/Range/Value", -1, times.sleep); code != kApplyOk) return code;
  const int64_t sleep = times.sleep ? *times.sleep : -1;
  if (uint32_t code = ReadTimeout(run, u"//OffTimeout/Range/Value", sleep, times.off); code != kApplyOk) return code;
  return ReadTimeout(run, u"//ERPTimeout/Range/Value", sleep, times.erp);
}

uint32_t ApplyEjectDirection(ApplyRun& run) {
  MSXML6StoreBSTR& in = run.incoming;
  MSXML6StoreBSTR& sc = run.scratch;
  if (!in.SelectNode(u"//Item[@Name=\"DocumentSource\"][@IsSet=\"true\"]")) return kApplyOk;
  SavedContext first(in);
  if (!in.MoveToNextNode()) return kApplyOk;  // only with a second set document source
  if (!AttributeIs(in, u"Type", u"Feeder")) first.Restore();
  auto direction = TextAt(in, u"EjectDirection/Enum/Value[@IsCurrent=\"true\"]");
  if (!direction || *direction != u"Back") return kApplyOk;

  if (!sc.SelectNode(u"//Item[@Name=\"DocumentSource\"][@ID=\"Tray\"]/EjectDirection/Enum") ||
      !sc.MoveToFirstChild()) {
    return kApplyOk;
  }
  // The first two values.
  for (int visited = 0; visited < 2; ++visited) {
    if (visited == 1 && !sc.MoveToNextSibling()) break;
    auto value = CurrentText(sc);
    if (value && *value == u"Front" && !AttributeIs(sc, u"IsCurrent", u"true")) {
      if (!sc.SetAttribute(u"IsCurrent", u"true")) return kApplyInternal;
      run.adjusted = true;
    } else if (value && *value == u"Back" && AttributeOf(sc, u"IsCurrent")) {
      if (!sc.RemoveAttribute(u"IsCurrent")) return kApplyInternal;
      run.adjusted = true;
    }
  }
  return kApplyOk;
}

uint32_t ApplyLongLength(ApplyRun& run) {
  MSXML6StoreBSTR& in = run.incoming;
  MSXML6StoreBSTR& sc = run.scratch;
  if (!in.SelectNode(u"//./LongLengthEnabled[@SetLength]")) return kApplyOk;
  // Only a whole number counts; -1 means "no length set".
  Millionths number = ParseMillionths(AttributeOf(in, u"SetLength").value_or(u""));
  if (number.status == NumberStatus::kNotANumber || number.value % kMillion != 0) return kApplyOk;
  const int64_t requested = number.value / kMillion;
  if (requested == -1) return kApplyOk;

  return ForEachSelected(sc, u"//./LongLengthEnabled", [&]() -> uint32_t {
    // Held within the document source's shortest page (its MinLength, 1 without one) and its
    // long length (its Length without one), so the unit never gets a window shorter than a page.
    int64_t lmax = kInt32Max;
    if (auto text = TextAt(sc, u"../Limits/LongLength")) {
      lmax = WToI(*text);
    } else if (auto length = TextAt(sc, u"../Limits/Length")) {
      lmax = WToI(*length);
    }
    lmax = std::max<int64_t>(lmax, 1);
    int64_t lmin = 1;
    if (auto text = TextAt(sc, u"../Limits/MinLength")) lmin = std::clamp<int64_t>(WToI(*text), 1, lmax);
    const int64_t value = std::clamp<int64_t>(requested, lmin, lmax);
    if (value != requested) {
      std::u16string chain;
      NodeIdChain(sc, chain);
      RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad LongLengthEnabled SetLength value - %s",
                       chain.c_str());
      run.adjusted = true;
    }
    if (!sc.SetAttribute(u"SetLength", FormatW(u"%lld", static_cast<long long>(value)))) return kApplyInternal;
    return kApplyOk;
  });
}

}  // namespace rzd::lowdrv::apply
