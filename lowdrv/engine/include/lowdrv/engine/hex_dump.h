// The short byte list of the data log: at most the first ten bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rzd::lowdrv {

// "0x01,0x02,0x03" for three bytes; a buffer longer than ten bytes shows its first ten with
// " (...)" after the last. An empty buffer gives "".
std::string HexDumpBytes(const uint8_t* data, size_t size);

}  // namespace rzd::lowdrv
