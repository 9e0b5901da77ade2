// Every SEND record of both command sets, byte for byte.
#include "lowdrv/engine/send_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace rzd::lowdrv {
namespace {

// Bytes followed by `count` copies of `fill`.
Bytes Then(const Bytes& head, size_t count, uint8_t fill = 0) {
  Bytes b(head.size() + count, fill);
  std::copy(head.begin(), head.end(), b.begin());
  return b;
}

// Two byte lists one after the other.
Bytes Join(const Bytes& head, const uint8_t* tail, size_t count) {
  Bytes b = Then(head, count);
  std::copy(tail, tail + count, b.begin() + static_cast<std::ptrdiff_t>(head.size()));
  return b;
}

TEST(SendRecordsTest, EveryRecordAsExactBytes) {
  const uint16_t matrix[9] = {0x0100, 0x0002, 0x0003, 0x0004, 0x0105, 0x0006, 0x0007, 0x0008, 0x0109};
  uint8_t param[kImprParameterSize];
  for (size_t i = 0; i < sizeof param; ++i) param[i] = static_cast<uint8_t>(0x40 + i);
  uint8_t ip[kIPBlockSize];
  std::memset(ip, 0xEE, sizeof ip);
  uint8_t tables[kJPEGTablesSize];
  for (size_t i = 0; i < sizeof tables; ++i) tables[i] = static_cast<uint8_t>(i);
  uint8_t lcdString[kLCDStringBlockSize] = {};
  lcdString[0] = 0x34, lcdString[1] = 0x12;  // host order 0x1234
  lcdString[5] = 0x78, lcdString[6] = 0x56;  // host order 0x5678
  lcdString[7] = 'A';
  const uint8_t flash[3] = {0xF1, 0xF2, 0xF3};
  const uint8_t gamma[4] = {0, 85, 170, 255};

  ReduzidNVMData nvm{};
  nvm.PadScanCount = 0x01020304;
  nvm.PowerSavingTime = 15;
  const Bytes nvmWire = [&] {
    Bytes b(167, 0);
    b[0] = 1, b[1] = 2, b[2] = 3, b[3] = 4;
    b[70] = 0, b[71] = 15;
    return b;
  }();

  struct Case {
    const char* name;
    Bytes record;
    Bytes bytes;
  };
  const Case cases[] = {
      {"calibration poll start 0x60", CalibrationPollStartRecord(), {0, 0, 0, 8, 0, 0, 0, 0}},
      {"imprinter enable 0x20C", ImprinterActionRecord(1), {0, 0, 1, 0, 0, 0, 8, 1}},
      {"imprinter disable 0x20C", ImprinterActionRecord(0), {0, 0, 1, 0, 0, 0, 8, 0}},
      {"imprinter stop 0x20D", ImprinterActionRecord(2), {0, 0, 1, 0, 0, 0, 8, 2}},
      {"imprinter parameters 0x202", ImprParameterRecord(param),
       [&] {
         Bytes b(param, param + sizeof param);
         b[0] = 0, b[1] = 0, b[2] = 1, b[3] = 0, b[4] = 0, b[5] = 0, b[6] = 39;
         for (size_t at = 7; at < 27; at += 4) std::reverse(b.begin() + at, b.begin() + at + 4);
         return b;
       }()},
      {"power time 0x105", TimeRecord(0x1234), {0, 0, 0, 6, 0x12, 0x34}},
      {"LED number 0xA4", LEDNumRecord(3), {0, 0, 2, 12, 3, 0, 0, 0, 0, 0, 0, 0}},
      {"matrix 0x83 (host order)", MatrixRecordNew(matrix),
       {0, 0, 2, 22, 0x00, 0x01, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x01, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00,
        0x09, 0x01}},
      {"NVRAM 0x85", NVRAMRecordNew(nvm),
       Join({0, 0, 2, 0x00, 174, 0x00, 0x12}, nvmWire.data(), nvmWire.size())},
      {"NVRAM field 0x99", NVRAMFieldRecord(0x1FF), {0, 0, 2, 0xFF, 0, 0, 0}},
      {"flash 0x86", FlashRAMRecordNew(flash, 3), {0, 0, 2, 0, 0, 0, 3, 0x00, 0x02, 0xF1, 0xF2, 0xF3}},
      {"JPEG tables 0x8B", JPEGTablesRecordNew(tables),
       Join({0, 0, 0x64, 0x84}, tables, sizeof tables)},
      {"ultrasonic 0x8E", UltrasonicRecord(0x0A0B0C), {0, 0, 1, 7, 0x0C, 0x0B, 0x0A}},
      {"truncation 0x95/0x96", TruncLenRecordNew(0x0123), {0, 0, 0x64, 0x0A, 0, 1, 0x01, 0x23, 0, 0}},
      {"image processing 0x98", IPRecord(ip), Then({0xEE, 0xEE, 0x02, 0x44, 0x00, 0x00}, 62, 0xEE)},
      {"reset DFD selection 0xFF", ResetDFDSelectionRecord(), {0x00, 0x00, 0x01, 0x0C, 0x01, 0, 0, 0, 0, 0, 0, 0}},
      {"LCD string 0xE2", LCDStringRecord(lcdString), Then({0x12, 0x34, 2, 0x01, 0x09, 0x56, 0x78, 'A'}, 257)},
      {"gamma green 0x81", GammaRecordNew(1, gamma, 4), {0, 0, 0, 0, 12, 0, 1, 0x10, 0, 85, 170, 255}},
      {"classic power time 0xA2", TimeRecordClassic(0x0102), {0x01, 0x02}},
      {"classic lamp on 0xA0", LampRecordClassic(true), {1}},
      {"classic lamp off 0xA0", LampRecordClassic(false), {0}},
      {"classic matrix 0x83", MatrixRecordClassic(matrix),
       {0x01, 0x00, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x01, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x01, 0x09}},
      {"classic NVRAM 0x85", NVRAMRecordClassic(nvm), nvmWire},
      {"classic truncation, short sense", TruncLenRecordClassic(0x0102, 0x0304, false), {0x01, 0x02, 0x03, 0x04}},
      {"classic truncation, long sense", TruncLenRecordClassic(0x0102, 0x0304, true), {0x01, 0x02}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.record, c.bytes) << c.name;
}

TEST(SendRecordsTest, LcdScreensArePaddedToTheLengthSentAndNeverReadPast) {
  // A header naming two screens, but a buffer that holds only the header and 100 bytes.
  Bytes buffer = Then({9, 9, 9, 0, 0, 0, 0, 0xA2, 0x0F, 2}, 100, 0x5A);
  const std::optional<Bytes> record = LCDDisplayRecord(buffer.data(), buffer.size());
  ASSERT_TRUE(record);
  ASSERT_EQ(record->size(), 10u + 2 * 1086);
  const Bytes head(record->begin(), record->begin() + 10);
  EXPECT_EQ(head, Bytes({0, 0, 2, 0x00, 0x00, 0x08, 0x86, 0x0F, 0xA2, 2}));
  EXPECT_EQ((*record)[10], 0x5A);
  EXPECT_EQ((*record)[109], 0x5A);
  for (size_t i = 110; i < record->size(); ++i) ASSERT_EQ((*record)[i], 0) << i;
  // A buffer longer than the screens it names: only the named screens go out.
  Bytes longer = Then({0, 0, 0, 0, 0, 0, 0, 1, 0, 1}, 3000, 0x11);
  EXPECT_EQ(LCDDisplayRecord(longer.data(), longer.size())->size(), 1096u);
  EXPECT_FALSE(LCDDisplayRecord(buffer.data(), 9));
}

TEST(SendRecordsTest, ImprinterPageSettingNeverSendsMoreThanTheBufferHolds) {
  // Length 9 in host order at bytes 3-6.
  const Bytes nine = {0, 0, 1, 9, 0, 0, 0, 0x17, 0};
  const std::optional<Bytes> ok = ImprPageSettingRecord(nine.data(), nine.size());
  ASSERT_TRUE(ok);
  EXPECT_EQ(*ok, Bytes({0, 0, 1, 0, 0, 0, 9, 0x17, 0}));
  // The 8-byte form inside a 9-byte buffer sends 8 bytes.
  const Bytes eight = {0, 0, 1, 8, 0, 0, 0, 0x17, 0xFF};
  EXPECT_EQ(ImprPageSettingRecord(eight.data(), eight.size())->size(), 8u);
  // A stated length beyond the buffer, or below the head, is refused.
  const Bytes tooLong = {0, 0, 1, 40, 0, 0, 0, 0x17, 0};
  EXPECT_FALSE(ImprPageSettingRecord(tooLong.data(), tooLong.size()));
  const Bytes tooShort = {0, 0, 1, 3, 0, 0, 0, 0x17};
  EXPECT_FALSE(ImprPageSettingRecord(tooShort.data(), tooShort.size()));
  EXPECT_FALSE(ImprPageSettingRecord(nine.data(), 6));
}

}  // namespace
}  // namespace rzd::lowdrv
