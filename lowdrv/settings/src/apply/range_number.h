// Range settings in whole millionths: exact decimal parsing, the validity test, the adjustment
// of an invalid value and the text an adjusted value is written with.
//
// Values are compared as signed 64-bit millionths, rounded to the nearest millionth (halves away
// from zero), so a decimal such as 0.7 is exactly 700000 and never drifts below a step.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rzd::lowdrv::apply {

constexpr int64_t kMillion = 1'000'000;
// The largest magnitude a range number may have: 10^12 whole units. Differences of two such
// numbers (and every step multiple below them) stay far inside 64 bits.
constexpr int64_t kMaxMillionths = 1'000'000'000'000'000'000;

enum class NumberStatus {
  kOk,
  kNotANumber,   // empty, junk, a hexadecimal number, infinity or NaN
  kOutOfBounds,  // a well-formed number beyond kMaxMillionths
};

struct Millionths {
  NumberStatus status = NumberStatus::kNotANumber;
  // kOk: the rounded value. kOutOfBounds: kMaxMillionths + 1 with the number's sign, so it lies
  // beyond every valid limit. kNotANumber: 0.
  int64_t value = 0;
};

// Parses a "C"-locale decimal number: blanks around it, an optional sign, digits with an optional
// decimal point (at least one digit), an optional exponent ("e" or "E", optional sign, digits).
// Nothing else may follow.
Millionths ParseMillionths(std::u16string_view text);

struct RangeLimits {
  int64_t minimum = 0;
  int64_t maximum = 0;
  int64_t step = 0;
};

// True when the limits can be used: step above zero, minimum not above maximum, all three within
// kMaxMillionths.
bool LimitsUsable(const RangeLimits& limits);

// The highest value on the step grid (minimum + k x step) that does not exceed the maximum.
int64_t TopOfGrid(const RangeLimits& limits);

// True when minimum <= v <= maximum and v - minimum is a multiple of the step. Usable limits only.
bool RangeValueValid(int64_t v, const RangeLimits& limits);

// The value an invalid one becomes: the minimum below it, the top of the grid above it, else the
// grid value at or below it. Usable limits only.
int64_t AdjustRangeValue(int64_t v, const RangeLimits& limits);

// The number of decimals a limit asks for: 6 for a whole number, else 6 less the trailing zeros
// of its fractional millionths (0.1 gives 1, 0.25 gives 2).
int DecimalsOf(int64_t millionths);

// The text of an adjusted value: a whole number ("%lld") when step and minimum are whole, else
// the value with N decimals (a "%#.Nf" format), N the larger of DecimalsOf(step) and
// DecimalsOf(minimum).
std::u16string FormatRangeValue(int64_t v, const RangeLimits& limits);

}  // namespace rzd::lowdrv::apply
