// Fixed and whole numbers of the TWAIN session, and unit conversion.
#include "apphal/twain_number.h"

#include <cmath>

namespace rzd::apphal {

namespace {

using Wide = __int128;

// The unit's factor against the inch as a fraction (numerator, denominator); {0, 1} for a unit
// without one.
struct Factor {
  int64_t numerator;
  int64_t denominator;
};

Factor UnitFactor(TW_UINT16 unit) {
  switch (unit) {
    case TWUN_INCHES: return {1, 1};
    case TWUN_CENTIMETERS: return {254, 100};
    case TWUN_PICAS: return {6, 1};
    case TWUN_POINTS: return {72, 1};
    case TWUN_TWIPS: return {1440, 1};
    case TWUN_MILLIMETERS: return {254, 10};
    default: return {0, 1};
  }
}

// value × numerator / denominator as a fixed number (the multiplication first); inches pass
// unchanged and a unit without a factor gives 0.
TwainNumber Scale(TwainNumber value, TW_UINT16 unit, bool inverse) {
  if (unit == TWUN_INCHES) return value;
  Factor factor = UnitFactor(unit);
  if (factor.numerator == 0) return TwainNumber::FixedRaw(0);
  int64_t multiply = inverse ? factor.denominator : factor.numerator;
  int64_t divide = inverse ? factor.numerator : factor.denominator;
  TwainNumber fixed = TwainNumber::FixedRaw(value.FixedForm());
  return fixed * TwainNumber::Integer(multiply) / TwainNumber::Integer(divide);
}

int64_t Clamp(Wide value) {
  if (value > INT64_MAX) return INT64_MAX;
  if (value < INT64_MIN) return INT64_MIN;
  return static_cast<int64_t>(value);
}

}  // namespace

TwainNumber TwainNumber::FromFix32(TW_FIX32 value) {
  return FixedRaw(static_cast<int64_t>(value.Whole) * 65536 + value.Frac);
}

TwainNumber TwainNumber::FromDouble(double value) {
  return FixedRaw(static_cast<int64_t>(std::llround(value * 65536.0)));
}

int64_t TwainNumber::ToInteger() const { return fixed_ ? (raw_ + 0x8000) >> 16 : raw_; }

TW_FIX32 TwainNumber::ToFix32() const {
  if (!fixed_) return TW_FIX32{static_cast<TW_INT16>(raw_), 0};
  auto bits = static_cast<uint32_t>(raw_);
  return TW_FIX32{static_cast<TW_INT16>(bits >> 16), static_cast<TW_UINT16>(bits & 0xFFFF)};
}

double TwainNumber::ToDouble() const { return fixed_ ? static_cast<double>(raw_) / 65536.0 : static_cast<double>(raw_); }

TwainNumber operator+(TwainNumber a, TwainNumber b) {
  if (!a.fixed_ && !b.fixed_) return TwainNumber::Integer(a.raw_ + b.raw_);
  return TwainNumber::FixedRaw(a.FixedForm() + b.FixedForm());
}

TwainNumber operator-(TwainNumber a, TwainNumber b) {
  if (!a.fixed_ && !b.fixed_) return TwainNumber::Integer(a.raw_ - b.raw_);
  return TwainNumber::FixedRaw(a.FixedForm() - b.FixedForm());
}

TwainNumber operator*(TwainNumber a, TwainNumber b) {
  if (!a.fixed_ && !b.fixed_) return TwainNumber::Integer(Clamp(Wide{a.raw_} * b.raw_));
  return TwainNumber::FixedRaw(Clamp((Wide{a.FixedForm()} * b.FixedForm()) >> 16));
}

TwainNumber operator/(TwainNumber a, TwainNumber b) {
  if (!a.fixed_ && !b.fixed_) return TwainNumber::Integer(b.raw_ == 0 ? 0 : a.raw_ / b.raw_);
  if (b.FixedForm() == 0) return TwainNumber::FixedRaw(0);
  return TwainNumber::FixedRaw(Clamp((Wide{a.FixedForm()} * 65536) / b.FixedForm()));
}

bool operator==(TwainNumber a, TwainNumber b) { return (a <=> b) == 0; }

std::strong_ordering operator<=>(TwainNumber a, TwainNumber b) {
  if (!a.fixed_ && !b.fixed_) return a.raw_ <=> b.raw_;
  return Wide{a.FixedForm()} <=> Wide{b.FixedForm()};
}

TwainNumber InchesToUnit(TwainNumber inches, TW_UINT16 unit) { return Scale(inches, unit, false); }
TwainNumber UnitToInches(TwainNumber length, TW_UINT16 unit) { return Scale(length, unit, true); }
TwainNumber PerInchToPerUnit(TwainNumber perInch, TW_UINT16 unit) { return Scale(perInch, unit, true); }
TwainNumber PerUnitToPerInch(TwainNumber perUnit, TW_UINT16 unit) { return Scale(perUnit, unit, false); }

}  // namespace rzd::apphal
