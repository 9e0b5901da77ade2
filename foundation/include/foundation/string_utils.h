// "C"-locale formatting and small string helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rzd {

// printf-style wide formatting in the "C" locale, sized exactly.
std::u16string FormatStringC(const char16_t* format, ...);

// The same into a caller's buffer of `size` characters (terminator included). Answers the number
// of characters written without the terminator. When the text does not fit it is truncated to
// size - 1 characters (terminated) and the answer is -1; -1 also for a null buffer, a zero size or
// a null format (nothing written).
int32_t FormatBufferC(char16_t* buffer, size_t size, const char16_t* format, ...);

// Replaces every `what` by `with`; the number replaced.
size_t ReplaceChar(std::u16string& text, char16_t what, char16_t with);

// Upper-case copy, one character at a time.
std::u16string ToUpperString(std::u16string_view text);

// True when `text` equals one of the strings exactly.
bool IsStringInList(const std::vector<std::u16string>& list, std::u16string_view text);

}  // namespace rzd
