// Range settings in whole millionths.
#include "apply/range_number.h"

#include "platform/text.h"

#include <algorithm>

namespace rzd::lowdrv::apply {

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Powers of ten that fit in an unsigned 64-bit number.
uint64_t Pow10(int n) {
  uint64_t p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

}  // namespace

Millionths ParseMillionths(std::u16string_view text) {
  std::u16string_view t = TrimView(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
    negative = t[i] == u'-';
    ++i;
  }
  // The significant digits (leading zeros dropped) and the power of ten they are scaled by.
  std::u16string digits;
  int64_t scale = 0;  // value = digits x 10^scale
  bool anyDigit = false;
  for (; i < t.size() && IsDigit(t[i]); ++i) {
    anyDigit = true;
    if (!digits.empty() || t[i] != u'0') digits.push_back(t[i]);
  }
  if (i < t.size() && t[i] == u'.') {
    ++i;
    for (; i < t.size() && IsDigit(t[i]); ++i) {
      anyDigit = true;
      --scale;
      if (!digits.empty() || t[i] != u'0') digits.push_back(t[i]);
    }
  }
  if (!anyDigit) return {};
  if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
    ++i;
    bool expNegative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
      expNegative = t[i] == u'-';
      ++i;
    }
    if (i >= t.size() || !IsDigit(t[i])) return {};
    int64_t exponent = 0;
    for (; i < t.size() && IsDigit(t[i]); ++i) {
      exponent = std::min<int64_t>(exponent * 10 + (t[i] - u'0'), 1'000'000'000);
    }
    scale += expNegative ? -exponent : exponent;
  }
  if (i != t.size()) return {};
  if (digits.empty()) return {NumberStatus::kOk, 0};

  // Millionths = digits x 10^(scale + 6). Digits before the point of that product: count + shift.
  const int64_t shift = scale + 6;
  const int64_t count = static_cast<int64_t>(digits.size());
  const int64_t wholeDigits = count + shift;
  const Millionths beyond{NumberStatus::kOutOfBounds, negative ? -(kMaxMillionths + 1) : kMaxMillionths + 1};
  if (wholeDigits > 19) return beyond;  // at least 10^19

  uint64_t magnitude = 0;
  const int64_t kept = std::clamp<int64_t>(wholeDigits, 0, count);
  for (int64_t k = 0; k < kept; ++k) magnitude = magnitude * 10 + static_cast<uint64_t>(digits[k] - u'0');
  if (wholeDigits > count) {
    // At most 19 whole digits; an overflow of the multiplication is caught by the bound below.
    const int zeros = static_cast<int>(wholeDigits - count);
    if (magnitude > UINT64_MAX / Pow10(zeros)) return beyond;
    magnitude *= Pow10(zeros);
  }
  // Rounded at the first dropped digit, halves away from zero.
  if (wholeDigits >= 0 && wholeDigits < count && digits[wholeDigits] >= u'5') ++magnitude;
  if (magnitude > static_cast<uint64_t>(kMaxMillionths)) return beyond;
  const int64_t value = static_cast<int64_t>(magnitude);
  return {NumberStatus::kOk, negative ? -value : value};
}

bool LimitsUsable(const RangeLimits& limits) {
  auto inBounds = [](int64_t v) { return v >= -kMaxMillionths && v <= kMaxMillionths; };
  return inBounds(limits.minimum) && inBounds(limits.maximum) && inBounds(limits.step) && limits.step > 0 &&
         limits.minimum <= limits.maximum;
}

int64_t TopOfGrid(const RangeLimits& limits) {
  const int64_t span = limits.maximum - limits.minimum;  // at most 2 x 10^18
  return limits.minimum + (span / limits.step) * limits.step;
}

bool RangeValueValid(int64_t v, const RangeLimits& limits) {
  if (v < limits.minimum || v > limits.maximum) return false;
  return (v - limits.minimum) % limits.step == 0;
}

int64_t AdjustRangeValue(int64_t v, const RangeLimits& limits) {
  if (v < limits.minimum) return limits.minimum;
  if (v > limits.maximum) return TopOfGrid(limits);
  return limits.minimum + ((v - limits.minimum) / limits.step) * limits.step;
}

int DecimalsOf(int64_t millionths) {
  int64_t fraction = millionths % kMillion;
  if (fraction < 0) fraction = -fraction;
  if (fraction == 0) return 6;
  int decimals = 6;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --decimals;
  }
  return decimals;
}

std::u16string FormatRangeValue(int64_t v, const RangeLimits& limits) {
  const bool whole = limits.step % kMillion == 0 && limits.minimum % kMillion == 0;
  const uint64_t magnitude = v < 0 ? static_cast<uint64_t>(-(v + 1)) + 1 : static_cast<uint64_t>(v);
  const char16_t* sign = v < 0 ? u"-" : u"";
  if (whole) {
    // On the grid of whole numbers the value is whole; a value off it is cut toward zero.
    const uint64_t units = magnitude / kMillion;
    return FormatW(u"%s%llu", units == 0 ? u"" : sign, static_cast<unsigned long long>(units));
  }
  const int decimals = std::max(DecimalsOf(limits.step), DecimalsOf(limits.minimum));
  // Written from the integer parts, so large values keep every digit a double would lose.
  const uint64_t units = magnitude / kMillion;
  uint64_t fraction = magnitude % kMillion;
  const uint64_t drop = Pow10(6 - decimals);
  fraction = (fraction + drop / 2) / drop;  // rounded to the decimals shown
  uint64_t carried = units;
  if (fraction >= Pow10(decimals)) {
    fraction -= Pow10(decimals);
    ++carried;
  }
  std::u16string digits = FormatW(u"%0*llu", decimals, static_cast<unsigned long long>(fraction));
  return FormatW(u"%s%llu.%s", sign, static_cast<unsigned long long>(carried), digits.c_str());
}

}  // namespace rzd::lowdrv::apply
