// Bytes of a profile file to text and back.
#pragma once

#include <string>
#include <string_view>

namespace rzd::ini {

// Decodes by the byte-order mark (UTF-16LE, UTF-16BE, UTF-8); without one, valid UTF-8 is read
// as UTF-8 and anything else as Windows-1252.
std::u16string DecodeProfileBytes(std::string_view bytes);

// The byte-order mark FF FE followed by the text in UTF-16LE.
std::string EncodeProfileText(std::u16string_view text);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

}  // namespace rzd::ini
