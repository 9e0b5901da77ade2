// The fixture of the scan tests: rzd-engine in a process of its own, the unit opened and locked
// through the exported Control, settings chosen on the supported document, and batches read
// through the exported Read, every call kept with its data, boundary and page document.
#pragma once

#include "driver_unit_fixture.h"
#include "engine/page_pattern.h"
#include "foundation/xml_store.h"
#include "lowdrv/core/api.h"
#include "lowdrv/core/driver_codes.h"
#include "lowdrv/core/driver_model.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {

// A change to the supported document before it is applied.
struct SettingEdit {
  enum Kind { kText, kSetAttr, kRemoveAttr, kCurrent };
  Kind kind = kText;
  std::u16string path;
  std::u16string value;      // the text, the attribute's value or the enumeration's current value
  std::u16string attribute;
};
inline SettingEdit EditText(std::u16string path, std::u16string text) { return {SettingEdit::kText, std::move(path), std::move(text), {}}; }
inline SettingEdit EditAttr(std::u16string path, std::u16string attribute, std::u16string value) {
  return {SettingEdit::kSetAttr, std::move(path), std::move(value), std::move(attribute)};
}
inline SettingEdit DropAttr(std::u16string path, std::u16string attribute) {
  return {SettingEdit::kRemoveAttr, std::move(path), {}, std::move(attribute)};
}
// Makes `value` the current value of the enumeration below `path`.
inline SettingEdit EditCurrent(std::u16string path, std::u16string value) {
  return {SettingEdit::kCurrent, std::move(path), std::move(value), {}};
}

// What a scan asks for.
struct ScanChoice {
  enum class Kind { Gray, Color, LineArt };
  Kind kind = Kind::Color;
  bool jpeg = false;
  const char16_t* subsampling = u"2";  // colour JPEG: "1", "2" or "4" (modes 3, 2, 1)
  bool duplex = true;
  int dpi = 200;
  int widthMils = 2900;
  int lengthMils = 2000;
  bool fixedLength = false;  // length detection and over-scan off
  bool autoCrop = false;
  const char16_t* dfdAction = nullptr;  // "Stop" or "StopAndContinue" with detection on
};

// A grey raw scan, of both sides unless told otherwise.
inline ScanChoice Grey(bool duplex = true) {
  ScanChoice choice;
  choice.kind = ScanChoice::Kind::Gray;
  choice.duplex = duplex;
  return choice;
}
// A colour JPEG scan, of both sides unless told otherwise.
inline ScanChoice ColourJpeg(bool duplex = true) {
  ScanChoice choice;
  choice.kind = ScanChoice::Kind::Color;
  choice.jpeg = true;
  choice.duplex = duplex;
  return choice;
}

// One call of Read.
struct ReadCall {
  BOOL ok = FALSE;
  uint32_t boundary = 0;
  uint32_t result = 0;        // the error document's code on failure
  std::vector<uint8_t> data;
  std::u16string meta;
};

// A parsed page document.
class PageDoc {
 public:
  explicit PageDoc(const std::u16string& text) : ok_(store_.LoadFromString(text)) {}
  bool Parsed() const { return ok_; }
  bool Has(std::u16string_view path) { return store_.SelectNode(path); }
  std::u16string Text(std::u16string_view path) {
    std::u16string text;
    store_.GetNodeText(path, text);
    return text;
  }
  int64_t Int(std::u16string_view path) { return std::stoll(ToUtf8(Text(path)).empty() ? "-1" : ToUtf8(Text(path))); }

 private:
  MSXML6StoreSTL store_;
  bool ok_;
};

// The data and documents of one side of one page, as a batch delivered them.
struct SideData {
  std::vector<uint8_t> bytes;
  std::vector<std::u16string> docs;
};
// The sides of a batch by page number and side name ("Front", "Back", "Both").
inline std::map<std::pair<int64_t, std::u16string>, SideData> CollectSides(const std::vector<ReadCall>& calls) {
  std::map<std::pair<int64_t, std::u16string>, SideData> sides;
  for (const ReadCall& c : calls) {
    if (!c.ok) continue;
    PageDoc doc(c.meta);
    SideData& side = sides[{doc.Int(u"/Result/Address/Page"), doc.Text(u"/Result/Address/Side")}];
    side.bytes.insert(side.bytes.end(), c.data.begin(), c.data.end());
    side.docs.push_back(c.meta);
  }
  return sides;
}

// The lines of a side of the unit's pattern.
inline std::vector<uint8_t> PatternSide(uint32_t sheet, uint32_t side, uint32_t lines, uint32_t bytesPerLine) {
  std::vector<uint8_t> bytes;
  bytes.reserve(static_cast<size_t>(lines) * bytesPerLine);
  for (uint32_t l = 0; l < lines; ++l) {
    const std::vector<uint8_t> line = engine::PatternLine(sheet, side, l, bytesPerLine);
    bytes.insert(bytes.end(), line.begin(), line.end());
  }
  return bytes;
}

class ScanTest : public DriverUnitTest {
 protected:
  void TearDown() override {
    if (handle_) {
      BSTR error = nullptr;
      ::Control(handle_, cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &error);
      SysFreeString(error);
      handle_ = nullptr;
    }
    DriverUnitTest::TearDown();
  }

  // Starts the unit (after `unitSetup` control lines), opens it through Control and locks it.
  void OpenAndLock(const std::vector<std::string>& unitSetup = {}) {
    StartUnit();
    for (const std::string& line : unitSetup) ASSERT_EQ(Control(line).rfind("ok", 0), 0u) << line;
    ObjectResult<Event> online = Event::Create(u"Global\\RZD_VID_2E5A_PID_0148#QM48TZ000001_ON", true, true);
    ASSERT_TRUE(online);
    online_ = online.handle;
    uint32_t size = sizeof handle_;
    BSTR error = nullptr;
    ASSERT_TRUE(::Control(nullptr, cc::kOpen, path_.c_str(), nullptr, nullptr, 0, &handle_, &size, &error))
        << ToUtf8(BstrView(error));
    SysFreeString(error);
    ASSERT_EQ(Call(cc::kLock, 5000), 0u);
  }

  // A control code with one 32-bit input word; the result code of its error document.
  uint32_t Call(uint32_t code, uint32_t word) {
    BSTR error = nullptr;
    ::Control(handle_, code, nullptr, nullptr, &word, sizeof word, nullptr, nullptr, &error);
    const uint32_t result = ResultOf(std::u16string(BstrView(error)));
    SysFreeString(error);
    return result;
  }

  CScannerLLD& Driver() { return *static_cast<CScannerLLD*>(static_cast<IDriverObject*>(handle_)); }

  // The current window's bytes per line, and its lines of one side.
  uint32_t WindowLineBytes() {
    const ReduzidWindowDescriptor& w = *Driver().m_pSettings->GetWindowDescription();
    return w.PixelNum | (uint32_t{w.HiBytePixelNum} << 16);
  }
  uint32_t WindowLinesPerSide() {
    const ReduzidWindowDescriptor& w = *Driver().m_pSettings->GetWindowDescription();
    const uint32_t lines = w.LineNum | (uint32_t{w.HiByteLineNum} << 16);
    return (w.SetCapEx1 & 0x10) ? lines / 2 : lines;
  }

  // Applies the edits to the unit's supported document as a client's settings, both through
  // Control; the result code.
  uint32_t Apply(const std::vector<SettingEdit>& edits) {
    Bstr supported;
    Bstr error;
    EXPECT_TRUE(::Control(handle_, cc::kSupportedSettings, nullptr, supported.Out(), nullptr, 0, nullptr, nullptr,
                          error.Out()));
    MSXML6StoreSTL store;
    EXPECT_TRUE(store.LoadFromString(supported.View()));
    for (const SettingEdit& e : edits) {
      EXPECT_TRUE(store.SelectNode(e.path)) << ToUtf8(e.path);
      switch (e.kind) {
        case SettingEdit::kText: EXPECT_TRUE(store.SetText(e.value)) << ToUtf8(e.path); break;
        case SettingEdit::kSetAttr: EXPECT_TRUE(store.SetAttribute(e.attribute, e.value)) << ToUtf8(e.path); break;
        case SettingEdit::kRemoveAttr: store.RemoveAttribute(e.attribute); break;
        case SettingEdit::kCurrent:
          EXPECT_TRUE(store.SelectNode(u"Enum/Value[@IsCurrent='true']")) << ToUtf8(e.path);
          EXPECT_TRUE(store.SetText(e.value)) << ToUtf8(e.path);
          break;
      }
    }
    std::u16string text;
    store.GetDocumentXML(text);
    ::Control(handle_, cc::kSetCurrentSettings, text.c_str(), nullptr, nullptr, 0, nullptr, nullptr, error.Out());
    return ResultOf(std::u16string(error.View()));
  }

  // The settings edits of a scan choice.
  static std::vector<SettingEdit> EditsFor(const ScanChoice& choice) {
    std::vector<SettingEdit> edits;
    const char16_t* kinds[3] = {u"Gray", u"Color", u"Mono"};
    const int k = static_cast<int>(choice.kind);
    for (int side = 1; side <= 2; ++side) {
      const std::u16string n = side == 1 ? u"1" : u"2";
      const std::u16string chosen = u"//Item[@ID='" + std::u16string(kinds[k]) + n + u"']";
      for (const char16_t* kind : kinds) edits.push_back(DropAttr(u"//Item[@ID='" + std::u16string(kind) + n + u"']", u"IsSet"));
      edits.push_back(EditAttr(chosen, u"IsSet", u"true"));
      edits.push_back(EditCurrent(chosen + u"/Resolutions", FromUtf8(std::to_string(choice.dpi))));
      edits.push_back(EditText(chosen + u"/Frame/Width", FromUtf8(std::to_string(choice.widthMils))));
      edits.push_back(EditText(chosen + u"/Frame/Length", FromUtf8(std::to_string(choice.lengthMils))));
      if (choice.kind != ScanChoice::Kind::LineArt) {
        edits.push_back(EditCurrent(chosen + u"/Format/JPEGTransfer", choice.jpeg ? u"On" : u"Off"));
      }
      if (choice.kind == ScanChoice::Kind::Color && choice.jpeg)
        edits.push_back(EditCurrent(chosen + u"/Format/CompressionSubSamping", choice.subsampling));
      if (choice.fixedLength) {
        for (const char16_t* edge : {u"Top", u"Left", u"Width", u"Length"})
          edits.push_back(EditAttr(chosen + u"/Frame/" + edge, u"OverScan", u"Off"));
      }
      if (choice.autoCrop) edits.push_back(EditCurrent(u"//Item[@ID='" + std::u16string(side == 1 ? u"Front1" : u"Back1") + u"']/AutoCrop", u"On"));
    }
    if (!choice.duplex) edits.push_back(DropAttr(u"//Item[@ID='Back1']", u"IsSet"));
    if (choice.fixedLength) edits.push_back(EditCurrent(u"//Item[@ID='ADF']/LengthDetection", u"Off"));
    if (choice.dfdAction) {
      edits.push_back(EditCurrent(u"//Item[@ID='Ultrasonic']/IsEnabled", u"On"));
      edits.push_back(EditCurrent(u"//Item[@ID='Ultrasonic']/Action", choice.dfdAction));
    }
    return edits;
  }

  ReadCall ReadOnce(uint32_t bufferSize) {
    ReadCall call;
    buffer_.resize(bufferSize);
    uint32_t size = bufferSize;
    BSTR meta = nullptr;
    call.ok = ::Read(handle_, buffer_.data(), &size, &meta, &call.boundary);
    call.meta = std::u16string(BstrView(meta));
    SysFreeString(meta);
    if (call.ok) call.data.assign(buffer_.begin(), buffer_.begin() + std::min<size_t>(size, bufferSize));
    else call.result = ResultOf(call.meta);
    return call;
  }

  static uint32_t ResultOf(const std::u16string& document) {
    PageDoc doc(document);
    return doc.Parsed() ? static_cast<uint32_t>(doc.Int(u"/Result/ErrorCode")) : 0xFFFFFFFFu;
  }

  // Reads until the scan ends (boundary 6) or a call fails; at most `limit` calls.
  std::vector<ReadCall> ReadBatch(uint32_t bufferSize, size_t limit = 200000) {
    std::vector<ReadCall> calls;
    while (calls.size() < limit) {
      calls.push_back(ReadOnce(bufferSize));
      const ReadCall& last = calls.back();
      if (!last.ok || last.boundary == 6) break;
    }
    return calls;
  }

  void* handle_ = nullptr;
  Event online_;
  std::vector<uint8_t> buffer_;
};

}  // namespace rzd::lowdrv::test
