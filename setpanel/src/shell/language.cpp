#include "language.h"

#include "platform/process.h"

#include <QLocale>

namespace rzd::panel {

namespace {
// The letter of each language the panel knows.
QChar LetterOf(const QString& language) {
  struct Entry {
    const char* language;
    char letter;
  };
  static const Entry kLetters[] = {{"pt", 'B'}, {"ru", 'R'}, {"en", 'E'}, {"fr", 'F'}, {"it", 'I'},
                                   {"de", 'G'}, {"es", 'S'}, {"ko", 'K'}, {"tr", 'T'}};
  for (const Entry& e : kLetters) {
    if (language == QLatin1String(e.language)) return QLatin1Char(e.letter);
  }
  return QChar();
}
}  // namespace

QString ChooseLanguage(const QString& letters, const QString& localeName) {
  QString language = localeName.left(2).toLower();
  if (letters != QLatin1String(kAllLanguageLetters)) {
    bool known = false;
    if (language == QLatin1String("zh")) {
      known = letters.contains(QLatin1Char('W')) || letters.contains(QLatin1Char('C'));
    } else {
      const QChar letter = LetterOf(language);
      known = !letter.isNull() && letters.contains(letter);
    }
    if (!known) language = QStringLiteral("en");
  }
  if (language == QLatin1String("zh")) {
    const QString region = localeName.mid(3, 2).toUpper();
    language = region == QLatin1String("TW") || region == QLatin1String("MO") || region == QLatin1String("HK")
                   ? QStringLiteral("tw")
                   : QStringLiteral("cn");
  }
  return language;
}

QString SystemLocaleName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const std::optional<std::string> value = GetEnv(name);
    if (value && !value->empty()) return QLocale(QString::fromStdString(*value)).name();
  }
  return QStringLiteral("C");
}

}  // namespace rzd::panel
