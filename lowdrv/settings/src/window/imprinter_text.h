// The imprinter's escape string: the date token "{#d}" or "{#dS}" (S a one-character separator),
// the time token "{#t}" or "{#tS}", the counter token "{#0b}", and the replaceable tokens "{FN}"
// (file name), "{User}" and "{Mach}" in the text that remains.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rzd::lowdrv::window {

struct ImprinterTokens {
  bool date = false, time = false, counter = false;
  std::u16string dateSeparator, timeSeparator;  // zero or one character
  std::u16string text;                          // the escape string without its tokens
};

// Finds each token where it stands (the first one of its kind) and removes it there.
ImprinterTokens ParseImprinterEscape(std::u16string_view escape);

// Replaces every "{FN}", "{User}" and "{Mach}" by its text (the replacements are not scanned
// again).
std::u16string ReplaceImprinterNames(std::u16string_view text, std::u16string_view fileName,
                                     std::u16string_view userName, std::u16string_view machineName);

// The date-time format code: both tokens 5 with a separator on either, else 2; date only 3 with
// a separator, else 0; time only 4 with a separator, else 1; neither 0.
uint8_t DateTimeFormatCode(const ImprinterTokens& tokens);

}  // namespace rzd::lowdrv::window
