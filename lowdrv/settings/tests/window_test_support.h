// Shared pieces of the window, tone and model-rule tests: the model's engine records as the
// model driver leaves them after opening the unit, a settings object configured the way the
// model driver configures it, document edits, and a log capture.
#pragma once

#include "foundation/xml_store.h"
#include "lowdrv/settings/m48tz_settings.h"
#include "model_fixture.h"
#include "platform/text.h"
#include "settings_log_capture.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace rzd::lowdrv::wintest {

using fixtures::ConfigureAsModel;
using fixtures::ModelInquiry;
using fixtures::ModelNvm;

// The window tests' logger also records the features' ".Data" lines (the descriptor dumps).
class LogCapture : public fixtures::SettingsLogCapture {
 public:
  LogCapture() : SettingsLogCapture(true) {}
};

// Paths into the current-settings document of the device description.
inline const std::u16string kSource = u"//Item[@Name='DocumentSource'][@ID='ADF']";
inline const std::u16string kFront = kSource + u"//Item[@Name='ImageSource'][@ID='Front1']";
inline const std::u16string kBack = kSource + u"//Item[@Name='ImageSource'][@ID='Back1']";
inline const std::u16string kColor1 = kFront + u"//Item[@Name='Stream'][@ID='Color1']";
inline const std::u16string kGray1 = kFront + u"//Item[@Name='Stream'][@ID='Gray1']";
inline const std::u16string kMono1 = kFront + u"//Item[@Name='Stream'][@ID='Mono1']";
inline const std::u16string kColor2 = kBack + u"//Item[@Name='Stream'][@ID='Color2']";
inline const std::u16string kGray2 = kBack + u"//Item[@Name='Stream'][@ID='Gray2']";
inline const std::u16string kMono2 = kBack + u"//Item[@Name='Stream'][@ID='Mono2']";

// An edit of a document: the text of the first node `path` selects, or one of its attributes;
// `remove` removes the node (or the attribute); `add` appends a child element named `value`.
struct Edit {
  std::u16string path;
  std::u16string attribute;
  std::u16string value;
  enum Kind { kSet, kRemove, kAppend } kind = kSet;
};
inline Edit SetText(std::u16string path, std::u16string value) { return {std::move(path), u"", std::move(value)}; }
inline Edit SetAttr(std::u16string path, std::u16string attribute, std::u16string value) {
  return {std::move(path), std::move(attribute), std::move(value)};
}
inline Edit RemoveNode(std::u16string path) { return {std::move(path), u"", u"", Edit::kRemove}; }
inline Edit RemoveAttr(std::u16string path, std::u16string attribute) {
  return {std::move(path), std::move(attribute), u"", Edit::kRemove};
}
// Appends the XML fragment `xml` as the last child of the node `path` selects.
inline Edit AppendXml(std::u16string path, std::u16string xml) {
  return {std::move(path), u"", std::move(xml), Edit::kAppend};
}

inline std::u16string Edited(std::u16string_view xml, const std::vector<Edit>& edits) {
  MSXML6StoreSTL store;
  EXPECT_TRUE(store.LoadFromString(xml));
  for (const Edit& e : edits) {
    EXPECT_TRUE(store.SelectNode(e.path)) << ToUtf8(e.path);
    switch (e.kind) {
      case Edit::kSet:
        EXPECT_TRUE(e.attribute.empty() ? store.SetText(e.value) : store.SetAttribute(e.attribute, e.value))
            << ToUtf8(e.path);
        break;
      case Edit::kRemove:
        EXPECT_TRUE(e.attribute.empty() ? store.RemoveContextNode() : store.RemoveAttribute(e.attribute))
            << ToUtf8(e.path);
        break;
      case Edit::kAppend: {
        MSXML6StoreSTL fragment;
        EXPECT_TRUE(fragment.LoadFromString(e.value)) << ToUtf8(e.value);
        fragment.SelectRoot();
        EXPECT_TRUE(store.AppendCopyOf(&fragment)) << ToUtf8(e.path);
        break;
      }
    }
  }
  std::u16string out;
  EXPECT_TRUE(store.GetDocumentXML(out));
  return out;
}

// The enumeration `name` below `path` with the single current value `value`.
inline Edit SetCurrent(const std::u16string& path, const std::u16string& name, std::u16string value) {
  return SetText(path + u"//" + name + u"/Enum/Value[@IsCurrent='true']", std::move(value));
}
inline Edit SetRange(const std::u16string& path, const std::u16string& name, std::u16string value) {
  return SetText(path + u"//" + name + u"/Range/Value", std::move(value));
}

// Edits of the supported document that make another stream of both sides the set one.
inline std::vector<Edit> UseStreams(const std::u16string& front, const std::u16string& back) {
  return {SetAttr(kColor1, u"IsSet", u"false"), SetAttr(kColor2, u"IsSet", u"false"), SetAttr(front, u"IsSet", u"true"),
          SetAttr(back, u"IsSet", u"true")};
}

// A settings object of the model, configured as the model driver does, initialised from the
// device description in its own system root.
class ModelSettingsTest : public test::TempRoot {
 protected:
  void SetUp() override {
    CRZDScannerSettingsBase::SetInquiryCopy(ModelInquiry());
    settings_ = std::make_unique<CM48tzScannerSettings>();
    ConfigureAsModel(*settings_);
    ASSERT_TRUE(settings_->Init(ModelInquiry(), ModelNvm(), nullptr, u"1, 0, 0, 1", u"2, 0, 0, 1"));
    Bstr current = Bstr::Attach(settings_->GetCurrent());
    ASSERT_TRUE(current);
    current_ = current.Str();
  }

  // Converts the current document with `edits`; the result of ConvertXmlToSettings.
  bool Convert(const std::vector<Edit>& edits) {
    return settings_->ConvertXmlToSettings(Edited(current_, edits)) != FALSE;
  }
  // The current document derived (as UpdateCurrent derives it) from the supported document with
  // `edits`.
  std::u16string CurrentFromSupported(const std::vector<Edit>& edits) {
    Bstr supported = Bstr::Attach(settings_->GetSupported());
    EXPECT_TRUE(supported);
    MSXML6StoreBSTR store;
    EXPECT_TRUE(store.LoadFromString(Edited(supported.View(), edits)));
    EXPECT_TRUE(store.SelectRoot());
    EXPECT_TRUE(settings_->RemoveNonCurrentItems(store));
    while (store.SelectNode(u"//Limits")) store.RemoveContextNode();
    Bstr current;
    EXPECT_TRUE(store.GetDocumentXML(current));
    return current.Str();
  }
  // Converts a current document derived from the supported one with `supportedEdits`, then
  // edited with `edits`.
  bool ConvertFromSupported(const std::vector<Edit>& supportedEdits, const std::vector<Edit>& edits = {}) {
    return settings_->ConvertXmlToSettings(Edited(CurrentFromSupported(supportedEdits), edits)) != FALSE;
  }
  const ReduzidWindowDescriptor& Primary() const { return settings_->m_Primary.Desc; }

  std::unique_ptr<CM48tzScannerSettings> settings_;
  std::u16string current_;
};

// The number of nodes `path` selects in `xml`.
inline int CountOf(std::u16string_view xml, std::u16string_view path) {
  MSXML6StoreSTL store;
  if (!store.LoadFromString(xml) || !store.SelectNode(path)) return 0;
  int n = 1;
  while (store.MoveToNextNode()) ++n;
  return n;
}

// Descriptor byte access for checks.
inline uint8_t ByteAt(const ReduzidWindowDescriptor& d, size_t at) {
  return reinterpret_cast<const uint8_t*>(&d)[at];
}
inline uint32_t Word32At(const ReduzidWindowDescriptor& d, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, reinterpret_cast<const uint8_t*>(&d) + at, 4);
  return v;
}

}  // namespace rzd::lowdrv::wintest
