// The panel's language: from the system locale's name and the language letters the library
// speaks.
#pragma once

#include <QString>

namespace rzd::panel {

// The letters before the library is attached to a process, and after.
inline constexpr char kAllLanguageLetters[] = "BREFIGSKCWT";
inline constexpr char kAttachedLanguageLetters[] = "REFGS";

// The language of the panel's translations: the locale name's first two letters when they name
// a language whose letter is among `letters` (all are kept when `letters` is every letter);
// "en" otherwise. Chinese becomes "tw" for zh_TW, zh_MO and zh_HK, "cn" for any other.
QString ChooseLanguage(const QString& letters, const QString& localeName);

// The system locale's name ("de_DE") as the process's environment gives it now: LC_ALL, else
// LC_MESSAGES, else LANG; "C" without one. Read at every call (Qt reads its own system locale
// once per process), so the next page after the translators were cleared speaks the current one.
QString SystemLocaleName();

}  // namespace rzd::panel
