// Private-profile INI files: reading and writing "[section]" / "key=value" files the way the
// Windows profile functions do.
//
// - Section and key names compare without case (rzd::EqualsNoCase); the first section of a name
//   that holds the key answers. Names and values are read with the blanks around them trimmed,
//   and a value enclosed in a pair of matching quotes (' or ") loses them.
// - Files are read in any of: UTF-16LE or UTF-16BE with a byte-order mark, UTF-8 with a mark, and
//   without a mark as UTF-8 when the bytes are valid UTF-8, else as the ANSI code page
//   (Windows-1252). They are always written as UTF-16LE with the mark FF FE and CR LF line ends.
// - A write keeps every other line of the file as it stands. It is atomic and safe between
//   processes: under an exclusive lock on the file "<name>.lock" next to it, the file is read
//   again, changed, written to a temporary file in the same folder and renamed over the old one,
//   so a reader always sees a whole file. A writer waits at most kIniLockWaitMs for the lock
//   (the registry's busy time-out); a writer that another process keeps out longer fails with
//   ERROR_SHARING_VIOLATION. Temporary files left by writers that were killed mid-write are
//   removed by the next write of the file.
// - Files larger than kMaxIniFileBytes are not read (reads give the default, writes fail).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rzd {

constexpr uintmax_t kMaxIniFileBytes = 16u * 1024u * 1024u;
// Longest wait of a write for the file's lock.
constexpr uint32_t kIniLockWaitMs = 10000;

// GetPrivateProfileString: the value of `key` in `section`, or `defaultValue` (with its trailing
// blanks removed) when the file, the section or the key is missing.
std::u16string GetPrivateProfileString(std::u16string_view section, std::u16string_view key,
                                       std::u16string_view defaultValue, const std::filesystem::path& file);

// GetPrivateProfileInt: `defaultValue` when the file, section or key is missing or the value is
// empty; otherwise the value read as an integer: leading blanks, an optional sign, an optional
// base prefix "0x" (hex), "0o" (octal) or "0b" (binary), then digits up to the first one that
// does not belong to the base (none: 0); wraps modulo 2^32 as the Windows function does.
int32_t GetPrivateProfileInt(std::u16string_view section, std::u16string_view key, int32_t defaultValue,
                             const std::filesystem::path& file);

// WritePrivateProfileString:
// - key and value given: sets the value (creating the file, the section and the key as needed);
// - value nullopt: deletes the key;
// - key nullopt: deletes the whole section.
// The folder must exist. Names must not be empty, hold CR or LF, a section name not "]", a key
// name not "=" nor begin with "["; values must not hold CR or LF (ERROR_INVALID_PARAMETER).
// `error` (optional) receives a Win32 error number: 0, ERROR_PATH_NOT_FOUND (no folder),
// ERROR_ACCESS_DENIED, ERROR_INVALID_PARAMETER, ERROR_SHARING_VIOLATION (another process kept
// the file's lock for kIniLockWaitMs), ERROR_GEN_FAILURE (the file is too large or cannot be
// read or written).
bool WritePrivateProfileString(std::u16string_view section, std::optional<std::u16string_view> key,
                               std::optional<std::u16string_view> value, const std::filesystem::path& file,
                               uint32_t* error = nullptr);

// Creates the file holding only the UTF-16LE byte-order mark when it is missing or has 0 bytes; a
// file with content is left as it is. Under the same lock as the writes.
bool EnsureUnicodeProfileFile(const std::filesystem::path& file, uint32_t* error = nullptr);

// The section names in file order (each name once, first spelling), and the key names of a
// section (first spelling, every section of that name, file order).
std::vector<std::u16string> GetPrivateProfileSectionNames(const std::filesystem::path& file);
std::vector<std::u16string> GetPrivateProfileKeyNames(std::u16string_view section,
                                                      const std::filesystem::path& file);

}  // namespace rzd
