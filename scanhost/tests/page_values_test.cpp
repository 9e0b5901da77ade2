// The one-pass reading of a driver's page text: the texts it takes give the values the parsed
// document gives; every other shape is refused (and left to the parser).
#include "hal/page_meta.h"
#include "hal/page_values.h"

#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rzd::scanhost::test {
namespace {

std::vector<std::u16string> Listed(const PageValues& values) {
  std::vector<std::u16string> out;
  for (const auto& v : values.All()) {
    out.push_back(std::u16string(v.group) + u"/" + std::u16string(v.name) + u"=" + std::u16string(v.text));
  }
  return out;
}

std::vector<std::u16string> ParsedValues(const std::u16string& text) {
  MSXML6StoreSTL document;
  EXPECT_TRUE(document.LoadFromString(text)) << ToUtf8(text);
  PageValues values;
  values.ReadDocument(document);
  return Listed(values);
}

// Texts of the plain shape.
const std::u16string kTaken[] = {
    u"<Result><Address><Page>3</Page><Side>Back</Side></Address><Format><Pixels>RGB</Pixels></Format></Result>",
    u"\n<Result>\n  <Address>\n    <Side> Front \n</Side>\n    <Crop></Crop>\n    <Empty/>\n  </Address>\n"
    u"  <EstimateLength>2200</EstimateLength>\n  <Lone/>\n</Result>\n",
    u"<Result ><A >x<B>1</B >y<B>2</B></A><A><B>\t</B></A>text</Result>",
    u"<Result><A><B>a=b;c\"d'e</B></A></Result>",
};

// Texts of other shapes, broken ones among them.
const std::u16string kRefused[] = {
    u"",
    u"<?xml version=\"1.0\"?><Result><A><B>1</B></A></Result>",
    u"<Result><A><B x=\"1\">1</B></A></Result>",
    u"<Result><A><B>&amp;</B></A></Result>",
    u"<Result><A><B>a>b</B></A></Result>",
    u"<Result><A><B>1\r\n</B></A></Result>",
    u"<Result><!-- note --><A><B>1</B></A></Result>",
    u"<Result><A><B><C>1</C></B></A></Result>",
    u"<Result><A><B>\u00e9</B></A></Result>",
    u"<Other><A><B>1</B></A></Other>",
    u"<Result/>",
    u"<Result><A><B>1</C></A></Result>",
    u"<Result><A><B>1</B></A>",
    u"<Result><A><B>1</B></A></Result><Result/>",
    u"<Result><A><B>1</B></A></Result>x",
    u"<ns:Result><A/></ns:Result>",
};

TEST(PageValuesTest, PlainTextsGiveTheValuesOfTheParsedDocument) {
  for (const std::u16string& text : kTaken) {
    PageValues values;
    ASSERT_TRUE(values.Read(text)) << ToUtf8(text);
    EXPECT_EQ(Listed(values), ParsedValues(text)) << ToUtf8(text);
  }
  PageValues values;
  ASSERT_TRUE(values.Read(kTaken[0]));
  EXPECT_EQ(values.Int(u"/Result/Address/Page", -1), 3);
  EXPECT_EQ(values.Int(u"/Result/Address/Image", -1), -1);
  ASSERT_NE(values.Find(u"/Result/Format/Pixels"), nullptr);
  EXPECT_EQ(*values.Find(u"/Result/Format/Pixels"), u"RGB");
  EXPECT_EQ(values.Find(u"/Result/Format"), nullptr);
  EXPECT_EQ(values.Find(u"/Other/Format/Pixels"), nullptr);
}

TEST(PageValuesTest, OtherShapesAndBrokenTextsAreRefused) {
  for (const std::u16string& text : kRefused) {
    PageValues values;
    EXPECT_FALSE(values.Read(text)) << ToUtf8(text);
    EXPECT_TRUE(values.All().empty()) << ToUtf8(text);
  }
}

TEST(PageValuesTest, AnyShapeThatParsesGivesTheValuesOfItsDocument) {
  for (const std::u16string& text : kRefused) {
    MSXML6StoreSTL document;
    PageValues values;
    if (!document.LoadFromString(text)) {
      EXPECT_FALSE(values.ReadAnyShape(text)) << ToUtf8(text);
      continue;
    }
    ASSERT_TRUE(values.ReadAnyShape(text)) << ToUtf8(text);
    EXPECT_EQ(Listed(values), ParsedValues(text)) << ToUtf8(text);
  }
  PageValues values;
  ASSERT_TRUE(values.ReadAnyShape(kTaken[0]));
  EXPECT_EQ(Listed(values), ParsedValues(kTaken[0]));
}

// The Operation document as the store makes it: a copy of each page document that parses.
std::u16string OperationOfCopies(const std::vector<Bstr>& pages) {
  MSXML6StoreSTL operation;
  EXPECT_TRUE(operation.LoadFromString(u"<Operation/>"));
  for (const Bstr& page : pages) {
    MSXML6StoreSTL document;
    if (!document.LoadFromString(page.View())) continue;
    operation.SelectRoot();
    document.SelectRoot();
    operation.AppendCopyOf(&document);
  }
  std::u16string text;
  EXPECT_TRUE(operation.GetDocumentXML(text));
  return text;
}

TEST(PageValuesTest, APlainTextIsWrittenAsTheStoreWritesItsDocument) {
  for (const std::u16string& text : kTaken) {
    MSXML6StoreSTL document;
    ASSERT_TRUE(document.LoadFromString(text)) << ToUtf8(text);
    std::u16string stored;
    ASSERT_TRUE(document.GetDocumentXML(stored));
    std::u16string written = u"before";
    ASSERT_TRUE(PageValues::AppendPlainMarkup(text, &written)) << ToUtf8(text);
    EXPECT_EQ(written, u"before" + stored) << ToUtf8(text);
  }
  for (const std::u16string& text : kRefused) {
    std::u16string written = u"before";
    EXPECT_FALSE(PageValues::AppendPlainMarkup(text, &written)) << ToUtf8(text);
    EXPECT_EQ(written, u"before") << ToUtf8(text);
  }
}

TEST(PageValuesTest, TheOperationHoldsACopyOfEachPageInOrder) {
  std::vector<Bstr> pages;
  pages.emplace_back(u"<Result><Address><Page>1</Page></Address><Crop/></Result>");
  pages.emplace_back(u"\n<Result>\n  <Address>\n    <Page>2</Page>\n  </Address>\n</Result>\n");
  EXPECT_EQ(MakeOperationText(pages),
            u"<Operation><Result><Address><Page>1</Page></Address><Crop/></Result>"
            u"<Result><Address><Page>2</Page></Address></Result></Operation>");
  EXPECT_EQ(MakeOperationText({}), u"<Operation/>");

  // Every shape, plain or parsed, and the ones that do not parse left out: the same document as
  // copying each parsed page into it.
  std::vector<Bstr> all;
  for (const std::u16string& text : kTaken) all.emplace_back(text);
  for (const std::u16string& text : kRefused) all.emplace_back(text);
  EXPECT_EQ(MakeOperationText(all), OperationOfCopies(all));
  for (const Bstr& page : all) {
    const std::vector<Bstr> one{Bstr(page.View())};
    EXPECT_EQ(MakeOperationText(one), OperationOfCopies(one)) << ToUtf8(page.View());
  }
}

TEST(PageValuesTest, TheSideKindComesFromTheFirstPage) {
  const struct {
    const char16_t* page;
    uint64_t kind;
  } kKinds[] = {
      {u"<Result><Address><ScanMode>Simplex</ScanMode><Side>Back</Side></Address></Result>", 1},
      {u"<Result><Address><ScanMode> Simplex </ScanMode><Side>Front</Side></Address></Result>", 0},
      {u"<Result><Address><ScanMode>Simplex</ScanMode></Address></Result>", 0},
      {u"<Result><Address><ScanMode>Duplex</ScanMode><Side>Back</Side></Address></Result>", 2},
      {u"<Result><Format><Pixels>RGB</Pixels></Format></Result>", 2},
  };
  for (const auto& k : kKinds) {
    PageValues values;
    ASSERT_TRUE(values.Read(k.page)) << ToUtf8(k.page);
    EXPECT_EQ(SideKindOf(&values), k.kind) << ToUtf8(k.page);
  }
  EXPECT_EQ(SideKindOf(nullptr), 2u) << "an Operation without pages";
}

}  // namespace
}  // namespace rzd::scanhost::test
