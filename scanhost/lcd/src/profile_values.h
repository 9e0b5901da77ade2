// Values of the desktop application's profile keys as the screens read them.
#pragma once

#include "platform/registry.h"

#include <optional>
#include <string>
#include <string_view>

namespace rzd::scanhost::lcd {

// Longest string value taken, in characters.
inline constexpr size_t kMaxProfileString = 260;

// A REG_SZ or REG_EXPAND_SZ value of at most 260 characters (up to its terminator); nullopt when
// missing, of another type or longer.
std::optional<std::u16string> ReadProfileString(const RegKey& key, std::u16string_view name);
// A REG_DWORD value; nullopt when missing or of another type.
std::optional<uint32_t> ReadProfileNumber(const RegKey& key, std::u16string_view name);

}  // namespace rzd::scanhost::lcd
