// Command blocks of both engine command sets. Every multi-byte field is big-endian; bytes not
// named are 0. New-set blocks are 12 bytes; classic blocks are 6 bytes, or 10 for READ(10),
// SEND(10), SET WINDOW and OBJECT POSITION (the classic set always writes 10 bytes).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace rzd::lowdrv {

struct Cdb {
  std::array<uint8_t, 12> bytes{};
  size_t length = 0;
  const uint8_t* data() const { return bytes.data(); }
};

// Opcodes.
namespace op {
constexpr uint8_t kNewRead = 0xA8;
constexpr uint8_t kNewSend = 0xAA;
constexpr uint8_t kNewInquiry = 0xE2;
constexpr uint8_t kNewRequestSense = 0xE3;
constexpr uint8_t kNewSetWindow = 0xE4;
constexpr uint8_t kNewReserveUnit = 0xE6;
constexpr uint8_t kNewReleaseUnit = 0xE7;
constexpr uint8_t kNewMediaCheck = 0xE8;
constexpr uint8_t kNewReset = 0xFF;
constexpr uint8_t kTestUnitReady = 0x00;
constexpr uint8_t kRequestSense = 0x03;
constexpr uint8_t kMediaCheck = 0x08;
constexpr uint8_t kInquiry = 0x12;
constexpr uint8_t kReserveUnit = 0x16;
constexpr uint8_t kReleaseUnit = 0x17;
constexpr uint8_t kScan = 0x1B;
constexpr uint8_t kSetWindow = 0x24;
constexpr uint8_t kRead10 = 0x28;
constexpr uint8_t kSend10 = 0x2A;
constexpr uint8_t kObjectPosition = 0x31;
}  // namespace op

// Sizes the new set reads for its fixed answers.
constexpr uint8_t kNewSenseLength = 44;
constexpr uint8_t kNewMediaCheckLength = 5;
constexpr uint8_t kNewDfdButtonLength = 36;
constexpr uint8_t kNewWindowLength = 96;
// Classic READ(10) qualifier (always the same).
constexpr uint16_t kClassicReadQualifier = 0x0A0D;

// ---- New set.
Cdb NewReadCdb(uint16_t dataType, uint32_t length);
Cdb NewSendCdb(uint16_t dataType, uint32_t length);
Cdb NewInquiryCdb(uint8_t allocation);
Cdb NewRequestSenseCdb(bool polling);  // polling form (TEST UNIT READY) or after a check condition
Cdb NewSetWindowCdb();
Cdb NewMediaCheckCdb();
Cdb NewDfdButtonCdb();
Cdb NewReserveUnitCdb(uint8_t control);
Cdb NewReleaseUnitCdb(uint8_t control);
Cdb NewResetCdb();

// ---- Classic set.
Cdb ClassicTestUnitReadyCdb();
Cdb ClassicRequestSenseCdb(bool longSense);
Cdb ClassicInquiryCdb(uint8_t allocation);
Cdb ClassicReserveUnitCdb(uint8_t control);
Cdb ClassicReleaseUnitCdb(uint8_t control);
Cdb ClassicResetUnitCdb();
Cdb ClassicScanCdb();
Cdb ClassicObjectPositionCdb(uint8_t position);
Cdb ClassicMediaCheckCdb(uint8_t checkType);
// transferLength: one byte, block byte 8.
Cdb ClassicSetWindowCdb(uint8_t transferLength);
Cdb ClassicReadCdb(uint8_t dataType, uint32_t length);
Cdb ClassicSendCdb(uint8_t dataType, uint16_t qualifier, uint32_t length);

}  // namespace rzd::lowdrv
