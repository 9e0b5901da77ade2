// Numbers of the TWAIN session: fixed arithmetic, rounding, TW_FIX32 and unit conversion.
#include "apphal/twain_number.h"

#include <gtest/gtest.h>

namespace rzd::apphal {
namespace {

TwainNumber Int(int64_t v) { return TwainNumber::Integer(v); }
TwainNumber Fix(double v) { return TwainNumber::FromDouble(v); }

TEST(TwainNumber, IntegerOperandsMeetFixedOnesInFixedForm) {
  EXPECT_FALSE((Int(7) + Int(5)).IsFixed());
  EXPECT_EQ((Int(7) / Int(2)).Raw(), 3);
  TwainNumber mixed = Int(3) + Fix(0.5);
  EXPECT_TRUE(mixed.IsFixed());
  EXPECT_EQ(mixed.Raw(), 3 * 65536 + 32768);
  EXPECT_DOUBLE_EQ((Fix(1.5) * Int(4)).ToDouble(), 6.0);
  EXPECT_DOUBLE_EQ((Int(3) / Fix(2.0)).ToDouble(), 1.5);
  EXPECT_TRUE(Int(2) == Fix(2.0));
  EXPECT_TRUE(Fix(2.25) > Int(2));
  EXPECT_EQ((Fix(1.0) / Int(0)).Raw(), 0);  // no division by zero
  EXPECT_EQ((Int(1) / Int(0)).Raw(), 0);
}

TEST(TwainNumber, RoundingAndFix32) {
  struct Case {
    double value;
    int16_t rounded;
    int16_t whole;
    uint16_t frac;
  } cases[] = {{2.5, 3, 2, 0x8000}, {2.49, 2, 2, 32113}, {-1.5, -1, -2, 0x8000}, {21.59, 22, 21, 38666}};
  for (const Case& c : cases) {
    TwainNumber n = Fix(c.value);
    EXPECT_EQ(n.ToInt16(), c.rounded) << c.value;
    TW_FIX32 fix = n.ToFix32();
    EXPECT_EQ(fix.Whole, c.whole) << c.value;
    EXPECT_EQ(fix.Frac, c.frac) << c.value;
    EXPECT_EQ(TwainNumber::FromFix32(fix), n) << c.value;
  }
  TW_FIX32 whole = Int(300).ToFix32();
  EXPECT_EQ(whole.Whole, 300);
  EXPECT_EQ(whole.Frac, 0);
}

TEST(TwainNumber, LengthsAndResolutionsInEveryUnit) {
  struct Case {
    TW_UINT16 unit;
    double length;      // 8.5 inches in the unit
    double resolution;  // 300 per inch in the unit
  } cases[] = {{TWUN_INCHES, 8.5, 300},     {TWUN_CENTIMETERS, 21.59, 118.110},
               {TWUN_PICAS, 51, 50},        {TWUN_POINTS, 612, 4.1667},
               {TWUN_TWIPS, 12240, 0.2083}, {TWUN_MILLIMETERS, 215.9, 11.811},
               {TWUN_PIXELS, 0, 0},         {99, 0, 0}};
  for (const Case& c : cases) {
    TwainNumber length = InchesToUnit(Fix(8.5), c.unit);
    EXPECT_NEAR(length.ToDouble(), c.length, 0.001) << c.unit;
    TwainNumber resolution = PerInchToPerUnit(Int(300), c.unit);
    EXPECT_NEAR(resolution.ToDouble(), c.resolution, 0.001) << c.unit;
    if (c.length != 0) {
      EXPECT_NEAR(UnitToInches(length, c.unit).ToDouble(), 8.5, 0.001) << c.unit;
      EXPECT_NEAR(PerUnitToPerInch(resolution, c.unit).ToDouble(), 300, 0.05) << c.unit;
    }
  }
  // Inches pass unchanged, integers included; other units convert to fixed numbers.
  EXPECT_FALSE(InchesToUnit(Int(8), TWUN_INCHES).IsFixed());
  EXPECT_TRUE(InchesToUnit(Int(8), TWUN_POINTS).IsFixed());
  EXPECT_EQ(InchesToUnit(Fix(8.5), TWUN_CENTIMETERS).ToFix32().Whole, 21);
}

}  // namespace
}  // namespace rzd::apphal
