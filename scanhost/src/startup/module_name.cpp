#include "startup/module_name.h"

#include "platform/text.h"

namespace rzd::scanhost {

namespace {

constexpr size_t kSubkeyLength = 4;
constexpr char16_t kWindowsProgramExtension[] = u".exe";

}  // namespace

std::optional<ModuleName> ParseModuleName(const std::filesystem::path& module) {
  std::u16string name = module.filename().u16string();
  // A program here has no extension; the Windows form of the name carries ".exe".
  const size_t extension = sizeof kWindowsProgramExtension / sizeof(char16_t) - 1;
  if (name.size() > extension && EqualsNoCase(std::u16string_view(name).substr(name.size() - extension),
                                              kWindowsProgramExtension)) {
    name.resize(name.size() - extension);
  }
  // <base> "_" <4 characters> "_" <digit>: the base needs at least one character.
  const size_t tail = 1 + kSubkeyLength + 1 + 1;
  if (name.size() < tail + 1) return std::nullopt;
  const size_t first = name.size() - tail;  // the underscore before the subkey
  const size_t last = name.size() - 2;      // the underscore before the digit
  if (name[first] != u'_' || name[last] != u'_') return std::nullopt;
  const std::u16string subkey = name.substr(first + 1, kSubkeyLength);
  if (subkey.find(u'_') != std::u16string::npos) return std::nullopt;
  const char16_t digit = name.back();
  if (digit < u'0' || digit > u'9') return std::nullopt;
  return ModuleName{name, subkey, static_cast<uint32_t>(digit - u'0')};
}

}  // namespace rzd::scanhost
