// Every READ and SEND data type of the new command set, and the records behind them. The tables
// on UnitBench run three times: on the unit in this process, on rzd-engine in its own, and on the
// unit on a mocked USB port over libusb.
#include "engine/sim_unit.h"
#include "host_link.h"
#include "testsupport/temp_root.h"
#include "platform/gdi.h"
#include "unit_bench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

namespace rzd::engine {
namespace {

using test::Get16;
using test::Get32;
using test::HostLink;
using test::Ok;
using test::Put16;
using test::Put32;
using test::Reply;

class UnitDataTypes : public test::EitherLink {};
class UnitNvram : public test::EitherLink {};
class UnitImprinter : public test::EitherLink {};
class UnitTray : public test::EitherLink {};
class UnitLamp : public test::EitherLink {};
class UnitCalibration : public test::EitherLink {};
class UnitFirmware : public test::EitherLink {};
class UnitReset : public test::EitherLink {};
INSTANTIATE_TEST_SUITE_P(Links, UnitDataTypes, test::AllLinks(), test::LinkName());
INSTANTIATE_TEST_SUITE_P(Links, UnitNvram, test::AllLinks(), test::LinkName());
INSTANTIATE_TEST_SUITE_P(Links, UnitImprinter, test::AllLinks(), test::LinkName());
INSTANTIATE_TEST_SUITE_P(Links, UnitTray, test::AllLinks(), test::LinkName());
INSTANTIATE_TEST_SUITE_P(Links, UnitLamp, test::AllLinks(), test::LinkName());
INSTANTIATE_TEST_SUITE_P(Links, UnitCalibration, test::AllLinks(), test::LinkName());
INSTANTIATE_TEST_SUITE_P(Links, UnitFirmware, test::AllLinks(), test::LinkName());
INSTANTIATE_TEST_SUITE_P(Links, UnitReset, test::AllLinks(), test::LinkName());

// A SEND record with the short header (bytes 0-2 = 0, 0, `mark`; byte 3 = length).
std::vector<uint8_t> ShortRecord(size_t size, uint8_t mark = 2) {
  std::vector<uint8_t> r(size, 0);
  r[2] = mark;
  r[3] = static_cast<uint8_t>(size);
  return r;
}

// A record with the long header (byte 2 = 1, bytes 3-6 = length).
std::vector<uint8_t> LongRecord(size_t size) {
  std::vector<uint8_t> r(size, 0);
  r[2] = 1;
  Put32(&r[3], static_cast<uint32_t>(size));
  return r;
}

std::vector<uint8_t> GammaRecord(uint16_t channel, size_t tableSize) {
  std::vector<uint8_t> r(tableSize + 8, 0);
  Put16(&r[3], static_cast<uint32_t>(r.size()));
  Put16(&r[5], channel);
  r[7] = 0x10;
  for (size_t i = 0; i < tableSize; ++i) r[8 + i] = static_cast<uint8_t>(i);
  return r;
}

std::vector<uint8_t> QuantRecord() {
  std::vector<uint8_t> r(132, 1);
  r[0] = r[1] = 0;
  r[2] = 0x64;
  r[3] = 0x84;
  return r;
}

std::vector<uint8_t> LcdStringRecord(uint16_t number, const std::string& text) {
  std::vector<uint8_t> r(265, 0);
  r[2] = 2;
  Put16(&r[3], 265);
  Put16(&r[5], number);
  r[8] = static_cast<uint8_t>(text.size());
  std::memcpy(&r[11], text.data(), text.size());
  return r;
}

std::vector<uint8_t> LcdScreenRecord(uint16_t slot, uint8_t screens) {
  std::vector<uint8_t> r(10 + 1086 * screens, 0x5A);
  r[0] = r[1] = 0;
  r[2] = 2;
  Put32(&r[3], static_cast<uint32_t>(r.size()));
  Put16(&r[7], slot + 4000);
  r[9] = screens;
  return r;
}

std::vector<uint8_t> ImprinterAction(uint8_t action) {
  std::vector<uint8_t> r = LongRecord(8);
  r[7] = action;
  return r;
}

std::vector<uint8_t> NvramRecord(const std::array<uint8_t, kNvramSize>& nvram) {
  std::vector<uint8_t> r(174, 0);
  r[2] = 2;
  Put16(&r[3], 174);
  Put16(&r[5], 0x0012);
  std::memcpy(&r[7], nvram.data(), kNvramSize);
  return r;
}

std::vector<uint8_t> ValueRecord(uint16_t value) {  // power times, tray height
  std::vector<uint8_t> r = ShortRecord(6, 0);
  Put16(&r[4], value);
  return r;
}

TEST_P(UnitDataTypes, EveryReadTypeAnswersWithItsLength) {
  struct Case {
    uint16_t dataType;
    uint32_t length;
  };
  const Case cases[] = {{0x60, 36},  {0x69, 5},   {0x69, 172}, {0x6D, 8},   {0x6F, 8},
                        {0x9B, 300}, {0xA0, 5},   {0xA1, 20},  {0xB2, 7},   {0xD5, 32},
                        {0xE0, 20},  {0xE2, 527}, {0x200, 71}, {0x201, 71}, {0x20B, 521},
                        {0x20F, 9}};
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  for (const Case& c : cases) {
    const Reply r = host.Read(c.dataType, c.length);
    EXPECT_TRUE(r.Good()) << std::hex << c.dataType;
    EXPECT_EQ(r.data.size(), c.length) << std::hex << c.dataType;
  }
  // Answers with the short header carry their length in byte 3.
  for (uint16_t type : {0x60, 0xA0, 0xA1, 0xB2, 0xD5, 0x6D, 0x6F}) {
    const Reply r = host.Read(type, 255);
    ASSERT_FALSE(r.data.empty());
    EXPECT_EQ(r.data[3], r.data.size()) << std::hex << type;
  }
  // Imprinter answers carry theirs in bytes 3-6.
  for (uint16_t type : {0x200, 0x201, 0x20B, 0x20F}) {
    const Reply r = host.Read(type, 1024);
    ASSERT_GE(r.data.size(), 7u);
    EXPECT_EQ(Get32(&r.data[3]), r.data.size()) << std::hex << type;
  }
}

TEST_P(UnitDataTypes, EverySendTypeTakesItsRecordAndRefusesAnotherLength) {
  struct Case {
    uint16_t dataType;
    std::vector<uint8_t> record;
    size_t badSize;  // a size the unit must refuse with a parameter-list length error
  };
  std::vector<uint8_t> flash(9 + 40, 0);  // a firmware block: its own length in bytes 3-6
  flash[2] = 2;
  Put32(&flash[3], 40);
  Put16(&flash[7], 0x0002);
  const Case cases[] = {
      {0x60, ShortRecord(8, 0), 9},
      {0x81, GammaRecord(0, 256), 265},
      {0x81, GammaRecord(2, 512), 521},
      {0x83, ShortRecord(22), 23},
      {0x85, NvramRecord(SimUnit().Nvram()), 175},
      {0x86, flash, 50},
      {0x8B, QuantRecord(), 133},
      {0x8E, ShortRecord(7, 1), 8},
      {0x95, ShortRecord(10, 0x64), 11},
      {0x96, ShortRecord(10, 0x64), 11},
      {0x98, std::vector<uint8_t>{0, 0, 2, 0x44, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       69},
      {0x99, [] { auto r = ShortRecord(7); r[3] = 1; return r; }(), 8},
      {0xA4, ShortRecord(12), 13},
      {0x105, ValueRecord(30), 7},
      {0x106, ValueRecord(60), 7},
      {0x10F, ValueRecord(90), 7},
      {0xD5, ValueRecord(2), 7},
      {0xE2, LcdStringRecord(7, "Scan to PDF"), 266},
      {0xF0, LcdScreenRecord(3, 1), 1097},
      {0xFF, std::vector<uint8_t>{0, 0, 1, 0x0C, 1, 0, 0, 0, 0, 0, 0, 0}, 13},
      {0x202, LongRecord(39), 40},
      {0x203, LongRecord(9), 6},
      {0x204, LongRecord(21 + 24), 46},
      {0x205, LongRecord(29 + 64), 94},
      {0x206, LongRecord(11 + 128), 140},
      {0x207, LongRecord(14), 15},
      {0x20C, ImprinterAction(1), 9},
      {0x20D, ImprinterAction(1), 9},
      {0x211, ImprinterAction(1), 9},
  };
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  for (const Case& c : cases) {
    EXPECT_TRUE(host.Send(c.dataType, c.record).Good()) << std::hex << c.dataType;
    std::vector<uint8_t> bad = c.record;
    bad.resize(c.badSize, 0);
    EXPECT_TRUE(host.Send(c.dataType, bad).CheckCondition()) << std::hex << c.dataType;
    const test::SenseView s = host.RequestSense();
    EXPECT_EQ(s.key, 5) << std::hex << c.dataType;
    EXPECT_EQ(s.asc, 0x1A) << std::hex << c.dataType;
  }
}

// Classic READ(10) and SEND(10) blocks: data type in byte 2, qualifier in bytes 4-5, 24-bit
// transfer length in bytes 6-8.
std::vector<uint8_t> ClassicDataCdb(uint8_t opcode, uint8_t dataType, uint16_t qualifier,
                                    uint32_t length) {
  return {opcode, 0, dataType, 0, static_cast<uint8_t>(qualifier >> 8),
          static_cast<uint8_t>(qualifier), static_cast<uint8_t>(length >> 16),
          static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 0};
}

TEST_P(UnitDataTypes, ClassicReadAndSendTypesTakeTheirLengths) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  struct ReadCase {
    uint8_t dataType;
    uint32_t length;
  };
  for (const ReadCase& c : {ReadCase{0x60, 32}, ReadCase{0x69, 167}, ReadCase{0xA0, 1},
                            ReadCase{0xA1, 16}, ReadCase{0x9B, 120}}) {
    const Reply r = host.Classic(ClassicDataCdb(0x28, c.dataType, 0x0A0D, c.length), {}, c.length);
    EXPECT_TRUE(r.Good()) << std::hex << int{c.dataType};
    EXPECT_EQ(r.data.size(), c.length) << std::hex << int{c.dataType};
  }
  // The classic NVRAM record is the same record the new set reads, without a header.
  const Reply nvram = host.Classic(ClassicDataCdb(0x28, 0x69, 0x0A0D, 167), {}, 167);
  EXPECT_TRUE(std::equal(nvram.data.begin(), nvram.data.end(), unit.Nvram().begin()));

  struct SendCase {
    uint8_t dataType;
    uint16_t qualifier;
    size_t size;
    size_t badSize;  // refused with a parameter-list length error
  };
  const SendCase cases[] = {{0x81, 0, 256, 300},     {0x81, 2, 512, 511},   {0x83, 0x0D0A, 18, 22},
                            {0x85, 0x0012, 167, 174}, {0x8B, 0x0A0D, 128, 132},
                            {0x95, 1, 4, 3},         {0x96, 1, 2, 6},       {0xA0, 0, 1, 2},
                            {0xA2, 0, 2, 6},         {0xA9, 0, 2, 6},       {0xA4, 0x0A0D, 8, 12}};
  for (const SendCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "data type 0x" << std::hex << int{c.dataType});
    std::vector<uint8_t> record(c.size, 1);
    if (c.dataType == 0x85) {
      const auto current = unit.Nvram();
      record.assign(current.begin(), current.end());
    }
    EXPECT_TRUE(host.Classic(ClassicDataCdb(0x2A, c.dataType, c.qualifier,
                                            static_cast<uint32_t>(record.size())),
                             record)
                    .Good());
    record.resize(c.badSize, 1);
    EXPECT_TRUE(host.Classic(ClassicDataCdb(0x2A, c.dataType, c.qualifier,
                                            static_cast<uint32_t>(record.size())),
                             record)
                    .CheckCondition());
    const test::SenseView s = host.RequestSense();
    EXPECT_EQ(s.key, 5);
    EXPECT_EQ(s.asc, 0x1A);
  }
  // The power-off time lands in its NVRAM field, as the new set's record does.
  ASSERT_TRUE(host.Classic(ClassicDataCdb(0x2A, 0xA9, 0, 2), {0x01, 0x2C}).Good());
  EXPECT_EQ(Get16(&unit.Nvram()[122]), 300);
  // Media check: one byte of feeder status.
  ASSERT_TRUE(Ok(unit.Control("load 1")));
  const Reply media = host.Classic({0x08, 0, 0, 0, 1, 0}, {}, 1);
  ASSERT_TRUE(media.Good());
  EXPECT_EQ(media.data, std::vector<uint8_t>{1});
}

TEST(UnitDataTypes, UnknownTypesAndMissingOptionsAreInvalidFields) {
  SimUnitOptions bare;
  bare.imprinter = bare.lcd = bare.inputTray = bare.ultrasonic = false;
  SimUnit unit(bare);
  HostLink host(unit);
  struct Case {
    bool read;
    uint16_t dataType;
    std::vector<uint8_t> record;
  };
  const Case cases[] = {{true, 0x77, {}},           {false, 0x77, ShortRecord(8)},
                        {true, 0x200, {}},          {true, 0x20F, {}},
                        {true, 0xE0, {}},           {true, 0xD5, {}},
                        {false, 0xD5, ValueRecord(1)}, {false, 0x8E, ShortRecord(7, 1)},
                        {false, 0x20C, ImprinterAction(1)},
                        {false, 0xE2, LcdStringRecord(1, "x")}};
  for (const Case& c : cases) {
    const Reply r = c.read ? host.Read(c.dataType, 64) : host.Send(c.dataType, c.record);
    EXPECT_TRUE(r.CheckCondition()) << std::hex << c.dataType;
    EXPECT_EQ(host.RequestSense().asc, 0x24) << std::hex << c.dataType;
  }
}

TEST_P(UnitNvram, WrittenRecordReadsBackInTwoSteps) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  const Reply head = host.Read(0x69, 5);
  ASSERT_TRUE(head.Good());
  ASSERT_EQ(head.data[2], 2);
  const uint16_t size = Get16(&head.data[3]);
  ASSERT_EQ(size, 5 + kNvramSize);
  Reply full = host.Read(0x69, size);
  ASSERT_TRUE(full.Good());
  std::array<uint8_t, kNvramSize> record{};
  std::memcpy(record.data(), &full.data[5], kNvramSize);
  EXPECT_EQ(record, unit.Nvram());
  EXPECT_EQ(Get16(&record[30]), 14);  // born day is set
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record[46]), 12), "QM48TZ000001");

  Put32(&record[163], 4321);  // clean counter
  Put32(&record[81], 7);      // jam counter
  std::memcpy(&record[46], "SERIAL-XYZ", 10);
  ASSERT_TRUE(host.Send(0x85, NvramRecord(record)).Good());
  full = host.Read(0x69, size);
  EXPECT_TRUE(std::equal(record.begin(), record.end(), full.data.begin() + 5));
  EXPECT_EQ(unit.Nvram(), record);

  // The qualifier must name the non-volatile record.
  std::vector<uint8_t> wrong = NvramRecord(record);
  Put16(&wrong[5], 0x0013);
  EXPECT_TRUE(host.Send(0x85, wrong).CheckCondition());
  EXPECT_EQ(host.RequestSense().asc, 0x26);
}

TEST_P(UnitNvram, PowerTimeOutsAreStoredIntoTheRecord) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  struct Case {
    uint16_t dataType;
    size_t offset;
    uint16_t value;
  };
  for (const Case& c : {Case{0x105, 70, 30}, Case{0x106, 122, 480}, Case{0x10F, 148, 15}}) {
    ASSERT_TRUE(host.Send(c.dataType, ValueRecord(c.value)).Good());
    EXPECT_EQ(Get16(&unit.Nvram()[c.offset]), c.value) << std::hex << c.dataType;
  }
  // The classic power-saving record lands in the same field.
  std::vector<uint8_t> cdb = {0x2A, 0, 0xA2, 0, 0, 0, 0, 0, 2, 0};
  ASSERT_TRUE(host.Classic(cdb, {0, 45}).Good());
  EXPECT_EQ(Get16(&unit.Nvram()[70]), 45);
}

TEST(UnitLcd, WithAnLcdFolderEachScreenHoldingABitmapFileBecomesAPicture) {
  rzd::test::ScopedRoot root;
  SimUnitOptions options;
  options.lcdDir = root.Path() / "lcd";
  SimUnit unit(options);
  HostLink host(unit);
  // A 3 x 2 bitmap file at the start of a 33-block screen: red top-left, blue bottom-right.
  std::vector<uint8_t> record = LcdScreenRecord(4, 33);
  std::fill(record.begin() + 10, record.end(), 0);
  const uint8_t file[] = {'B', 'M', 0x4E, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0};
  std::memcpy(&record[10], file, sizeof file);
  record[10 + 54 + 6] = 0xFF;           // bottom row, third pixel: blue
  record[10 + 54 + 12 + 2] = 0xFF;      // top row, first pixel: red
  ASSERT_TRUE(host.Send(0xF0, record).Good());
  const std::filesystem::path picture = options.lcdDir / "F4N33.png";
  const std::shared_ptr<gdi::Bitmap> read = gdi::ReadPngFile(picture);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Width(), 3);
  EXPECT_EQ(read->Height(), 2);
  EXPECT_EQ(read->GetPixel(0, 0), (gdi::Rgb{255, 0, 0}));
  EXPECT_EQ(read->GetPixel(2, 1), (gdi::Rgb{0, 0, 255}));
  EXPECT_EQ(read->GetPixel(1, 0), gdi::kBlack);
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(options.lcdDir)) files.push_back(entry.path());
  EXPECT_EQ(files, std::vector<std::filesystem::path>{picture}) << "no partial file left";
  // Screens that hold no bitmap file are kept but make no picture.
  ASSERT_TRUE(host.Send(0xF0, LcdScreenRecord(5, 1)).Good());
  EXPECT_FALSE(std::filesystem::exists(options.lcdDir / "F5N1.png"));
  EXPECT_EQ(unit.LcdScreens().count(4005), 1u);
}

TEST(UnitLcd, StringsAndScreensAreKept) {
  SimUnit unit;
  HostLink host(unit);
  ASSERT_TRUE(host.Send(0xE2, LcdStringRecord(5001, "2.3.0")).Good());
  ASSERT_TRUE(host.Send(0xE2, LcdStringRecord(5002, "1.9.4")).Good());
  const Reply header = host.Read(0xE0, 20);
  ASSERT_TRUE(header.Good());
  const uint16_t count = Get16(&header.data[0]);
  EXPECT_EQ(count, 4);  // two strings the unit has, two sent
  const uint32_t allSize = Get32(&header.data[4]);
  EXPECT_EQ(allSize, (count - 1u) * 260 + 267);
  EXPECT_EQ(Get16(&header.data[8]), 5002);  // the last string sent
  const Reply all = host.Read(0xE2, allSize);
  ASSERT_TRUE(all.Good());
  ASSERT_EQ(all.data.size(), allSize);
  EXPECT_EQ(Get16(&all.data[0]), count);
  EXPECT_EQ(Get32(&all.data[3]), allSize);
  bool found = false;
  for (size_t at = 7; at + 260 <= all.data.size(); at += 260) {
    if (Get16(&all.data[at]) != 5001) continue;
    found = true;
    EXPECT_EQ(all.data[at + 3], 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&all.data[at + 6]), 5), "2.3.0");
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(unit.LcdStrings().at(5002), "1.9.4");

  ASSERT_TRUE(host.Send(0xF0, LcdScreenRecord(3, 2)).Good());
  ASSERT_EQ(unit.LcdScreens().count(4003), 1u);
  EXPECT_EQ(unit.LcdScreens().at(4003).size(), 2u * 1086);
  // A record whose declared length and screen count disagree with what arrives is refused.
  std::vector<uint8_t> shortScreen = LcdScreenRecord(4, 33);
  shortScreen.resize(35418);  // a 35408-byte bitmap and the 10-byte header
  EXPECT_TRUE(host.Send(0xF0, shortScreen).CheckCondition());
  EXPECT_EQ(host.RequestSense().asc, 0x1A);
  EXPECT_EQ(unit.LcdScreens().count(4004), 0u);
}

TEST_P(UnitImprinter, ActionsAndInkShowInItsRecords) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  Reply info = host.Read(0x201, 71);
  EXPECT_EQ(info.data[25], 0);
  ASSERT_TRUE(host.Send(0x20C, ImprinterAction(1)).Good());  // enable
  ASSERT_TRUE(host.Send(0x20D, ImprinterAction(1)).Good());  // start
  info = host.Read(0x201, 71);
  EXPECT_EQ(info.data[25], 3);
  ASSERT_TRUE(host.Send(0x20D, ImprinterAction(2)).Good());  // stop
  EXPECT_EQ(host.Read(0x201, 71).data[25], 1);
  EXPECT_TRUE(host.Send(0x20D, ImprinterAction(7)).CheckCondition());
  EXPECT_EQ(host.RequestSense().asc, 0x26);

  ASSERT_TRUE(Ok(unit.Control("ink 42 7")));
  const Reply ink = host.Read(0x20F, 9);
  EXPECT_EQ(ink.data[7], 42);
  EXPECT_EQ(ink.data[8], 7);
}

// The glyph blocks fit the engine's room for them; one byte more is a driver overrun.
TEST_P(UnitImprinter, GlyphBlocksLongerThanTheirRoomAreRefused) {
  struct Case {
    uint16_t dataType;
    size_t room;  // head and the most glyph data
  };
  const Case cases[] = {{0x204, 21 + 256}, {0x205, 29 + 1024}, {0x206, 11 + 6144}};
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  for (const Case& c : cases) {
    EXPECT_TRUE(host.Send(c.dataType, LongRecord(c.room)).Good()) << std::hex << c.dataType;
    EXPECT_TRUE(host.Send(c.dataType, LongRecord(c.room + 1)).CheckCondition()) << std::hex << c.dataType;
    const test::SenseView s = host.RequestSense();
    EXPECT_EQ(s.key, 5) << std::hex << c.dataType;
    EXPECT_EQ(s.asc, 0x1A) << std::hex << c.dataType;
  }
}

// The blocks of the current line are kept for a test to decode; a page setting starts the next.
TEST_P(UnitImprinter, BlocksOfTheCurrentLineAreKeptUntilTheNextPageSetting) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  std::vector<uint8_t> text = LongRecord(13);
  text[11] = 0xAB;
  text[12] = 0xC0;
  ASSERT_TRUE(host.Send(0x203, LongRecord(9)).Good());
  ASSERT_TRUE(host.Send(0x206, text).Good());
  EXPECT_EQ(unit.Control("imprinter"),
            "ok 2\n"
            "203 9: 00 00 01 00 00 00 09 00 00\n"
            "206 13: 00 00 01 00 00 00 0D 00 00 00 00 AB C0");
  ASSERT_TRUE(host.Send(0x203, LongRecord(8)).Good());
  EXPECT_EQ(unit.Control("imprinter"), "ok 1\n203 8: 00 00 01 00 00 00 08 00");
}

TEST_P(UnitTray, HeightIsSetAndReadBackWithinItsRange) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  ASSERT_TRUE(host.Send(0xD5, ValueRecord(2)).Good());
  const Reply tray = host.Read(0xD5, 32);
  EXPECT_EQ(Get16(&tray.data[30]), 2);  // the fourteenth value: the current height
  EXPECT_TRUE(host.Send(0xD5, ValueRecord(9)).CheckCondition());
  EXPECT_EQ(host.RequestSense().asc, 0x26);
  EXPECT_EQ(Get16(&host.Read(0xD5, 32).data[30]), 2);
}

TEST_P(UnitLamp, WarmingUpShowsInTheLampStatus) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  EXPECT_EQ(host.Read(0xA0, 5).data[4], 1);
  unit.Control("lamp warming 2");
  EXPECT_EQ(host.Read(0xA0, 5).data[4], 2);
  EXPECT_EQ(host.Read(0xA0, 5).data[4], 2);
  EXPECT_EQ(host.Read(0xA0, 5).data[4], 1);
  unit.Control("lamp warming");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(host.Read(0xA0, 5).data[4], 2);
  unit.Control("lamp ready");
  EXPECT_EQ(host.Read(0xA0, 5).data[4], 1);
  // A lamp that cannot light reads 3 until it is ready again.
  ASSERT_EQ(unit.Control("lamp fault"), "ok lamp fault");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(host.Read(0xA0, 5).data[4], 3);
  unit.Control("lamp ready");
  EXPECT_EQ(host.Read(0xA0, 5).data[4], 1);
}

TEST_P(UnitCalibration, StepCountThenProgressPolls) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  auto steps = [&] {
    const Reply r = host.Read(0x6F, 8);
    return r.data[4] * 4096u + r.data[5] * 256u + r.data[6] * 16u + r.data[7];
  };
  EXPECT_EQ(steps(), 5u);
  ASSERT_TRUE(Ok(unit.Control("calib steps 3")));
  EXPECT_EQ(steps(), 3u);
  EXPECT_EQ(host.Read(0x6D, 8).data[4], 0);  // nothing started: idle
  ASSERT_TRUE(host.Send(0x60, ShortRecord(8, 0)).Good());
  EXPECT_EQ(host.Read(0x6D, 8).data[4], 1);
  EXPECT_EQ(host.Read(0x6D, 8).data[4], 1);
  EXPECT_EQ(host.Read(0x6D, 8).data[4], 0);  // the third step finishes
  EXPECT_EQ(host.Read(0x6D, 8).data[4], 0);

  ASSERT_TRUE(Ok(unit.Control("calib fail 2")));
  ASSERT_TRUE(host.Send(0x60, ShortRecord(8, 0)).Good());
  EXPECT_TRUE(host.Read(0x6D, 8).Good());
  EXPECT_TRUE(host.Read(0x6D, 8).CheckCondition());
  const test::SenseView s = host.RequestSense();
  EXPECT_EQ(s.key, 4);
  EXPECT_EQ(s.asc, 0x44);
  EXPECT_EQ(host.Read(0x6D, 8).data[4], 0);  // the calibration stopped
}

// A firmware part: identifier in bytes 0-5, its kind's text from byte 8, revision at 24.
std::vector<uint8_t> FirmwarePart(const char* id, bool master, const char* revision,
                                  size_t size = 64) {
  std::vector<uint8_t> part(size);
  for (size_t i = 0; i < size; ++i) part[i] = static_cast<uint8_t>(i * 37 + 11);
  std::memcpy(part.data(), id, 6);
  const char* text = master ? "master firmware" : "slave firmware";
  std::memcpy(&part[8], text, std::strlen(text));
  std::memcpy(&part[24], revision, 4);
  return part;
}

std::vector<uint8_t> Checksum(const std::vector<uint8_t>& part) {
  uint32_t sum = 0;
  for (uint8_t b : part) sum += b;
  std::vector<uint8_t> c(10);
  for (int i = 0; i < 4; ++i) c[i] = static_cast<uint8_t>(sum >> (8 * i));
  std::memcpy(&c[4], part.data(), 6);
  return c;
}

std::vector<uint8_t> FlashRecord(const std::vector<uint8_t>& block) {
  std::vector<uint8_t> r(9 + block.size(), 0);
  r[2] = 2;
  Put32(&r[3], static_cast<uint32_t>(block.size()));
  Put16(&r[7], 0x0002);
  std::memcpy(&r[9], block.data(), block.size());
  return r;
}

TEST_P(UnitFirmware, CheckedPartsAreStoredAndTheRevisionChanges) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  auto flash = [&](const std::vector<uint8_t>& block) { return host.Send(0x86, FlashRecord(block)); };
  const std::vector<uint8_t> master = FirmwarePart("M48F01", true, "2.05");
  const std::vector<uint8_t> slave = FirmwarePart("M48F01", false, "2.05");
  ASSERT_TRUE(flash(master).Good());
  ASSERT_TRUE(flash(Checksum(master)).Good());
  ASSERT_TRUE(flash(slave).Good());
  ASSERT_TRUE(flash(Checksum(slave)).Good());
  EXPECT_EQ(unit.Revision(), "2.05");
  std::vector<uint8_t> inquiry = HostLink::Cdb(0xE2);
  inquiry[10] = 255;
  const Reply answer = host.New(inquiry, {}, 255);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&answer.data[Get16(&answer.data[12])]), 4),
            "2.05");

  // A wrong checksum is refused and changes nothing.
  const std::vector<uint8_t> next = FirmwarePart("M48F02", true, "3.00");
  std::vector<uint8_t> badSum = Checksum(next);
  badSum[0] ^= 1;
  ASSERT_TRUE(flash(next).Good());
  EXPECT_TRUE(flash(badSum).CheckCondition());
  test::SenseView s = host.RequestSense();
  EXPECT_EQ(s.asc, 0x80);
  EXPECT_EQ(s.ascq, 0x08);
  EXPECT_EQ(unit.Revision(), "2.05");

  // A slave part of other firmware than the master before it is refused.
  ASSERT_TRUE(flash(next).Good());
  ASSERT_TRUE(flash(Checksum(next)).Good());
  EXPECT_EQ(unit.Revision(), "3.00");
  const std::vector<uint8_t> foreign = FirmwarePart("OTHER1", false, "3.00");
  ASSERT_TRUE(flash(foreign).Good());
  EXPECT_TRUE(flash(Checksum(foreign)).CheckCondition());
  EXPECT_EQ(host.RequestSense().ascq, 0x08);

  // A checksum record with no part before it.
  EXPECT_TRUE(flash(Checksum(next)).CheckCondition());
  EXPECT_EQ(host.RequestSense().asc, 0x26);
}

TEST_P(UnitReset, ResetDropsThePendingSenseAndReturnsTheSheet) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  unit.Control("load 1");
  test::WindowParams win;
  ASSERT_TRUE(host.SetWindow(win));
  ASSERT_TRUE(host.Reserve(0).Good());
  EXPECT_EQ(unit.SheetsInFeeder(), 0u);
  ASSERT_TRUE(host.Read(0x77, 4).CheckCondition());
  ASSERT_TRUE(host.New(HostLink::Cdb(0xFF)).Good());
  EXPECT_EQ(host.RequestSense().key, 0);
  EXPECT_EQ(unit.SheetsInFeeder(), 1u);
  // Classic reset: TEST UNIT READY with byte 5 bit 0.
  ASSERT_TRUE(host.Reserve(0).Good());
  ASSERT_TRUE(host.Classic({0x00, 0, 0, 0, 0, 0x01}).Good());
  EXPECT_EQ(unit.SheetsInFeeder(), 1u);
}

}  // namespace
}  // namespace rzd::engine
