// Fixtures of the settings-document tests: engine records as a unit reports them, settings
// objects made the way the model driver makes them, a recording logger, XML helpers, and
// descriptions registered as resources of this test program.
#pragma once

#include "foundation/xml_store.h"
#include "lowdrv/settings/m48tz_settings.h"
#include "model_fixture.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "settings_log_capture.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {

// ---- Engine records.
inline ReduzidInq FixtureInquiry() {
  ReduzidInq inq{};
  inq.ProductQualifier = 6;
  std::memcpy(inq.VendorIdent, "QUARX   ", 8);
  std::memcpy(inq.ProductIdent, "M48tz Scanner   ", 16);
  std::memcpy(inq.ProductReversion, "1.07", 4);
  inq.ColorPixelBound = 8;
  inq.GrayPixelBound = 8;
  inq.LineartPixelBound = 32;
  inq.ADFMaxWidth = 2550;   // 8.5 inches in 1/300 inch
  inq.ADFMaxLength = 4200;
  InqBytes(inq)[133] |= 0x80;  // DFD buttons
  InqBytes(inq)[156] |= 0x08;  // the front post-imprinter
  return inq;
}

inline ReduzidNVMData FixtureNVM() {
  ReduzidNVMData nvm{};
  nvm.PadScanCount = 77;
  nvm.ADFSingleModeScanCount = 10;
  nvm.ADFDuplexModeScanCount = 20;
  nvm.FlatbedScanCount = 5;
  nvm.BornYear = 2013;
  nvm.BornMonth = 5;
  nvm.BornDay = 7;
  nvm.FirstScanYear = 2014;
  nvm.FirstScanMonth = 2;
  nvm.FirstScanDay = 3;
  std::memcpy(nvm.SerialNumber, "SN0012345", 9);
  nvm.PowerSavingTime = 30;
  nvm.PowerOffTime = 60;
  nvm.ERPTime = 90;
  nvm.RollerCount = 1234;
  nvm.MultifeedCount = 3;
  nvm.JamCount = 4;
  return nvm;
}

// ---- The engine driver link: power limits and a record of its calls.
class FakeEngineLink : public IRZDSettingsEngineLink {
 public:
  bool IsImprinterFitted() override { return imprinter; }
  bool GetPowerTimeoutLimits(RZDPowerTimeoutLimits* out) override {
    if (!haveLimits) return false;
    *out = limits;
    return true;
  }
  void AdaptSupportedSettings(MSXML6StoreBSTR& store) override {
    ++lastPasses;
    if (mark) {
      store.SelectNode(u"/Scanner");
      store.SetNodeText(u"EngineMark", u"seen");
    }
  }

  bool imprinter = false;
  bool haveLimits = false;
  bool mark = false;
  RZDPowerTimeoutLimits limits;
  int lastPasses = 0;
};

// ---- Settings objects as the model driver builds them. The conversion into window
// descriptions can be replaced, so the document tests see exactly the documents handed to it.
class TestSettings : public CM48tzScannerSettings {
 public:
  enum class Conversion { Real, Accept, Refuse };

  TestSettings() {
    fixtures::ConfigureAsModel(*this);
    m_wModelID = 0x0148;
    m_wVendorID = 0x2E5A;
  }

  BOOL ConvertXmlToSettings(std::u16string_view text) override {
    converted.emplace_back(text);
    switch (conversion) {
      case Conversion::Real: return CM48tzScannerSettings::ConvertXmlToSettings(text);
      case Conversion::Accept: return TRUE;
      case Conversion::Refuse: return FALSE;
    }
    return FALSE;
  }

  BOOL ApplyNvData(MSXML6StoreBSTR& store) override {
    const BOOL ok = CM48tzScannerSettings::ApplyNvData(store);
    if (failApplyAfterWork) {
      store.SelectNode(u"/Scanner");
      store.SetNodeText(u"HalfAdapted", u"yes");
      return FALSE;
    }
    return ok;
  }

  BYTE InitWith(const ReduzidInq& inq, const ReduzidNVMData& nvm, IRZDSettingsEngineLink* link = nullptr) {
    return Init(inq, nvm, link, u"2.3.4.5", u"6, 7, 8, 9");
  }
  BYTE InitDefault(IRZDSettingsEngineLink* link = nullptr) { return InitWith(FixtureInquiry(), FixtureNVM(), link); }

  std::u16string Supported() {
    Bstr b = Bstr::Attach(GetSupported());
    return b.Str();
  }
  std::u16string Current() {
    Bstr b = Bstr::Attach(GetCurrent());
    return b.Str();
  }

  using CRZDScannerSettingsBase::SupportedStore;

  Conversion conversion = Conversion::Accept;
  bool failApplyAfterWork = false;
  std::vector<std::u16string> converted;
};

// ---- A recording logger for the settings' features (their ".Data" lines stay off).
using fixtures::SettingsLogCapture;

// ---- XML helpers over a store holding one document.
class Doc {
 public:
  explicit Doc(std::u16string_view xml) { loaded_ = store_.LoadFromString(xml); }
  bool Loaded() const { return loaded_; }
  MSXML6StoreSTL& Store() { return store_; }

  int Count(std::u16string_view path) {
    if (!store_.SelectNode(path)) return 0;
    int n = 1;
    while (store_.MoveToNextNode()) ++n;
    return n;
  }
  bool Has(std::u16string_view path) { return Count(path) > 0; }
  std::u16string Text(std::u16string_view path) {
    std::u16string text;
    if (!store_.GetNodeText(path, text)) return u"<missing>";
    return text;
  }
  std::u16string Attr(std::u16string_view path, std::u16string_view name) {
    std::u16string value;
    if (!store_.SelectNode(path) || !store_.GetNodeAttribute(name, value)) return u"<missing>";
    return value;
  }
  std::vector<std::u16string> Texts(std::u16string_view path) {
    std::vector<std::u16string> texts;
    if (!store_.SelectNode(path)) return texts;
    do {
      std::u16string t;
      store_.GetText(t);
      texts.push_back(t);
    } while (store_.MoveToNextNode());
    return texts;
  }
  std::vector<std::u16string> Names(std::u16string_view path) {
    std::vector<std::u16string> names;
    if (!store_.SelectNode(path)) return names;
    do {
      std::u16string n;
      store_.GetNodeName(n);
      names.push_back(n);
    } while (store_.MoveToNextNode());
    return names;
  }

 private:
  MSXML6StoreSTL store_;
  bool loaded_ = false;
};

inline std::string U8(std::u16string_view text) { return ToUtf8(text); }

// The device description as embedded (without its byte-order mark).
inline std::u16string EmbeddedDescription() {
  static const int anchor = 0;
  std::optional<std::u16string> text = FindUtf16TextResource(&anchor, kSettingsResourceType, IDR_XML_SUPPORTED_SETTINGS);
  return text ? *text : std::u16string();
}

// An object of this program, naming it as the module of test resources.
inline const int kTestModuleAnchor = 0;

// Registers a description text under an id of this program, UTF-16LE with its mark, for the
// life of the object.
class RegisteredDescription {
 public:
  RegisteredDescription(uint32_t id, std::u16string_view text) {
    bytes_.push_back(0xFF);
    bytes_.push_back(0xFE);
    for (char16_t c : text) {
      bytes_.push_back(static_cast<uint8_t>(c & 0xFF));
      bytes_.push_back(static_cast<uint8_t>(c >> 8));
    }
    registration_ = std::make_unique<ResourceRegistration>(&kTestModuleAnchor, kSettingsResourceType, id, bytes_.data(),
                                                            bytes_.size());
  }

 private:
  std::vector<uint8_t> bytes_;
  std::unique_ptr<ResourceRegistration> registration_;
};

// Replaces the first occurrence of `from` in `text` (which must occur).
inline std::u16string ReplaceOnce(std::u16string text, std::u16string_view from, std::u16string_view to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::u16string::npos) << U8(from);
  if (at != std::u16string::npos) text.replace(at, from.size(), to);
  return text;
}

}  // namespace rzd::lowdrv::test
