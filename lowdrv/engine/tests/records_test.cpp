// Wire records: each conversion swaps exactly its multi-byte fields, twice restores the record,
// known wire bytes read as the expected values, and the dumps carry their labels.
#include "lowdrv/engine/button_report.h"
#include "lowdrv/engine/calib_format.h"
#include "lowdrv/engine/imprinter_records.h"
#include "lowdrv/engine/inquiry_record.h"
#include "lowdrv/engine/nvm_record.h"
#include "lowdrv/engine/sense_record.h"
#include "lowdrv/engine/window_desc.h"
#include "value_copy.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace rzd::lowdrv {
namespace {

struct Field {
  size_t offset;
  size_t width;
};

struct RecordCase {
  const char* name;
  size_t size;
  std::vector<Field> fields;  // the multi-byte wire fields
  std::function<void(uint8_t*)> convert;
};

template <typename Record>
std::function<void(uint8_t*)> Converter() {
  return [](uint8_t* bytes) {
    Record r;
    std::memcpy(&r, bytes, sizeof r);
    ConvertByteOrder(r);
    std::memcpy(bytes, &r, sizeof r);
  };
}

std::vector<Field> Fields(std::initializer_list<size_t> offsets, size_t width) {
  std::vector<Field> out;
  for (size_t o : offsets) out.push_back({o, width});
  return out;
}

std::vector<Field> Join(std::initializer_list<std::vector<Field>> parts) {
  std::vector<Field> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<RecordCase> Cases() {
  return {
      {"inquiry", sizeof(ReduzidInq),
       Fields({40, 42, 44, 46, 48, 75, 77, 79, 81, 83, 85, 87, 89, 131, 134, 136, 138, 140, 142, 144, 151}, 2),
       Converter<ReduzidInq>()},
      {"nvram", sizeof(ReduzidNVMData),
       Join({Fields({0, 4, 8, 12, 73, 77, 81, 124, 128, 132, 136, 140, 144, 150, 154, 158, 163}, 4),
             Fields({16, 18, 20, 22, 24, 26, 28, 30, 32, 34, 36, 38, 40, 42, 70, 122, 148}, 2)}),
       Converter<ReduzidNVMData>()},
      {"calibration format", sizeof(ReduzidCalibFormat), Fields({0, 9, 11, 13, 15, 17, 19, 22, 24}, 2),
       Converter<ReduzidCalibFormat>()},
      {"window", sizeof(ReduzidWindowDesc),
       Join({Fields({6, 10, 12, 35, 38, 42, 53, 55, 59, 61, 63}, 2), Fields({14, 18, 22, 26}, 4)}),
       Converter<ReduzidWindowDesc>()},
      {"sense", sizeof(ReduzidSense), Join({Fields({3, 28}, 4), Fields({23, 26}, 2)}), Converter<ReduzidSense>()},
      {"button report", sizeof(ButtonReport), {}, Converter<ButtonReport>()},
      {"imprinter inquiry", kImprInquirySize, Fields({14}, 4),
       [](uint8_t* b) { ConvertImprInquiry(*reinterpret_cast<uint8_t(*)[kImprInquirySize]>(b)); }},
      {"imprinter info", kImprInfoSize,
       Join({Fields({3, 7, 11, 15, 19, 26, 30, 34, 38}, 4), Fields({23, 42, 44}, 2)}),
       [](uint8_t* b) { ConvertImprInfo(*reinterpret_cast<uint8_t(*)[kImprInfoSize]>(b)); }},
      {"imprinter nvm data", kImprNVMWireSize, Join({Fields({17, 21, 25}, 4), Fields({55, 57, 59, 113, 115, 117}, 2)}),
       [](uint8_t* b) { ConvertImprNVMData(b, kImprNVMWireSize); }},
  };
}

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
  return b;
}

TEST(RecordsTest, EachConversionSwapsExactlyItsFieldsAndTwiceRestores) {
  for (const RecordCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> wire = Pattern(c.size);
    std::vector<uint8_t> expected = wire;
    for (const Field& f : c.fields) std::reverse(expected.begin() + f.offset, expected.begin() + f.offset + f.width);
    std::vector<uint8_t> bytes = wire;
    c.convert(bytes.data());
    EXPECT_EQ(bytes, expected);
    c.convert(bytes.data());
    EXPECT_EQ(bytes, wire);
  }
}

TEST(RecordsTest, InquiryFromKnownWireBytes) {
  uint8_t wire[sizeof(ReduzidInq)] = {};
  wire[0] = 6;
  std::memcpy(wire + 8, "QUARX   ", 8);
  wire[40] = 0x02, wire[41] = 0x58;    // MaxGrayXRes 600
  wire[85] = 0x0A, wire[86] = 0x20;    // ADFMaxWidth 2592
  wire[131] = 0x12, wire[132] = 0x34;  // ADFHardMaxLength
  wire[165] = 0xAA, wire[166] = 0xBB;  // host-order field, never swapped
  ReduzidInq inq;
  std::memcpy(&inq, wire, sizeof inq);
  ConvertByteOrder(inq);
  EXPECT_EQ(inq.ProductQualifier, 6);
  EXPECT_EQ(std::string(inq.VendorIdent, 8), "QUARX   ");
  EXPECT_EQ(Copy(inq.MaxGrayXRes), 600);
  EXPECT_EQ(Copy(inq.ADFMaxWidth), 2592);
  EXPECT_EQ(Copy(inq.ADFHardMaxLength), 0x1234);
  EXPECT_EQ(Copy(inq.OverscanWidth), 0xBBAA);
}

TEST(RecordsTest, NvramFromKnownWireBytes) {
  uint8_t wire[sizeof(ReduzidNVMData)] = {};
  wire[0] = 0x00, wire[1] = 0x01, wire[2] = 0x02, wire[3] = 0x03;  // PadScanCount
  wire[16] = 0xFF, wire[17] = 0xFE;                                // LeadingEdgeFlatbed -2
  wire[28] = 0, wire[29] = 5;                                      // BornMonth
  wire[30] = 0, wire[31] = 7;                                      // BornDay
  wire[32] = 0x07, wire[33] = 0xDD;                                // BornYear 2013
  std::memcpy(wire + 46, "QM48TZ000001", 12);
  wire[163] = 0, wire[164] = 0, wire[165] = 0x01, wire[166] = 0x00;  // CleanCounter 256
  ReduzidNVMData n;
  std::memcpy(&n, wire, sizeof n);
  ConvertByteOrder(n);
  EXPECT_EQ(Copy(n.PadScanCount), 0x00010203u);
  EXPECT_EQ(Copy(n.LeadingEdgeFlatbed), -2);
  EXPECT_EQ(Copy(n.BornYear), 2013);
  EXPECT_EQ(Copy(n.BornDay), 7);
  EXPECT_EQ(Copy(n.CleanCounter), 256u);
  const std::string dump = DumpNVRAM(n);
  EXPECT_NE(dump.find("Pad Scan Count: 66051\n"), std::string::npos);
  EXPECT_NE(dump.find("Leading Edge Fletbed: -2\n"), std::string::npos);
  EXPECT_NE(dump.find("Born Year: 2013\n"), std::string::npos);
  // "%24.24s": the serial number right-aligned in 24 places.
  EXPECT_NE(dump.find("SN:             QM48TZ000001Power Saving Time: 0\n"), std::string::npos);
}

TEST(RecordsTest, CalibrationFormatFromKnownWireBytes) {
  uint8_t wire[32] = {0x13, 0xEC, 2, 16, 0x80, 0x01, 0x10, 0x11, 0x12, 0x0F, 0xA0};
  ReduzidCalibFormat f;
  std::memcpy(&f, wire, sizeof f);
  ConvertByteOrder(f);
  EXPECT_EQ(Copy(f.PixelPerLine), 5100);
  EXPECT_EQ(f.LineCount, 16);
  EXPECT_EQ(Copy(f.RShading), 0x0FA0);
  const std::string dump = DumpCalibFormat(f);
  EXPECT_NE(dump.find("Pixel Per Line = 5100\n"), std::string::npos);
  EXPECT_NE(dump.find("R Shading = 0xFA0\n"), std::string::npos);
}

TEST(RecordsTest, WindowFromKnownWireBytesAndTransferLength) {
  ReduzidWindowDesc w{};
  w.Data.Length = 0x1A0;
  w.Desc.XRes = 300;
  w.Desc.Width = 10200;
  ReduzidWindowDesc wire = w;
  ConvertByteOrder(wire);
  const uint8_t* b = WindowBytes(wire);
  EXPECT_EQ(b[6], 0x01);
  EXPECT_EQ(b[7], 0xA0);
  EXPECT_EQ(b[10], 0x01);
  EXPECT_EQ(b[11], 0x2C);
  EXPECT_EQ(b[22], 0x00);
  EXPECT_EQ(b[24], 0x27);
  EXPECT_EQ(b[25], 0xD8);
  // Only the low byte of the descriptor length counts, plus the header.
  EXPECT_EQ(ClassicWindowTransferLength(w), 0xA8u);
  EXPECT_NE(DumpWindow(w).find("Desc.XRes: 300\n"), std::string::npos);
}

TEST(RecordsTest, SenseFromClassicWireAndFromNewResponse) {
  uint8_t wire[32] = {0x70, 0, 0x23, 0, 0, 0x01, 0x00, 10};
  wire[12] = 0x80;
  wire[13] = 0x04;
  wire[22] = 0x01, wire[23] = 0x02, wire[24] = 0x03;
  wire[28] = 0, wire[29] = 0, wire[30] = 0x10, wire[31] = 0x00;
  ReduzidSense s;
  std::memcpy(&s, wire, sizeof s);
  ConvertByteOrder(s);
  EXPECT_EQ(SenseKeyOf(s), 3);
  EXPECT_TRUE(s.SenseKey & kSenseIncorrectLength);
  EXPECT_EQ(Copy(s.InfoBytes), 256u);
  EXPECT_EQ(SenseValue1(s), 0x010203u);
  EXPECT_EQ(Copy(s.Value3), 0x1000u);

  uint8_t response[kNewSenseResponseSize] = {};
  response[4] = 0x70;
  response[5] = 0x03;
  response[7] = 0x80;
  response[8] = 0x21;
  response[9] = 0, response[10] = 0, response[11] = 0x01, response[12] = 0x02;  // InfoBytes
  response[19] = 0xFF, response[20] = 0x0A, response[21] = 0x0B, response[22] = 0x0C;  // low 24 bits kept
  response[23] = 0, response[24] = 0x01, response[25] = 0x00, response[26] = 0x02;
  response[27] = 0, response[28] = 0, response[29] = 0x30, response[30] = 0x40;
  response[33] = 0xDE, response[34] = 0xAD, response[35] = 0xBE, response[36] = 0xEF;
  const ReduzidSense n = SenseFromNewResponse(response);
  EXPECT_EQ(n.ErrorCode, 0x70);
  EXPECT_EQ(n.SenseKey, 0x03);
  EXPECT_EQ(n.ASC, 0x80);
  EXPECT_EQ(n.ASCQ, 0x21);
  EXPECT_EQ(Copy(n.InfoBytes), 0x0102u);
  EXPECT_EQ(SenseValue1(n), 0x0A0B0Cu);
  EXPECT_EQ(SenseValue2(n), 0x010002u);
  EXPECT_EQ(Copy(n.Value3), 0x3040u);
  EXPECT_EQ(Copy(n.ASByte), 0xDEADBEEFu);
  EXPECT_EQ(Copy(n.CommandInfo), 0u);
}

TEST(RecordsTest, InquiryDumpShowsTheUnnamedAbilityBytes) {
  ReduzidInq inq{};
  inq.ProductQualifier = 6;
  InqBytes(inq)[149] = 0x05;
  InqBytes(inq)[158] = 0x82;
  const std::string dump = DumpInquiry(inq);
  EXPECT_NE(dump.find("ProductQualifier: 0x06\n"), std::string::npos);
  EXPECT_NE(dump.find("AbilityEx8: 0x05\n"), std::string::npos);
  EXPECT_NE(dump.find("AbilityEx8: 0x82\n"), std::string::npos);
}

TEST(RecordsTest, ButtonReportDump) {
  ButtonReport r{};
  r.Status = 0x01;
  r.FuncNum = 0x03;
  const std::string dump = DumpButtonReport(r);
  EXPECT_NE(dump.find("\nStatus: 0x01"), std::string::npos);
  EXPECT_NE(dump.find("Func Num: 0x03\n\n"), std::string::npos);
}

}  // namespace
}  // namespace rzd::lowdrv
