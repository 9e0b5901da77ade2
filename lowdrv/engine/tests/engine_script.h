// Answers of a scripted engine for the command-layer tests: sense responses of both sets and a
// small rule table keyed by command block.
#pragma once

#include "lowdrv/engine/byte_order.h"
#include "scripted_pipes.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace rzd::lowdrv::test {

struct SenseData {
  uint8_t key = 0;
  uint8_t asc = 0;
  uint8_t ascq = 0;
  uint32_t info = 0;
  uint32_t value1 = 0;
  uint32_t value2 = 0;
  uint32_t value3 = 0;
};

// The new set's 44-byte sense response.
inline std::vector<uint8_t> NewSense(const SenseData& s) {
  std::vector<uint8_t> r(44, 0);
  r[4] = 0x70;
  r[5] = s.key;
  r[7] = s.asc;
  r[8] = s.ascq;
  PutBE32(&r[9], s.info);
  PutBE32(&r[19], s.value1);
  PutBE32(&r[23], s.value2);
  PutBE32(&r[27], s.value3);
  return r;
}

// The classic fixed-format sense data (32 bytes; the command asks for 22 or 32).
inline std::vector<uint8_t> ClassicSense(const SenseData& s) {
  std::vector<uint8_t> r(32, 0);
  r[0] = 0x70;
  r[2] = s.key;
  PutBE32(&r[3], s.info);
  r[7] = 24;
  r[12] = s.asc;
  r[13] = s.ascq;
  r[22] = static_cast<uint8_t>(s.value1 >> 16);
  PutBE16(&r[23], static_cast<uint16_t>(s.value1));
  r[25] = static_cast<uint8_t>(s.value2 >> 16);
  PutBE16(&r[26], static_cast<uint16_t>(s.value2));
  PutBE32(&r[28], s.value3);
  return r;
}

// Replies by opcode; each opcode has a queue of replies (the last one repeats).
class EngineScript {
 public:
  void On(uint8_t opcode, Reply reply) { replies_[opcode].push_back(std::move(reply)); }
  // Sense answered after a check condition (both sets' REQUEST SENSE opcodes).
  void Sense(const SenseData& s) {
    On(0xE3, Reply{NewSense(s)});
    On(0x03, Reply{ClassicSense(s)});
  }
  Reply operator()(const std::vector<uint8_t>& cdb) {
    auto it = replies_.find(cdb[0]);
    if (it == replies_.end() || it->second.empty()) return Reply{};
    Reply r = it->second.front();
    if (it->second.size() > 1) it->second.pop_front();
    return r;
  }
  void Attach(ScriptedPipes& pipes) {
    pipes.engine = [this](const std::vector<uint8_t>& cdb) { return (*this)(cdb); };
  }

 private:
  std::map<uint8_t, std::deque<Reply>> replies_;
};

}  // namespace rzd::lowdrv::test
