// Big-endian field access for the engine's wire records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rzd::engine::wire {

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t Get24(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}
inline uint32_t Get32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void Put24(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 16);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v);
}
inline void Put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// A READ answer of `size` bytes with the short header: bytes 0-1 = 0, byte 2 = 1, byte 3 = the
// answer's length (sizes up to 255).
inline std::vector<uint8_t> ShortAnswer(size_t size) {
  std::vector<uint8_t> a(size, 0);
  if (size > 3) {
    a[2] = 1;
    a[3] = static_cast<uint8_t>(size);
  }
  return a;
}

// A READ answer with the long header: bytes 0-1 = 0, byte 2 = 1, bytes 3-6 = the length.
inline std::vector<uint8_t> LongAnswer(size_t size) {
  std::vector<uint8_t> a(size, 0);
  if (size >= 7) {
    a[2] = 1;
    Put32(&a[3], static_cast<uint32_t>(size));
  }
  return a;
}

}  // namespace rzd::engine::wire
