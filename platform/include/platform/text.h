// Wide (UTF-16) text: conversions, case folding, the ANSI code page and printf-style formatting.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rzd {

// ---- UTF-8 <-> UTF-16
// Invalid UTF-8 sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);
// nullopt when the text holds a lone surrogate.
std::optional<std::string> TryToUtf8(std::u16string_view text);
// As TryToUtf8, but a lone surrogate becomes U+FFFD: for logs and messages only.
std::string ToUtf8(std::u16string_view text);

// ---- The ANSI code page: Windows-1252.
std::u16string FromAnsi(std::string_view text);
// Characters without a Windows-1252 form become '?'.
std::string ToAnsi(std::u16string_view text);

// ---- Case folding for identifiers (registry names, object names, XML IDs compared without
// case): upper-case mapping of the Latin, Greek and Cyrillic letters, one code unit at a time.
char16_t FoldChar(char16_t c);
std::u16string FoldCase(std::u16string_view text);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
int CompareNoCase(std::u16string_view a, std::u16string_view b);  // <0, 0, >0
std::u16string ToLower(std::u16string_view text);                  // inverse mapping
std::u16string ToUpper(std::u16string_view text);

// ---- Numbers
// Wide integer parsing with the C run-time's `_wtoi` rules: leading blanks, an optional sign,
// decimal digits up to the first non-digit; saturates at the 32-bit limits; 0 when no digits.
int32_t WToI(std::u16string_view text);
int64_t WToI64(std::u16string_view text);
// Strict unsigned parsing: decimal digits only (no blanks, no sign), within 32 bits; nullopt for
// anything else.
std::optional<uint32_t> ParseUInt32(std::u16string_view text);
std::optional<uint32_t> ParseUInt32(std::string_view text);
// The value of one hexadecimal digit (0-9, a-f, A-F); -1 for any other character.
int HexDigitValue(char16_t c);

// ---- Formatting, always in the "C" locale.
// Wide format: %s and %ls/%ws take a wide (char16_t*) string, %S and %hs a narrow (char*) one;
// %c a wide character, %C/%hc a narrow one. Narrow format: %s/%hs narrow, %S/%ls/%ws wide.
// A null string prints "(null)". Integer sizes: hh h l ll z j t L, I32, I64, I. %n is refused
// (prints nothing). Floating point %e %E %f %F %g %G %a %A; %p prints the full pointer.
std::u16string FormatW(const char16_t* format, ...);
std::u16string VFormatW(const char16_t* format, va_list args);
std::string FormatA(const char* format, ...);
std::string VFormatA(const char* format, va_list args);

// Trims blanks (space, tab, CR, LF) from both ends.
std::u16string_view TrimView(std::u16string_view text);

}  // namespace rzd
