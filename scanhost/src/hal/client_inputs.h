// What the service reads from a client's texts besides XML documents: the numbers of the
// pass-through (code 30) and the paths of the help extractor (code 36).
#pragma once

#include <cstdint>
#include <string_view>

namespace rzd::scanhost {

// "0x%08X 0x%08X 0x%08X ": three numbers of at most 8 hex digits, each with its 0x prefix, one
// blank after each (the last blank may be missing); nothing else.
bool ReadPassThroughNumbers(std::u16string_view text, uint32_t numbers[3]);

// A path the help extractor may read or write: absolute, inside the system root, no "..".
bool IsHelpPath(std::u16string_view text);

}  // namespace rzd::scanhost
