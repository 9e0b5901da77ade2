// Registry scripts, as COM servers use them to register and unregister their classes.
//
//   HKCR
//   {
//     NoRemove CLSID
//     {
//       ForceRemove %CLSID% = s 'My Class'
//       {
//         InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Both' }
//         'Implemented Categories' { '%CATEGORY%' }
//       }
//     }
//   }
//
// Tokens are separated by blanks; '{', '}' and '=' are structure only when they stand alone, so a
// bare {GUID} is a key name. Roots: HKCR, HKLM, HKCU, HKU or their long names
// (HKEY_CLASSES_ROOT, ...), each followed by a block in braces. In a block: a key name, optionally `= type 'data'` for its default value,
// optionally a block of its own; or `val Name = type 'data'`. Types: s (REG_SZ), e
// (REG_EXPAND_SZ), d (REG_DWORD, decimal or 0x hex), q (REG_QWORD), b (REG_BINARY, hex digit
// pairs), m (REG_MULTI_SZ, strings separated by the two characters \0). Names and data may be
// 'quoted' ('' stands for one quote). %NAME% is replaced by the value given with AddReplacement
// (names compared without case; %% is one percent sign); replaced text is always taken
// literally, never as script syntax. Keywords (written bare): NoRemove (the key is never removed
// on unregister, its contents are still processed; also before `val`), ForceRemove (the key
// with everything beneath is deleted before it is created on register), Delete (the key is
// deleted on register; nothing happens on unregister).
//
// Register creates keys and writes values in script order. Unregister removes what the script
// names, deepest first: each value, and each key that has no subkeys left afterwards; a key
// that keeps other subkeys stays (without the default value the script gave it); NoRemove keys
// stay. Missing keys and values are skipped.
//
// The whole script is read and checked before anything is applied: a script with an error
// changes nothing and answers E_FAIL, with the reason in LastError(). A registry failure while
// applying answers HRESULT_FROM_WIN32 of its error number.
#pragma once

#include "platform/errors.h"

#include <map>
#include <string>
#include <string_view>

namespace rzd {

// One registrar per caller; not shared between threads.
class Registrar {
 public:
  // Adds or replaces the text of %name%.
  void AddReplacement(std::u16string_view name, std::u16string_view value);
  void ClearReplacements();
  // Per-user registration: keys of the HKCR root are written under HKCU\Software\Classes.
  void SetPerUser(bool perUser) { perUser_ = perUser; }

  HRESULT Register(std::u16string_view script);
  HRESULT Unregister(std::u16string_view script);

  // Why the last Register or Unregister failed ("line 3: ..."); empty after a success.
  const std::string& LastError() const { return error_; }

 private:
  HRESULT Run(std::u16string_view script, bool doRegister);

  std::map<std::u16string, std::u16string> replacements_;  // by case-folded name
  bool perUser_ = false;
  std::string error_;
};

}  // namespace rzd
