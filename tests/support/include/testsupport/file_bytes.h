// Whole-file reads and writes of raw bytes, and the byte forms of UTF-16 text with its mark, for
// tests that check what a component wrote or feed it files of a given encoding.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace rzd::test {

// The file's bytes; empty when it cannot be read.
std::string ReadBytes(const std::filesystem::path& file);
// Replaces the file's content with `bytes`.
void WriteBytes(const std::filesystem::path& file, std::string_view bytes);

// `text` as UTF-16LE (UTF-16BE) bytes after the byte-order mark.
std::string Utf16LeWithMark(std::u16string_view text);
std::string Utf16BeWithMark(std::u16string_view text);

}  // namespace rzd::test
