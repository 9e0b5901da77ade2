// Edges of the read loop, through the exported Control and Read against rzd-engine: the background
// that fills a short side of a fixed length, a first call too small for the unit's own JPEG
// header, and the smallest buffer a JPEG read takes.
#include "jpeg_decode.h"
#include "maintenance_fixture.h"
#include "scan_fixture.h"
#include "unit_commands.h"

#include <algorithm>

namespace rzd::lowdrv::test {
namespace {

// How many blocks of the unit's log are `block`.
size_t Count(const std::vector<std::string>& log, const std::string& block) {
  return static_cast<size_t>(std::count(log.begin(), log.end(), block));
}
// The command blocks of the unit's log with this opcode (any other bytes).
size_t CountOpcode(const std::vector<std::string>& log, uint8_t opcode) {
  char head[16];
  std::snprintf(head, sizeof head, "new 12: %02X", opcode);
  return CountBlocks(log, head);
}
constexpr uint8_t kReserve = 0xE6;
constexpr uint8_t kRelease = 0xE7;
constexpr uint8_t kSetWindow = 0xE4;

// A one-sided JPEG scan.
ScanChoice SimplexJpeg(ScanChoice::Kind kind) {
  ScanChoice choice;
  choice.kind = kind;
  choice.jpeg = true;
  choice.duplex = false;
  return choice;
}

class ScanEdgesTest : public ScanTest {};

// ---- The fill of a short side: each side's own background line.

// The fill (operation 53) on a driver object whose background block holds a front line and a back
// line of different values: which line a side takes.
struct FillCase {
  const char* name;
  bool raster;          // the unit supplies a background raster (else the separate background scan)
  uint8_t sides;        // window byte 57: 0x10 duplex, 0x08 back side only, 0 front side only
  uint32_t currentSide;  // 0 front, 1 back
  uint8_t composition;  // 2 grey, 0 line art
  uint8_t expected;
};
constexpr uint8_t kFrontLine = 0x40;  // grey block values
constexpr uint8_t kBackLine = 0x90;
const FillCase kFillCases[] = {
    // Without a raster the background scan reads both sides' lines: a back side takes the back's
    // line, also when the scan is one-sided.
    {"NoRasterSimplexBack", false, 0x08, 1, 2, kBackLine},
    {"NoRasterDuplexBack", false, 0x10, 1, 2, kBackLine},
    {"NoRasterDuplexFront", false, 0x10, 0, 2, kFrontLine},
    {"NoRasterSimplexFront", false, 0x00, 0, 2, kFrontLine},
    // Line art: the back line's bits are all clear, the front's all set.
    {"NoRasterSimplexBackLineArt", false, 0x08, 1, 0, 0x00},
    {"NoRasterSimplexFrontLineArt", false, 0x00, 0, 0, 0xFF},
    // A raster of a one-sided scan is one line, the side's own, at the block's start.
    {"RasterSimplexBack", true, 0x08, 1, 2, kFrontLine},
    {"RasterDuplexBack", true, 0x10, 1, 2, kBackLine},
};

void PrintTo(const FillCase& c, std::ostream* os) { *os << c.name; }

class FillRuleTest : public DriverUnitTest, public ::testing::WithParamInterface<FillCase> {};

TEST_P(FillRuleTest, ASideIsFilledWithItsOwnBackgroundLine) {
  const FillCase& c = GetParam();
  ReduzidInq inq{};
  if (c.raster) inq.AbilityEx6 = 0x02;
  CRZDScannerSettingsBase::SetInquiryCopy(inq);
  CScannerLLD driver(ModelUnitPath());
  constexpr uint32_t kLine = 64;
  const bool lineArt = c.composition == 0;
  driver.m_Background.assign(kLine, lineArt ? 0xFF : kFrontLine);
  driver.m_Background.resize(2 * kLine, lineArt ? 0x00 : kBackLine);
  driver.m_Scan.window = {};
  driver.m_Scan.window.SetCapEx1 = c.sides;
  driver.m_Scan.window.ImageComp = c.composition;
  driver.m_Scan.windowSent = true;
  driver.m_Scan.bytesPerLine = kLine;
  driver.m_Scan.currentSide = c.currentSide;
  std::vector<uint8_t> lines(3 * kLine, 0x5A);
  ASSERT_EQ(driver.FillBackgroundLine(lines.data(), static_cast<uint32_t>(lines.size())), 0u);
  EXPECT_EQ(lines, std::vector<uint8_t>(3 * kLine, c.expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, FillRuleTest, ::testing::ValuesIn(kFillCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Through the unit (which has a raster): a short back side of a one-sided scan is filled to its
// length with the back's background (of the two rasters the unit delivers, the driver keeps the
// back's).
TEST_F(ScanEdgesTest, AShortBackSideOfAOneSidedScanIsFilledToItsLength) {
  OpenAndLock({"load 1 duplex lines=100"});
  ScanChoice choice;
  choice.kind = ScanChoice::Kind::Gray;
  choice.fixedLength = true;
  std::vector<SettingEdit> edits = EditsFor(choice);
  edits.push_back(DropAttr(u"//Item[@ID='Front1']", u"IsSet"));
  ASSERT_LE(Apply(edits), 0x800Cu);
  ASSERT_EQ(Driver().m_pSettings->GetWindowDescription()->SetCapEx1 & 0x18, 0x08);
  const uint32_t line = WindowLineBytes();
  const uint32_t lines = WindowLinesPerSide();
  ASSERT_GT(lines, 100u);
  const std::vector<ReadCall> calls = ReadBatch(64 * 1024);
  ASSERT_TRUE(calls.back().ok) << ToUtf8(calls.back().meta);
  ASSERT_EQ(calls.back().boundary, 6u);
  const auto sides = CollectSides(calls);
  ASSERT_EQ(sides.size(), 1u);
  const SideData& back = sides.at({1, u"Back"});
  std::vector<uint8_t> expected = PatternSide(1, 1, 100, line);
  expected.resize(static_cast<size_t>(lines) * line, engine::kBackBackgroundByte);  // the back's raster
  EXPECT_TRUE(back.bytes == expected);
  EXPECT_EQ(PageDoc(back.docs.back()).Int(u"/Result/ImageDimensions/AddLines"), lines - 100);
}

// ---- A first call too small for the unit's own JPEG header.

// 77 before any data leaves the prepared scan as it is: the unit keeps its reservations and its
// sheet, the boundary stays 6, and the next calls read that page without preparing it again.
TEST_F(ScanEdgesTest, ASmallFirstBufferForTheUnitsOwnHeaderKeepsThePreparedScan) {
  OpenAndLock({"jpegheaders engine", "load 1 duplex"});
  ASSERT_LE(Apply(EditsFor(SimplexJpeg(ScanChoice::Kind::Color))), 0x800Cu);
  TakeUnitLog();

  const ReadCall first = ReadOnce(1024);
  EXPECT_FALSE(first.ok);
  EXPECT_EQ(first.result, 77u);
  EXPECT_EQ(first.boundary, 6u);
  EXPECT_TRUE(first.data.empty());
  const std::vector<std::string> prepared = TakeUnitLog();
  EXPECT_EQ(Count(prepared, unit::Reserve(2)), 1u);
  EXPECT_EQ(Count(prepared, unit::Reserve(0)), 1u);
  EXPECT_EQ(Count(prepared, unit::SetWindow()), 1u);
  EXPECT_EQ(CountOpcode(prepared, kRelease), 0u) << "a reservation was given back";
  const std::string state = Control("state");
  EXPECT_NE(state.find("reserved=batch,page"), std::string::npos) << state;
  EXPECT_NE(state.find("page=1"), std::string::npos) << state;
  EXPECT_EQ(Driver().m_ulStatus, state::kScanning);

  // A second small call sends nothing at all.
  const ReadCall again = ReadOnce(1500);
  EXPECT_EQ(again.result, 77u);
  EXPECT_EQ(again.boundary, 6u);
  EXPECT_TRUE(TakeUnitLog().empty());

  const std::vector<ReadCall> calls = ReadBatch(64 * 1024);
  ASSERT_TRUE(calls.back().ok) << ToUtf8(calls.back().meta);
  ASSERT_EQ(calls.back().boundary, 6u);
  const std::vector<std::string> read = TakeUnitLog();
  EXPECT_EQ(CountOpcode(read, kReserve), 0u) << "a second reservation";
  EXPECT_EQ(CountOpcode(read, kSetWindow), 0u) << "a second window";
  EXPECT_EQ(Count(read, unit::Release(0)), 1u);
  EXPECT_EQ(Count(read, unit::Release(2)), 1u);
  EXPECT_NE(Control("state").find("reserved=-,-"), std::string::npos);
  // The page is whole: one stream from the unit's first piece on.
  const auto sides = CollectSides(calls);
  ASSERT_EQ(sides.size(), 1u);
  const Decoded d = DecodeJpeg(sides.begin()->second.bytes);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.warnings, 0);
  EXPECT_EQ(d.height, WindowLinesPerSide());
  EXPECT_EQ(PageDoc(calls.front().meta).Int(u"/Result/Address/Page"), 1);
}

// A cancel after such a 77 gives the unit back.
TEST_F(ScanEdgesTest, ACancelAfterTheSmallFirstBufferGivesTheUnitBack) {
  OpenAndLock({"jpegheaders engine", "load 2 duplex"});
  ASSERT_LE(Apply(EditsFor(SimplexJpeg(ScanChoice::Kind::Gray))), 0x800Cu);
  ASSERT_EQ(ReadOnce(1024).result, 77u);
  BSTR error = nullptr;
  ASSERT_TRUE(::Control(handle_, cc::kCancel, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &error));
  SysFreeString(error);
  EXPECT_NE(Control("state").find("reserved=-,-"), std::string::npos) << Control("state");
  EXPECT_EQ(Driver().m_ulStatus, state::kLocked);
  // The next scan is prepared anew and reads the next sheet.
  TakeUnitLog();
  const std::vector<ReadCall> calls = ReadBatch(64 * 1024);
  ASSERT_TRUE(calls.back().ok) << ToUtf8(calls.back().meta);
  EXPECT_EQ(Count(TakeUnitLog(), unit::Reserve(2)), 1u);
  EXPECT_EQ(CollectSides(calls).size(), 1u);
}

// ---- The smallest JPEG read: 64 bytes for the unit, and 2 more for a marker when the driver
// writes the stream's header and markers.

struct JpegMinimumCase {
  const char* name;
  bool engineHeaders;
  uint32_t refused;
  uint32_t taken;
};
const JpegMinimumCase kJpegMinimumCases[] = {
    {"DriverHeaders", false, 65, 66},
    {"EngineHeaders", true, 63, 64},
};

void PrintTo(const JpegMinimumCase& c, std::ostream* os) { *os << c.name; }

class ScanJpegMinimumTest : public ScanEdgesTest, public ::testing::WithParamInterface<JpegMinimumCase> {};

TEST_P(ScanJpegMinimumTest, ABufferBelowTheLeastIsRefusedAndTheLeastIsRead) {
  const JpegMinimumCase& c = GetParam();
  std::vector<std::string> setup = {"load 2 duplex"};
  if (c.engineHeaders) setup.insert(setup.begin(), "jpegheaders engine");
  OpenAndLock(setup);
  ASSERT_LE(Apply(EditsFor(SimplexJpeg(ScanChoice::Kind::Gray))), 0x800Cu);
  for (const uint32_t size : {c.refused, c.taken}) {
    SCOPED_TRACE(size);
    // The side's first piece: the driver's header alone, or the unit's first piece with its header.
    const ReadCall start = ReadOnce(64 * 1024);
    ASSERT_TRUE(start.ok) << ToUtf8(start.meta);
    ASSERT_EQ(start.boundary, 1u);
    const ReadCall small = ReadOnce(size);
    if (size == c.refused) {
      EXPECT_FALSE(small.ok);
      EXPECT_EQ(small.result, lld::kInvalidParameter);
      EXPECT_EQ(small.boundary, 6u);
      EXPECT_NE(Control("state").find("reserved=-,-"), std::string::npos);
      continue;
    }
    ASSERT_TRUE(small.ok) << ToUtf8(small.meta);
    EXPECT_GT(small.data.size(), 0u);
    EXPECT_LE(small.data.size(), size);
    EXPECT_EQ(PageDoc(small.meta).Int(u"/Result/Address/NumberOfBytes"), static_cast<int64_t>(small.data.size()));
    const std::vector<ReadCall> rest = ReadBatch(64 * 1024);
    ASSERT_TRUE(rest.back().ok) << ToUtf8(rest.back().meta);
    std::vector<ReadCall> all = {start, small};
    all.insert(all.end(), rest.begin(), rest.end());
    const Decoded d = DecodeJpeg(CollectSides(all).begin()->second.bytes);
    EXPECT_TRUE(d.ok && d.warnings == 0) << d.error;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ScanJpegMinimumTest, ::testing::ValuesIn(kJpegMinimumCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rzd::lowdrv::test
