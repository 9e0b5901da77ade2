#include "profile_values.h"

#include <vector>

namespace rzd::scanhost::lcd {

std::optional<std::u16string> ReadProfileString(const RegKey& key, std::u16string_view name) {
  uint32_t type = REG_NONE;
  std::vector<uint8_t> data;
  if (key.QueryValue(name, &type, &data) != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  std::u16string text = DecodeRegString(data);
  if (text.size() > kMaxProfileString) return std::nullopt;
  return text;
}

std::optional<uint32_t> ReadProfileNumber(const RegKey& key, std::u16string_view name) {
  uint32_t value = 0;
  if (key.GetDword(name, &value) != ERROR_SUCCESS) return std::nullopt;
  return value;
}

}  // namespace rzd::scanhost::lcd
