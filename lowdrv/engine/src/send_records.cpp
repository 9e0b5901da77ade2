// Wire bytes of the records the engine commands send.
#include "lowdrv/engine/send_records.h"

#include "lowdrv/engine/byte_order.h"

#include <algorithm>
#include <cstring>

namespace rzd::lowdrv {

namespace {

// The 7-byte head of the imprinter records: 0, 0, 1, total length (32-bit).
void ImprinterHead(uint8_t* p, uint32_t total) {
  p[0] = 0;
  p[1] = 0;
  p[2] = 1;
  PutBE32(p + 3, total);
}

Bytes NVRAMWire(const ReduzidNVMData& hostOrder) {
  ReduzidNVMData wire = hostOrder;
  ConvertByteOrder(wire);
  const auto* p = reinterpret_cast<const uint8_t*>(&wire);
  return Bytes(p, p + sizeof wire);
}

}  // namespace

Bytes CalibrationPollStartRecord() { return Bytes{0, 0, 0, 8, 0, 0, 0, 0}; }

Bytes ImprinterActionRecord(uint8_t action) {
  Bytes r(8, 0);
  ImprinterHead(r.data(), 8);
  r[7] = action;
  return r;
}

Bytes ImprParameterRecord(const uint8_t (&param)[kImprParameterSize]) {
  Bytes r(param, param + kImprParameterSize);
  ImprinterHead(r.data(), kImprParameterSize);
  for (size_t at = 7; at < 27; at += 4) SwapField32(&r[at]);
  return r;
}

Bytes TimeRecord(uint16_t value) {
  Bytes r{0, 0, 0, 6, 0, 0};
  PutBE16(&r[4], value);
  return r;
}

Bytes LEDNumRecord(uint8_t indicator) {
  Bytes r(12, 0);
  r[2] = 2;
  r[3] = 12;
  r[4] = indicator;
  return r;
}

Bytes MatrixRecordNew(const uint16_t (&matrix)[9]) {
  Bytes r(22, 0);
  r[2] = 2;
  r[3] = 22;
  for (size_t i = 0; i < 9; ++i) PutLE16(&r[4 + 2 * i], matrix[i]);
  return r;
}

Bytes NVRAMRecordNew(const ReduzidNVMData& hostOrder) {
  Bytes r(7, 0);
  r[2] = 2;
  PutBE16(&r[3], static_cast<uint16_t>(kNewNVRAMRecordSize));
  PutBE16(&r[5], dtq::kNVRAM);
  const Bytes body = NVRAMWire(hostOrder);
  r.insert(r.end(), body.begin(), body.end());
  return r;
}

Bytes NVRAMFieldRecord(uint32_t value) { return Bytes{0, 0, 2, static_cast<uint8_t>(value), 0, 0, 0}; }

Bytes FlashRAMRecordNew(const uint8_t* block, uint32_t size) {
  Bytes r(9, 0);
  r[2] = 2;
  PutBE32(&r[3], size);
  PutBE16(&r[7], dtq::kFlashRAM);
  if (block && size) r.insert(r.end(), block, block + size);
  return r;
}

Bytes JPEGTablesRecordNew(const uint8_t (&tables)[kJPEGTablesSize]) {
  Bytes r{0, 0, 0x64, 0x84};
  r.insert(r.end(), tables, tables + kJPEGTablesSize);
  return r;
}

Bytes UltrasonicRecord(uint32_t mask) {
  return Bytes{0, 0, 1, 7, static_cast<uint8_t>(mask), static_cast<uint8_t>(mask >> 8),
               static_cast<uint8_t>(mask >> 16)};
}

Bytes TruncLenRecordNew(uint16_t length) {
  Bytes r{0, 0, 0x64, 0x0A, 0, 1, 0, 0, 0, 0};
  PutBE16(&r[6], length);
  return r;
}

Bytes IPRecord(const uint8_t (&block)[kIPBlockSize]) {
  Bytes r(block, block + kIPBlockSize);
  r[2] = 0x02;
  r[3] = 0x44;
  r[4] = 0x00;
  r[5] = 0x00;
  return r;
}

Bytes ResetDFDSelectionRecord() { return Bytes{0x00, 0x00, 0x01, 0x0C, 0x01, 0, 0, 0, 0, 0, 0, 0}; }

Bytes LCDStringRecord(const uint8_t (&block)[kLCDStringBlockSize]) {
  Bytes r(block, block + kLCDStringBlockSize);
  SwapField16(&r[0]);
  r[2] = 2;
  PutBE16(&r[3], static_cast<uint16_t>(kLCDStringBlockSize));
  SwapField16(&r[5]);
  return r;
}

std::optional<Bytes> LCDDisplayRecord(const uint8_t* buffer, size_t size) {
  if (!buffer || size < kLCDDisplayHeaderSize) return std::nullopt;
  const size_t screens = buffer[9];
  const size_t total = kLCDDisplayHeaderSize + kLCDScreenSize * screens;
  Bytes r(total, 0);
  std::memcpy(r.data(), buffer, std::min(size, total));
  r[0] = 0;
  r[1] = 0;
  r[2] = 2;
  PutBE32(&r[3], static_cast<uint32_t>(total));
  SwapField16(&r[7]);
  return r;
}

Bytes GammaRecordNew(uint16_t channel, const uint8_t* table, uint16_t size) {
  Bytes r(8, 0);
  PutBE16(&r[3], static_cast<uint16_t>(size + 8));
  PutBE16(&r[5], channel);
  r[7] = 0x10;
  if (table && size) r.insert(r.end(), table, table + size);
  return r;
}

std::optional<Bytes> ImprPageSettingRecord(const uint8_t* record, size_t size) {
  if (!record || size < 7) return std::nullopt;
  const uint32_t length = GetLE32(record + 3);
  if (length < 7 || length > size) return std::nullopt;
  Bytes r(record, record + length);
  SwapField32(&r[3]);
  return r;
}

Bytes TimeRecordClassic(uint16_t value) {
  Bytes r(2, 0);
  PutBE16(r.data(), value);
  return r;
}

Bytes LampRecordClassic(bool on) { return Bytes{static_cast<uint8_t>(on ? 1 : 0)}; }

Bytes MatrixRecordClassic(const uint16_t (&matrix)[9]) {
  Bytes r(18, 0);
  for (size_t i = 0; i < 9; ++i) PutBE16(&r[2 * i], matrix[i]);
  return r;
}

Bytes NVRAMRecordClassic(const ReduzidNVMData& hostOrder) { return NVRAMWire(hostOrder); }

Bytes TruncLenRecordClassic(uint16_t length, uint16_t secondLength, bool longSense) {
  Bytes r(longSense ? 2 : 4, 0);
  PutBE16(r.data(), length);
  if (!longSense) PutBE16(&r[2], secondLength);
  return r;
}

}  // namespace rzd::lowdrv
