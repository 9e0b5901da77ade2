// The registry: keys holding typed values, shared by every process of one system root through
// the database file registry.db in the root.
//
// Hives: HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_USER (the key of the current user under
// HKEY_USERS) and HKEY_CLASSES_ROOT (the current user's Software\Classes laid over the local
// machine's SOFTWARE\Classes). Key paths use backslashes. Key and value names compare without
// case and keep the case they were first created with; the empty value name is the default value.
// Values are kept as Windows bytes (strings UTF-16LE with a terminator), so QueryValue answers
// exactly what the Windows registry answers. Subkeys enumerate sorted without case, values in
// creation order. Every call that changes something is one transaction of its own.
//
// Every function answers a Win32 error number: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND (2) for a
// missing key or value, ERROR_ACCESS_DENIED (5) for a delete of a key that still has subkeys or
// of a hive's root, ERROR_INVALID_HANDLE (6) on a closed handle, ERROR_INVALID_PARAMETER (87) for
// a bad name, ERROR_MORE_DATA (234) for a small buffer, ERROR_KEY_DELETED (1018) when the key of
// a handle was deleted meanwhile, ERROR_UNSUPPORTED_TYPE (1630) when a typed getter meets another
// type, ERROR_BUSY (170) when the database stayed locked past the 10 s busy time-out.
#pragma once

#include "platform/errors.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Value types, with their Windows numbers.
constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_MULTI_SZ = 7;
constexpr uint32_t REG_QWORD = 11;

// What RegKey::Create did.
constexpr uint32_t REG_CREATED_NEW_KEY = 1;
constexpr uint32_t REG_OPENED_EXISTING_KEY = 2;

namespace rzd {

enum class Hive {
  LocalMachine,  // HKEY_LOCAL_MACHINE, HKLM
  Users,         // HKEY_USERS, HKU
  CurrentUser,   // HKEY_CURRENT_USER, HKCU = HKEY_USERS\<CurrentUserKeyName()>
  ClassesRoot,   // HKEY_CLASSES_ROOT, HKCR = HKCU\Software\Classes over HKLM\SOFTWARE\Classes
};

// "HKLM" or "HKEY_LOCAL_MACHINE" and so on, without regard to case.
std::optional<Hive> ParseHive(std::u16string_view name);
// The long name: "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT".
std::u16string HiveName(Hive hive);
// The current user's key under HKEY_USERS: "S-1-5-21-" followed by the user id.
std::u16string CurrentUserKeyName();

// Windows bytes of the string types: UTF-16LE with a terminator; a multi-string is every string
// with its terminator, then one more terminator.
std::vector<uint8_t> EncodeRegString(std::u16string_view text);
std::vector<uint8_t> EncodeRegMultiString(const std::vector<std::u16string>& strings);
// The text up to the first terminator (or the end; an odd last byte is ignored).
std::u16string DecodeRegString(std::span<const uint8_t> data);
// The strings up to the first empty one (or the end).
std::vector<std::u16string> DecodeRegMultiString(std::span<const uint8_t> data);

struct RegValue {
  std::u16string name;
  uint32_t type = REG_NONE;
  std::vector<uint8_t> data;
};

struct RegKeyInfo {
  uint32_t subKeys = 0;
  uint32_t values = 0;
  uint32_t maxSubKeyNameLength = 0;    // in UTF-16 code units
  uint32_t maxValueNameLength = 0;     // in UTF-16 code units
  uint32_t maxValueDataSize = 0;       // in bytes
};

// An open key. Move-only; closes on destruction. A handle stays bound to the root it was opened
// in, also after SystemRoot() changes. Calls on one handle may come from several threads.
class RegKey {
 public:
  RegKey();
  ~RegKey();
  RegKey(RegKey&& other) noexcept;
  RegKey& operator=(RegKey&& other) noexcept;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // Opens an existing key; the empty path opens the hive's root.
  static uint32_t Open(Hive hive, std::u16string_view path, RegKey* key);
  // Opens the key, creating it and every missing key on its path. `disposition` (may be null)
  // receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
  static uint32_t Create(Hive hive, std::u16string_view path, RegKey* key, uint32_t* disposition = nullptr);
  // RegKey::Open(hive, "") then DeleteSubKey(path) / DeleteTree(path).
  static uint32_t DeleteKey(Hive hive, std::u16string_view path);
  static uint32_t DeleteTree(Hive hive, std::u16string_view path);

  bool IsOpen() const { return state_ != nullptr; }
  void Close();

  uint32_t OpenSubKey(std::u16string_view path, RegKey* key) const;
  uint32_t CreateSubKey(std::u16string_view path, RegKey* key, uint32_t* disposition = nullptr) const;

  // As RegQueryValueEx: `type` and `size` may be null. With `data` null, *size receives the
  // needed size. With *size smaller than the value, answers ERROR_MORE_DATA and sets *size to
  // the needed size (nothing copied). Otherwise copies and sets *size to the value's size.
  uint32_t QueryValue(std::u16string_view name, uint32_t* type, void* data, uint32_t* size) const;
  uint32_t QueryValue(std::u16string_view name, uint32_t* type, std::vector<uint8_t>* data) const;
  // Stores the bytes as given (no terminator is added).
  uint32_t SetValue(std::u16string_view name, uint32_t type, std::span<const uint8_t> data) const;

  // Typed getters; ERROR_UNSUPPORTED_TYPE for another type or a wrong size.
  uint32_t GetString(std::u16string_view name, std::u16string* value) const;  // REG_SZ or REG_EXPAND_SZ
  uint32_t GetDword(std::u16string_view name, uint32_t* value) const;         // REG_DWORD, 4 bytes
  uint32_t GetQword(std::u16string_view name, uint64_t* value) const;         // REG_QWORD, 8 bytes
  uint32_t GetMultiString(std::u16string_view name, std::vector<std::u16string>* value) const;
  uint32_t GetBinary(std::u16string_view name, std::vector<uint8_t>* value) const;  // REG_BINARY

  // Typed setters writing the Windows bytes.
  uint32_t SetString(std::u16string_view name, std::u16string_view value) const;
  uint32_t SetExpandString(std::u16string_view name, std::u16string_view value) const;
  uint32_t SetDword(std::u16string_view name, uint32_t value) const;
  uint32_t SetQword(std::u16string_view name, uint64_t value) const;
  // ERROR_INVALID_PARAMETER when a string is empty or holds a terminator (it would end the list).
  uint32_t SetMultiString(std::u16string_view name, const std::vector<std::u16string>& value) const;
  uint32_t SetBinary(std::u16string_view name, std::span<const uint8_t> value) const;

  uint32_t DeleteValue(std::u16string_view name) const;
  // As RegDeleteKey: deletes the subkey at `path` with its values; ERROR_ACCESS_DENIED when it
  // has subkeys. The empty path names this key itself.
  uint32_t DeleteSubKey(std::u16string_view path) const;
  // As RegDeleteTree: deletes the subkey at `path` with everything beneath it; the empty path
  // deletes every subkey and value of this key and keeps the key.
  uint32_t DeleteTree(std::u16string_view path) const;

  uint32_t EnumKeys(std::vector<std::u16string>* names) const;  // sorted without case
  uint32_t EnumValues(std::vector<RegValue>* values) const;     // creation order
  uint32_t QueryInfo(RegKeyInfo* info) const;

  struct State;  // opaque: defined inside the library

 private:
  explicit RegKey(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace rzd
