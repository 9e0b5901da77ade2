// A small supported-settings document for the tests of applying a client's settings, and helpers
// that derive client documents from it by editing.
#pragma once

#include "apply/apply_document.h"
#include "foundation/log_client.h"
#include "foundation/xml_store.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace rzd::lowdrv::applytest {

// One document source ADF (front and back image sources, colour and gray streams on the front)
// and a second source "Tray" of type Feeder; power time-outs; a ModuleID element.
inline constexpr char16_t kApplySupported[] =
    u"<Scanner Name=\"Test\">"
    u"<HardwareSettings>"
    u"<SleepTimeout><Range><Value Minimum=\"5\" Maximum=\"120\" Step=\"1\" Default=\"15\">15</Value></Range></SleepTimeout>"
    u"<OffTimeout><Range><Value Minimum=\"0\" Maximum=\"4320\" Step=\"1\" Default=\"0\">0</Value></Range></OffTimeout>"
    u"<ERPTimeout><Range><Value Minimum=\"0\" Maximum=\"4320\" Step=\"1\" Default=\"15\">15</Value></Range></ERPTimeout>"
    u"<Vendor ModuleID=\"M1\"><Range><Value Minimum=\"0\" Maximum=\"9\" Step=\"1\">1</Value></Range></Vendor>"
    u"</HardwareSettings>"
    u"<DocumentSources xmlns=\"\"><List>"
    u"<Item Name=\"DocumentSource\" ID=\"ADF\" Type=\"ADF\" IsSet=\"true\" IsSetByDefault=\"true\">"
    u"<LongLengthEnabled SetLength=\"-1\"><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">Off</Value><Value>On</Value></Enum></LongLengthEnabled>"
    u"<EjectDirection><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">Front</Value><Value>Back</Value></Enum></EjectDirection>"
    u"<Limits><Width>8500</Width><Length>14000</Length><LongLength>236000</LongLength>"
    u"<MinWidth>2900</MinWidth><MinLength>2000</MinLength></Limits>"
    u"<ImageSources><List>"
    u"<Item Name=\"ImageSource\" ID=\"Front1\" Type=\"Front\" IsSet=\"true\" IsSetByDefault=\"true\">"
    u"<Streams><List>"
    u"<Item Name=\"Stream\" ID=\"Color1\" Type=\"Color\" BitDepth=\"24\" IsSet=\"true\" IsSetByDefault=\"true\">"
    u"<Frame Scope=\"DocumentSource\"><Top Default=\"0\" OverScan=\"Auto\">0</Top><Left Default=\"0\" OverScan=\"Auto\">0</Left>"
    u"<Width Default=\"8500\" OverScan=\"Auto\">8500</Width><Length Default=\"11000\" OverScan=\"Auto\">11000</Length></Frame>"
    u"<Resolutions><Enum><Value>100</Value><Value>200</Value><Value IsCurrent=\"true\" IsDefault=\"true\">300</Value>"
    u"<Value>600</Value></Enum></Resolutions>"
    u"<ImageQuality>"
    u"<Brightness DependsOnValue=\"Main\"><Range><Value Minimum=\"1\" Maximum=\"255\" Step=\"1\" Default=\"128\">128</Value></Range></Brightness>"
    u"<Brightness DependsOnValue=\"Red\"><Range><Value Minimum=\"1\" Maximum=\"255\" Step=\"1\" Default=\"128\">128</Value></Range></Brightness>"
    u"<GammaCorrection DependsOnValue=\"Main\"><Range><Value Minimum=\"0.5\" Maximum=\"4.0\" Step=\"0.1\" Default=\"1.0\">1.0</Value></Range></GammaCorrection>"
    u"<Offset><Range><Value Minimum=\"-2.5\" Maximum=\"2.5\" Step=\"0.25\" Default=\"0\">0</Value></Range></Offset>"
    u"<Gamma><EightBit><Red>0x00 0x01</Red><Green>0x00 0x01</Green><Blue>0x00 0x01</Blue></EightBit></Gamma>"
    u"<Matrix><TwelveBitMatrix>0x400 0x000</TwelveBitMatrix></Matrix>"
    u"<RGBChannel><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">Main</Value><Value>Red</Value></Enum></RGBChannel>"
    u"</ImageQuality>"
    u"</Item>"
    u"<Item Name=\"Stream\" ID=\"Gray1\" Type=\"Gray\" BitDepth=\"8\">"
    u"<Frame><Top OverScan=\"Auto\">0</Top><Left OverScan=\"Auto\">0</Left><Width OverScan=\"Auto\">8500</Width>"
    u"<Length OverScan=\"Auto\">11000</Length></Frame>"
    u"<Resolutions><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">300</Value></Enum></Resolutions>"
    u"</Item>"
    u"</List></Streams>"
    u"</Item>"
    u"<Item Name=\"ImageSource\" ID=\"Back1\" Type=\"Back\" IsSet=\"true\" IsSetByDefault=\"true\"/>"
    u"</List></ImageSources>"
    u"<PrinterEscString>old</PrinterEscString>"
    u"<VantixStreamRequestOption><Old/></VantixStreamRequestOption>"
    u"</Item>"
    u"<Item Name=\"DocumentSource\" ID=\"Tray\" Type=\"Feeder\">"
    u"<LongLengthEnabled SetLength=\"-1\"><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">Off</Value><Value>On</Value></Enum></LongLengthEnabled>"
    u"<EjectDirection><Enum><Value IsCurrent=\"true\" IsDefault=\"true\">Front</Value><Value>Back</Value></Enum></EjectDirection>"
    u"<Limits><Width>8500</Width><Length>14000</Length><MinWidth>2900</MinWidth><MinLength>2000</MinLength></Limits>"
    u"</Item>"
    u"</List></DocumentSources>"
    u"</Scanner>";

// Paths into kApplySupported.
inline constexpr char16_t kColor1[] =
    u"/Scanner/DocumentSources/List/Item[@ID='ADF']/ImageSources/List/Item[@ID='Front1']/Streams/List/Item[@ID='Color1']";
inline constexpr char16_t kGray1[] =
    u"/Scanner/DocumentSources/List/Item[@ID='ADF']/ImageSources/List/Item[@ID='Front1']/Streams/List/Item[@ID='Gray1']";

// An edit of a document: the text of the node `path` selects, or (with `attribute`) an attribute
// of it; `remove` removes the node (or the attribute).
struct Edit {
  std::u16string path;
  std::u16string attribute;  // empty: the node's text
  std::u16string value;
  bool remove = false;
};

inline Edit Text(std::u16string path, std::u16string value) { return {std::move(path), u"", std::move(value)}; }
inline Edit Attr(std::u16string path, std::u16string attribute, std::u16string value) {
  return {std::move(path), std::move(attribute), std::move(value)};
}
inline Edit Remove(std::u16string path, std::u16string attribute = u"") {
  return {std::move(path), std::move(attribute), u"", true};
}

// The document with the edits made (each path must select a node).
inline std::u16string Edited(std::u16string_view xml, const std::vector<Edit>& edits) {
  MSXML6StoreSTL store;
  EXPECT_TRUE(store.LoadFromString(xml));
  for (const Edit& edit : edits) {
    EXPECT_TRUE(store.SelectNode(edit.path)) << std::string(edit.path.begin(), edit.path.end());
    if (edit.remove) {
      EXPECT_TRUE(edit.attribute.empty() ? store.RemoveContextNode() : store.RemoveAttribute(edit.attribute));
    } else if (edit.attribute.empty()) {
      EXPECT_TRUE(store.SetText(edit.value));
    } else {
      EXPECT_TRUE(store.SetAttribute(edit.attribute, edit.value));
    }
  }
  std::u16string out;
  EXPECT_TRUE(store.GetDocumentXML(out));
  return out;
}

// The text of the node `path` selects ("<none>" when nothing is selected).
inline std::u16string TextOf(std::u16string_view xml, std::u16string_view path) {
  MSXML6StoreSTL store;
  if (!store.LoadFromString(xml) || !store.SelectNode(path)) return u"<none>";
  std::u16string text;
  store.GetText(text);
  return text;
}

// The attribute of the node `path` selects ("<none>" when the node or attribute is missing).
inline std::u16string AttrOf(std::u16string_view xml, std::u16string_view path, std::u16string_view attribute) {
  MSXML6StoreSTL store;
  std::u16string value;
  if (!store.LoadFromString(xml) || !store.SelectNode(path) || !store.GetNodeAttribute(attribute, value)) {
    return u"<none>";
  }
  return value;
}

// The number of nodes `path` selects.
inline int CountOf(std::u16string_view xml, std::u16string_view path) {
  MSXML6StoreSTL store;
  if (!store.LoadFromString(xml) || !store.SelectNode(path)) return 0;
  int count = 1;
  while (store.MoveToNextNode()) ++count;
  return count;
}

inline std::string Narrow(std::u16string_view text) { return ToUtf8(text); }

// `xml` with the first occurrence of `from` replaced by `to` (which must exist).
inline std::u16string Replaced(std::u16string_view xml, std::u16string_view from, std::u16string_view to) {
  std::u16string out(xml);
  size_t at = out.find(from);
  EXPECT_NE(at, std::u16string::npos) << Narrow(from);
  if (at != std::u16string::npos) out.replace(at, from.size(), to);
  return out;
}

// Table checks that accept texts starting with "0x" (the real parsers are tested elsewhere).
inline apply::ApplyHooks TestHooks() {
  apply::ApplyHooks hooks;
  hooks.checkGamma = [](std::u16string_view text) { return text.substr(0, 2) == u"0x"; };
  hooks.checkMatrix = [](std::u16string_view text) { return text.substr(0, 2) == u"0x"; };
  return hooks;
}

// Applies `client` to `supported`; the result's XML is the new supported document (empty on
// failure).
inline apply::ApplyResult Apply(std::u16string_view supported, std::u16string_view client,
                                const apply::ApplyHooks& hooks = TestHooks()) {
  static const CLogClient log(u"apply tests");
  return apply::ApplySettingsDocument(supported, client, log, hooks);
}

}  // namespace rzd::lowdrv::applytest
