// Range numbers in millionths, XPath literals and ID chains.
#include "apply/id_chain.h"
#include "apply/range_number.h"
#include "apply/xpath_literal.h"
#include "apply_test_docs.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

namespace rzd::lowdrv::applytest {
namespace {

using apply::AdjustRangeValue;
using apply::FormatRangeValue;
using apply::kMaxMillionths;
using apply::LimitsUsable;
using apply::NumberStatus;
using apply::ParseMillionths;
using apply::RangeLimits;
using apply::RangeValueValid;

TEST(ApplyNumberTest, ParsesDecimalsExactlyToTheNearestMillionth) {
  struct Case {
    const char16_t* text;
    NumberStatus status;
    int64_t value;
  };
  const Case cases[] = {
      {u"0.7", NumberStatus::kOk, 700000},
      {u"0.6", NumberStatus::kOk, 600000},
      {u"1.2", NumberStatus::kOk, 1200000},
      {u"2.3", NumberStatus::kOk, 2300000},
      {u"3.9", NumberStatus::kOk, 3900000},
      {u" \t12\r\n", NumberStatus::kOk, 12000000},
      {u"-2.5", NumberStatus::kOk, -2500000},
      {u"+1", NumberStatus::kOk, 1000000},
      {u".5", NumberStatus::kOk, 500000},
      {u"5.", NumberStatus::kOk, 5000000},
      {u"007.250", NumberStatus::kOk, 7250000},
      {u"1e2", NumberStatus::kOk, 100000000},
      {u"1.5E-1", NumberStatus::kOk, 150000},
      {u"0.0000005", NumberStatus::kOk, 1},    // a half rounds away from zero
      {u"0.00000049", NumberStatus::kOk, 0},
      {u"-0.0000005", NumberStatus::kOk, -1},
      {u"1.9999999", NumberStatus::kOk, 2000000},
      {u"1e-99999", NumberStatus::kOk, 0},
      {u"0e999999999999", NumberStatus::kOk, 0},
      {u"1000000000000", NumberStatus::kOk, kMaxMillionths},
      {u"1000000000000.0000001", NumberStatus::kOk, kMaxMillionths},
      {u"1000000000000.000001", NumberStatus::kOutOfBounds, kMaxMillionths + 1},
      {u"99999999999999999999999", NumberStatus::kOutOfBounds, kMaxMillionths + 1},
      {u"-1e13", NumberStatus::kOutOfBounds, -(kMaxMillionths + 1)},
      {u"1e999999999999", NumberStatus::kOutOfBounds, kMaxMillionths + 1},
      {u"", NumberStatus::kNotANumber, 0},
      {u"   ", NumberStatus::kNotANumber, 0},
      {u"abc", NumberStatus::kNotANumber, 0},
      {u"12abc", NumberStatus::kNotANumber, 0},
      {u"1.2.3", NumberStatus::kNotANumber, 0},
      {u"1 2", NumberStatus::kNotANumber, 0},
      {u"0x10", NumberStatus::kNotANumber, 0},
      {u"inf", NumberStatus::kNotANumber, 0},
      {u"-infinity", NumberStatus::kNotANumber, 0},
      {u"nan", NumberStatus::kNotANumber, 0},
      {u"1e", NumberStatus::kNotANumber, 0},
      {u"--1", NumberStatus::kNotANumber, 0},
      {u".", NumberStatus::kNotANumber, 0},
      {u"1,5", NumberStatus::kNotANumber, 0},  // never a locale's decimal comma
  };
  for (const Case& c : cases) {
    apply::Millionths m = ParseMillionths(c.text);
    EXPECT_EQ(m.status, c.status) << Narrow(c.text);
    EXPECT_EQ(m.value, c.value) << Narrow(c.text);
  }
}

TEST(ApplyNumberTest, DecimalStepsAreValidWithoutDrift) {
  // GammaCorrection: 0.5 .. 4.0 in steps of 0.1. Every one of these is on the grid.
  const RangeLimits gamma{500000, 4000000, 100000};
  for (const char16_t* text : {u"0.5", u"0.6", u"0.7", u"1.0", u"1.2", u"2.3", u"3.9", u"4.0", u"4", u"2.30"}) {
    EXPECT_TRUE(RangeValueValid(ParseMillionths(text).value, gamma)) << Narrow(text);
  }
  // Every tenth from 0.5 to 4.0, written as decimals.
  for (int tenth = 5; tenth <= 40; ++tenth) {
    std::u16string text = FormatW(u"%d.%d", tenth / 10, tenth % 10);
    EXPECT_TRUE(RangeValueValid(ParseMillionths(text).value, gamma)) << Narrow(text);
  }
  for (const char16_t* text : {u"0.45", u"1.05", u"4.1", u"0.700001", u"-1"}) {
    EXPECT_FALSE(RangeValueValid(ParseMillionths(text).value, gamma)) << Narrow(text);
  }
}

TEST(ApplyNumberTest, AdjustsAndFormatsInvalidValues) {
  struct Case {
    RangeLimits limits;
    const char16_t* value;
    const char16_t* text;
  };
  const RangeLimits gamma{500000, 4000000, 100000};
  const RangeLimits brightness{1000000, 255000000, 1000000};
  const RangeLimits offset{-2500000, 2500000, 250000};
  const Case cases[] = {
      {gamma, u"1.05", u"1.0"},   // snapped down onto the grid, one decimal
      {gamma, u"0.74", u"0.7"},
      {gamma, u"0.45", u"0.5"},   // below: the minimum
      {gamma, u"4.7", u"4.0"},    // above: the maximum
      {gamma, u"1e300", u"4.0"},  // too large to hold: above every maximum
      {brightness, u"300", u"255"},
      {brightness, u"0", u"1"},
      {brightness, u"-5", u"1"},
      {brightness, u"12.5", u"12"},
      {brightness, u"-1e300", u"1"},
      {offset, u"0.3", u"0.25"},  // two decimals for a step of 0.25
      {offset, u"-3", u"-2.50"},
      {offset, u"-0.1", u"-0.25"},  // the grid value at or below, counted from the minimum
      {RangeLimits{0, 10500000, 1000000}, u"11", u"10"},  // the top of the grid, not 10.5
      {RangeLimits{0, 2000000, 500000}, u"0.7", u"0.500000"},  // a whole minimum asks for 6 decimals
      {RangeLimits{-900000000000000000, 900000000000000000, 300000000000000000}, u"1e12", u"900000000000"},
      {RangeLimits{100000, 999999999999900000, 100000}, u"999999999999.97", u"999999999999.9"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(LimitsUsable(c.limits));
    int64_t v = ParseMillionths(c.value).value;
    EXPECT_FALSE(RangeValueValid(v, c.limits)) << Narrow(c.value);
    int64_t adjusted = AdjustRangeValue(v, c.limits);
    EXPECT_TRUE(RangeValueValid(adjusted, c.limits)) << Narrow(c.value);
    EXPECT_EQ(Narrow(FormatRangeValue(adjusted, c.limits)), Narrow(c.text)) << Narrow(c.value);
  }
}

TEST(ApplyNumberTest, RefusesLimitsWithoutAPositiveStep) {
  EXPECT_FALSE(LimitsUsable({0, 10000000, 0}));
  EXPECT_FALSE(LimitsUsable({0, 10000000, -1000000}));
  EXPECT_FALSE(LimitsUsable({10000000, 0, 1000000}));
  EXPECT_FALSE(LimitsUsable({0, kMaxMillionths + 1, 1000000}));
  EXPECT_TRUE(LimitsUsable({5000000, 5000000, 1000000}));
}

TEST(ApplyXPathLiteralTest, QuotesEveryValueAsItself) {
  EXPECT_EQ(Narrow(apply::XPathLiteral(u"ADF")), "\"ADF\"");
  EXPECT_EQ(Narrow(apply::XPathLiteral(u"a\"b")), "'a\"b'");
  EXPECT_EQ(Narrow(apply::XPathLiteral(u"a\"b'c")), "concat(\"a\",'\"',\"b'c\")");

  // Each ID selects exactly its own item, also IDs written to break out of a literal.
  const std::u16string ids[] = {u"plain", u"a\"b", u"a'b", u"\"'", u"x\"] | //*[@ID=\"y", u"x'] | //*[@ID='y", u""};
  std::u16string xml = u"<L>";
  for (size_t i = 0; i < std::size(ids); ++i) {
    MSXML6StoreSTL item;
    ASSERT_TRUE(item.LoadFromString(u"<Item/>"));
    ASSERT_TRUE(item.SelectRoot());
    ASSERT_TRUE(item.SetAttribute(u"ID", ids[i]));
    ASSERT_TRUE(item.SetAttribute(u"N", FormatW(u"%d", static_cast<int>(i))));
    std::u16string text;
    ASSERT_TRUE(item.GetDocumentXML(text));
    xml += text;
  }
  xml += u"<Item ID=\"y\" N=\"y\"/></L>";
  for (size_t i = 0; i < std::size(ids); ++i) {
    std::u16string path = u"/L/Item[@ID=" + apply::XPathLiteral(ids[i]) + u"]";
    EXPECT_EQ(CountOf(xml, path), 1) << Narrow(ids[i]);
    EXPECT_EQ(Narrow(AttrOf(xml, path, u"N")), std::to_string(i)) << Narrow(ids[i]);
  }
}

class ApplyChainTest : public rzd::test::TempRoot {};

TEST_F(ApplyChainTest, ChainsNameIdsAndChannels) {
  MSXML6StoreBSTR store;
  ASSERT_TRUE(store.LoadFromString(kApplySupported));
  struct Case {
    std::u16string select;
    const char* name;
    const char* chain;
  };
  const Case cases[] = {
      {std::u16string(kColor1) + u"/ImageQuality/Brightness[@DependsOnValue='Red']", "Brightness",
       "/Scanner/DocumentSources/List/Item[@ID=\"ADF\"]/ImageSources/List/Item[@ID=\"Front1\"]/Streams/List"
       "/Item[@ID=\"Color1\"]/ImageQuality/Brightness[@DependsOnValue=\"Red\"]"},
      {std::u16string(kColor1) + u"/Resolutions/Enum/Value[.='600']", "Value",
       "/Scanner/DocumentSources/List/Item[@ID=\"ADF\"]/ImageSources/List/Item[@ID=\"Front1\"]/Streams/List"
       "/Item[@ID=\"Color1\"]/Resolutions/Enum/Value"},
      {u"/Scanner/HardwareSettings/SleepTimeout/Range/Value", "Value",
       "/Scanner/HardwareSettings/SleepTimeout/Range/Value"},
      {u"/Scanner", "Scanner", "/Scanner"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(store.SelectNode(c.select)) << Narrow(c.select);
    std::u16string chain;
    ASSERT_TRUE(apply::NodeIdChain(store, chain));
    EXPECT_EQ(Narrow(chain), c.chain);
    // The context stays on the node.
    Bstr name;
    ASSERT_TRUE(store.GetNodeName(name));
    EXPECT_EQ(Narrow(name.View()), c.name);
  }
}

TEST_F(ApplyChainTest, ChainWithQuotesSelectsOnlyItsOwnNode) {
  MSXML6StoreBSTR store;
  ASSERT_TRUE(store.LoadFromString(
      u"<S><Item ID='x\"] | //Secret | //*[@ID=\"y' D='a&apos;b\"c'><V>1</V></Item><Item ID='y'/><Secret/></S>"));
  ASSERT_TRUE(store.SelectNode(u"/S/Item/V"));
  std::u16string chain;
  ASSERT_TRUE(apply::NodeIdChain(store, chain));
  Bstr xml;
  ASSERT_TRUE(store.GetDocumentXML(xml));
  EXPECT_EQ(CountOf(xml.View(), chain), 1);
  EXPECT_EQ(CountOf(xml.View(), u"/S/Secret"), 1);
}

TEST_F(ApplyChainTest, ChainFailsWithoutAnElement) {
  MSXML6StoreBSTR store;
  ASSERT_TRUE(store.LoadFromString(u"<S><V>text</V></S>"));
  std::u16string chain;
  EXPECT_FALSE(apply::NodeIdChain(store, chain));  // no current node
  ASSERT_TRUE(store.SelectNode(u"/S/V/text()"));
  EXPECT_FALSE(apply::NodeIdChain(store, chain));
}

}  // namespace
}  // namespace rzd::lowdrv::applytest
