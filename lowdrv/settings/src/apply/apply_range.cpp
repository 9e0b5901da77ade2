// Ranges of a client's settings document.
#include "apply/apply_run.h"
#include "apply/range_number.h"
#include "apply/store_walk.h"

namespace rzd::lowdrv::apply {

namespace {

// Reads one limit attribute of the supported range's Value; false when it is missing or is not
// a usable number.
bool ReadLimit(MSXML6StoreBSTR& store, std::u16string_view name, int64_t& out) {
  auto text = AttributeOf(store, name);
  if (!text) return false;
  Millionths number = ParseMillionths(*text);
  if (number.status != NumberStatus::kOk) return false;
  out = number.value;
  return true;
}

// True when the text carries an exponent, which integer readers of the document cannot read.
bool HasExponent(std::u16string_view text) {
  return text.find(u'e') != std::u16string_view::npos || text.find(u'E') != std::u16string_view::npos;
}

uint32_t ApplyOneRange(ApplyRun& run) {
  MSXML6StoreBSTR& in = run.incoming;
  MSXML6StoreBSTR& sc = run.scratch;
  std::u16string chain;
  if (!SelectCounterpart(run, chain)) return kApplyOk;
  if (!sc.SelectNode(u"Value")) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Supported settings XML - %s", chain.c_str());
    return kApplyInternal;
  }
  RangeLimits limits;
  if (!ReadLimit(sc, u"Minimum", limits.minimum)) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Supported settings XML(Min) - %s", chain.c_str());
    return kApplyInternal;
  }
  if (!ReadLimit(sc, u"Maximum", limits.maximum) || limits.maximum < limits.minimum) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Supported settings XML(Max) - %s", chain.c_str());
    return kApplyInternal;
  }
  // A step of zero (or below) would make every value invalid and the adjustment divide by zero.
  if (!ReadLimit(sc, u"Step", limits.step) || !LimitsUsable(limits)) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Supported settings XML(Step) - %s", chain.c_str());
    return kApplyInternal;
  }

  auto received = TextAt(in, u"Value");
  if (!received || received->empty()) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Range (no value)- %s", chain.c_str());
    return kApplyBadDocument;
  }
  Millionths number = ParseMillionths(*received);
  if (number.status == NumberStatus::kNotANumber) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Range (bad value)- %s", chain.c_str());
    return kApplyBadDocument;
  }

  std::u16string text = *received;
  if (number.status == NumberStatus::kOk && RangeValueValid(number.value, limits)) {
    // Kept as received, unless only a decimal reader could read it.
    if (HasExponent(text)) text = FormatRangeValue(number.value, limits);
  } else {
    // Out of the limits, off the step grid, or too large to hold (clamped like any other).
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Range (value out of range)- %s", chain.c_str());
    run.adjusted = true;
    text = FormatRangeValue(AdjustRangeValue(number.value, limits), limits);
  }
  if (!sc.SetText(text)) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because SetString failed- %s", chain.c_str());
    return kApplyInternal;
  }
  return kApplyOk;
}

}  // namespace

uint32_t ApplyRanges(ApplyRun& run) {
  return ForEachSelected(run.incoming, u"//Range", [&] { return ApplyOneRange(run); });
}

}  // namespace rzd::lowdrv::apply
