// XML store: text, attributes, numbers, names, node XML and the BSTR binding.
#include "foundation/xml_store.h"

#include "platform/text.h"
#include "xml_test_documents.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

using rzd::MSXML6StoreBSTR;
using rzd::MSXML6StoreSTL;

std::u16string DocXml(MSXML6StoreSTL& store) {
  std::u16string xml;
  EXPECT_TRUE(store.GetDocumentXML(xml));
  return xml;
}

TEST(XmlText, GetJoinsTextAndCdataTrimmed) {
  struct Case {
    const char16_t* xml;
    const char16_t* path;
    std::u16string want;
  };
  const Case cases[] = {
      {u"<a>  15 \r\n</a>", u"/a", u"15"},
      {u"<a> x <![CDATA[<y>]]> <b> z </b> </a>", u"/a", u"x <y> z"},  // blank-only text between tags is gone
      {u"<a>x<!-- not text --><?pi nor this?>y</a>", u"/a", u"xy"},
      {u"<a><b>1</b><b>2</b></a>", u"/a", u"12"},
      {u"<a t='  v  '/>", u"/a/@t", u"v"},
      {u"<a>&lt;&amp;&#x41;</a>", u"/a", u"<&A"},
      {u"<a/>", u"/a", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rzd::ToUtf8(c.xml));
    MSXML6StoreSTL store;
    ASSERT_TRUE(store.LoadFromString(c.xml));
    std::u16string text;
    ASSERT_TRUE(store.GetNodeText(c.path, text));
    EXPECT_EQ(text, c.want);
    EXPECT_EQ(store.GetChildText(c.path), static_cast<int32_t>(c.want.size()));
  }
}

TEST(XmlText, SetNeverReadsMarkup) {
  MSXML6StoreSTL store;
  ASSERT_TRUE(store.LoadFromString(u"<a><old>1</old><older/></a>"));
  ASSERT_TRUE(store.SelectRoot());
  ASSERT_TRUE(store.SetText(u"<b>&amp;</b> ]]> \"q\""));
  std::u16string text;
  ASSERT_TRUE(store.GetText(text));
  EXPECT_EQ(text, u"<b>&amp;</b> ]]> \"q\"");
  EXPECT_EQ(DocXml(store), u"<a>&lt;b&gt;&amp;amp;&lt;/b&gt; ]]&gt; \"q\"</a>");
  EXPECT_FALSE(store.SelectNode(u"/a/b"));  // no element was made

  // The text survives a reload of the written XML.
  MSXML6StoreSTL again;
  ASSERT_TRUE(again.LoadFromString(DocXml(store)));
  ASSERT_TRUE(again.GetNodeText(u"/a", text));
  EXPECT_EQ(text, u"<b>&amp;</b> ]]> \"q\"");

  ASSERT_TRUE(store.SetText(u""));
  EXPECT_EQ(DocXml(store), u"<a/>");

  // Text XML cannot hold is refused and changes nothing.
  for (std::u16string bad : {std::u16string(u"a\u0001b"), std::u16string(1, char16_t(0xD800)), std::u16string(u"\uFFFF")}) {
    EXPECT_FALSE(store.SetText(bad));
    EXPECT_EQ(store.GetLastHResult(), E_INVALIDARG);
    EXPECT_FALSE(store.SetAttribute(u"x", bad));
  }
  EXPECT_EQ(DocXml(store), u"<a/>");
}

TEST(XmlText, SetNodeTextFindsMatchesOrAddsAChild) {
  MSXML6StoreSTL store;
  ASSERT_TRUE(store.LoadFromString(u"<Root><Range><Value>5</Value></Range></Root>"));
  ASSERT_TRUE(store.SelectNode(u"/Root/Range"));
  struct Case {
    const char16_t* path;
    const char16_t* text;
    bool ok;
    std::u16string want;  // document after the step
  };
  const Case cases[] = {
      {u"Value", u"7", true, u"<Root><Range><Value>7</Value></Range></Root>"},                 // found
      {u"Range", u"", true, u"<Root><Range/></Root>"},                                         // the element's own name
      {u"New", u"x", true, u"<Root><Range><New>x</New></Range></Root>"},                       // added
      {u"New", u"y & <z>", true, u"<Root><Range><New>y &amp; &lt;z&gt;</New></Range></Root>"},  // found now
      {u"Other/Deeper", u"1", false, u"<Root><Range><New>y &amp; &lt;z&gt;</New></Range></Root>"},  // not a name
      {u"Bad[", u"1", false, u"<Root><Range><New>y &amp; &lt;z&gt;</New></Range></Root>"},
      {u"p:q", u"1", false, u"<Root><Range><New>y &amp; &lt;z&gt;</New></Range></Root>"},     // prefix, no namespace
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rzd::ToUtf8(c.path));
    EXPECT_EQ(store.SetNodeText(c.path, c.text), c.ok);
    EXPECT_EQ(DocXml(store), c.want);
  }
  std::u16string name;
  ASSERT_TRUE(store.GetNodeName(name));
  EXPECT_EQ(name, u"Range");  // the context did not move
  ASSERT_TRUE(store.SetNodeTextInt(u"Count", -12));
  EXPECT_EQ(store.GetNodeInt(u"Count", 0), -12);
}

TEST(XmlText, AttributesAndNumbers) {
  MSXML6StoreSTL store;
  ASSERT_TRUE(store.LoadFromString(u"<Value a=\"12ab\" b=\"  -7\" c=\"abc\" d=\"99999999999\" e=\"-99999999999\" f=\"\"/>"));
  ASSERT_TRUE(store.SelectRoot());
  struct Case {
    const char16_t* name;
    int32_t want;
  };
  const Case cases[] = {{u"a", 12}, {u"b", -7}, {u"c", 0}, {u"d", INT32_MAX}, {u"e", INT32_MIN}, {u"f", 0}, {u"missing", 42}};
  for (const Case& c : cases) {
    SCOPED_TRACE(rzd::ToUtf8(c.name));
    EXPECT_EQ(store.GetAttributeInt(c.name, 42), c.want);
  }
  std::u16string value = u"untouched";
  EXPECT_FALSE(store.GetNodeAttribute(u"missing", value));
  EXPECT_EQ(store.GetLastHResult(), S_FALSE);
  EXPECT_EQ(store.GetAttribute(u"missing", value), 0);
  EXPECT_EQ(store.GetAttribute(u"a", value), 4);
  EXPECT_EQ(value, u"12ab");

  ASSERT_TRUE(store.SetAttribute(u"b", u"<&\"\n>"));  // replaced in place, value kept exactly
  ASSERT_TRUE(store.SetAttributeInt(u"g", -5));
  ASSERT_TRUE(store.RemoveAttribute(u"c"));
  ASSERT_TRUE(store.RemoveAttribute(u"never"));
  EXPECT_EQ(store.GetLastHResult(), S_FALSE);
  std::u16string xml;
  ASSERT_TRUE(store.GetNodeXML(xml));
  EXPECT_EQ(xml, u"<Value a=\"12ab\" b=\"&lt;&amp;&quot;&#10;&gt;\" d=\"99999999999\" e=\"-99999999999\" f=\"\" g=\"-5\"/>");
  ASSERT_TRUE(store.GetNodeAttribute(u"b", value));
  EXPECT_EQ(value, u"<&\"\n>");

  for (const char16_t* bad : {u"", u"1a", u"a b", u"x:y", u"xmlns", u"<a>"}) {
    SCOPED_TRACE(rzd::ToUtf8(bad));
    EXPECT_FALSE(store.SetAttribute(bad, u"v"));
    EXPECT_EQ(store.GetLastHResult(), E_INVALIDARG);
  }

  // Context numbers: "%d" of the value as a signed number; _wtoi when reading.
  ASSERT_TRUE(store.SetContextInt(4294967295u));
  std::u16string text;
  ASSERT_TRUE(store.GetContextText(text));
  EXPECT_EQ(text, u"-1");
  EXPECT_EQ(store.GetContextInt(9), -1);
  ASSERT_TRUE(store.SetText(u" 31 days"));
  EXPECT_EQ(store.GetContextInt(9), 31);
  EXPECT_EQ(store.GetNodeInt(u"/Value", 9), 31);
  EXPECT_EQ(store.GetNodeInt(u"/Nothing", 9), 9);
}

TEST(XmlText, ElementNames) {
  struct Case {
    const char16_t* name;
    const char16_t* ns;
    bool ok;
    std::u16string xml;  // of the new element
  };
  const Case cases[] = {
      {u"Foo", u"", true, u"<Foo/>"},
      {u"p:Foo", u"urn:p", true, u"<p:Foo xmlns:p=\"urn:p\"/>"},
      {u"Foo", u"urn:d", true, u"<Foo xmlns=\"urn:d\"/>"},
      {u"", u"", false, u""},
      {u"1a", u"", false, u""},
      {u"a b", u"", false, u""},
      {u"a/b", u"", false, u""},
      {u"<x>", u"", false, u""},
      {u"p:Foo", u"", false, u""},     // a prefix needs a namespace
      {u"xmlns:a", u"urn:x", false, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rzd::ToUtf8(c.name));
    MSXML6StoreSTL store;
    ASSERT_TRUE(store.LoadFromString(u"<Root/>"));
    ASSERT_TRUE(store.SelectRoot());
    EXPECT_EQ(store.AddElementNS(c.name, c.ns), c.ok);
    std::u16string xml;
    if (c.ok) {
      ASSERT_TRUE(store.GetNodeXML(xml));
      EXPECT_EQ(xml, c.xml);
    } else {
      EXPECT_EQ(store.GetLastHResult(), E_INVALIDARG);
      EXPECT_EQ(DocXml(store), u"<Root/>");
    }
  }

  // Building a document from nothing; an element without a namespace inside a default one
  // says so, and a second document element is refused.
  MSXML6StoreSTL store;
  ASSERT_TRUE(store.Initialize());
  ASSERT_TRUE(store.AddElementNS(u"Operation", u"urn:op"));
  ASSERT_TRUE(store.AddElement(u"Result"));
  ASSERT_TRUE(store.SetText(u"ok"));
  EXPECT_EQ(DocXml(store), u"<Operation xmlns=\"urn:op\"><Result xmlns=\"\">ok</Result></Operation>");
  ASSERT_TRUE(store.SelectNode(u"/"));
  EXPECT_FALSE(store.AddElement(u"Second"));
  EXPECT_EQ(store.GetLastHResult(), E_FAIL);
  ASSERT_TRUE(store.SelectNode(u"//text()"));
  EXPECT_FALSE(store.AddElement(u"UnderText"));
}

TEST(XmlText, NodeXmlHasNoDeclarationAndCarriesItsNamespaces) {
  MSXML6StoreSTL store;
  ASSERT_TRUE(store.LoadFromString(rzd::test::kDeviceDescription));
  std::u16string xml;
  ASSERT_TRUE(store.GetDocumentXML(xml));
  EXPECT_EQ(xml.rfind(u"<Scanner Name=\"Quarx M48tz\"><Buttons xmlns=\"\"><!-- Keep ID", 0), 0u);
  EXPECT_EQ(xml.find(u"<?xml"), std::u16string::npos);
  EXPECT_NE(xml.find(u"<Script><![CDATA[a < b && c]]></Script>"), std::u16string::npos);
  ASSERT_TRUE(store.SelectNode(u"//SleepTimeout/Range/Value"));
  ASSERT_TRUE(store.GetNodeXML(xml));
  EXPECT_EQ(xml, u"<Value Minimum=\"5\" Maximum=\"120\" Step=\"1\" Default=\"15\">15</Value>");
  ASSERT_TRUE(store.SelectNode(u"//VendorName/text()"));
  ASSERT_TRUE(store.GetNodeXML(xml));
  EXPECT_EQ(xml, u"Corvanite");

  MSXML6StoreSTL ns;
  ASSERT_TRUE(ns.LoadFromString(u"<a xmlns=\"urn:a\" xmlns:q=\"urn:q\"><b q:x=\"1\"><q:c/></b></a>"));
  ASSERT_TRUE(ns.SelectRoot());
  ASSERT_TRUE(ns.MoveToFirstChild());
  ASSERT_TRUE(ns.GetNodeXML(xml));
  // The fragment reads back on its own.
  MSXML6StoreSTL fragment;
  ASSERT_TRUE(fragment.LoadFromString(xml)) << rzd::ToUtf8(xml);
  ASSERT_TRUE(fragment.SelectRoot());
  std::u16string name;
  ASSERT_TRUE(fragment.MoveToFirstChild());
  ASSERT_TRUE(fragment.GetNodeName(name));
  EXPECT_EQ(name, u"q:c");
}

TEST(XmlText, NonAsciiRoundTrip) {
  const std::u16string text = u"Gr\u00fc\u00dfe \u65e5\u672c\u8a9e \U0001F600 \u041f\u0440\u0438\u0432\u0435\u0442";
  MSXML6StoreSTL store;
  ASSERT_TRUE(store.LoadFromString(u"<\u00e9t\u00e9 attr=\"" + text + u"\">" + text + u"</\u00e9t\u00e9>"));
  std::u16string value;
  ASSERT_TRUE(store.GetNodeText(u"/\u00e9t\u00e9", value));
  EXPECT_EQ(value, text);
  ASSERT_TRUE(store.SelectRoot());
  ASSERT_TRUE(store.GetNodeAttribute(u"attr", value));
  EXPECT_EQ(value, text);
  ASSERT_TRUE(store.GetNodeName(value));
  EXPECT_EQ(value, u"\u00e9t\u00e9");
  ASSERT_TRUE(store.AddElement(u"\u540d\u524d"));
  ASSERT_TRUE(store.SetText(text));
  EXPECT_EQ(DocXml(store), u"<\u00e9t\u00e9 attr=\"" + text + u"\">" + text + u"<\u540d\u524d>" + text +
                               u"</\u540d\u524d></\u00e9t\u00e9>");

  // The same through the BSTR binding.
  MSXML6StoreBSTR bstrStore;
  ASSERT_TRUE(bstrStore.LoadFromString(DocXml(store)));
  rzd::Bstr out;
  ASSERT_TRUE(bstrStore.GetNodeText(u"//\u540d\u524d", out));
  EXPECT_EQ(out.View(), text);
  EXPECT_EQ(out.Length(), text.size());
  rzd::Bstr xml;
  ASSERT_TRUE(bstrStore.GetDocumentXML(xml));
  EXPECT_EQ(xml.View(), DocXml(store));
}

TEST(XmlText, BstrBindingHandsOutBstrs) {
  MSXML6StoreBSTR store;
  rzd::Bstr input(u"<a n=\"7\">text</a>");
  ASSERT_TRUE(store.LoadFromString(input.View()));
  ASSERT_TRUE(store.SelectRoot());
  rzd::Bstr name, value, text;
  ASSERT_TRUE(store.GetNodeName(name));
  EXPECT_EQ(name.View(), u"a");
  EXPECT_EQ(store.GetAttribute(u"n", value), 1);
  EXPECT_EQ(value.View(), u"7");
  EXPECT_EQ(store.GetAttributeInt(u"n", 0), 7);
  ASSERT_TRUE(store.GetText(text));
  EXPECT_EQ(text.View(), u"text");
  ASSERT_TRUE(store.GetText(text));  // an out value that already holds a BSTR is replaced
  EXPECT_EQ(text.View(), u"text");
  rzd::Bstr untouched(u"keep");
  EXPECT_FALSE(store.GetNodeAttribute(u"none", untouched));
  EXPECT_EQ(untouched.View(), u"keep");
}

TEST(XmlText, WithoutADocumentEverythingFails) {
  MSXML6StoreSTL store;
  std::u16string text = u"same";
  EXPECT_FALSE(store.SelectNode(u"/a"));
  EXPECT_EQ(store.GetLastHResult(), E_UNEXPECTED);
  EXPECT_FALSE(store.SelectRoot());
  EXPECT_FALSE(store.MoveToFirstChild());
  EXPECT_FALSE(store.MoveToNextNode());
  EXPECT_FALSE(store.GetDocumentXML(text));
  EXPECT_FALSE(store.GetText(text));
  EXPECT_FALSE(store.SetText(u"x"));
  EXPECT_FALSE(store.AddElement(u"x"));
  EXPECT_FALSE(store.SetNodeText(u"x", u"y"));
  EXPECT_EQ(store.GetContextName(), 0u);
  EXPECT_EQ(store.GetNodeInt(u"/a", 5), 5);
  EXPECT_EQ(store.GetAttributeInt(u"a", 6), 6);
  EXPECT_EQ(store.GetContextInt(7), 7);
  EXPECT_EQ(store.GetChildText(u"/a"), 0);
  EXPECT_EQ(store.CloneContext(), nullptr);
  EXPECT_FALSE(store.Validate());
  EXPECT_EQ(text, u"same");
  // A failed load leaves an empty document: building on it works.
  EXPECT_FALSE(store.LoadFromString(u"<broken"));
  EXPECT_TRUE(store.HasDocument());
  EXPECT_FALSE(store.SelectRoot());
  EXPECT_TRUE(store.AddElement(u"Fresh"));
  EXPECT_TRUE(store.GetDocumentXML(text));
  EXPECT_EQ(text, u"<Fresh/>");
}

}  // namespace
