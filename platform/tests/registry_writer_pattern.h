// The data registry_writer stores as value i, so a test can check every byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rzd::test {

inline std::vector<uint8_t> RegistryWriterPattern(uint32_t index, size_t size) {
  std::vector<uint8_t> data(size);
  for (size_t j = 0; j < size; ++j) data[j] = static_cast<uint8_t>((index * 7 + j) & 0xFF);
  for (size_t j = 0; j < 4; ++j) data[j] = static_cast<uint8_t>(index >> (8 * j));
  return data;
}

}  // namespace rzd::test
