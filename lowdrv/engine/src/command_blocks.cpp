#include "lowdrv/engine/command_blocks.h"

#include "lowdrv/engine/byte_order.h"

namespace rzd::lowdrv {

namespace {

Cdb Block(uint8_t opcode, size_t length) {
  Cdb c;
  c.bytes[0] = opcode;
  c.length = length;
  return c;
}

Cdb NewDataCdb(uint8_t opcode, uint16_t dataType, uint32_t length) {
  Cdb c = Block(opcode, 12);
  PutBE16(&c.bytes[3], dataType);
  PutBE32(&c.bytes[7], length);
  return c;
}

Cdb ClassicDataCdb(uint8_t opcode, uint8_t dataType, uint16_t qualifier, uint32_t length) {
  Cdb c = Block(opcode, 10);
  c.bytes[2] = dataType;
  PutBE16(&c.bytes[4], qualifier);
  PutBE24(&c.bytes[6], length & 0xFFFFFF);
  return c;
}

}  // namespace

Cdb NewReadCdb(uint16_t dataType, uint32_t length) { return NewDataCdb(op::kNewRead, dataType, length); }
Cdb NewSendCdb(uint16_t dataType, uint32_t length) { return NewDataCdb(op::kNewSend, dataType, length); }

Cdb NewInquiryCdb(uint8_t allocation) {
  Cdb c = Block(op::kNewInquiry, 12);
  c.bytes[10] = allocation;
  return c;
}

Cdb NewRequestSenseCdb(bool polling) {
  Cdb c = Block(op::kNewRequestSense, 12);
  c.bytes[10] = kNewSenseLength;
  c.bytes[11] = polling ? 1 : 0;
  return c;
}

Cdb NewSetWindowCdb() {
  Cdb c = Block(op::kNewSetWindow, 12);
  c.bytes[10] = kNewWindowLength;
  return c;
}

Cdb NewMediaCheckCdb() {
  Cdb c = Block(op::kNewMediaCheck, 12);
  c.bytes[10] = kNewMediaCheckLength;
  return c;
}

Cdb NewDfdButtonCdb() {
  Cdb c = Block(op::kNewMediaCheck, 12);
  c.bytes[9] = 0x03;
  c.bytes[10] = kNewDfdButtonLength;
  return c;
}

Cdb NewReserveUnitCdb(uint8_t control) {
  Cdb c = Block(op::kNewReserveUnit, 12);
  c.bytes[11] = control;
  return c;
}

Cdb NewReleaseUnitCdb(uint8_t control) {
  Cdb c = Block(op::kNewReleaseUnit, 12);
  c.bytes[11] = control;
  return c;
}

Cdb NewResetCdb() { return Block(op::kNewReset, 12); }

Cdb ClassicTestUnitReadyCdb() { return Block(op::kTestUnitReady, 6); }

Cdb ClassicRequestSenseCdb(bool longSense) {
  Cdb c = Block(op::kRequestSense, 6);
  c.bytes[4] = longSense ? 32 : 22;
  return c;
}

Cdb ClassicInquiryCdb(uint8_t allocation) {
  Cdb c = Block(op::kInquiry, 6);
  c.bytes[4] = allocation;
  return c;
}

Cdb ClassicReserveUnitCdb(uint8_t control) {
  Cdb c = Block(op::kReserveUnit, 6);
  c.bytes[5] = control;
  return c;
}

Cdb ClassicReleaseUnitCdb(uint8_t control) {
  Cdb c = Block(op::kReleaseUnit, 6);
  c.bytes[5] = control;
  return c;
}

Cdb ClassicResetUnitCdb() {
  Cdb c = Block(op::kTestUnitReady, 6);
  c.bytes[5] = 0x01;
  return c;
}

Cdb ClassicScanCdb() {
  Cdb c = Block(op::kScan, 6);
  c.bytes[5] = 0x80;
  return c;
}

Cdb ClassicObjectPositionCdb(uint8_t position) {
  Cdb c = Block(op::kObjectPosition, 10);
  c.bytes[1] = position;
  return c;
}

Cdb ClassicMediaCheckCdb(uint8_t checkType) {
  Cdb c = Block(op::kMediaCheck, 6);
  c.bytes[3] = checkType;
  c.bytes[4] = 1;
  return c;
}

Cdb ClassicSetWindowCdb(uint8_t transferLength) {
  Cdb c = Block(op::kSetWindow, 10);
  c.bytes[8] = transferLength;
  return c;
}

Cdb ClassicReadCdb(uint8_t dataType, uint32_t length) {
  return ClassicDataCdb(op::kRead10, dataType, kClassicReadQualifier, length);
}

Cdb ClassicSendCdb(uint8_t dataType, uint16_t qualifier, uint32_t length) {
  return ClassicDataCdb(op::kSend10, dataType, qualifier, length);
}

}  // namespace rzd::lowdrv
