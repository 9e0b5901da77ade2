// File versions: the version record that our own binaries carry, as a version resource of a
// file is read elsewhere.
//
// A binary built with rzd_version_record (cmake/rzd.cmake) holds one record in its ELF section
// ".rzd_version": UTF-8 text ended by a NUL byte,
//
//   RZDVERSION 1
//   Translation=0409 04B0          the language and code page of the strings (hexadecimal)
//   FileVersion=1, 0, 0, 0         then any number of Name=Value lines
//   ...
//
// Every line ends with a line feed. A file without that section (a text file, a binary of
// another maker, a file that cannot be read) has no version record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rzd {

// The name of the section that holds the record.
inline constexpr char kVersionRecordSection[] = ".rzd_version";
// The first line of a record.
inline constexpr char kVersionRecordHead[] = "RZDVERSION 1";
// The largest record read (bytes); a larger section is not a record.
inline constexpr size_t kMaxVersionRecord = 4096;

struct FileVersionInfo {
  uint16_t language = 0;
  uint16_t codePage = 0;
  // The named strings in the order of the record.
  std::vector<std::pair<std::u16string, std::u16string>> strings;

  // The string of that name (compared exactly), or nullptr.
  const std::u16string* Find(std::u16string_view name) const;
};

// The record of a file. A path without a folder names a file the way a loaded library is found:
// first among the modules loaded in this process, then in the folder of the running executable.
// nullopt when the file has no record or cannot be read.
std::optional<FileVersionInfo> ReadFileVersionInfo(const std::filesystem::path& file);

// A record from its bytes (up to the first NUL byte, at most kMaxVersionRecord); nullopt for
// bytes that are not a well-formed record.
std::optional<FileVersionInfo> ParseVersionRecord(std::span<const uint8_t> bytes);

// Reads `size` bytes at `offset` of an image into `out`; false when they are not all there.
using ImageReader = bool (*)(void* context, uint64_t offset, void* out, size_t size);

// The bytes of the named section of an ELF image (32- or 64-bit, little-endian) of `imageSize`
// bytes, read through `read`. nullopt when the image is not such a file, has no section of that
// name, or the section lies outside the image or is larger than `maxSize`. Every offset and size
// taken from the image is checked against the image before it is used.
std::optional<std::vector<uint8_t>> ReadElfSection(ImageReader read, void* context, uint64_t imageSize,
                                                   std::string_view name, size_t maxSize);

}  // namespace rzd
