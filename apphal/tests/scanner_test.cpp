// CM48tz_Scanner: the model's facts, the command dispatch with its stored values and refusals,
// the dispatch of Scan over a wrapper, the network name and the pictures.
#include "apphal/m48tz_scanner.h"
#include "testsupport/pictures.h"
#include "testsupport/temp_root.h"
#include "unit_fixture.h"

#include <cstring>

namespace rzd::apphal::test {
namespace {

class ScannerTest : public rzd::test::TempRoot {
 protected:
  ComPtr<CM48tz_Scanner> scanner_ = MakeComObject<CM48tz_Scanner>();
  ZQSCANINFO info_ = ZqScanInfoDefaults();
};

std::u16string Take(BSTR text) {
  std::u16string copy(BstrView(text));
  SysFreeString(text);
  return copy;
}

TEST_F(ScannerTest, TheModelsFacts) {
  IHardwareInterface* hw = scanner_.Get();
  BSTR text = nullptr;
  ASSERT_EQ(hw->get_FriendlyName(&text), S_OK);
  EXPECT_EQ(Take(text), u"Quarx M48tz Scanner");
  ASSERT_EQ(hw->get_EventNames(&text), S_OK);
  EXPECT_EQ(Take(text), u"SIMPLEX:DUPLEX:F1,F2,F3,F4,F5,F6,F7,F8,F9");
  ASSERT_EQ(hw->get_SupportedResolutions(&text), S_OK);
  EXPECT_EQ(Take(text), u"100,150,200,300,400,500,600");
  ASSERT_EQ(hw->get_SupportedImageCaps(&text), S_OK);
  EXPECT_EQ(Take(text),
            u"CUSTOMDSDATA,MOIRE,INVERT,MULTITWAIN,MULTISCANNER,DUPLEX,FLIPBACKSIDE,DOUBLEFD,LCDPROFILES,CHANNELID");
  ASSERT_EQ(hw->get_ShortName(&text), S_OK);
  EXPECT_EQ(Take(text), u"M48tz");
  int16_t events = 0;
  ASSERT_EQ(hw->get_EventCount(&events), S_OK);
  EXPECT_EQ(events, 9);
  LONG value = 0;
  ASSERT_EQ(hw->get_HasMFButton(&value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(hw->get_HasISISSupport(&value), E_NOTIMPL);
  EXPECT_EQ(hw->get_ISISDriverName(&text), E_NOTIMPL);
  GUID id = GUID_NULL;
  ASSERT_EQ(hw->GetInterface(&id), S_OK);
  EXPECT_EQ(id, CLSID_Scanner_M48tz);
  id = GUID_NULL;
  ASSERT_EQ(hw->GetDevicePoperties(&id), S_OK);
  EXPECT_EQ(id, CLSID_Scanner_M48tz);
  _ZQSCANINFO* defaults = nullptr;
  ASSERT_EQ(hw->GetDefaults(&defaults), S_OK);
  const ZQSCANINFO expected = ZqScanInfoDefaults();
  EXPECT_EQ(std::memcmp(defaults, &expected, sizeof(expected)), 0);
  CoTaskMemFree(defaults);
  LONG error = 5;
  ASSERT_EQ(hw->GetLastError(&error, &text), S_OK);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(text, nullptr);

  // Null out-values.
  EXPECT_EQ(hw->get_FriendlyName(nullptr), E_POINTER);
  EXPECT_EQ(hw->get_EventNames(nullptr), E_POINTER);
  EXPECT_EQ(hw->get_SupportedResolutions(nullptr), E_POINTER);
  EXPECT_EQ(hw->get_SupportedImageCaps(nullptr), E_POINTER);
  EXPECT_EQ(hw->get_ShortName(nullptr), E_POINTER);
  EXPECT_EQ(hw->get_EventCount(nullptr), E_POINTER);
  EXPECT_EQ(hw->GetInterface(nullptr), E_POINTER);
  EXPECT_EQ(hw->GetDefaults(nullptr), E_POINTER);
  EXPECT_EQ(hw->GetLastError(nullptr, &text), E_POINTER);
  EXPECT_EQ(hw->GetLastError(&error, nullptr), E_POINTER);
}

TEST_F(ScannerTest, StoredValuesAndCommandsWithoutARow) {
  struct Case {
    _ZQSCANCOMMAND cmd;
    intptr_t value;
  } cases[] = {
      {ZQSCAN_GETMINHEIGHT, 200},         {ZQSCAN_GETMINWIDTH, 290},      {ZQSCAN_GET_MIN_ADF_LONG_DOC_LIMIT, 14000},
      {ZQSCAN_GET_SCANNER_TYPE, 1},       {ZQSCAN_GETBORDERFILLSUPPORT, 0}, {ZQSCAN_ISBORDERFILLENABLED, 0},
      {ZQSCAN_CONTROLBORDERFILL, 0},      {ZQSCAN_LOAD_ADF, 77},          {ZQSCAN_CALIBRATE, 77},
      {ZQSCAN_SET_COLOR_CORRECTION, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cmd);
    scanner_->SetLastStatus(-1);
    info_.Value = 77;
    if (c.cmd == ZQSCAN_SET_COLOR_CORRECTION) info_.Value = 0;
    _ZQSTATUS status = ZQHARDWARE_STATUS_FAIL;
    ASSERT_EQ(scanner_->ScanCommand(c.cmd, &info_, &status), S_OK);
    EXPECT_EQ(status, ZQHARDWARE_STATUS_OK);
    EXPECT_EQ(static_cast<intptr_t>(info_.Value), c.value);
    LONG error = -1;
    BSTR message = nullptr;
    ASSERT_EQ(scanner_->GetLastError(&error, &message), S_OK);
    EXPECT_EQ(error, 0);
  }
  // The events the application customises: the duplex choice only, by the exact name. Each row
  // starts from the other choice (or from a value neither name sets), so a name that is ignored
  // cannot pass for one that matched.
  struct Event {
    const char* name;
    int32_t before;
    int32_t after;
  } events[] = {
      {"SIMPLEX", 1, 0},  {"DUPLEX", 0, 1},  {"duplex", 0, 0},  {"simplex", 1, 1}, {"DUPLEX ", 0, 0},
      {"DUPLEXX", 0, 0}, {"SIMPLE", 1, 1},  {"", 7, 7},        {"F1", 7, 7},
  };
  for (const Event& e : events) {
    info_.Duplex = e.before;
    info_.Value = reinterpret_cast<intptr_t>(e.name);
    _ZQSTATUS status = ZQHARDWARE_STATUS_FAIL;
    ASSERT_EQ(scanner_->ScanCommand(ZQSCAN_CUSTOMIZE_EVENT, &info_, &status), S_OK);
    EXPECT_EQ(status, ZQHARDWARE_STATUS_OK);
    EXPECT_EQ(info_.Duplex, e.after) << '"' << e.name << '"';
  }
}

TEST_F(ScannerTest, NullArgumentsAreRefused) {
  _ZQSTATUS status = ZQHARDWARE_STATUS_OK;
  LONG written = 0;
  uint8_t buffer[64];
  EXPECT_EQ(scanner_->ScanCommand(ZQSCAN_GETMINWIDTH, &info_, nullptr), E_POINTER);
  EXPECT_EQ(scanner_->ScanCommand(ZQSCAN_GETMINWIDTH, nullptr, &status), E_POINTER);
  EXPECT_EQ(scanner_->Scan(ZQSCAN_CONFIG, nullptr, 64, buffer, &written), E_POINTER);
  EXPECT_EQ(scanner_->Scan(ZQSCAN_CONFIG, &info_, 64, buffer, nullptr), E_POINTER);
  EXPECT_EQ(scanner_->Scan(ZQSCAN_SCAN, &info_, 64, nullptr, &written), E_POINTER);
  EXPECT_EQ(scanner_->Scan(ZQSCAN_START, &info_, 0, buffer, &written), E_INVALIDARG);
  EXPECT_EQ(scanner_->Scan(ZQSCAN_SCAN, &info_, -5, buffer, &written), E_INVALIDARG);
}

TEST_F(ScannerTest, CommandsBeforeAWrapperFail) {
  for (_ZQSCANCOMMAND cmd : {ZQSCAN_UNINITIALIZE, ZQSCAN_GETADFSTATUS, ZQSCAN_GETADFSTATUSEX, ZQSCAN_CANCELSCAN}) {
    _ZQSTATUS status = ZQHARDWARE_STATUS_OK;
    ASSERT_EQ(scanner_->ScanCommand(cmd, &info_, &status), S_OK);
    EXPECT_EQ(status, ZQHARDWARE_STATUS_FAIL) << cmd;
    LONG error = 0;
    BSTR message = nullptr;
    scanner_->GetLastError(&error, &message);
    EXPECT_EQ(static_cast<uint32_t>(error), ZQHARDWARE_STATUS_FAIL);
  }
  uint8_t buffer[64];
  LONG written = 0;
  EXPECT_EQ(scanner_->Scan(ZQSCAN_CONFIG, &info_, 64, buffer, &written), E_FAIL);
  EXPECT_EQ(static_cast<uint32_t>(written), ZQHARDWARE_STATUS_FAIL);
  EXPECT_EQ(scanner_->Scan(ZQSCAN_START, &info_, 64, buffer, &written), static_cast<HRESULT>(ZQHARDWARE_STATUS_FAIL));
  EXPECT_EQ(scanner_->Scan(ZQSCAN_SCAN, &info_, 64, buffer, &written), static_cast<HRESULT>(ZQHARDWARE_STATUS_FAIL));
  EXPECT_EQ(written, 0);
  EXPECT_EQ(scanner_->Scan(ZQSCAN_FINISH, &info_, 64, buffer, &written), static_cast<HRESULT>(ZQHARDWARE_STATUS_FAIL));
  EXPECT_EQ(scanner_->Scan(ZQSCAN_CALIBRATE, &info_, 64, buffer, &written), S_OK);
  EXPECT_EQ(scanner_->Wrapper(), nullptr);
  // Initialisation makes the model's wrapper (and fails without a discovered data source).
  _ZQSTATUS status = ZQHARDWARE_STATUS_OK;
  ASSERT_EQ(scanner_->ScanCommand(ZQSCAN_INITIALIZE, &info_, &status), S_OK);
  EXPECT_EQ(status, ZQHARDWARE_STATUS_FAIL);
  EXPECT_NE(dynamic_cast<CTWAINwrapOver*>(scanner_->Wrapper()), nullptr);
}

TEST_F(ScannerTest, TheNetWaitBeforeInitialisationKeepsTheBaseWrapper) {
  _ZQSTATUS status = ZQHARDWARE_STATUS_OK;
  ASSERT_EQ(scanner_->ScanCommand(ZQSCAN_SHOW_NET_WAIT_DIALOG, &info_, &status), S_OK);
  EXPECT_EQ(status, ZQHARDWARE_STATUS_FAIL);  // no session yet
  ASSERT_NE(scanner_->Wrapper(), nullptr);
  ASSERT_EQ(scanner_->ScanCommand(ZQSCAN_INITIALIZE, &info_, &status), S_OK);
  EXPECT_EQ(dynamic_cast<CTWAINwrapOver*>(scanner_->Wrapper()), nullptr);
}

TEST_F(ScannerTest, TheNetworkNameIsCutToItsBuffer) {
  struct Case {
    std::optional<std::u16string> name;
    std::string copied;
  } cases[] = {
      {std::nullopt, ""},
      {u"", ""},
      {u"SCAN-1", "SCAN-1"},
      {u"ABCDEFGHIJKLM", "ABCDEFGHIJKLM"},     // 13: fits with its terminator
      {u"ABCDEFGHIJKLMN", "ABCDEFGHIJKLM"},    // 14: cut
      {std::u16string(300, u'N'), "NNNNNNNNNNNNN"},
  };
  for (const Case& c : cases) {
    rzd::test::ScopedRoot root;
    UnitSetup unit;
    unit.netName = c.name;
    InstallUnit(unit);
    ComPtr<CM48tz_Scanner> scanner = MakeComObject<CM48tz_Scanner>();
    LONG found = 0;
    ASSERT_EQ(scanner->IsInstalled(&found), S_OK);
    char buffer[32];
    std::memset(buffer, '#', sizeof(buffer));
    ZQSCANINFO info = ZqScanInfoDefaults();
    info.Value = reinterpret_cast<intptr_t>(buffer);
    _ZQSTATUS status = ZQHARDWARE_STATUS_FAIL;
    ASSERT_EQ(scanner->ScanCommand(ZQSCAN_GET_NETWORKNAME, &info, &status), S_OK);
    EXPECT_EQ(status, ZQHARDWARE_STATUS_OK);
    EXPECT_EQ(std::string(buffer), c.copied);
    for (size_t i = kNetworkNameBytes; i < sizeof(buffer); ++i) ASSERT_EQ(buffer[i], '#') << i;
  }
}

// A wrapper whose answers a test sets, for the dispatch of Scan.
class ScriptedWrap : public CTWAINwrap {
 public:
  uint32_t configure = 0, start = 0, readFailure = 0, finish = 0;
  int chunks = 2;  // reads with bytes; the last of them says the page ended
  int calls = 0;
  uint32_t Configure(ZQSCANINFO*) override { return configure; }
  uint32_t StartScan(ZQSCANINFO*, std::string) override { return start; }
  int32_t ReadScan(ZQSCANINFO*, uint8_t* buffer, int32_t size, uint32_t* status, bool* last) override {
    ++calls;
    *status = readFailure;
    *last = calls >= chunks;
    if (readFailure != 0) return 0;
    std::memset(buffer, calls, static_cast<size_t>(size));
    return size;
  }
  uint32_t FinishScan(ZQSCANINFO*) override { return finish; }
};

class DispatchCore : public CZQ4RZDHAL {
 public:
  ScriptedWrap& Use() {
    auto wrap = std::make_unique<ScriptedWrap>();
    ScriptedWrap& ref = *wrap;
    m_wrapper = std::move(wrap);
    return ref;
  }
};

TEST_F(ScannerTest, ScanDispatch) {
  DispatchCore core;
  ScriptedWrap& wrap = core.Use();
  ZQSCANINFO info = ZqScanInfoDefaults();
  uint8_t buffer[16];
  LONG written = 0;

  // A lamp warming up is not a configuration failure; others are, with the status in written.
  wrap.configure = ZQHARDWARE_STATUS_LAMPWARMUP;
  EXPECT_EQ(core.ScanOperation(ZQSCAN_CONFIG, &info, 16, buffer, &written), S_OK);
  EXPECT_EQ(static_cast<uint32_t>(written), ZQHARDWARE_STATUS_LAMPWARMUP);
  wrap.configure = ZQHARDWARE_STATUS_PAPERJAM;
  EXPECT_EQ(core.ScanOperation(ZQSCAN_CONFIG, &info, 16, buffer, &written), E_FAIL);
  EXPECT_EQ(static_cast<uint32_t>(written), ZQHARDWARE_STATUS_PAPERJAM);

  // Start reads at once; the read after the last bytes answers 0 without the wrapper.
  EXPECT_EQ(core.ScanOperation(ZQSCAN_START, &info, 16, buffer, &written), S_OK);
  EXPECT_EQ(written, 16);
  EXPECT_EQ(core.ScanOperation(ZQSCAN_SCAN, &info, 16, buffer, &written), S_OK);
  EXPECT_EQ(written, 16);
  EXPECT_EQ(wrap.calls, 2);
  EXPECT_EQ(core.ScanOperation(ZQSCAN_SCAN, &info, 16, buffer, &written), S_OK);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(wrap.calls, 2);
  EXPECT_EQ(core.ScanOperation(ZQSCAN_FINISH, &info, 16, buffer, &written), S_OK);

  // A failed start returns its status; a failed finish after a skewed document says so.
  wrap.start = ZQHARDWARE_STATUS_DOCSKEW;
  EXPECT_EQ(core.ScanOperation(ZQSCAN_START, &info, 16, buffer, &written),
            static_cast<HRESULT>(ZQHARDWARE_STATUS_DOCSKEW));
  wrap.finish = ZQHARDWARE_STATUS_FAIL;
  EXPECT_EQ(core.ScanOperation(ZQSCAN_FINISH, &info, 16, buffer, &written),
            static_cast<HRESULT>(ZQHARDWARE_STATUS_DOCSKEW));
  // A failed read: its status, no bytes, and the last status of the core.
  wrap.start = 0;
  wrap.readFailure = ZQHARDWARE_STATUS_DOUBLE_FEED;
  EXPECT_EQ(core.ScanOperation(ZQSCAN_START, &info, 16, buffer, &written),
            static_cast<HRESULT>(ZQHARDWARE_STATUS_DOUBLE_FEED));
  EXPECT_EQ(written, 0);
  EXPECT_EQ(static_cast<uint32_t>(core.LastStatus()), ZQHARDWARE_STATUS_DOUBLE_FEED);
  EXPECT_EQ(core.ScanOperation(ZQSCAN_FINISH, &info, 16, buffer, &written),
            static_cast<HRESULT>(ZQHARDWARE_STATUS_FAIL));
}

// Configure's geometry: what the core writes, then what the wrapper makes of it (lines of a
// multiple of four bytes, at least the source's one inch).
TEST(ConfigureGeometry, WidthBytes) {
  struct Case {
    _ZQSCANMODE dataType;
    ZQSCANWINDOW window;
    int32_t pixels, lines, bits, widthBytes;
  } cases[] = {
      {ZQSCANMODE_BITONAL, {0, 0, 100, 50}, 100, 50, 1, 13},
      {ZQSCANMODE_BITONAL, {10, 0, 18, 50}, 8, 50, 1, 1},
      {ZQSCANMODE_GREY, {0, 0, 101, 50}, 101, 50, 8, 101},
      {ZQSCANMODE_COLOR, {100, 200, 2650, 3500}, 2550, 3300, 24, 7650},
      {ZQSCANMODE_COLOR48, {0, 0, 100, 10}, 100, 10, 1, 13},
      {ZQSCANMODE_DSDATA, {0, 0, 3, 1}, 3, 1, 1, 1},
  };
  for (const Case& c : cases) {
    ZQSCANINFO info = ZqScanInfoDefaults();
    info.DataType = c.dataType;
    info.Window = c.window;
    ConfigureGeometry(&info);
    EXPECT_EQ(info.WidthPixels, c.pixels);
    EXPECT_EQ(info.Lines, c.lines);
    EXPECT_EQ(info.PixelBits, c.bits);
    EXPECT_EQ(info.WidthBytes, c.widthBytes) << c.window.xExtent;
  }
}

class ScannerConfigureTest : public ScannerTest {};

TEST_F(ScannerConfigureTest, TheWrapperRoundsLinesToFourBytes) {
  struct Case {
    _ZQSCANMODE dataType;
    int32_t width;
    int32_t widthBytes;
  } cases[] = {
      {ZQSCANMODE_BITONAL, 1000, 128},  // 125 bytes
      {ZQSCANMODE_GREY, 301, 304},
      {ZQSCANMODE_COLOR, 301, 904},   // 903 bytes
      {ZQSCANMODE_COLOR, 50, 300},    // below the source's inch: widened to 100 pixels
  };
  UnitSetup unit;
  unit.dataSourcePath = std::filesystem::path(RZD_TWAINDS_LIBRARY).u16string();
  InstallUnit(unit);
  LONG found = 0;
  ASSERT_EQ(scanner_->IsInstalled(&found), S_OK);
  _ZQSTATUS status = ZQHARDWARE_STATUS_FAIL;
  ASSERT_EQ(scanner_->ScanCommand(ZQSCAN_INITIALIZE, &info_, &status), S_OK);
  ASSERT_EQ(status, ZQHARDWARE_STATUS_OK);
  for (const Case& c : cases) {
    ZQSCANINFO info = ZqScanInfoDefaults();
    info.Xresolution = info.Yresolution = 100;
    info.DataType = c.dataType;
    info.Window = {0, 0, c.width, 200};
    LONG written = -1;
    ASSERT_EQ(scanner_->Scan(ZQSCAN_CONFIG, &info, 0, nullptr, &written), S_OK);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(info.WidthBytes, c.widthBytes) << c.width;
  }
  ASSERT_EQ(scanner_->ScanCommand(ZQSCAN_UNINITIALIZE, &info_, &status), S_OK);
  EXPECT_EQ(status, ZQHARDWARE_STATUS_OK);
}

// The pictures of GetPresentation, written as PNG files.
void WriteIcon(const Icon& icon, const std::string& name) {
  std::vector<gdi::Rgb> pixels;
  for (int32_t y = 0; y < icon.Height(); ++y) {
    for (int32_t x = 0; x < icon.Width(); ++x) {
      const Icon::Pixel p = icon.At(x, y);
      pixels.push_back(p.a == 0 ? gdi::Rgb{255, 255, 255} : gdi::Rgb{p.r, p.g, p.b});
    }
  }
  EXPECT_TRUE(rzd::test::WritePng(rzd::test::PicturesDir() / name, icon.Width(), icon.Height(), pixels));
}

TEST_F(ScannerTest, Presentations) {
  struct Case {
    ULONG index;
    int32_t side;
    const char* file;
  } cases[] = {{0, 36, "apphal_presentation_0.png"}, {1, 36, "apphal_presentation_1.png"},
               {2, 48, "apphal_presentation_2.png"}};
  std::vector<std::vector<Icon::Pixel>> seen;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    IPicture* picture = nullptr;
    ASSERT_EQ(scanner_->GetPresentation(c.index, &picture), S_OK);
    ASSERT_NE(picture, nullptr);
    int16_t type = 0;
    ASSERT_EQ(picture->get_Type(&type), S_OK);
    EXPECT_EQ(type, PICTYPE_ICON);
    OLE_XSIZE_HIMETRIC width = 0;
    ASSERT_EQ(picture->get_Width(&width), S_OK);
    EXPECT_EQ(width, c.side * 2540 / 96);
    OLE_HANDLE handle = 0;
    ASSERT_EQ(picture->get_Handle(&handle), S_OK);
    const Icon* icon = IconFromHandle(handle);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->Width(), c.side);
    EXPECT_EQ(icon->Height(), c.side);
    EXPECT_EQ(icon->At(0, 0).a, 0);  // transparent around the scanner
    size_t opaque = 0;
    std::vector<Icon::Pixel> pixels;
    for (int32_t y = 0; y < c.side; ++y) {
      for (int32_t x = 0; x < c.side; ++x) {
        opaque += icon->At(x, y).a != 0 ? 1 : 0;
        pixels.push_back(icon->At(x, y));
      }
    }
    EXPECT_GT(opaque, static_cast<size_t>(c.side * c.side / 4));
    seen.push_back(pixels);
    WriteIcon(*icon, c.file);
    picture->Release();
  }
  EXPECT_NE(seen[0], seen[1]);
  IPicture* picture = nullptr;
  EXPECT_EQ(scanner_->GetPresentation(3, &picture), E_INVALIDARG);
  EXPECT_EQ(scanner_->GetPresentation(0, nullptr), E_POINTER);
}

}  // namespace
}  // namespace rzd::apphal::test
