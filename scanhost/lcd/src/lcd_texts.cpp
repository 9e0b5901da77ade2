// Colour-mode names and resolution units per language, and the choice of language.
#include "scanhost/lcd/lcd_texts.h"

namespace rzd::scanhost::lcd {

namespace {

constexpr uint8_t kLanguageLowBytes[kLanguageCount] = {0x19, 0x09, 0x0C, 0x07, 0x0A};

constexpr std::u16string_view kColourModes[kLanguageCount][4] = {
    {u"Черно-белый", u"Оттен. серого", u"Цветной", u"Авто. цвет"},
    {u"Black&White", u"Gray", u"Color", u"Auto color"},
    {u"Noir&blanc", u"Gris", u"Couleur", u"Couleur auto"},
    {u"Schwarz-Weiß", u"Graustufen", u"Farbe", u"Auto. Farbe"},
    {u"Blanco&negro", u"Gris", u"Color", u"Color auto."},
};

constexpr std::u16string_view kResolutionUnits[kLanguageCount] = {u"dpi", u"dpi", u"ppp", u"dpi", u"dpi"};

int Checked(int language) { return language >= 0 && language < kLanguageCount ? language : kFrench; }

}  // namespace

int LanguageIndex(uint16_t languageId) {
  const uint8_t low = static_cast<uint8_t>(languageId & 0xFF);
  for (int i = 0; i < kLanguageCount; ++i) {
    if (kLanguageLowBytes[i] == low) return i;
  }
  return kFrench;
}

bool WritesWithoutBold(uint16_t languageId) {
  const uint8_t low = static_cast<uint8_t>(languageId & 0xFF);
  return low == 0x04 || low == 0x12;
}

std::u16string_view ColourModeName(int language, ColourMode mode) {
  const int index = static_cast<int>(mode);
  return kColourModes[Checked(language)][index >= 0 && index < 4 ? index : 0];
}

std::u16string_view ResolutionUnit(int language) { return kResolutionUnits[Checked(language)]; }

}  // namespace rzd::scanhost::lcd
