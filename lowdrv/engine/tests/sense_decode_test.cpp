// Sense data to result codes, and the texts of the result codes.
#include "lowdrv/engine/sense_decode.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace rzd::lowdrv {
namespace {

struct SenseCase {
  uint8_t asc;
  uint8_t ascq;
  LLDError code;
};

// Every listed pair of ASC and ASCQ.
constexpr SenseCase kPairs[] = {
    {0x00, 0x06, 30}, {0x15, 0x01, 47}, {0x15, 0x02, 48}, {0x15, 0x03, 49}, {0x15, 0x04, 50},
    {0x1A, 0x00, 13}, {0x20, 0x00, 56}, {0x24, 0x00, 57}, {0x25, 0x00, 58}, {0x26, 0x00, 12},
    {0x26, 0x01, 14}, {0x26, 0x02, 15}, {0x29, 0x00, 32}, {0x2C, 0x00, 14}, {0x2C, 0x02, 33},
    {0x2F, 0x00, 34}, {0x3D, 0x00, 51}, {0x43, 0x00, 52}, {0x44, 0x00, 37}, {0x44, 0x01, 59},
    {0x44, 0x02, 60}, {0x44, 0x03, 35}, {0x47, 0x00, 38}, {0x49, 0x00, 39}, {0x60, 0x00, 40},
    {0x60, 0x01, 41}, {0x60, 0x02, 42}, {0x62, 0x00, 43}, {0x80, 0x00, 54}, {0x80, 0x01, 8},
    {0x80, 0x02, 4},  {0x80, 0x03, 7},  {0x80, 0x04, 61}, {0x80, 0x05, 10}, {0x80, 0x06, 62},
    {0x80, 0x07, 63}, {0x80, 0x08, 44}, {0x80, 0x09, 45}, {0x80, 0x0A, 64}, {0x80, 0x0B, 65},
    {0x80, 0x0C, 66}, {0x80, 0x1D, 78}, {0x80, 0x21, 68}, {0x80, 0x25, 73}, {0x90, 0x00, 54},
    {0xA0, 0x01, 46},
};

TEST(SenseDecodeTest, EveryListedPairUnderEverySenseKey) {
  for (const SenseCase& c : kPairs) {
    for (uint8_t key = 0; key < 16; ++key) {
      EXPECT_EQ(SenseToScannerError(key, c.asc, c.ascq), c.code)
          << "ASC " << int(c.asc) << " ASCQ " << int(c.ascq) << " key " << int(key);
    }
  }
}

TEST(SenseDecodeTest, SenseKeyDefaultsForUnlistedPairs) {
  const LLDError defaults[16] = {29, 1, 3, 2, 19, 21, 0, 1, 1, 55, 1, 31, 1, 1, 1, 1};
  for (uint8_t key = 0; key < 16; ++key) {
    EXPECT_EQ(SenseToScannerError(key, 0x3A, 0x00), defaults[key]) << "key " << int(key);
    // Only the low four bits are the key: the incorrect-length bit does not change it.
    EXPECT_EQ(SenseToScannerError(static_cast<uint8_t>(key | 0x20), 0x3A, 0x00), defaults[key]);
  }
}

TEST(SenseDecodeTest, UnlistedQualifierUnderAListedCodeKeepsTheDefault) {
  EXPECT_EQ(SenseToScannerError(0x04, 0x44, 0x00), 37u);  // "Target Failure"
  EXPECT_EQ(SenseToScannerError(0x04, 0x44, 0x04), 19u);  // key 4's default
  EXPECT_EQ(SenseToScannerError(0x02, 0x80, 0x00), 54u);  // "Scanner Busy"
  EXPECT_EQ(SenseToScannerError(0x02, 0x80, 0x0D), 3u);   // key 2's default
  EXPECT_EQ(SenseToScannerError(0x0B, 0xA0, 0x00), 31u);
  ReduzidSense s{};
  s.SenseKey = 0x23;
  s.ASC = 0x80;
  s.ASCQ = 0x04;
  EXPECT_EQ(SenseToScannerError(s), 61u);
}

TEST(SenseDecodeTest, TextsOfEveryCode) {
  struct Text {
    LLDError code;
    std::u16string text;
  };
  const Text texts[] = {
      {0, u"OK"},
      {1, u"Unknown Error"},
      {2, u"Paper Jam"},
      {3, u"Device Not Ready"},
      {4, u"The ADF cover is open."},
      {7, u"No documents are loaded in the scanner. Place a document in the scanner. Click on Retry to continue scanning."},
      {8, u"An item is jammed in the scanner."},
      {10, u"Multiple pages were fed through the ADF at one time."},
      {70, u"Multiple pages were fed through the ADF at one time."},
      {12, u"Invalid Field in Parameter List"},
      {13, u"Invalid Parameter List Length"},
      {14, u"Bad Parameter"},
      {15, u"The wrong parameter has been passed to the called function."},
      {19, u"Mechanical Error"},
      {21, u"Invalid Command"},
      {29, u"No Sense Information"},
      {30, u"Communication Error"},
      {31, u"The scan has been canceled by the user or by an application command."},
      {32, u"Device or Bus Reset Detected"},
      {33, u"Invalid Window Combination"},
      {34, u"Command Cleared"},
      {35, u"Write NVM operation failed."},
      {37, u"Target Failure"},
      {38, u"SCSI Parity Error"},
      {39, u"SCSI Messge Error"},
      {40, u"The scanner lamp cannot be turned on."},
      {41, u"The scanner lamp cannot be turned on."},
      {42, u"The scanner lamp cannot be turned on."},
      {43, u"Head Position Error"},
      {44, u"Firmware Mismatch"},
      {45, u"Multisource Feed"},
      {46, u"Filter Position Error"},
      {47, u"Mechanical Position Error"},
      {48, u"Flatbed Home Sensor Error"},
      {49, u"ADF Home Sensor Error"},
      {50, u"The scanner is locked."},
      {51, u"Invalid Identity Bit"},
      {52, u"Unknown Message"},
      {54, u"Scanner Busy"},
      {55, u"Vendor Specific"},
      {56, u"Invalid Operation Code"},
      {57, u"Invalid CDB Field"},
      {58, u"LUN Unsupported"},
      {59, u"A Read/Write operation to DRAM failed."},
      {60, u"A Read/Write operation to DRAM failed."},
      {61, u"An error occured while scanning a long document."},
      {62, u"ADF Pre-feeding"},
      {63, u"Flatbed Cover Open"},
      {64, u"ADF Paper Start"},
      {65, u"Mutli ADF Paper End Start"},
      {66, u"Mutli ADF Paper End"},
      {68, u"Blank page detected"},
      {73, u"Stapled page detected."},
      {75, u"The ADF cable is not securely plugged into the base of the scanner."},
      {78, u"A misfeed has occurred. Please replace the page and try your scan again."},
      {0x8000, u"Cannot connect to the scanner."},
      {0x8001, u"Timeout Expired"},
      {0x8002, u"Driver Crashed"},
  };
  std::set<LLDError> listed;
  for (const Text& t : texts) {
    EXPECT_EQ(ScannerErrorToText(t.code), t.text) << "code " << t.code;
    listed.insert(t.code);
  }
  for (LLDError code : {5u, 6u, 9u, 11u, 16u, 17u, 18u, 20u, 53u, 77u, 0x8003u, 0xFFFFFFFFu}) {
    EXPECT_EQ(ScannerErrorToText(code), u"Unknown Error Code") << "code " << code;
  }
  // Every code the decoder yields has a text of its own.
  for (const SenseCase& c : kPairs) EXPECT_TRUE(listed.count(c.code)) << c.code;
}

}  // namespace
}  // namespace rzd::lowdrv
