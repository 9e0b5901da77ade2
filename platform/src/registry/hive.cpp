// Hive names and the current user's key name.
#include "platform/registry.h"
#include "platform/text.h"

#include <unistd.h>

#include <string>

namespace rzd {

namespace {
struct HiveNames {
  Hive hive;
  const char16_t* shortName;
  const char16_t* longName;
};
constexpr HiveNames kHives[] = {
    {Hive::LocalMachine, u"HKLM", u"HKEY_LOCAL_MACHINE"},
    {Hive::Users, u"HKU", u"HKEY_USERS"},
    {Hive::CurrentUser, u"HKCU", u"HKEY_CURRENT_USER"},
    {Hive::ClassesRoot, u"HKCR", u"HKEY_CLASSES_ROOT"},
};
}  // namespace

std::optional<Hive> ParseHive(std::u16string_view name) {
  for (const auto& h : kHives) {
    if (EqualsNoCase(name, h.shortName) || EqualsNoCase(name, h.longName)) return h.hive;
  }
  return std::nullopt;
}

std::u16string HiveName(Hive hive) {
  for (const auto& h : kHives) {
    if (h.hive == hive) return h.longName;
  }
  return {};
}

std::u16string CurrentUserKeyName() {
  return FromUtf8("S-1-5-21-" + std::to_string(static_cast<unsigned long>(getuid())));
}

}  // namespace rzd
