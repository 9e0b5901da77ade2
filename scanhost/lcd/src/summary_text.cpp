// The summary of the screens drawn: per screen the name and format, the link, the scan profile,
// its colour mode and resolution, and its paper size, with the codes the desktop application
// formats it by (\c centre, \b bold, \r right).
#include "scanhost/lcd/lcd_profiles.h"

#include "platform/text.h"

namespace rzd::scanhost::lcd {

namespace {

std::u16string DoubledBackslashes(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    out += c;
    if (c == u'\\') out += u'\\';
  }
  return out;
}

}  // namespace

std::u16string SummaryText(const std::vector<ProfileScreen>& screens, uint16_t languageId) {
  const int language = LanguageIndex(languageId);
  const bool bold = !WritesWithoutBold(languageId);
  std::u16string summary;
  for (const ProfileScreen& screen : screens) {
    summary += bold ? u"\\c\\b" : u"\\c";
    summary += DoubledBackslashes(screen.name);
    summary += bold ? u"\\b\\r" : u"\\r";
    summary += FormatText(screen);
    summary += bold ? u"\\r\n\\c\\b " : u"\\r\n\\c ";
    summary += LinkText(screen);
    summary += u"\n ";
    summary += DoubledBackslashes(screen.scanConfig ? std::u16string_view(screen.scanProfileName) : kNoScanProfileName);
    summary += bold ? u"\\b\n -" : u"\n -";
    summary += ColourModeName(language, screen.colourMode);
    summary += u" ";
    summary += FormatW(u"%d", static_cast<int>(screen.resolution));
    summary += ResolutionUnit(language);
    summary += u"\n -";
    summary += PaperText(screen, language);
  }
  return summary;
}

}  // namespace rzd::scanhost::lcd
