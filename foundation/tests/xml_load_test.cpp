// XML store: parsing, parse-error lines and their log lines, refused document types, files,
// schemas and the context document display.
#include "foundation/xml_store.h"

#include "platform/text.h"
#include "recording_logger.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace fs = std::filesystem;
using rzd::test::ReadBytes;
using rzd::test::Utf16LeWithMark;
using rzd::test::WriteBytes;
using rzd::MSXML6StoreBSTR;
using rzd::MSXML6StoreSTL;

// Logs of the store's features at the error level go to a recording logger.
class XmlLogged : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    for (const char16_t* feature : {u"MSXML6StoreSTL", u"MSXML6StoreBSTR", u"MSXML6Root"}) {
      rzd::CLogInterface::LookupFeatureLevel(feature)->store(1);
    }
  }
  void Attach(rzd::CLogClient& store) { store.SetLogObject2(logger_.Slot()); }
  std::vector<rzd::test::LoggedLine> Lines() { return logger_.Logger().Lines(); }

  rzd::test::PublishedLogger logger_;
};

TEST_F(XmlLogged, ParseErrorsGiveTheirLine) {
  struct Case {
    const char16_t* xml;
    int32_t line;
  };
  const Case cases[] = {
      {u"<a>\r\n<b>\r\n</a>", 3},                 // mismatched end tag
      {u"<a>\n\n<b x='1' x='2'/></a>", 3},        // repeated attribute
      {u"<a>\n&undefined;</a>", 2},               // entity never declared
      {u"<a>\n</a>\n<second/>", 3},               // content after the document element
      {u"<p:a/>", 1},                             // prefix without a namespace
      {u"\n\n\n<a", 4},
      {u"", 1},
      {u"plain text", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rzd::ToUtf8(c.xml));
    MSXML6StoreSTL store;
    Attach(store);
    EXPECT_FALSE(store.LoadFromString(c.xml));
    EXPECT_EQ(store.GetLastHResult(), S_FALSE);
    EXPECT_EQ(store.GetLastParseError().line, c.line);
    EXPECT_FALSE(store.GetLastParseError().reason.empty());
    auto lines = Lines();
    ASSERT_FALSE(lines.empty());
    const auto& logged = lines.back();
    EXPECT_EQ(logged.level, 1u);
    EXPECT_EQ(logged.feature, u"MSXML6StoreSTL");
    std::u16string want = rzd::FormatW(u"Parse error in line %d: %s\n", c.line, store.GetLastParseError().reason.c_str());
    EXPECT_EQ(logged.text, want);
  }
  // The BSTR binding logs under its own name.
  MSXML6StoreBSTR bstrStore;
  Attach(bstrStore);
  EXPECT_FALSE(bstrStore.LoadFromString(u"<x>\n</y>"));
  ASSERT_FALSE(Lines().empty());
  EXPECT_EQ(Lines().back().feature, u"MSXML6StoreBSTR");
  EXPECT_EQ(Lines().back().text.rfind(u"Parse error in line 2: ", 0), 0u);
}

TEST_F(XmlLogged, DocumentTypesAreRefusedOnEveryLoadPath) {
  fs::path secret = RootPath() / "secret.txt";
  WriteBytes(secret, "SECRET-CONTENT");
  const std::u16string secretUri = u"file://" + rzd::FromUtf8(secret.string());
  struct Case {
    const char* label;
    std::u16string xml;
    int32_t line;
  };
  const Case cases[] = {
      {"internal entity", u"<!DOCTYPE a [<!ENTITY e \"expanded\">]>\n<a>&e;</a>", 1},
      {"external entity", u"<?xml version=\"1.0\"?>\n<!DOCTYPE a [<!ENTITY e SYSTEM \"" + secretUri + u"\">]><a>&e;</a>", 2},
      {"external subset", u"<!DOCTYPE a SYSTEM \"" + secretUri + u"\"><a/>", 1},
      {"entity expansion bomb",
       u"<!DOCTYPE a [<!ENTITY a0 \"xxxxxxxxxx\"><!ENTITY a1 \"&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;\">"
       u"<!ENTITY a2 \"&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;\"><!ENTITY a3 \"&a2;&a2;&a2;&a2;&a2;&a2;&a2;\">]><a>&a3;</a>",
       1},
      {"empty document type", u"\n\n<!DOCTYPE a><a/>", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto check = [&](rzd::MSXML6StoreBase& store, bool loaded) {
      EXPECT_FALSE(loaded);
      EXPECT_EQ(store.GetLastParseError().reason, u"DTD is prohibited.");
      EXPECT_EQ(store.GetLastParseError().line, c.line);
    };
    MSXML6StoreSTL fromString;
    check(fromString, fromString.LoadFromString(c.xml));

    fs::path utf8File = RootPath() / "doc8.xml";
    WriteBytes(utf8File, rzd::ToUtf8(c.xml));
    MSXML6StoreSTL fromFile;
    check(fromFile, fromFile.LoadFromFile(utf8File));

    fs::path utf16File = RootPath() / "doc16.xml";
    WriteBytes(utf16File, Utf16LeWithMark(c.xml));
    MSXML6StoreBSTR fromWideFile;
    check(fromWideFile, fromWideFile.LoadFromFile(utf16File));

    MSXML6StoreSTL schema;
    Attach(schema);
    EXPECT_FALSE(schema.AddSchema(u"", c.xml));
    EXPECT_EQ(schema.GetLastParseError().reason, u"DTD is prohibited.");
  }
  for (const auto& line : Lines()) {
    EXPECT_EQ(line.text.find(u"SECRET"), std::u16string::npos);
    EXPECT_EQ(line.text.find(u"expanded"), std::u16string::npos);
  }
}

TEST_F(XmlLogged, FilesRoundTrip) {
  const std::u16string text = u"Gr\u00fc\u00dfe \U0001F600";
  MSXML6StoreSTL store;
  ASSERT_TRUE(store.LoadFromString(u"<Result><Page side=\"" + text + u"\">" + text + u"</Page></Result>"));
  fs::path file = RootPath() / "result.xml";
  ASSERT_TRUE(store.SaveToFile(file));
  std::string bytes = ReadBytes(file);
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Result>", 0), 0u) << bytes;
  EXPECT_NE(bytes.find(rzd::ToUtf8(text)), std::string::npos);

  MSXML6StoreBSTR again;
  ASSERT_TRUE(again.LoadFromFile(file));
  rzd::Bstr value;
  ASSERT_TRUE(again.GetNodeText(u"/Result/Page[@side='" + text + u"']", value));
  EXPECT_EQ(value.View(), text);

  // A UTF-16 file with a byte-order mark and a declaration naming its encoding.
  fs::path wide = RootPath() / "wide.xml";
  WriteBytes(wide, Utf16LeWithMark(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<a>\r\n  <b>" + text + u"</b>\r\n</a>"));
  MSXML6StoreSTL wideStore;
  ASSERT_TRUE(wideStore.LoadFromFile(wide));
  std::u16string got;
  ASSERT_TRUE(wideStore.GetDocumentXML(got));
  EXPECT_EQ(got, u"<a><b>" + text + u"</b></a>");

  // A wide string may start with a byte-order mark and declare any encoding.
  ASSERT_TRUE(wideStore.LoadFromString(u"\uFEFF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>" + text + u"</a>"));
  ASSERT_TRUE(wideStore.GetNodeText(u"/a", got));
  EXPECT_EQ(got, text);

  MSXML6StoreSTL missing;
  Attach(missing);
  EXPECT_FALSE(missing.LoadFromFile(RootPath() / "missing.xml"));
  EXPECT_EQ(missing.GetLastHResult(), E_FAIL);
  ASSERT_FALSE(Lines().empty());
  EXPECT_EQ(Lines().back().text.rfind(u"Parse error in line 0: ", 0), 0u);
  EXPECT_FALSE(store.SaveToFile(RootPath() / "no" / "folder.xml"));
  EXPECT_EQ(store.GetLastHResult(), E_FAIL);
}

constexpr char16_t kSchema[] =
    u"<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"urn:hal\" "
    u"xmlns=\"urn:hal\" elementFormDefault=\"qualified\">\n"
    u"  <xs:element name=\"Parameters\">\n"
    u"    <xs:complexType><xs:sequence>\n"
    u"      <xs:element name=\"Timeout\" type=\"xs:unsignedInt\"/>\n"
    u"    </xs:sequence></xs:complexType>\n"
    u"  </xs:element>\n"
    u"</xs:schema>";

TEST_F(XmlLogged, SchemaValidation) {
  MSXML6StoreSTL store;
  Attach(store);
  EXPECT_TRUE(store.AddSchema(u"urn:hal", kSchema));  // also creates the document
  ASSERT_TRUE(store.LoadFromString(u"<Parameters xmlns=\"urn:hal\">\n  <Timeout>15</Timeout>\n</Parameters>"));
  EXPECT_TRUE(store.Validate());

  ASSERT_TRUE(store.LoadFromString(u"<Parameters xmlns=\"urn:hal\">\n\n  <Timeout>-3</Timeout>\n</Parameters>"));
  EXPECT_FALSE(store.Validate());
  EXPECT_EQ(store.GetLastParseError().line, 3);
  ASSERT_FALSE(Lines().empty());
  EXPECT_EQ(Lines().back().text.rfind(u"Parse error in line 3: ", 0), 0u);

  ASSERT_TRUE(store.LoadFromString(u"<Parameters xmlns=\"urn:other\"/>"));
  EXPECT_FALSE(store.Validate());  // no schema for that namespace

  struct Case {
    const char* label;
    std::u16string ns;
    std::u16string schema;
  };
  const Case refused[] = {
      {"target namespace differs", u"urn:other", kSchema},
      {"includes another file",
       u"urn:x",
       u"<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"urn:x\">"
       u"<xs:include schemaLocation=\"other.xsd\"/></xs:schema>"},
      {"imports from a location",
       u"urn:x",
       u"<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"urn:x\">"
       u"<xs:import namespace=\"urn:y\" schemaLocation=\"http://example.invalid/y.xsd\"/></xs:schema>"},
      {"not a schema", u"", u"<schema/>"},
      {"bad schema", u"",
       u"<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"a\" type=\"xs:nothing\"/></xs:schema>"},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.label);
    EXPECT_FALSE(store.AddSchema(c.ns, c.schema));
    EXPECT_EQ(store.GetLastHResult(), E_FAIL);
    ASSERT_FALSE(Lines().empty());
    EXPECT_EQ(Lines().back().text.rfind(u"Parse error in " + c.ns + u": ", 0), 0u);
  }
  // The schema added first still validates.
  ASSERT_TRUE(store.LoadFromString(u"<Parameters xmlns=\"urn:hal\"><Timeout>1</Timeout></Parameters>"));
  EXPECT_TRUE(store.Validate());
  store.ReleaseSchemaCache();
  EXPECT_FALSE(store.Validate());
}

TEST(XmlShow, ContextDocumentGoesToTheMessageHandler) {
  std::vector<std::pair<std::u16string, std::u16string>> shown;
  rzd::MSXML6StoreBase::SetMessageHandler(
      [&](std::u16string_view title, std::u16string_view text) { shown.emplace_back(title, text); });
  MSXML6StoreSTL store;
  ASSERT_TRUE(store.LoadFromString(u"<a><b>1</b></a>"));
  store.ShowContextDocument();
  ASSERT_TRUE(store.SelectNode(u"//b"));
  store.ShowContextDocument();
  rzd::MSXML6StoreBase::SetMessageHandler(nullptr);
  store.ShowContextDocument();  // no handler: nothing shown
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].first, u"Document from Context");
  EXPECT_EQ(shown[0].second, u"Context is Null.");
  EXPECT_EQ(shown[1].first, u"Document from Context");
  EXPECT_EQ(shown[1].second, u"<a><b>1</b></a>");
}

}  // namespace
