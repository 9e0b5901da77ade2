// The HAL control codes against the fake driver: which driver code each one calls and what it
// answers, the argument checks, and the faults mended (a VARIANT that owns memory as a 4-byte
// output, bad block sizes, unbounded output sizes, the help extractor's paths, null arrays).
#include "hal/counters.h"
#include "hal/page_meta.h"
#include "scanner_fixture.h"

#include "platform/com.h"
#include "platform/modules.h"
#include "platform/root.h"

#include <cstring>

namespace rzd::scanhost::test {
namespace {

constexpr LONG kConnect = 14;

class ControlCodeTest : public ScannerTest {
 protected:
  void SetUp() override {
    ScannerTest::SetUp();
    auto library = Module::Load(RZD_RASTERBLOCKS_LIBRARY);
    ASSERT_TRUE(library);
    ASSERT_EQ(library->Bind<HRESULT (*)()>("DllRegisterServer")(), S_OK);
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

TEST_F(ControlCodeTest, EachDriverCodeCallsItsDriverCodeAndMapsTheDriversRefusal) {
  const struct {
    LONG hal;
    uint32_t driver;
    VARTYPE in;
    HRESULT refused;  // the answer when the driver reports the unit in use by another application
  } kRows[] = {
      {0, 0x20000003, VT_EMPTY, 12},   {3, 0x88000008, VT_EMPTY, 12},  {4, 0xA0000009, VT_EMPTY, 12},
      {5, 0xC800000A, VT_EMPTY, 12},   {6, 0xA000000B, VT_EMPTY, 12},  {7, 0xA000000C, VT_EMPTY, 12},
      {8, 0xC000000D, VT_EMPTY, 170},  {9, 0xA000000E, VT_EMPTY, 12},  {10, 0x8000000F, VT_EMPTY, 12},
      {11, 0x80000010, VT_EMPTY, 12},  {12, 0xA0000011, VT_EMPTY, 12}, {13, 0xD0000012, VT_EMPTY, 12},
      {18, 0xD0000016, VT_UI4, 12},    {19, 0xD0000017, VT_UI4, 12},   {22, 0x8000001E, VT_EMPTY, 12},
      {23, 0xA000001A, VT_EMPTY, 12},  {24, 0xB8000019, VT_UI4, 12},   {25, 0xA0000020, VT_EMPTY, 12},
      {26, 0xB800001F, VT_UI4, 12},    {27, 0x80000021, VT_EMPTY, 12}, {28, 0x90000022, VT_I8, 12},
      {29, 0x90000023, VT_ARRAY | VT_UI1, 12}, {31, 0xC8000013, VT_EMPTY, 12}, {32, 0xA000001B, VT_EMPTY, 12},
      {37, 0x90000026, VT_UI4, 12},    {38, 0x80000027, VT_EMPTY, 12}, {39, 0xA0000028, VT_EMPTY, 12},
      {40, 0x90000029, VT_EMPTY, 170},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.hal);
    VARIANT out = Value((row.hal == 5 || row.hal == 31) ? VT_I4 : VT_EMPTY);
    VARIANT in = row.in == (VT_ARRAY | VT_UI1) ? Bytes(4) : Value(row.in, 7);
    EXPECT_EQ(Call(row.hal, in, &out, u"<Scanner/>"), S_OK);
    EXPECT_EQ(FakeCalls(row.driver).size(), 1u);
    FakeFail(row.driver, 0x8008, 1);
    EXPECT_EQ(Call(row.hal, in, &out, u"<Scanner/>"), row.refused);
    EXPECT_EQ(FakeCalls(row.driver).size(), 2u);
    if (row.in == (VT_ARRAY | VT_UI1)) VariantClear(&in);
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
  const struct {
    const char16_t* operation;
    uint64_t kind;
  } kKinds[] = {
      {u"<Operation><Result><Address><ScanMode>Simplex</ScanMode><Side>Back</Side></Address></Result></Operation>", 1},
      {u"<Operation><Result><Address><ScanMode>Simplex</ScanMode></Address></Result></Operation>", 0},
      {u"<Operation><Result><Address><ScanMode>Duplex</ScanMode><Side>Back</Side></Address></Result></Operation>", 2},
      {u"<Operation/>", 2},
  };
  for (const auto& k : kKinds) {
    MSXML6StoreSTL operation;
    ASSERT_TRUE(operation.LoadFromString(k.operation));
    EXPECT_EQ(SideKindOf(operation), k.kind) << ToUtf8(k.operation);
  }
}

TEST_F(ControlCodeTest, AReadNeedsALockFirstAndThenALevelFromOneToSix) {
  Bstr raster(u"Global\\none");
  Bstr meta(u"None");
  EXPECT_EQ(scanner_->raw_Read(raster.Get(), meta.Get(), 0), MakeHr(0xE0010001)) << "not locked comes first";
  ASSERT_EQ(Code(*scanner_, 35, CurrentProcessId()), S_OK);
  ASSERT_EQ(Lock(*scanner_, static_cast<LONG>(CurrentProcessId())), S_OK);
  EXPECT_EQ(scanner_->raw_Read(raster.Get(), meta.Get(), 0), MakeHr(0xE0010007));
  EXPECT_EQ(scanner_->raw_Read(raster.Get(), meta.Get(), 7), MakeHr(0xE0010007));
  EXPECT_TRUE(FakeJournal().back().rfind("Read", 0) != 0) << "no driver read";
}

}  // namespace
}  // namespace rzd::scanhost::test
