// Test aid: a key with everything beneath it as text, one line per key and per value, so a
// whole tree can be compared with one expectation.
#pragma once

#include "platform/registry.h"
#include "platform/text.h"

#include <cstdio>
#include <string>
#include <vector>

namespace rzd::test {

inline std::string RegistryValueText(uint32_t type, const std::vector<uint8_t>& data) {
  switch (type) {
    case REG_SZ:
      return "s '" + ToUtf8(DecodeRegString(data)) + "'";
    case REG_EXPAND_SZ:
      return "e '" + ToUtf8(DecodeRegString(data)) + "'";
    case REG_MULTI_SZ: {
      std::string out = "m";
      for (const auto& s : DecodeRegMultiString(data)) out += " '" + ToUtf8(s) + "'";
      return out;
    }
    default: {
      std::string out = type == REG_DWORD ? "d" : type == REG_QWORD ? "q" : type == REG_BINARY ? "b" : "t" + std::to_string(type);
      out += " ";
      char hex[4];
      for (uint8_t b : data) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        out += hex;
      }
      return out;
    }
  }
}

namespace detail {
inline void AppendTree(const RegKey& key, const std::string& path, std::string* out) {
  *out += path + "\n";
  std::vector<RegValue> values;
  std::vector<std::u16string> subkeys;
  key.EnumValues(&values);
  key.EnumKeys(&subkeys);
  for (const auto& v : values) *out += path + " : " + (v.name.empty() ? "@" : ToUtf8(v.name)) + " = " + RegistryValueText(v.type, v.data) + "\n";
  for (const auto& sub : subkeys) {
    RegKey child;
    if (key.OpenSubKey(sub, &child) == ERROR_SUCCESS) AppendTree(child, path.empty() ? ToUtf8(sub) : path + "\\" + ToUtf8(sub), out);
  }
}
}  // namespace detail

// Lines "path" and "path : name = type data" (the default value is "@"), paths relative to the
// key, whose own line is empty; "<missing>" when the key does not exist.
inline std::string RegistryTree(Hive hive, std::u16string_view path) {
  RegKey key;
  if (RegKey::Open(hive, path, &key) != ERROR_SUCCESS) return "<missing>";
  std::string out;
  detail::AppendTree(key, "", &out);
  return out;
}

}  // namespace rzd::test
