#include "sense.h"

#include "wire.h"

namespace rzd::engine {

namespace {
uint8_t KeyByte(const Sense& s) { return static_cast<uint8_t>((s.key & 0x0F) | (s.ili ? 0x20 : 0)); }
}  // namespace

std::vector<uint8_t> EncodeNewSense(const Sense& s) {
  std::vector<uint8_t> a = wire::ShortAnswer(44);
  a[4] = 0x70;  // current error, fixed format
  a[5] = KeyByte(s);
  a[6] = 0;
  a[7] = s.asc;
  a[8] = s.ascq;
  wire::Put32(&a[9], s.info);
  wire::Put32(&a[19], s.pixels & 0xFFFFFF);
  wire::Put32(&a[23], s.lines & 0xFFFFFF);
  wire::Put32(&a[27], s.bytes);
  wire::Put32(&a[33], s.autoWidthBytesPerLine);
  return a;
}

std::vector<uint8_t> EncodeClassicSense(const Sense& s) {
  std::vector<uint8_t> a(32, 0);
  a[0] = 0x70;
  a[2] = KeyByte(s);
  wire::Put32(&a[3], s.info);
  a[7] = 24;  // additional sense length: bytes 8-31
  a[12] = s.asc;
  a[13] = s.ascq;
  wire::Put32(&a[18], s.autoWidthBytesPerLine);
  wire::Put24(&a[22], s.pixels);
  wire::Put24(&a[25], s.lines);
  wire::Put32(&a[28], s.bytes);
  return a;
}

}  // namespace rzd::engine
