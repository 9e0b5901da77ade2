// The new command set's inquiry answer mapped into the inquiry record and capability bytes.
#include "lowdrv/engine/byte_order.h"
#include "lowdrv/engine/engine_caps.h"
#include "lowdrv/engine/new_set_inquiry.h"
#include "value_copy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace rzd::lowdrv {
namespace {

// An answer of `size` bytes with its stated size at bytes 3-4.
std::vector<uint8_t> Answer(size_t size = 200) {
  std::vector<uint8_t> a(size, 0);
  PutBE16(&a[3], static_cast<uint16_t>(size));
  return a;
}

void Word(std::vector<uint8_t>& a, size_t at, uint16_t v) { PutBE16(&a[at], v); }

ReduzidInq Translate(const std::vector<uint8_t>& a, EngineCapabilities* capsOut = nullptr, size_t size = SIZE_MAX) {
  ReduzidInq inq{};
  EngineCapabilities caps;
  TranslateNewInquiry(a.data(), size == SIZE_MAX ? a.size() : size, inq, caps);
  if (capsOut) *capsOut = caps;
  return inq;
}

TEST(NewSetInquiryTest, FixedFieldsTextsAndResolutions) {
  std::vector<uint8_t> a = Answer(200);
  a[5] = 0x06;
  Word(a, 8, 150);
  Word(a, 10, 160);
  Word(a, 12, 180);
  std::memcpy(&a[150], "QUARX   ", 8);
  std::memcpy(&a[160], "M48tz Scanner   ", 16);
  std::memcpy(&a[180], "1.00", 4);
  Word(a, 19, 2550), Word(a, 22, 3508), Word(a, 25, 2592), Word(a, 28, 4200), Word(a, 31, 11), Word(a, 34, 12);
  a[48] = 0x01;
  Word(a, 49, 0x2345);
  Word(a, 54, 0x0102);  // scanner type 0x02: any of 0x3F, so F60 is the maximum
  Word(a, 58, 600);
  Word(a, 60, 1200);
  Word(a, 62, 300);
  a[70] = 8, a[71] = 1, a[72] = 3, a[73] = 9, a[74] = 2, a[75] = 7, a[76] = 5;
  Word(a, 80, 0x1111), Word(a, 82, 0x2222), Word(a, 84, 0x3333), Word(a, 86, 0x4444);
  a[93] = 0x5A;
  a[98] = 1, a[99] = 2, a[100] = 3, a[101] = 4;

  const ReduzidInq inq = Translate(a);
  EXPECT_EQ(inq.ProductQualifier, 6);
  EXPECT_EQ(std::string(inq.VendorIdent, 8), "QUARX   ");
  EXPECT_EQ(std::string(inq.ProductIdent, 16), "M48tz Scanner   ");
  EXPECT_EQ(std::string(inq.ProductReversion, 4), "1.00");
  EXPECT_EQ(Copy(inq.FlatbedMaxWidth), 2550);
  EXPECT_EQ(Copy(inq.FlatbedMaxLength), 3508);
  EXPECT_EQ(Copy(inq.ADFMaxWidth), 2592);
  EXPECT_EQ(Copy(inq.ADFMaxLength), 4200);
  EXPECT_EQ(Copy(inq.TransparencyMaxWidth), 11);
  EXPECT_EQ(Copy(inq.TransparencyMaxLength), 12);
  EXPECT_EQ(inq.ADFHardMaxLengthHighByte, 0x01);
  EXPECT_EQ(Copy(inq.ADFHardMaxLength), 0x2345);
  EXPECT_EQ(inq.ScannerType, 0x02);
  EXPECT_EQ(inq.OpticalResolution, 6);
  EXPECT_EQ(Copy(inq.OpticalResEx), 6);
  EXPECT_EQ(inq.MaximumResolution, 12);
  EXPECT_EQ(Copy(inq.MaxGrayXRes), 1200);
  EXPECT_EQ(Copy(inq.MaxColorYRes), 1200);
  EXPECT_EQ(inq.LineartPixelBound, 8);
  EXPECT_EQ(inq.GrayPixelBound, 1);
  EXPECT_EQ(inq.ColorPixelBound, 3);
  EXPECT_EQ(inq.HalftonePixelBound, 9);
  EXPECT_EQ(inq.Gray4bitsPixelBound, 2);
  EXPECT_EQ(inq.ErrorDiffusionPixelBound, 7);
  EXPECT_EQ(inq.ButtonNumber, 5);
  EXPECT_EQ(Copy(inq.ExtValue134), 0x2222);
  EXPECT_EQ(Copy(inq.ExtValue136), 0x4444);
  EXPECT_EQ(Copy(inq.ExtValue138), 0x1111);
  EXPECT_EQ(Copy(inq.ExtValue140), 0x3333);
  EXPECT_EQ(inq.YCbCrCapability, 0x5A);
  EXPECT_EQ(InqBytes(inq)[160], 1);
  EXPECT_EQ(InqBytes(inq)[163], 4);
  EXPECT_TRUE(inq.AbilityEx3 & 0x10);  // the colour matrix
}

TEST(NewSetInquiryTest, ScannerTypeWithoutLowBitsTakesTheSecondMaximum) {
  std::vector<uint8_t> a = Answer();
  Word(a, 54, 0x0040);
  Word(a, 60, 1200);
  Word(a, 62, 600);
  EXPECT_EQ(Copy(Translate(a).MaxGrayXRes), 600);
}

TEST(NewSetInquiryTest, AbsentTextOffsetLeavesTheFieldAndTextsStopAtTheReceivedBytes) {
  std::vector<uint8_t> a = Answer(120);
  Word(a, 8, 0);      // absent
  Word(a, 10, 110);   // product text runs past the 120 bytes received
  std::memcpy(&a[110], "ABCDEFGHIJ", 10);
  Word(a, 12, 130);   // beyond the answer: ignored
  ReduzidInq inq{};
  std::memcpy(inq.VendorIdent, "KEEPME!!", 8);
  EngineCapabilities caps;
  TranslateNewInquiry(a.data(), a.size(), inq, caps);
  EXPECT_EQ(std::string(inq.VendorIdent, 8), "KEEPME!!");
  EXPECT_EQ(std::string(inq.ProductIdent, 16), std::string("ABCDEFGHIJ") + std::string(6, '\0'));
  EXPECT_EQ(std::string(inq.ProductReversion, 4), std::string(4, '\0'));
}

TEST(NewSetInquiryTest, StatedSizeShorterThanTheTextOffsetCopiesNothing) {
  std::vector<uint8_t> a = Answer(200);
  PutBE16(&a[3], 100);  // states 100 bytes
  Word(a, 8, 150);
  std::memcpy(&a[150], "QUARX   ", 8);
  EXPECT_EQ(std::string(Translate(a).VendorIdent, 8), std::string(8, '\0'));
}

TEST(NewSetInquiryTest, HalftoneListIsBoundedByTenAndByTheBytesReceived) {
  std::vector<uint8_t> a = Answer(200);
  Word(a, 66, 150);
  a[150] = 12;
  for (int i = 0; i < 12; ++i) a[151 + i] = static_cast<uint8_t>(0x21 + i);
  Word(a, 68, 170);
  a[170] = 3;
  ReduzidInq inq = Translate(a);
  EXPECT_EQ(Copy(inq.HalftoneNum), 12);
  EXPECT_EQ(inq.HalftoneIndex[0], 0x21);
  EXPECT_EQ(inq.HalftoneIndex[9], 0x2A);
  EXPECT_EQ(inq.ErrorDiffusionNum, 3);

  // Only 4 list bytes arrived: 4 are copied and counted.
  inq = Translate(a, nullptr, 155);
  EXPECT_EQ(Copy(inq.HalftoneNum), 4);
  EXPECT_EQ(inq.HalftoneIndex[3], 0x24);
  EXPECT_EQ(inq.HalftoneIndex[4], 0);
  EXPECT_EQ(inq.ErrorDiffusionNum, 0);  // its offset lies beyond the bytes received
}

TEST(NewSetInquiryTest, BytesBeyondTheReceivedLengthReadAsZero) {
  std::vector<uint8_t> a = Answer(200);
  a[72] = 3;
  a[97] = 0x07;
  const ReduzidInq inq = Translate(a, nullptr, 60);
  EXPECT_EQ(inq.ColorPixelBound, 0);
  EngineCapabilities caps;
  Translate(a, &caps, 60);
  EXPECT_EQ(caps.Imprinter, 0);
}

TEST(NewSetInquiryTest, CapabilityWordBitsAreSetAndItsTypeBitIsAdded) {
  std::vector<uint8_t> a = Answer();
  Word(a, 54, 0x0002);   // scanner type already has bit 0x02
  Word(a, 56, 0x0FF2);   // every word bit the translation reads, bit 0x02 included
  const ReduzidInq inq = Translate(a);
  EXPECT_EQ(inq.ScannerType, 0x04);  // 0x02 + 0x02: added, not combined with OR
  EXPECT_EQ(inq.AbilityEx6 & 0x07, 0x07);
  EXPECT_EQ(InqBytes(inq)[155] & 0x03, 0);  // bits 0x20 and 0x10 set: neither flag
  EXPECT_EQ(inq.AbilityEx5 & 0x28, 0x28);
  EXPECT_EQ(InqBytes(inq)[148], 0x80);
  EXPECT_TRUE(inq.AbilityEx7 & 0x80);
  EXPECT_EQ(InqBytes(inq)[158] & 0x06, 0x06);

  std::vector<uint8_t> b = Answer();
  Word(b, 56, 0x0000);
  const ReduzidInq clear = Translate(b);
  EXPECT_EQ(InqBytes(clear)[155] & 0x03, 0x03);
  EXPECT_EQ(clear.AbilityEx6 & 0x07, 0x06);
}

// A bit that two sources set, or that the record already holds, is set once: adding it would
// carry into the next bit.
TEST(NewSetInquiryTest, BitsSetTwiceOrAlreadySetStaySetOnce) {
  std::vector<uint8_t> a = Answer();
  Word(a, 56, 0x0E00);  // byte 158 bits 0x02, 0x04 and AbilityEx7 bit 0x80 from the word
  a[92] = 0xC0;         // byte 158 bits 0x02, 0x04 again
  a[90] = 0x20;         // AbilityEx7 bit 0x80 again
  a[89] = 0x40;         // byte 149 bits 0x05
  a[96] = 0x10;         // byte 159 bit 0x10, byte 164 bit 0x01
  ReduzidInq inq{};
  InqBytes(inq)[149] = 0x05;
  InqBytes(inq)[159] = 0x10;
  InqBytes(inq)[164] = 0x01;
  inq.AbilityEx2 = 0x04;
  inq.AbilityEx3 = 0x10;
  inq.AbilityEx6 = 0x06;
  EngineCapabilities caps;
  TranslateNewInquiry(a.data(), a.size(), inq, caps);
  const uint8_t* r = InqBytes(inq);
  EXPECT_EQ(r[158], 0x06);
  EXPECT_EQ(inq.AbilityEx7, 0x80);
  EXPECT_EQ(r[149], 0x05);
  EXPECT_EQ(r[159], 0x10);
  EXPECT_EQ(r[164], 0x01);
  EXPECT_EQ(inq.AbilityEx2, 0x04);
  EXPECT_EQ(inq.AbilityEx3, 0x10);
  EXPECT_EQ(inq.AbilityEx6 & 0x06, 0x06);
  EXPECT_EQ(inq.AbilityEx6 & 0x08, 0);
}

TEST(NewSetInquiryTest, AbilityBytesMapBitByBit) {
  struct Case {
    size_t answerByte;
    uint8_t answerBit;
    size_t recordByte;
    uint8_t recordBits;
  };
  const Case cases[] = {
      {88, 0x80, 39, 0x40},  {88, 0x40, 39, 0x10},  {88, 0x20, 50, 0x80},  {88, 0x10, 50, 0x04},
      {88, 0x08, 50, 0x02},  {88, 0x04, 50, 0x01},  {88, 0x02, 51, 0x20},  {88, 0x01, 51, 0x01},
      {89, 0x80, 52, 0x02},  {89, 0x40, 149, 0x05}, {89, 0x20, 93, 0x01},  {89, 0x01, 128, 0x01},
      {90, 0x20, 128, 0x80}, {90, 0x10, 157, 0x08}, {90, 0x04, 157, 0x20}, {90, 0x08, 133, 0x01},
      {90, 0x02, 133, 0x80}, {90, 0x40, 156, 0x40}, {91, 0x10, 158, 0x80}, {91, 0x04, 157, 0x01},
      {91, 0x02, 128, 0x10}, {91, 0x01, 94, 0x04},  {92, 0x80, 158, 0x02}, {92, 0x40, 158, 0x04},
      {92, 0x02, 133, 0x20}, {96, 0x10, 159, 0x10}, {96, 0x10, 164, 0x01}, {96, 0x01, 164, 0x02},
      {97, 0x04, 156, 0x08},
  };
  const ReduzidInq base = Translate(Answer());
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "answer byte " << c.answerByte << " bit " << int(c.answerBit));
    std::vector<uint8_t> a = Answer();
    a[c.answerByte] = c.answerBit;
    const ReduzidInq inq = Translate(a);
    EXPECT_EQ(InqBytes(inq)[c.recordByte] & c.recordBits, c.recordBits);
    EXPECT_EQ(InqBytes(base)[c.recordByte] & c.recordBits, 0);
  }
  // The two always-set bits and the low three bits of byte 90 together.
  EXPECT_TRUE(base.AbilityEx2 & 0x04);
  std::vector<uint8_t> a = Answer();
  a[90] = 0x07;
  EXPECT_TRUE(InqBytes(Translate(a))[164] & 0x04);
  a[90] = 0x06;
  EXPECT_FALSE(InqBytes(Translate(a))[164] & 0x04);
}

TEST(NewSetInquiryTest, CalibrationMeansAndCapabilityBytes) {
  std::vector<uint8_t> a = Answer();
  a[103] = 128, a[104] = 128, a[105] = 130;  // mean 128: dark enough
  a[109] = 200, a[110] = 200, a[111] = 200;  // mean 200
  a[120] = 0x08;
  a[97] = 0x07;
  a[121] = 0x80;
  EngineCapabilities caps;
  const ReduzidInq inq = Translate(a, &caps);
  EXPECT_EQ(InqBytes(inq)[154], 0x01);
  EXPECT_EQ(caps.InputTray, 1);
  EXPECT_EQ(caps.Ultrasonic, 1);
  EXPECT_EQ(caps.ExtendedMultifeed, 1);
  EXPECT_EQ(caps.Imprinter, 1);
  EXPECT_EQ(caps.WindowByte66, 1);
  EXPECT_EQ(caps.Calibration[0], 128);
  EXPECT_EQ(caps.Calibration[8], 200);

  // Flags are only ever set: a later answer without them leaves them on.
  std::vector<uint8_t> b = Answer();
  b[109] = 10, b[110] = 10, b[111] = 10;
  ReduzidInq again{};
  TranslateNewInquiry(b.data(), b.size(), again, caps);
  EXPECT_EQ(caps.Imprinter, 1);
  EXPECT_EQ(InqBytes(again)[154], 0x11);
}

TEST(NewSetInquiryTest, UntouchedFieldsKeepTheirValues) {
  ReduzidInq inq{};
  inq.AENC = 0x77;
  inq.OverscanWidth = 0x1234;
  inq.AbilityEx1 = 0x40;
  EngineCapabilities caps;
  const std::vector<uint8_t> a = Answer();
  TranslateNewInquiry(a.data(), a.size(), inq, caps);
  EXPECT_EQ(inq.AENC, 0x77);
  EXPECT_EQ(Copy(inq.OverscanWidth), 0x1234);
  EXPECT_EQ(inq.AbilityEx1, 0x40);
}

TEST(NewSetInquiryTest, SharedCapabilityBitsAgreeWithTheUnit) {
  std::vector<uint8_t> a = Answer();
  a[caps::kAnswerLcd.offset] |= caps::kAnswerLcd.mask;
  a[caps::kAnswerDfdButtons.offset] |= caps::kAnswerDfdButtons.mask;
  a[caps::kAnswerTruncation.offset] |= caps::kAnswerTruncation.mask;
  a[caps::kAnswerPowerOffTimer.offset] |= caps::kAnswerPowerOffTimer.mask;
  a[caps::kAnswerImprinter.offset] |= caps::kAnswerImprinter.mask;
  const ReduzidInq inq = Translate(a);
  const uint8_t* r = InqBytes(inq);
  EXPECT_TRUE(caps::IsSet(r, sizeof inq, caps::kInqLcd));
  EXPECT_TRUE(caps::IsSet(r, sizeof inq, caps::kInqDfdButtons));
  EXPECT_TRUE(caps::IsSet(r, sizeof inq, caps::kInqButtons));
  EXPECT_TRUE(caps::IsSet(r, sizeof inq, caps::kInqBackgroundRaster));
  EXPECT_TRUE(caps::IsSet(r, sizeof inq, caps::kInqFrontPostImprinter));
  EXPECT_TRUE(caps::IsSet(r, sizeof inq, caps::kInqTruncation));
  EXPECT_EQ(r[149] & 0x05, 0x05);
}

}  // namespace
}  // namespace rzd::lowdrv
