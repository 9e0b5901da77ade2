// The command and data blocks of the new command set exactly as the simulated unit's record of
// received blocks shows them ("new 12: ..." and "data <n>: ..."), and a comparison of a whole
// record with the blocks a test expects, in order.
#pragma once

#include "engine/sim_unit.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace rzd::lowdrv::test::unit {

// A 12-byte command block with opcode `op`; `bytes` sets the other bytes by index. Written by the
// unit's own formatter, without its sequence number.
inline std::string Block(uint8_t op, std::initializer_list<std::pair<int, uint8_t>> bytes = {}) {
  engine::ReceivedBlock block;
  block.kind = engine::ReceivedBlock::Kind::NewCommand;
  block.bytes.assign(12, 0);
  block.bytes[0] = op;
  for (const auto& [index, value] : bytes) block.bytes.at(static_cast<size_t>(index)) = value;
  const std::string line = engine::FormatReceived(block);
  return line.substr(line.find(' ') + 1);
}

// READ (0xA8) and SEND (0xAA) of a data type: bytes 3-4 the type, bytes 7-10 the length.
inline std::string DataTypeBlock(uint8_t op, uint16_t type, uint32_t length) {
  return Block(op, {{3, static_cast<uint8_t>(type >> 8)},
                    {4, static_cast<uint8_t>(type)},
                    {7, static_cast<uint8_t>(length >> 24)},
                    {8, static_cast<uint8_t>(length >> 16)},
                    {9, static_cast<uint8_t>(length >> 8)},
                    {10, static_cast<uint8_t>(length)}});
}
inline std::string Read(uint16_t type, uint32_t length) { return DataTypeBlock(0xA8, type, length); }
inline std::string Send(uint16_t type, uint32_t length) { return DataTypeBlock(0xAA, type, length); }

inline std::string Reserve(uint8_t control) { return Block(0xE6, {{11, control}}); }
inline std::string Release(uint8_t control) { return Block(0xE7, {{11, control}}); }
inline std::string MediaCheck() { return Block(0xE8, {{10, 5}}); }
inline std::string SetWindow() { return Block(0xE4, {{10, 96}}); }
inline std::string ResetUnit() { return Block(0xFF); }
// REQUEST SENSE: the polling form (test unit ready, the media check's look at an empty feeder)
// and the form that follows a check condition.
inline std::string SensePoll() { return Block(0xE3, {{10, 44}, {11, 1}}); }
inline std::string SenseAfterCheck() { return Block(0xE3, {{10, 44}}); }

// A data-out block of `size` bytes whose content the test does not pin.
inline std::string Data(size_t size) { return "data " + std::to_string(size); }

// The record as the test expects to compare it: where the expected block at the same place is
// a bare "data <n>", the received data block is cut to that form.
inline std::vector<std::string> AsExpected(std::vector<std::string> received, const std::vector<std::string>& expected) {
  for (size_t i = 0; i < received.size() && i < expected.size(); ++i) {
    const std::string& want = expected[i];
    if (want.rfind("data ", 0) == 0 && want.find(':') == std::string::npos && received[i].rfind("data ", 0) == 0)
      received[i] = received[i].substr(0, received[i].find(':'));
  }
  return received;
}

// Appends `more` to `into`.
inline void Append(std::vector<std::string>& into, const std::vector<std::string>& more) {
  into.insert(into.end(), more.begin(), more.end());
}

}  // namespace rzd::lowdrv::test::unit
