// The HAL control codes against the fake driver: which driver code each one calls and what it
// answers, the argument checks, and the faults mended (a VARIANT that owns memory as a 4-byte
// output, bad block sizes, unbounded output sizes, the help extractor's paths, null arrays).
#include "hal/counters.h"
#include "hal/page_meta.h"
#include "hal/driver_code_table.h"
#include "client_buffers.h"
#include "scanner_fixture.h"
#include "scripted_blocks.h"

#include "foundation/hwprops.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/com.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "rasterblocks/block_reader.h"
#include "scanhost/lcd/scanner_log.h"
#include "testsupport/log_capture.h"
#include "testsupport/file_bytes.h"

#include <cstring>
#include <fstream>
#include <map>

namespace rzd::scanhost::test {
namespace {

constexpr LONG kConnect = 14;

class ControlCodeTest : public ScannerTest {
 protected:
  void SetUp() override {
    ScannerTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(RegisterRasterBlocks());
    scanner_ = MakeScanner();
    ASSERT_EQ(Code(*scanner_, kConnect), S_OK);
  }
  HRESULT Call(LONG code, VARIANT in, VARIANT* out, const char16_t* text = nullptr, Bstr* answer = nullptr) {
    Bstr local;
    Bstr input(text != nullptr ? std::u16string_view(text) : std::u16string_view());
    return scanner_->raw_Control(code, text != nullptr ? input.Get() : nullptr, (answer != nullptr ? answer : &local)->Out(),
                                 &in, out);
  }
  static VARIANT Value(VARTYPE type, uint64_t value = 0) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    v.ullVal = value;
    return v;
  }
  static VARIANT Bytes(uint32_t count) {
    VARIANT v = Value(VT_ARRAY | VT_UI1);
    v.parray = SafeArrayCreateVector(VT_UI1, 0, count);
    return v;
  }
  ComInit com_;  // the components are created as on the service's COM threads
  std::shared_ptr<CRZDHALScanner> scanner_;
};

// The error document of the fake driver for a result.
std::u16string FakeDocument(uint32_t result) {
  return FormatW(u"<Result><ErrorCode>%d</ErrorCode><Description>fake driver</Description></Result>",
                 static_cast<int32_t>(result));
}

// The error text the service logs for a refusal of HAL code `hal` with driver result `result`:
// "NULL" where the driver writes no document (no unit takes part in code 0's device list; the
// hardware reset is refused before any), else the fake's document.
std::u16string DriverDocument(LONG hal, uint32_t result) {
  return hal == 0 || hal == 10 ? u"NULL" : FakeDocument(result);
}

TEST_F(ControlCodeTest, EachDriverCodeCallsItsDriverCodeWithItsArgumentsAndLogsItsAnswer) {
  // The fake answers a BSTR result with answer.xml and an output buffer with 42.
  std::ofstream(FakeDriverFolder() / "answer.xml") << "<Answer/>";
  std::ofstream(FakeDriverFolder() / "info.xml") << "<Info/>";
  constexpr char16_t kDone[] = u"<Result><ErrorCode>0</ErrorCode><Description>fake driver</Description></Result>";
  constexpr char kVariant[] = "020000000000000007000000000000000000000000000000";  // VT_I2 7, all 24 bytes
  const struct {
    LONG hal;
    uint32_t driver;
    VARTYPE in;
    HRESULT refused;      // the answer when the driver reports the unit in use by another application
    bool text;            // strXMLIn is passed
    bool bstr;            // a BSTR result slot is passed
    const char* bytes;    // the input buffer (hex), nullptr for none
    bool number;          // a 4-byte output buffer is passed
    std::u16string line;  // the information line of a success, empty for none
    bool failureLine;     // a refusal is logged
  } kRows[] = {
      {0, 0x20000003, VT_EMPTY, 12, false, true, nullptr, false, u"RZDHAL_CC_GET_SCANNERS: \"<Answer/>\"", true},
      {3, 0x88000008, VT_EMPTY, 12, false, false, nullptr, true, u"RZDHAL_CC_STATUS: \"42\"", true},
      {4, 0xA0000009, VT_EMPTY, 12, false, true, nullptr, false, u"RZDHAL_CC_INFO: \"<Info/>\"", true},
      {5, 0xC800000A, VT_EMPTY, 12, true, false, nullptr, true, u"RZDHAL_CC_POLL_SENSOR: \"42\"", true},
      {6, 0xA000000B, VT_EMPTY, 12, false, true, nullptr, false, u"RZDHAL_CC_GET_SUPPORTED: \"<Answer/>\"", true},
      {7, 0xA000000C, VT_EMPTY, 12, false, true, nullptr, false, u"RZDHAL_CC_GET_CURRENT: \"<Answer/>\"", true},
      {8, 0xC000000D, VT_EMPTY, 170, true, true, nullptr, false, u"RZDHAL_CC_SET_CURRENT: \"\"", true},
      {9, 0xA000000E, VT_EMPTY, 12, false, true, nullptr, false, u"RZDHAL_CC_RESET_SETTINGS: \"<Answer/>\"", true},
      {10, 0x8000000F, VT_EMPTY, 12, false, false, nullptr, false, u"", true},
      {11, 0x80000010, VT_EMPTY, 12, false, false, nullptr, false, u"RZDHAL_CC_CANCEL_OPERATION", true},
      {12, 0xA0000011, VT_EMPTY, 12, false, true, nullptr, false, u"RZDHAL_CC_GET_FIRMWARE_VERSION: \"<Answer/>\"", true},
      {13, 0xD0000012, VT_EMPTY, 12, true, true, nullptr, false, u"", true},
      {18, 0xD0000016, VT_UI4, 12, true, true, "07000000", false, u"RZDHAL_CC_CONTROL: \"\"", false},
      {19, 0xD0000017, VT_UI4, 12, true, true, "07000000", false, u"RZDHAL_CC_RESET_SCANNER_COUNTER: \"\"", true},
      {22, 0x8000001E, VT_EMPTY, 12, false, false, nullptr, false, u"", true},
      {23, 0xA000001A, VT_EMPTY, 12, false, true, nullptr, false, u"RZDHAL_CC_START_CALIBRATION: \"<Answer/>\"", true},
      {24, 0xB8000019, VT_UI4, 12, false, true, "07000000", true, u"RZDHAL_CC_GET_CALIBRATION_STATUS: \"<Answer/>\"", true},
      {25, 0xA0000020, VT_EMPTY, 12, false, true, nullptr, false, u"RZDHAL_CC_START_CLEANING: \"<Answer/>\"", true},
      {26, 0xB800001F, VT_UI4, 12, false, true, "07000000", true, u"RZDHAL_CC_GET_CLEANING_STATUS: \"<Answer/>\"", true},
      {27, 0x80000021, VT_EMPTY, 12, false, false, nullptr, false, u"RZDHAL_CC_LCD_SPLASH: \"" + std::u16string(kDone) + u"\"",
       true},
      {28, 0x90000022, VT_I8, 12, false, false, "0700000000000000", false,
       u"RZDHAL_CC_SET_LCD_COLORS: \"" + std::u16string(kDone) + u"\"", true},
      {29, 0x90000023, VT_ARRAY | VT_UI1, 12, false, false, "01020304", false,
       u"RZDHAL_CC_WRITE_TO_LCD: \"" + std::u16string(kDone) + u"\"", true},
      {31, 0xC8000013, VT_EMPTY, 12, true, false, nullptr, true, u"RZDHAL_CC_POLL_BUTTON: \"42\"", true},
      {32, 0xA000001B, VT_UI4, 12, false, true, "07000000", false, u"RZDHAL_CC_POLL_BUTTONS: \"<Answer/>\"", true},
      {37, 0x90000026, VT_UI4, 12, false, false, "07000000", false, u"RZDHAL_CC_CONTROL: \"\"", false},
      {38, 0x80000027, VT_EMPTY, 12, true, true, nullptr, false, u"RZDHAL_CC_CONTROL: \"\"", false},
      {39, 0xA0000028, VT_EMPTY, 12, false, true, nullptr, false, u"RZDHAL_CC_GET_DFD_INFO: \"<Answer/>\"", true},
      {40, 0x90000029, VT_I2, 170, true, true, kVariant, false, u"RZDHAL_CC_SET_TRAY_HEIGHT: \"\"", true},
  };
  // What the driver refuses itself: the hardware reset, and the firmware write without the input
  // buffer its code requires (the service passes none).
  const std::map<LONG, uint32_t> kRefusedByTheDriver = {{10, 0x800A}, {13, 0x8005}};
  rzd::test::LogCapture log(rzd::test::LogCapture::WithData({std::u16string(kScannerObjectFeature)}));
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.hal);
    log.Clear();
    VARIANT out = Value((row.hal == 5 || row.hal == 31) ? VT_I4 : VT_EMPTY);
    VARIANT in = row.in == (VT_ARRAY | VT_UI1) ? Bytes(4) : Value(row.in, 7);
    if (row.in == (VT_ARRAY | VT_UI1)) {
      for (uint8_t i = 0; i < 4; ++i) static_cast<uint8_t*>(in.parray->pvData)[i] = static_cast<uint8_t>(i + 1);
    }
    Bstr answer;
    const auto refusedByTheDriver = kRefusedByTheDriver.find(row.hal);
    if (refusedByTheDriver == kRefusedByTheDriver.end()) {
      EXPECT_EQ(Call(row.hal, in, &out, u"<Scanner/>", &answer), S_OK);
      EXPECT_EQ(log.Count(4, row.line), row.line.empty() ? 0u : 1u) << log.All();
      if (row.number) {
        EXPECT_EQ(out.ulVal, 42u);
      }
    } else {
      EXPECT_EQ(Call(row.hal, in, &out, u"<Scanner/>", &answer), 12);
      EXPECT_EQ(log.Count(1, FindDriverCode(static_cast<uint32_t>(row.hal))->name + std::u16string(u" Failed: \"") +
                                 DriverDocument(row.hal, refusedByTheDriver->second) + u"\""),
                1u)
          << log.All();
    }
    const std::vector<FakeCall> calls = FakeCallsWithArguments(row.driver);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].handle, row.hal == 0 ? "0" : "h1") << "code 0 needs no unit";
    EXPECT_EQ(calls[0].text, row.text ? std::optional<std::string>("<Scanner/>") : std::nullopt);
    EXPECT_EQ(calls[0].bstrSlot, row.bstr);
    EXPECT_EQ(calls[0].bytes, row.bytes != nullptr ? row.bytes : "-");
    EXPECT_EQ(calls[0].inSize, row.bytes != nullptr ? std::optional<uint32_t>(std::strlen(row.bytes) / 2) : std::nullopt);
    EXPECT_EQ(calls[0].outSize, row.number ? std::optional<uint32_t>(4) : std::nullopt);

    // The driver's refusal: 12, or 170 where the unit in use by another application means busy;
    // its document in the error line, and (code 5 only) in *strXMLOut. A call the driver refuses
    // itself (above) is refused the same way again: its refusal comes before the code's own.
    log.Clear();
    answer.Reset();
    FakeFail(row.driver, 0x8008, 1);
    EXPECT_EQ(Call(row.hal, in, &out, u"<Scanner/>", &answer), row.refused);
    EXPECT_EQ(FakeCalls(row.driver).size(), 2u);
    const uint32_t refusal = refusedByTheDriver != kRefusedByTheDriver.end() ? refusedByTheDriver->second : 0x8008;
    const std::u16string failure = FindDriverCode(static_cast<uint32_t>(row.hal))->name + std::u16string(u" Failed: \"") +
                                   DriverDocument(row.hal, refusal) + u"\"";
    EXPECT_EQ(log.Count(1, failure), row.failureLine ? 1u : 0u) << log.All();
    if (!row.failureLine) {
      EXPECT_FALSE(log.Contains(u"Failed")) << log.All();
    }
    if (row.hal == 5) {
      EXPECT_EQ(answer.View(), FakeDocument(refusal)) << "code 5 answers the driver's error document";
    } else {
      EXPECT_FALSE(answer) << "only code 5 copies the error document";
    }
    VariantClear(&in);
  }
  // Only the low byte selects; a negative code is refused; 1, 2 and 41-255 do nothing.
  VARIANT out = Value(VT_UI4);
  EXPECT_EQ(Call(0x103, Value(VT_EMPTY), &out), S_OK);
  EXPECT_EQ(FakeCalls(0x88000008).size(), 3u);
  EXPECT_EQ(Call(static_cast<LONG>(0x80000003), Value(VT_EMPTY), &out), E_NOTIMPL);
  for (LONG nothing : {1, 2, 0x29, 255}) EXPECT_EQ(Call(nothing, Value(VT_EMPTY), &out), S_OK) << nothing;
  EXPECT_EQ(scanner_->raw_Control(3, nullptr, nullptr, &out, &out), E_FAIL) << "a null pointer";
}

TEST_F(ControlCodeTest, ArgumentTypesAreCheckedBeforeAnyDriverCall) {
  const struct {
    LONG hal;
    VARTYPE in;
    VARTYPE out;
    HRESULT answer;
    uint32_t driver;
  } kCases[] = {
      // Values in must be VT_UI4 (28: VT_I8).
      {18, VT_I4, VT_EMPTY, E_FAIL, 0xD0000016}, {19, VT_I4, VT_EMPTY, E_FAIL, 0xD0000017},
      {24, VT_EMPTY, VT_UI4, E_FAIL, 0xB8000019}, {37, VT_I4, VT_EMPTY, E_FAIL, 0x90000026},
      {28, VT_UI4, VT_EMPTY, E_FAIL, 0x90000022},
      // 5 and 31 want a VT_I4 or VT_UI4 out.
      {5, VT_EMPTY, VT_EMPTY, E_INVALIDARG, 0xC800000A}, {31, VT_EMPTY, VT_I8, E_INVALIDARG, 0xC8000013},
      // 3, 24 and 26 write 4 bytes into the out VARIANT: never into one that owns memory.
      {3, VT_EMPTY, VT_BSTR, E_INVALIDARG, 0x88000008}, {24, VT_UI4, VT_UNKNOWN, E_INVALIDARG, 0xB8000019},
      {26, VT_UI4, VT_ARRAY | VT_UI1, E_INVALIDARG, 0xB800001F},
      // A byte array must be one.
      {29, VT_UI4, VT_EMPTY, E_FAIL, 0x90000023}, {29, VT_ARRAY | VT_UI1, VT_EMPTY, E_FAIL, 0x90000023},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.hal);
    VARIANT out = Value(c.out);  // a null pointer of any type: nothing to free
    EXPECT_EQ(Call(c.hal, Value(c.in), &out), c.answer);
    EXPECT_TRUE(FakeCalls(c.driver).empty());
  }
}

TEST_F(ControlCodeTest, StatusOfAnUnopenedUnitIsZeroAndAFailure) {
  ASSERT_EQ(Code(*scanner_, 15), S_OK);
  VARIANT out = Value(VT_UI4, 99);
  EXPECT_EQ(Call(3, Value(VT_EMPTY), &out), E_FAIL);
  EXPECT_EQ(out.ulVal, 0u);
  EXPECT_TRUE(FakeCalls(0x88000008).empty());
}

TEST_F(ControlCodeTest, ASecondConnectKeepsTheFirstHandle) {
  void* handle = scanner_->DriverHandle();
  EXPECT_EQ(Code(*scanner_, kConnect), S_OK);
  EXPECT_EQ(scanner_->DriverHandle(), handle);
  EXPECT_EQ(FakeCalls(kOpenCode).size(), 1u);
}

TEST_F(ControlCodeTest, RasterBlocksNeedASensibleBlockSizeAndBoundedMemory) {
  const struct {
    const char16_t* allocate;
    HRESULT answer;
  } kCases[] = {
      {u"<Allocate><MemSize>1000000</MemSize><BlockSize>65536</BlockSize></Allocate>", S_OK},
      {u"<Allocate><MemSize>1000000</MemSize></Allocate>", S_OK},  // no sizes: nothing allocated
      {u"<Allocate><MemSize>1000000</MemSize><BlockSize>0</BlockSize></Allocate>", E_INVALIDARG},
      {u"<Allocate><MemSize>1000000</MemSize><BlockSize>-5</BlockSize></Allocate>", E_INVALIDARG},
      {u"<Allocate><MemSize>1000</MemSize><BlockSize>4096</BlockSize></Allocate>", E_INVALIDARG},
      {u"<Allocate><MemSize>2000000000</MemSize><BlockSize>65536</BlockSize></Allocate>", E_INVALIDARG},
      {u"<Allocate>", E_INVALIDARG},
  };
  for (const auto& c : kCases) {
    VARIANT out = Value(VT_EMPTY);
    Bstr answer;
    EXPECT_EQ(Call(16, Value(VT_EMPTY), &out, c.allocate, &answer), c.answer) << ToUtf8(c.allocate);
    if (c.answer == S_OK && std::u16string_view(c.allocate).find(u"BlockSize") != std::u16string_view::npos) {
      // 15 blocks of 65536 bytes, in a buffer other processes open by its name.
      ASSERT_GT(answer.View().size(), 30u);
      EXPECT_EQ(answer.View().substr(0, 14), u"<Buffer><Name>");
      const std::u16string name(answer.View().substr(14, answer.View().size() - 14 - 16));
      ObjectResult<FileMapping> buffer = FileMapping::Open(std::u16string_view(name));
      ASSERT_TRUE(buffer) << ToUtf8(answer.View());
      EXPECT_GE(buffer.handle.Size(), 15u * 65536u);
      EXPECT_LT(buffer.handle.Size(), 16u * 65536u);
    }
  }
  VARIANT out = Value(VT_EMPTY);
  EXPECT_EQ(Call(17, Value(VT_EMPTY), &out), S_OK);
}

TEST_F(ControlCodeTest, SharedBuffersOpenOnceByNameAndCloseByName) {
  ObjectResult<FileMapping> made = FileMapping::Create(std::u16string_view(u"Global\\road-test"), 4096);
  ASSERT_TRUE(made);
  VARIANT out = Value(VT_EMPTY);
  const char16_t* open = u"<Parameters><MMFName>Global\\road-test</MMFName><ReqSize>4096</ReqSize></Parameters>";
  EXPECT_EQ(Call(20, Value(VT_EMPTY), &out, open), S_OK);
  EXPECT_EQ(Call(20, Value(VT_EMPTY), &out, open), MakeHr(0x80070050));
  EXPECT_EQ(Call(20, Value(VT_EMPTY), &out, u"<Parameters><MMFName>Global\\road-test</MMFName></Parameters>"), E_INVALIDARG);
  EXPECT_EQ(Call(20, Value(VT_EMPTY), &out, u"<Parameters><MMFName>Global\\absent</MMFName><ReqSize>1</ReqSize></Parameters>"),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Call(21, Value(VT_EMPTY), &out, u"<Parameters><MMFName>Global\\never</MMFName></Parameters>"), MakeHr(0x80070002));
  EXPECT_EQ(Call(21, Value(VT_EMPTY), &out, open), S_OK);
  EXPECT_EQ(Call(21, Value(VT_EMPTY), &out, open), MakeHr(0x80070002));
  EXPECT_EQ(Call(21, Value(VT_EMPTY), &out, u"<Parameters"), E_INVALIDARG);
}

TEST_F(ControlCodeTest, PassThroughChecksItsArrayNumbersAndOutputSize) {
  VARIANT out = Value(VT_EMPTY);
  VARIANT bytes = Bytes(4);
  EXPECT_EQ(Call(30, Value(VT_EMPTY), &out, u"0x00000001 0x00000000 0x00000010 "), E_FAIL) << "no array";
  VARIANT nullData = Value(VT_ARRAY | VT_UI1);
  EXPECT_EQ(Call(30, nullData, &out, u"0x00000001 0x00000000 0x00000010 "), E_FAIL) << "a null array";
  EXPECT_EQ(Call(30, bytes, &out, u"00000001 00000000 00000010 "), 12) << "numbers without 0x";
  EXPECT_EQ(Call(30, bytes, &out, u"0x00000001 0x00000000 0x40000000 "), E_INVALIDARG) << "an output of 1 GiB";
  EXPECT_TRUE(FakeCalls(PassThroughDriverCode()).empty());
  EXPECT_EQ(Call(30, bytes, &out, u"0x00000001 0x00000000 0x00000010 "), S_OK);
  EXPECT_EQ(out.vt, VT_ARRAY | VT_UI1);
  VariantClear(&out);
  VariantClear(&bytes);
}

TEST_F(ControlCodeTest, TheHelpExtractorTakesOnlyPathsInsideTheSystem) {
  const std::string root = SystemRoot().string();
  const struct {
    std::string src;
    std::string dst;
    HRESULT answer;
  } kCases[] = {
      {root + "/help/a.chm", root + "/Windows/Help", S_OK},
      {root + "/help/a.chm", "/etc/cron.d", E_INVALIDARG},
      {root + "/help/a.chm", root + "/../elsewhere", E_INVALIDARG},
      {root + "/help/a.chm", "Windows/Help", E_INVALIDARG},
      {"/etc/shadow", root + "/Windows/Help", E_INVALIDARG},
  };
  for (const auto& c : kCases) {
    VARIANT out = Value(VT_EMPTY);
    const std::u16string parameters =
        u"<Parameters><Src>" + FromUtf8(c.src) + u"</Src><Dst>" + FromUtf8(c.dst) + u"</Dst></Parameters>";
    EXPECT_EQ(Call(36, Value(VT_EMPTY), &out, parameters.c_str()), c.answer) << c.dst;
  }
  // A path that is no valid UTF-16 is still only a path (no exception leaves the call).
  VARIANT out = Value(VT_EMPTY);
  const std::u16string broken = u"<Parameters><Src>" + FromUtf8(root) + u"/a</Src><Dst>" + FromUtf8(root) +
                                u"/\xD800x</Dst></Parameters>";
  EXPECT_EQ(Call(36, Value(VT_EMPTY), &out, broken.c_str()), S_OK);
}

TEST(UnitCountersTest, EachCounterIsReadFromItsOwnElement) {
  const UnitCounters counters = ReadUnitCounters(
      u"<RZDScanner><SeparationRollerScanCount>11</SeparationRollerScanCount><ClearRollerScanCount> -2</ClearRollerScanCount>"
      u"<RollerScanCount>  33x</RollerScanCount><ADFCount>+44</ADFCount>"
      u"<SerialNumber><![CDATA[QM48TZ000001]]></SerialNumber></RZDScanner>");
  EXPECT_EQ(counters.values[1], 11u);
  EXPECT_EQ(counters.values[2], 33u);
  EXPECT_EQ(counters.values[3], 44u);
  EXPECT_EQ(counters.values[4], static_cast<uint32_t>(-2));
  EXPECT_EQ(counters.values[0], 0u) << "a counter the document lacks";
  EXPECT_EQ(counters.serial, u"QM48TZ000001");
  EXPECT_EQ(ReadUnitCounters(u"<RZDScanner/>").serial, u"");
  EXPECT_EQ(CountersKeyPath(u"QM48TZ000001"), u"Software\\Corvanite\\M48tz\\Info\\QM48TZ000001");
}

TEST(MetaRecordTest, TheRecordSaysWhereItsTextAndDataLieAndWhichSide) {
  const std::vector<uint8_t> record = MakeMetaRecord(u"abc", {1, 2}, 1);
  uint64_t fields[5];
  std::memcpy(fields, record.data(), sizeof fields);
  EXPECT_EQ(fields[0], 40u);
  EXPECT_EQ(fields[1], 8u) << "2n + 2";
  EXPECT_EQ(fields[2], 48u) << "2n + 42";
  EXPECT_EQ(fields[3], 2u);
  EXPECT_EQ(fields[4], 1u);
  EXPECT_EQ(record.size(), 50u);
}

TEST_F(ControlCodeTest, AReadNeedsALockFirstAndThenALevelFromOneToSix) {
  Bstr raster(u"Global\\none");
  Bstr meta(u"None");
  EXPECT_EQ(scanner_->raw_Read(raster.Get(), meta.Get(), 0), MakeHr(0xE0010001)) << "not locked comes first";
  ASSERT_NO_FATAL_FAILURE(LockAs(*scanner_, CurrentProcessId()));
  EXPECT_EQ(scanner_->raw_Read(raster.Get(), meta.Get(), 0), MakeHr(0xE0010007));
  EXPECT_EQ(scanner_->raw_Read(raster.Get(), meta.Get(), 7), MakeHr(0xE0010007));
  EXPECT_TRUE(FakeJournal().back().rfind("Read", 0) != 0) << "no driver read";
}

// The client's side of a Read: a raster buffer of two blocks read in this process, and a
// metadata buffer of a given size.
class ReadTest : public ControlCodeTest {
 protected:
  void SetUp() override {
    ControlCodeTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(LockAs(*scanner_, CurrentProcessId()));
    ASSERT_NO_FATAL_FAILURE(AllocateClientRaster(4096, 4, &blocks_, &reader_, &rasterName_));
  }
  Bstr MetaBuffer(ULONGLONG size) {
    ComPtr<IVBuffer> meta;
    Bstr name;
    CreateClientMeta(size, &meta, &name);
    metas_.push_back(meta);
    return name;
  }
  // The page the fake driver delivers: `bytes` bytes of 0xAB and a page document (simplex back
  // unless said otherwise) of 50 bytes a line.
  static void WritePage(uint32_t bytes, bool fromStream, const char* scanMode = "Simplex", const char* side = "Back") {
    std::ofstream page(FakeDriverFolder() / "page.xml");
    page << bytes << "\n"
         << "<Result><Address><Side>" << side << "</Side><ScanMode>" << scanMode
         << "</ScanMode><Page>1</Page><NumberOfLines>2</NumberOfLines>"
         << "<ImageFromTheStream>" << (fromStream ? 1 : 0) << "</ImageFromTheStream></Address>"
         << "<Format><Compression>None</Compression><Pixels>SingleChannel</Pixels><LineOrder>TopDown</LineOrder>"
         << "<PixelOrder>LeftRight</PixelOrder><PixelGender>BlackIsZero</PixelGender><BitOrder>MSBFirst</BitOrder>"
         << "<BytesPerLine>50</BytesPerLine><BitsPerPixel>8</BitsPerPixel></Format>"
         << "<ImageDimensions><Width>50</Width><Length>2</Length></ImageDimensions></Result>";
  }
  // The first finished block's fill and boundary.
  std::pair<ULONGLONG, LONG> FirstBlock() {
    RasterBlockInfo info;
    const BYTE* data = nullptr;
    if (reader_->WaitBlock(5000, &info, &data) != S_OK) return {0, 0};
    EXPECT_EQ(data[0], 0xAB);
    reader_->ReleaseBlock();
    return {info.fill, info.boundary};
  }

  ComPtr<IRasterBlocks> blocks_;
  ComPtr<IRasterBlockReader> reader_;
  Bstr rasterName_;
  std::vector<ComPtr<IVBuffer>> metas_;
};

TEST_F(ReadTest, TheDriverWritesIntoTheBlockAndTheRecordDescribesThePage) {
  WritePage(100, false);
  Bstr meta = MetaBuffer(4096);
  ASSERT_EQ(scanner_->raw_Read(rasterName_.Get(), meta.Get(), 6), S_OK);
  EXPECT_EQ(FirstBlock(), std::make_pair(ULONGLONG{100}, LONG{6}));
  uint64_t fields[5] = {};
  void* view = nullptr;
  ASSERT_EQ(metas_.back()->Map(0, 40, &view), S_OK);
  std::memcpy(fields, view, sizeof fields);
  metas_.back()->Unmap(view);
  EXPECT_EQ(fields[0], 40u);
  EXPECT_EQ(fields[3], 0u) << "no background data";
  EXPECT_EQ(fields[4], 1u) << "simplex back";
}

TEST_F(ReadTest, ARecordLargerThanItsBufferIsNotWrittenAndTheImageDataStay) {
  WritePage(100, false);
  Bstr meta = MetaBuffer(64);
  EXPECT_EQ(scanner_->raw_Read(rasterName_.Get(), meta.Get(), 6), HRESULT_FROM_WIN32(122));
  EXPECT_EQ(FirstBlock().first, 100u);
  uint64_t textOffset = 1;
  void* view = nullptr;
  ASSERT_EQ(metas_.back()->Map(0, 8, &view), S_OK);
  std::memcpy(&textOffset, view, 8);
  metas_.back()->Unmap(view);
  EXPECT_EQ(textOffset, 0u) << "nothing written";
}

TEST_F(ReadTest, AMetadataBufferThatCannotBeOpenedEndsTheReadBeforeAnyDriverRead) {
  WritePage(100, false);
  Bstr missing(u"Global\\no-such-buffer");
  EXPECT_TRUE(FAILED(scanner_->raw_Read(rasterName_.Get(), missing.Get(), 6)));
  for (const std::string& line : FakeJournal()) EXPECT_NE(line.rfind("Read", 0), 0u) << line;
}

TEST_F(ReadTest, NoBackgroundDataIsNotAFailedScan) {
  const struct {
    std::optional<uint32_t> failure;  // the driver's answer to the background data's first call
  } kCases[] = {{std::nullopt}, {0x8007}};
  for (const auto& c : kCases) {
    if (c.failure) FakeFail(0xA000001D, *c.failure);
    WritePage(100, true);
    Bstr meta = MetaBuffer(4096);
    EXPECT_EQ(scanner_->raw_Read(rasterName_.Get(), meta.Get(), 6), S_OK);
    EXPECT_EQ(FirstBlock().first, 100u);
  }
  EXPECT_EQ(FakeCalls(0xA000001D).size(), 2u) << "asked once per Read";
}

// The driver answers 77 (no data this time, read again): the read goes on, or stops, by the level
// the driver returned with it.
TEST_F(ReadTest, After77TheReadGoesOnOrStopsByTheLevelTheDriverReturned) {
  WritePage(100, false);
  Bstr meta = MetaBuffer(4096);
  const auto reads = [] {
    size_t count = 0;
    for (const std::string& line : FakeJournal()) count += line.rfind("Read ", 0) == 0 ? 1 : 0;
    return count;
  };
  // 77 at the page's end (3), the level asked for: nothing more is read, and the block says 3.
  FakeRead(77, 3, 1);
  EXPECT_EQ(scanner_->raw_Read(rasterName_.Get(), meta.Get(), 3), S_OK);
  EXPECT_EQ(reads(), 1u);
  RasterBlockInfo info;
  const BYTE* data = nullptr;
  ASSERT_EQ(reader_->WaitBlock(5000, &info, &data), S_OK);
  EXPECT_EQ(info.fill, 0u);
  EXPECT_EQ(info.boundary, 3);
  EXPECT_EQ(info.error, 0) << "77 is no failure";
  reader_->ReleaseBlock();

  // 77 inside a side (1): the next block is read, up to the page's end.
  FakeRead(77, 1, 1);
  EXPECT_EQ(scanner_->raw_Read(rasterName_.Get(), meta.Get(), 3), S_OK);
  EXPECT_EQ(reads(), 3u);
  ULONGLONG fill = 0;
  LONG boundary = 0;
  while (reader_->WaitBlock(1000, &info, &data) == S_OK) {
    fill = info.fill;
    boundary = info.boundary;
    reader_->ReleaseBlock();
  }
  EXPECT_EQ(fill, 100u);
  EXPECT_EQ(boundary, 6);
}

// A duplex read tells the raster-block manager its line size after each block that did not end
// the read: two lines, at least 64 bytes, and from the second on the manager's pad added.
TEST_F(ReadTest, ADuplexReadSetsTheLineSizeOfTwoLinesAndThenAddsThePad) {
  ScriptedBlocksClass scripted(RZD_RASTERBLOCKS_LIBRARY);
  scripted.Script([](BlocksScript& s) { s.pad = 20; });
  WritePage(100, false, "Duplex", "Front");
  FakeRead(0, 1, 2);
  FakeRead(0, 3, 1);
  Bstr meta = MetaBuffer(1 << 16);
  EXPECT_EQ(scanner_->raw_Read(rasterName_.Get(), meta.Get(), 3), S_OK);
  EXPECT_EQ(scripted.LineSizes(), (std::vector<LONG>{100, 120}));

  // A simplex read sets none.
  WritePage(100, false, "Simplex", "Front");
  FakeRead(0, 1, 1);
  FakeRead(0, 3, 1);
  while (true) {
    RasterBlockInfo info;
    const BYTE* data = nullptr;
    if (reader_->WaitBlock(100, &info, &data) != S_OK) break;
    reader_->ReleaseBlock();
  }
  EXPECT_EQ(scanner_->raw_Read(rasterName_.Get(), meta.Get(), 3), S_OK);
  EXPECT_EQ(scripted.LineSizes(), (std::vector<LONG>{100, 120}));
}

// Code 16 without the manager's buffer answers the error of the step that failed, E_FAIL when
// none failed with one.
TEST_F(ControlCodeTest, RasterBlocksWithoutTheirBufferAnswerTheErrorThatCameWithIt) {
  ScriptedBlocksClass scripted(RZD_RASTERBLOCKS_LIBRARY);
  const char16_t* allocate = u"<Allocate><MemSize>1000000</MemSize><BlockSize>65536</BlockSize></Allocate>";
  rzd::test::LogCapture log(rzd::test::LogCapture::WithData({std::u16string(kScannerObjectFeature)}));
  const struct {
    std::optional<HRESULT> failure;
    HRESULT answer;
  } kCases[] = {{HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)},
                {E_OUTOFMEMORY, E_OUTOFMEMORY},
                {std::nullopt, E_FAIL}};
  for (const auto& c : kCases) {
    scripted.Script([&](BlocksScript& s) {
      s.vbufferFailure = c.failure;
      s.vbufferMissing = !c.failure;
    });
    log.Clear();
    VARIANT out = Value(VT_EMPTY);
    Bstr answer;
    EXPECT_EQ(Call(16, Value(VT_EMPTY), &out, allocate, &answer), c.answer);
    EXPECT_FALSE(answer);
    EXPECT_EQ(log.Count(1, u"RZDHAL_CC_ALLOCATE_RBLOCKS failed to extract VBuffer name"), 1u) << log.All();
  }
  scripted.Script([](BlocksScript& s) { s.vbufferMissing = false; });
  VARIANT out = Value(VT_EMPTY);
  EXPECT_EQ(Call(16, Value(VT_EMPTY), &out, allocate), S_OK);
}

// Code 19: after the driver reset the counter, the counters go to the registry (the scanner
// information is asked right after the reset); a refused reset copies nothing.
TEST_F(ControlCodeTest, AResetCounterIsCopiedToTheRegistryAfterTheReset) {
  ASSERT_TRUE(HwPropsFile(lowdrv::kModelName).WriteInt(HwProp::UpdateCountersInRegistry, 1));
  auto counting = MakeScanner();
  ASSERT_EQ(Code(*counting, kConnect), S_OK);
  std::ofstream(FakeDriverFolder() / "info.xml")
      << "<RZDScanner><RollerScanCount>0</RollerScanCount><SerialNumber><![CDATA[QM48TZ000001]]></SerialNumber></RZDScanner>";
  VARIANT in = Value(VT_UI4, 1);
  VARIANT out = Value(VT_EMPTY);
  Bstr answer;
  Bstr path(u"//RollerScanCount");
  const size_t before = FakeCallSequence().size();
  EXPECT_EQ(counting->raw_Control(19, path.Get(), answer.Out(), &in, &out), S_OK);
  const std::vector<std::string> sequence = FakeCallSequence();
  EXPECT_EQ(std::vector<std::string>(sequence.begin() + static_cast<std::ptrdiff_t>(before), sequence.end()),
            (std::vector<std::string>{"0xD0000017 0x1", "0xA0000009 -"}));
  RegKey key;
  ASSERT_EQ(RegKey::Open(Hive::LocalMachine, CountersKeyPath(u"QM48TZ000001"), &key), ERROR_SUCCESS);
  uint32_t value = 99;
  EXPECT_EQ(key.GetDword(u"RollerScanCount", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 0u);

  FakeFail(0xD0000017, 0x8008, 1);
  EXPECT_EQ(counting->raw_Control(19, path.Get(), answer.Out(), &in, &out), 12);
  EXPECT_EQ(FakeCalls(0xA0000009).size(), 1u) << "a refused reset copies nothing";
}

// With the HAL switch 0 or missing none of the three callers (the service's own open, a read
// that reaches the scan's end, code 19) asks for the counters or writes any.
TEST_F(ReadTest, WithTheCountersSwitchedOffNothingIsAskedOrWritten) {
  std::ofstream(FakeDriverFolder() / "info.xml")
      << "<RZDScanner><RollerScanCount>7</RollerScanCount><SerialNumber><![CDATA[QM48TZ000001]]></SerialNumber></RZDScanner>";
  for (std::optional<int> setting : {std::optional<int>(), std::optional<int>(0)}) {
    if (setting) {
      ASSERT_TRUE(HwPropsFile(lowdrv::kModelName).WriteInt(HwProp::UpdateCountersInRegistry, *setting));
    }
    auto own = MakeScanner(true);
    EXPECT_FALSE(own->CountersToRegistry());
    EXPECT_TRUE(own->OpenScanner());
    own.reset();
  }
  // (scanner_ was made without the setting.)
  VARIANT out = Value(VT_EMPTY);
  EXPECT_EQ(Call(19, Value(VT_UI4, 1), &out, u"//RollerScanCount"), S_OK);
  WritePage(100, false);
  Bstr meta = MetaBuffer(4096);
  ASSERT_EQ(scanner_->raw_Read(rasterName_.Get(), meta.Get(), 6), S_OK);
  EXPECT_EQ(FirstBlock().second, 6);
  EXPECT_TRUE(FakeCalls(0xA0000009).empty());
  RegKey key;
  EXPECT_NE(RegKey::Open(Hive::LocalMachine, CountersKeyPath(u"QM48TZ000001"), &key), ERROR_SUCCESS);

  // Switched on, the service's own open asks once.
  ASSERT_TRUE(HwPropsFile(lowdrv::kModelName).WriteInt(HwProp::UpdateCountersInRegistry, 1));
  auto counting = MakeScanner(true);
  EXPECT_TRUE(counting->OpenScanner());
  EXPECT_EQ(FakeCalls(0xA0000009).size(), 1u);
  EXPECT_EQ(RegKey::Open(Hive::LocalMachine, CountersKeyPath(u"QM48TZ000001"), &key), ERROR_SUCCESS);
}

TEST_F(ControlCodeTest, CountersGoToTheRegistryUnderTheSerialNumberOnlyWhenItNamesOneUnit) {
  ASSERT_TRUE(HwPropsFile(lowdrv::kModelName).WriteInt(HwProp::UpdateCountersInRegistry, 1));
  auto counting = MakeScanner();
  ASSERT_TRUE(counting->CountersToRegistry());
  ASSERT_EQ(Code(*counting, kConnect), S_OK);
  const struct {
    const char* serial;
    bool written;
  } kCases[] = {{"QM48TZ000001", true}, {"", false}, {"QM48\\..\\X", false}};
  for (const auto& c : kCases) {
    std::ofstream(FakeDriverFolder() / "info.xml")
        << "<RZDScanner><RollerScanCount>7</RollerScanCount><ADFJamCount>3</ADFJamCount><SerialNumber><![CDATA["
        << c.serial << "]]></SerialNumber></RZDScanner>";
    counting->UpdateCountersInRegistry(counting->DriverHandle());
    RegKey key;
    if (!c.written) {
      // Nothing in the model's Info key itself, nor in a key the serial's backslash would name.
      uint32_t value = 0;
      RegKey info;
      if (RegKey::Open(Hive::LocalMachine, CountersKeyPath(u""), &info) == ERROR_SUCCESS) {
        EXPECT_NE(info.GetDword(u"RollerScanCount", &value), ERROR_SUCCESS) << c.serial;
      }
      EXPECT_NE(RegKey::Open(Hive::LocalMachine, CountersKeyPath(u"QM48"), &key), ERROR_SUCCESS) << c.serial;
      continue;
    }
    ASSERT_EQ(RegKey::Open(Hive::LocalMachine, CountersKeyPath(FromUtf8(c.serial)), &key), ERROR_SUCCESS);
    {
      uint32_t value = 0;
      EXPECT_EQ(key.GetDword(u"RollerScanCount", &value), ERROR_SUCCESS);
      EXPECT_EQ(value, 7u);
      EXPECT_EQ(key.GetDword(u"ADFJamCount", &value), ERROR_SUCCESS);
      EXPECT_EQ(value, 3u);
      EXPECT_EQ(key.GetDword(u"PadScanCount", &value), ERROR_SUCCESS);
      EXPECT_EQ(value, 0u);
    }
  }
}

// Counters the unit reports unchanged make no registry write: the registry's files (database and
// write-ahead log; any committed write changes them) stay as they were. A changed counter is
// written, which shows the files do tell.
TEST_F(ControlCodeTest, UnchangedCountersMakeNoRegistryWrite) {
  ASSERT_TRUE(HwPropsFile(lowdrv::kModelName).WriteInt(HwProp::UpdateCountersInRegistry, 1));
  auto counting = MakeScanner();
  ASSERT_EQ(Code(*counting, kConnect), S_OK);
  const auto report = [](uint32_t rollerCount) {
    std::ofstream(FakeDriverFolder() / "info.xml")
        << "<RZDScanner><RollerScanCount>" << rollerCount
        << "</RollerScanCount><ADFJamCount>3</ADFJamCount><SerialNumber><![CDATA[QM48TZ000001]]></SerialNumber></RZDScanner>";
  };
  const auto registryFiles = [&] {
    return rzd::test::ReadBytes(SystemRoot() / "registry.db") + rzd::test::ReadBytes(SystemRoot() / "registry.db-wal");
  };
  report(7);
  counting->UpdateCountersInRegistry(counting->DriverHandle());
  const std::string written = registryFiles();
  ASSERT_FALSE(written.empty());
  counting->UpdateCountersInRegistry(counting->DriverHandle());
  counting->UpdateCountersInRegistry(counting->DriverHandle());
  EXPECT_EQ(registryFiles(), written) << "unchanged counters were written again";

  report(8);
  counting->UpdateCountersInRegistry(counting->DriverHandle());
  EXPECT_NE(registryFiles(), written);
  RegKey key;
  ASSERT_EQ(RegKey::Open(Hive::LocalMachine, CountersKeyPath(u"QM48TZ000001"), &key), ERROR_SUCCESS);
  uint32_t value = 0;
  EXPECT_EQ(key.GetDword(u"RollerScanCount", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 8u);
}

}  // namespace
}  // namespace rzd::scanhost::test
