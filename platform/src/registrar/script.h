// A registry script read into a tree of keys and values, checked completely before use.
#pragma once

#include "platform/registry.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::registrar {

struct ScriptValue {
  std::u16string name;  // empty: the default value
  uint32_t type = REG_SZ;
  std::vector<uint8_t> data;
  bool noRemove = false;
  int line = 0;
};

enum class KeyFlag { None, NoRemove, ForceRemove, Delete };

struct ScriptKey {
  std::u16string name;
  KeyFlag flag = KeyFlag::None;
  std::optional<ScriptValue> defaultValue;
  std::vector<ScriptValue> values;
  std::vector<ScriptKey> subkeys;
  int line = 0;
};

struct ScriptRoot {
  Hive hive;
  ScriptKey body;  // the root's own values and subkeys
};

// False with `error` ("line N: ...") when the script cannot be read or a name or datum is
// invalid; then `roots` must not be used.
bool ParseScript(std::u16string_view script, const std::map<std::u16string, std::u16string>& replacements,
                 std::vector<ScriptRoot>* roots, std::string* error);

}  // namespace rzd::registrar
