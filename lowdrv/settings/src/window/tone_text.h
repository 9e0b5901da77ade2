// The texts that carry tone tables and the colour matrix in the settings documents.
//
// Gamma text: 256 tokens "0x" + two hexadecimal digits, one space between tokens (1279 characters
// at least). Matrix text: 9 tokens "0x" + three hexadecimal digits, one space between tokens (53
// characters at least). Before reading, carriage returns and line feeds (and, for gamma texts,
// tabs) become spaces and runs of spaces shrink to one, so tokens may stand on separate lines.
// A token is read strictly: exactly "0x" and the digits at the token's place, then a space or the
// end of the text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rzd::lowdrv::window {

enum class TextParse {
  Ok,
  WrongLength,  // too short after clean-up
  BadValue,     // a token is not "0x" and hexadecimal digits
};

// The cleaned-up text: CR, LF (and tabs when `tabs`) become spaces, runs of spaces become one.
std::u16string CleanTableText(std::u16string_view text, bool tabs);

// Fills `table` (512 bytes) in the two-byte or one-byte layout; nothing is written unless the
// whole text is valid.
TextParse ParseGammaText(std::u16string_view text, bool twoByte, uint8_t* table);

// Fills the nine matrix values; nothing is written unless the whole text is valid.
TextParse ParseMatrixText(std::u16string_view text, uint16_t* matrix);

}  // namespace rzd::lowdrv::window
