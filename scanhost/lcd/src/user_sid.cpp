// The console user and the user's language.
#include "profile_values.h"
#include "scanhost/lcd/lcd_profiles.h"

#include "foundation/com_utils.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/types.h"

namespace rzd::scanhost::lcd {

namespace {

// The outside user-session launcher: created in the console session, it answers values of the
// user logged on there by name.
// {6378A557-D8FF-4A2C-953F-65EE36600858}
constexpr CLSID kUserSessionLauncher{0x6378A557, 0xD8FF, 0x4A2C, {0x95, 0x3F, 0x65, 0xEE, 0x36, 0x60, 0x08, 0x58}};
// {AD8DBE03-8E65-406E-99D2-B6E4E9834AC7}
constexpr IID kIidLauncher{0xAD8DBE03, 0x8E65, 0x406E, {0x99, 0xD2, 0xB6, 0xE4, 0xE9, 0x83, 0x4A, 0xC7}};
// {19100BAB-1C78-4964-82B0-BBD856057838}
constexpr IID kIidUserValues{0x19100BAB, 0x1C78, 0x4964, {0x82, 0xB0, 0xBB, 0xD8, 0x56, 0x05, 0x78, 0x38}};

// The launcher's interface of the user's values, as far as the service uses it.
struct IUserValues : IUnknown {
  virtual HRESULT GetValue(BSTR name, BSTR* value) = 0;

 protected:
  ~IUserValues() = default;
};

// The console user's shell runs: Winlogon's Shell value is empty, or a process of that executable runs.
bool ConsoleShellRuns() {
  RegKey key;
  std::u16string shell;
  if (RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", &key) ==
      ERROR_SUCCESS) {
    key.GetString(u"Shell", &shell);
  }
  return shell.empty() || ProcessWithExecutableNameRuns(shell);
}

std::u16string AskLauncher() {
  IUnknown* launcher = nullptr;
  if (FAILED(CreateInstanceInConsoleSession(kUserSessionLauncher, kIidLauncher, reinterpret_cast<void**>(&launcher))) ||
      !launcher) {
    return {};
  }
  std::u16string sid;
  IUserValues* values = nullptr;
  if (SUCCEEDED(launcher->QueryInterface(kIidUserValues, reinterpret_cast<void**>(&values))) && values) {
    Bstr name(u"UserSID");
    Bstr value;
    if (SUCCEEDED(values->GetValue(name.Get(), value.Out()))) sid = value.View();
    values->Release();
  }
  launcher->Release();
  return sid;
}

// "%X": blanks, an optional "0x", hexadecimal digits (at most 32 bits kept).
uint32_t ParseHex(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) i += 2;
  uint32_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = HexDigitValue(text[i]);
    if (digit < 0) break;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  return value;
}

}  // namespace

std::u16string GetCurrentUserSid() {
  RegKey key;
  std::u16string sid;
  if (RegKey::Open(Hive::LocalMachine, u"SOFTWARE\\Corvanite\\RZD", &key) == ERROR_SUCCESS) {
    sid = ReadProfileString(key, u"CurrentUserSID").value_or(u"");
  }
  if (sid.empty() && ConsoleShellRuns()) sid = AskLauncher();
  return sid;
}

uint16_t UserLanguage(std::u16string_view userSid) {
  RegKey key;
  if (RegKey::Open(Hive::Users, std::u16string(userSid) + u"\\Control Panel\\International", &key) != ERROR_SUCCESS) {
    return 0;
  }
  const std::optional<std::u16string> locale = ReadProfileString(key, u"Locale");
  return locale ? static_cast<uint16_t>(ParseHex(*locale) & 0xFFFF) : 0;
}

}  // namespace rzd::scanhost::lcd
