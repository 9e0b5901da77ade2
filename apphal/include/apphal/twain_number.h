// Numbers of capability and layout values: a 64-bit integer that is either whole or "fixed"
// (16 fraction bits), with the arithmetic and the conversions to TWAIN items the session uses,
// and the conversion of lengths and resolutions between inches and a source's unit.
#pragma once

#include "apphal/twain_protocol.h"

#include <compare>
#include <cstdint>

namespace rzd::apphal {

class TwainNumber {
 public:
  constexpr TwainNumber() = default;
  static constexpr TwainNumber Integer(int64_t value) { return TwainNumber(value, false); }
  // `raw` carries 16 fraction bits.
  static constexpr TwainNumber FixedRaw(int64_t raw) { return TwainNumber(raw, true); }
  static TwainNumber FromFix32(TW_FIX32 value);
  // The nearest fixed number (for callers that think in decimals).
  static TwainNumber FromDouble(double value);

  constexpr bool IsFixed() const { return fixed_; }
  // The stored integer: the value itself, or the value times 65536 when fixed.
  constexpr int64_t Raw() const { return raw_; }
  // The value in fixed form.
  constexpr int64_t FixedForm() const { return fixed_ ? raw_ : raw_ * 65536; }

  // A fixed number is rounded: add 0x8000, shift right by 16.
  int64_t ToInteger() const;
  int16_t ToInt16() const { return static_cast<int16_t>(ToInteger()); }
  // Fixed: the upper 16 bits of the low 32 are Whole, the lower 16 Frac; whole: Whole, Frac 0.
  TW_FIX32 ToFix32() const;
  double ToDouble() const;

  // An integer operand is brought to fixed form when the other one is fixed; the result is
  // fixed when either operand is. Division by zero gives 0.
  friend TwainNumber operator+(TwainNumber a, TwainNumber b);
  friend TwainNumber operator-(TwainNumber a, TwainNumber b);
  friend TwainNumber operator*(TwainNumber a, TwainNumber b);
  friend TwainNumber operator/(TwainNumber a, TwainNumber b);
  friend bool operator==(TwainNumber a, TwainNumber b);
  friend std::strong_ordering operator<=>(TwainNumber a, TwainNumber b);

 private:
  constexpr TwainNumber(int64_t raw, bool fixed) : raw_(raw), fixed_(fixed) {}
  int64_t raw_ = 0;
  bool fixed_ = false;
};

// A length in inches in the source's unit (ICAP_UNITS): ×2.54 centimetres, ×6 picas, ×72
// points, ×1440 twips, ×25.4 millimetres; inches unchanged; any other unit 0.
TwainNumber InchesToUnit(TwainNumber inches, TW_UINT16 unit);
TwainNumber UnitToInches(TwainNumber length, TW_UINT16 unit);
// A resolution per inch as per unit (divided by the unit's factor), and back.
TwainNumber PerInchToPerUnit(TwainNumber perInch, TW_UINT16 unit);
TwainNumber PerUnitToPerInch(TwainNumber perUnit, TW_UINT16 unit);

}  // namespace rzd::apphal
