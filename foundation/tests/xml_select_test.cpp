// XML store: selections, walking the tree and DOM node names.
#include "foundation/xml_store.h"

#include "platform/text.h"
#include "xml_test_documents.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using rzd::MSXML6StoreSTL;

class XmlSelect : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store_.LoadFromString(rzd::test::kDeviceDescription)); }

  // Walks the current selection from its first node: "name#ID" for nodes with an ID, else
  // "name=text".
  std::vector<std::u16string> Walk() {
    std::vector<std::u16string> seen;
    do {
      std::u16string name, id, text;
      store_.GetNodeName(name);
      store_.GetText(text);
      seen.push_back(store_.GetNodeAttribute(u"ID", id) ? name + u"#" + id : name + u"=" + text);
    } while (store_.MoveToNextNode());
    return seen;
  }

  MSXML6StoreSTL store_;
};

TEST_F(XmlSelect, PathsTheCallersUse) {
  struct Case {
    const char16_t* from;  // path selected first to set the context (null: document)
    const char16_t* path;
    std::vector<std::u16string> want;
  };
  const Case cases[] = {
      {nullptr, u"//Item[@Name=\"DocumentSource\"][@Type=\"ADF\"]", {u"Item#ADF"}},
      {nullptr, u"//Item[@Name='DocumentSource'][@ID='ADF']/.//Item[@Name='ImageSource'][@Type='Front']"
                u"/.//Item[@Name='Stream'][@IsSet='true'][@Type='Mono']",
       {u"Item#Mono1"}},
      {nullptr, u"/.//*[@ModuleID]", {u"ImageQuality=128140x", u"Extra=x", u"Inner=x"}},
      {nullptr, u"/.//Paperweight/Enum/Value[.='On']", {u"Value=On"}},
      {nullptr, u"//DocumentSourceModes//Value[.=\"FixedMultiSource\"]", {u"Value=FixedMultiSource"}},
      {nullptr, u"//Item[@ID=\"Button7\"]", {u"Item#Button7"}},
      {nullptr, u"//Item[@SubType=\"DFD3Button\"]", {u"Item#Button7"}},
      {nullptr, u"//Brightness[@DependsOnValue='Red']/Range/Value", {u"Value=140"}},
      {nullptr, u"//./HardwareSettings/OffTimeout/Range/Value", {u"Value=0"}},  // tabs trimmed
      {nullptr, u"/.//HardwareSettings/SleepTimeout/Range/Value", {u"Value=15"}},
      {nullptr, u"//Limits", {u"Limits=8500"}},
      {nullptr, u"/Scanner/DocumentSources/List/Item[@Name=\"DocumentSource\"]      /ImageSources/List/Item[@Name=\"ImageSource\"]",
       {u"Item#Front1", u"Item#Back1"}},  // blanks before a step
      {nullptr, u"//Item[@Name=\"Stream\"]/BitDepthReductions/Enum/Value[. !='Threshold']", {u"Value=Halftone"}},
      {nullptr, u"//Item[@Name='DocumentSource'][@IsSet='true']", {u"Item#ADF"}},
      // Relative paths from a context node.
      {u"//Item[@ID='Color1']", u"./UseVRSGammaTable/Enum/Value[.='On'][@IsCurrent='true']", {u"Value=On"}},
      {u"//Item[@ID='ADF']", u".//Item [@Name='ImageSource'][@IsSet='true']", {u"Item#Front1"}},
      {u"//Item[@ID='Mono1']", u"BitDepthReductions/Enum/Value[@IsCurrent=\"true\"]", {u"Value=Halftone"}},
      {u"//Item[@ID='Front1']", u"/Scanner/Buttons/List/Item", {u"Item#Button2", u"Item#Button7"}},  // absolute
      {u"//Script", u"text()", {u"#cdata-section=a < b && c"}},
      {u"//Item[@ID='Button2']", u"@Type", {u"Type=Simplex"}},
      {u"//Item[@ID='Button2']", u"..", {u"List="}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rzd::ToUtf8(c.path));
    store_.ReleaseDocument();
    ASSERT_TRUE(store_.LoadFromString(rzd::test::kDeviceDescription));
    if (c.from) {
      ASSERT_TRUE(store_.SelectNode(c.from));
    }
    ASSERT_TRUE(store_.SelectNode(c.path)) << std::hex << store_.GetLastHResult();
    EXPECT_EQ(store_.GetLastHResult(), S_OK);
    EXPECT_EQ(Walk(), c.want);
  }
}

TEST_F(XmlSelect, FailedSelectionsLeaveTheContext) {
  ASSERT_TRUE(store_.SelectNode(u"//VendorName"));
  struct Case {
    const char16_t* path;
    HRESULT hr;
  };
  const Case cases[] = {
      {u"//NoSuchNode", S_FALSE},
      {u"//Item[", E_FAIL},           // not an expression
      {u"count(//Item)", E_FAIL},     // not a node-set
      {u"//x:Item", E_FAIL},          // prefix without a namespace binding
      {u"", E_FAIL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rzd::ToUtf8(c.path));
    EXPECT_FALSE(store_.SelectNode(c.path));
    EXPECT_EQ(store_.GetLastHResult(), c.hr);
    std::u16string name;
    ASSERT_TRUE(store_.GetNodeName(name));
    EXPECT_EQ(name, u"VendorName");
  }
}

TEST_F(XmlSelect, WhitespaceOnlyTextIsNoNode) {
  // The indentation between the tags of the device description leaves no text nodes.
  ASSERT_TRUE(store_.SelectRoot());
  ASSERT_TRUE(store_.MoveToFirstChild());
  std::u16string name;
  ASSERT_TRUE(store_.GetNodeName(name));
  EXPECT_EQ(name, u"Buttons");
  EXPECT_FALSE(store_.SelectNode(u"/Scanner/text()"));

  struct Case {
    const char16_t* xml;
    std::vector<std::u16string> children;  // names of the document element's children
  };
  const Case cases[] = {
      {u"<a>\r\n\t <b/>\r\n <c/>\n</a>", {u"b", u"c"}},
      {u"<a>  </a>", {}},
      {u"<a> x <b/> </a>", {u"#text", u"b"}},
      {u"<a xml:space=\"preserve\"> <b/> </a>", {u"#text", u"b", u"#text"}},
      {u"<a><![CDATA[  ]]></a>", {u"#cdata-section"}},  // CDATA is always kept
      {u"<a><!-- c --><?pi data?></a>", {u"#comment", u"pi"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rzd::ToUtf8(c.xml));
    MSXML6StoreSTL store;
    ASSERT_TRUE(store.LoadFromString(c.xml));
    std::vector<std::u16string> names;
    if (store.MoveToFirstChild()) {
      do {
        store.GetNodeName(name);
        names.push_back(name);
      } while (store.MoveToNextSibling());
    }
    EXPECT_EQ(names, c.children);
  }
}

TEST_F(XmlSelect, WalkingAndNodeNames) {
  // Without a current node, MoveToFirstChild starts at the document element.
  ASSERT_TRUE(store_.MoveToFirstChild());
  std::u16string name;
  store_.GetNodeName(name);
  EXPECT_EQ(name, u"Buttons");
  EXPECT_EQ(store_.GetContextName(), 7u);
  ASSERT_TRUE(store_.MoveToFirstChild());
  store_.GetNodeName(name);
  EXPECT_EQ(name, u"#comment");
  std::u16string text;
  store_.GetText(text);
  EXPECT_EQ(text, u"Keep ID name 'Button' + button number");
  ASSERT_TRUE(store_.MoveToNextSibling());
  store_.GetNodeName(name);
  EXPECT_EQ(name, u"List");
  ASSERT_TRUE(store_.MoveToParent());
  ASSERT_TRUE(store_.MoveToParent());
  store_.GetNodeName(name);
  EXPECT_EQ(name, u"Scanner");
  ASSERT_TRUE(store_.MoveToParent());
  store_.GetNodeName(name);
  EXPECT_EQ(name, u"#document");
  EXPECT_FALSE(store_.MoveToParent());
  EXPECT_FALSE(store_.MoveToNextSibling());

  ASSERT_TRUE(store_.SelectNode(u"//Script"));
  ASSERT_TRUE(store_.MoveToFirstChild());
  store_.GetNodeName(name);
  EXPECT_EQ(name, u"#cdata-section");
  EXPECT_FALSE(store_.MoveToFirstChild());  // a leaf stays where it is
  store_.GetNodeName(name);
  EXPECT_EQ(name, u"#cdata-section");

  ASSERT_TRUE(store_.SelectNode(u"//VendorName/text()"));
  store_.GetNodeName(name);
  EXPECT_EQ(name, u"#text");

  MSXML6StoreSTL ns;
  ASSERT_TRUE(ns.LoadFromString(u"<p:a xmlns:p=\"urn:p\" p:at=\"1\"><p:b/></p:a>"));
  ASSERT_TRUE(ns.MoveToFirstChild());
  ns.GetNodeName(name);
  EXPECT_EQ(name, u"p:b");
  EXPECT_EQ(ns.GetContextName(), 3u);
  ASSERT_TRUE(ns.SelectRoot());
  std::u16string value;
  EXPECT_TRUE(ns.GetNodeAttribute(u"p:at", value));
  EXPECT_EQ(value, u"1");
  EXPECT_FALSE(ns.GetNodeAttribute(u"at", value));  // attributes are found by qualified name
}

TEST_F(XmlSelect, SelectionListWalksOnAfterMoves) {
  ASSERT_TRUE(store_.SelectNode(u"//Item[@Name='Button']"));
  ASSERT_TRUE(store_.MoveToParent());  // moves keep the list
  ASSERT_TRUE(store_.MoveToNextNode());
  std::u16string id;
  ASSERT_TRUE(store_.GetNodeAttribute(u"ID", id));
  EXPECT_EQ(id, u"Button7");
  EXPECT_FALSE(store_.MoveToNextNode());
  EXPECT_EQ(store_.GetLastHResult(), S_FALSE);
  ASSERT_TRUE(store_.GetNodeAttribute(u"ID", id));  // the end of the list leaves the context
  EXPECT_EQ(id, u"Button7");
  ASSERT_TRUE(store_.SelectRoot());
  EXPECT_FALSE(store_.MoveToNextNode());  // SelectRoot has no list to walk
}

}  // namespace
