// Key and value names as the database keeps them: the text as given (UTF-8) and its case-folded
// form, which is what names are compared by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::registry {

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

struct Name {
  std::u16string text;
  std::string utf8;
  std::string fold;
};

// ERROR_INVALID_PARAMETER for an empty key name, a backslash in a key name, a terminator, a lone
// surrogate or a name longer than the limit.
uint32_t MakeKeyName(std::u16string_view text, Name* name);
uint32_t MakeValueName(std::u16string_view text, Name* name);
// Splits a key path at backslashes; the empty path gives no names, one trailing backslash is
// allowed, an empty part elsewhere is ERROR_INVALID_PARAMETER.
uint32_t SplitKeyPath(std::u16string_view path, std::vector<Name>* names);

}  // namespace rzd::registry
