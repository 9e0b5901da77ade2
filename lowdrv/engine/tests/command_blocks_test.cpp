// The command blocks of both engine command sets, byte for byte.
#include "lowdrv/engine/command_blocks.h"

#include <gtest/gtest.h>

#include <vector>

namespace rzd::lowdrv {
namespace {

std::vector<uint8_t> Bytes(const Cdb& c) { return std::vector<uint8_t>(c.bytes.begin(), c.bytes.begin() + c.length); }

TEST(CommandBlocksTest, EveryBlockOfBothSets) {
  struct Case {
    const char* name;
    Cdb cdb;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"new READ", NewReadCdb(0x20B, 521), {0xA8, 0, 0, 0x02, 0x0B, 0, 0, 0x00, 0x00, 0x02, 0x09, 0}},
      {"new SEND", NewSendCdb(0xF0, 0x01020304), {0xAA, 0, 0, 0x00, 0xF0, 0, 0, 0x01, 0x02, 0x03, 0x04, 0}},
      {"new INQUIRY", NewInquiryCdb(5), {0xE2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0}},
      {"new REQUEST SENSE polling", NewRequestSenseCdb(true), {0xE3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 44, 1}},
      {"new REQUEST SENSE automatic", NewRequestSenseCdb(false), {0xE3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 44, 0}},
      {"new SET WINDOW", NewSetWindowCdb(), {0xE4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 96, 0}},
      {"new MEDIA CHECK", NewMediaCheckCdb(), {0xE8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0}},
      {"new DFD button", NewDfdButtonCdb(), {0xE8, 0, 0, 0, 0, 0, 0, 0, 0, 3, 36, 0}},
      {"new RESERVE UNIT", NewReserveUnitCdb(2), {0xE6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}},
      {"new RELEASE UNIT", NewReleaseUnitCdb(2), {0xE7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}},
      {"new reset", NewResetCdb(), {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"TEST UNIT READY", ClassicTestUnitReadyCdb(), {0, 0, 0, 0, 0, 0}},
      {"REQUEST SENSE long", ClassicRequestSenseCdb(true), {0x03, 0, 0, 0, 32, 0}},
      {"REQUEST SENSE short", ClassicRequestSenseCdb(false), {0x03, 0, 0, 0, 22, 0}},
      {"INQUIRY", ClassicInquiryCdb(159), {0x12, 0, 0, 0, 159, 0}},
      {"RESERVE UNIT", ClassicReserveUnitCdb(1), {0x16, 0, 0, 0, 0, 1}},
      {"RELEASE UNIT", ClassicReleaseUnitCdb(2), {0x17, 0, 0, 0, 0, 2}},
      {"Reset Unit", ClassicResetUnitCdb(), {0, 0, 0, 0, 0, 0x01}},
      {"SCAN", ClassicScanCdb(), {0x1B, 0, 0, 0, 0, 0x80}},
      {"OBJECT POSITION", ClassicObjectPositionCdb(0), {0x31, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"MEDIA CHECK", ClassicMediaCheckCdb(2), {0x08, 0, 0, 2, 1, 0}},
      {"SET WINDOW", ClassicSetWindowCdb(0xA8), {0x24, 0, 0, 0, 0, 0, 0, 0, 0xA8, 0}},
      {"READ(10)", ClassicReadCdb(0x69, 167), {0x28, 0, 0x69, 0, 0x0A, 0x0D, 0x00, 0x00, 0xA7, 0}},
      {"SEND(10)", ClassicSendCdb(0x86, 0x0002, 0x123456), {0x2A, 0, 0x86, 0, 0x00, 0x02, 0x12, 0x34, 0x56, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(Bytes(c.cdb), c.bytes) << c.name;
}

}  // namespace
}  // namespace rzd::lowdrv
