#include "lowdrv/engine/hex_dump.h"

#include "platform/text.h"

namespace rzd::lowdrv {

std::string HexDumpBytes(const uint8_t* data, size_t size) {
  std::string out;
  if (!data || size == 0) return out;
  const size_t shown = size < 10 ? size : 10;
  for (size_t i = 0; i + 1 < shown; ++i) out += FormatA("0x%02X,", data[i]);
  out += FormatA(size > 10 ? "0x%02X (...)" : "0x%02X", data[shown - 1]);
  return out;
}

}  // namespace rzd::lowdrv
