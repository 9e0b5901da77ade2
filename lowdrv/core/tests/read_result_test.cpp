// The read result document: the template the driver carries (resource XML 120), its defaults,
// and documents written from it with values set, removed and added.
#include "scan/read_result.h"
#include "scan_fixture.h"

namespace rzd::lowdrv::test {
namespace {

const char kAnchor = 0;

TEST(ReadResultTest, TheTemplateCarriesEveryElementWithItsDefault) {
  const ReadResultTemplate* shape = ReadResultTemplate::Get(&kAnchor);
  ASSERT_NE(shape, nullptr);
  ReadResult doc(*shape);
  PageDoc parsed(doc.Text());
  ASSERT_TRUE(parsed.Parsed());
  struct Default {
    const char16_t* path;
    const char16_t* text;
  };
  const Default defaults[] = {
      {u"/Result/Address/Page", u"1"},           {u"/Result/Address/Side", u"Front"},
      {u"/Result/Address/ScanMode", u"Simplex"}, {u"/Result/Address/NumberOfLines", u"100"},
      {u"/Result/Address/DocumentSource", u"ADF"}, {u"/Result/Address/ImageSource", u"Front1"},
      {u"/Result/Address/ImageSourceFrontSide", u""}, {u"/Result/Address/LinesPerSide", u"16"},
      {u"/Result/Address/SideOrder", u"0"},      {u"/Result/Address/ScannerInterface", u"USB"},
      {u"/Result/Address/USB_VID", u"2E5A"},     {u"/Result/Address/USB_PID", u"0148"},
      {u"/Result/Address/USB_MI", u"00"},        {u"/Result/Format/Pixels", u"BGR"},
      {u"/Result/Format/BytesPerLine", u"5100"}, {u"/Result/Format/JPG_MCU", u"0"},
      {u"/Result/ImageDimensions/Width", u"1700"}, {u"/Result/ImageDimensions/Length", u"2200"},
      {u"/Result/Resolutions/X", u"200"},        {u"/Result/EstimateImageSize", u"11220000"},
      {u"/Result/GammaApplied", u"0"},
  };
  for (const Default& d : defaults) EXPECT_EQ(parsed.Text(d.path), d.text) << ToUtf8(d.path);
  EXPECT_EQ(shape->Find(u"Address/Page"), shape->Find(u"Address/Page"));
  EXPECT_LT(shape->Find(u"Address/Nothing"), 0);
}

TEST(ReadResultTest, ValuesAreSetRemovedAndAddedInTheTemplatesOrder) {
  const std::unique_ptr<ReadResultTemplate> shape =
      ReadResultTemplate::Parse(u"<Result><A><B>1</B><C>2</C></A><D/><E>x</E></Result>");
  ASSERT_NE(shape, nullptr);
  ReadResult doc(*shape);
  EXPECT_TRUE(doc.Set(u"A/C", u"<&>"));
  EXPECT_TRUE(doc.SetInt(u"D", -5));
  EXPECT_TRUE(doc.Remove(u"E"));
  EXPECT_FALSE(doc.Set(u"Z", u"1"));
  doc.AddToRoot(u"ErrorCode", u"70");
  doc.AddToRoot(u"PageWasBlank", u"");
  EXPECT_EQ(doc.Text(), u"<Result><A><B>1</B><C>&lt;&amp;&gt;</C></A><D>-5</D><ErrorCode>70</ErrorCode>"
                        u"<PageWasBlank></PageWasBlank></Result>");
  EXPECT_EQ(ReadResultTemplate::Parse(u"<unclosed>"), nullptr);
}

// Values come from the unit and the settings: a control character in one never leaves a
// document that does not parse (it is dropped), set into the template or added to the root.
TEST(ReadResultTest, ControlCharactersInValuesAreDroppedSoTheDocumentParses) {
  const std::unique_ptr<ReadResultTemplate> shape = ReadResultTemplate::Parse(u"<Result><A><B>1</B></A></Result>");
  ASSERT_NE(shape, nullptr);
  struct Case {
    std::u16string value;
    std::u16string parsed;
  };
  const Case cases[] = {
      {u"ab\x01" u"c", u"abc"},         {u"\x1F", u""},           {u"x\x0By\x0Cz", u"xyz"},
      {u"tab\there", u"tab\there"},     {u"line\nfeed", u"line\nfeed"}, {u"<&>\x02", u"<&>"},
  };
  for (const Case& c : cases) {
    ReadResult doc(*shape);
    ASSERT_TRUE(doc.Set(u"A/B", c.value));
    doc.AddToRoot(u"Extra", c.value);
    PageDoc parsed(doc.Text());
    ASSERT_TRUE(parsed.Parsed()) << ToUtf8(doc.Text());
    EXPECT_EQ(parsed.Text(u"/Result/A/B"), c.parsed) << ToUtf8(c.value);
    EXPECT_EQ(parsed.Text(u"/Result/Extra"), c.parsed) << ToUtf8(c.value);
  }
}

}  // namespace
}  // namespace rzd::lowdrv::test
