// The texts of the screens: the language a user's identifier picks, and paper sizes by name.
#include "scanhost/lcd/lcd_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace rzd::scanhost::lcd {
namespace {

TEST(LcdTexts, TheLowByteOfTheLanguagePicksTheTexts) {
  struct Case {
    uint16_t language;
    int index;
    bool withoutBold;
  } cases[] = {
      {0x0419, kRussian, false}, {0x0409, kEnglish, false}, {0x0809, kEnglish, false}, {0x040C, kFrench, false},
      {0x0407, kGerman, false},  {0x0C07, kGerman, false},  {0x040A, kSpanish, false}, {0x0411, kFrench, false},
      {0x0804, kFrench, true},   {0x0404, kFrench, true},   {0x0412, kFrench, true},   {0x0000, kFrench, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LanguageIndex(c.language), c.index) << std::hex << c.language;
    EXPECT_EQ(WritesWithoutBold(c.language), c.withoutBold) << std::hex << c.language;
  }
}

TEST(LcdTexts, ColourModesAndUnitsOfEveryLanguage) {
  const std::u16string_view expected[kLanguageCount][5] = {
      {u"Черно-белый", u"Оттен. серого", u"Цветной", u"Авто. цвет", u"dpi"},
      {u"Black&White", u"Gray", u"Color", u"Auto color", u"dpi"},
      {u"Noir&blanc", u"Gris", u"Couleur", u"Couleur auto", u"ppp"},
      {u"Schwarz-Weiß", u"Graustufen", u"Farbe", u"Auto. Farbe", u"dpi"},
      {u"Blanco&negro", u"Gris", u"Color", u"Color auto.", u"dpi"},
  };
  for (int language = 0; language < kLanguageCount; ++language) {
    for (int mode = 0; mode < 4; ++mode) {
      const std::u16string_view name = ColourModeName(language, static_cast<ColourMode>(mode));
      EXPECT_EQ(name, expected[language][mode]);
      EXPECT_LE(name.size(), 13u);
    }
    EXPECT_EQ(ResolutionUnit(language), expected[language][4]);
  }
  EXPECT_EQ(ResolutionUnit(7), u"ppp") << "an index outside the table counts as French";
}

TEST(LcdTexts, PaperSizesByName) {
  struct Case {
    const char* what;
    int64_t width, height;
    int language;
    std::u16string_view name;
    int index;
  } cases[] = {
      {"US Letter in English", 8500, 11000, kEnglish, u"Letter", 2},
      {"US Letter in French", 8500, 11000, kFrench, u"Lettre", 2},
      {"US Letter in Spanish", 8500, 11000, kSpanish, u"Carta", 2},
      {"A4 in thousandths of an inch", 8268, 11693, kEnglish, u"A4", 25},
      {"A4 one millimetre short", 8230, 11654, kGerman, u"A4", 25},
      {"A4 two millimetres short", 8189, 11614, kEnglish, u"Custom", 53},
      {"no page", 0, 0, kEnglish, u"Custom", 53},
      {"no page in Russian", 0, 0, kRussian, u"Пользов. размер", 53},
      {"no page in French", 0, 0, kFrench, u"Taille personnal.", 53},
      {"no page in German", 0, 0, kGerman, u"Angepasste Größe", 53},
      {"no page in Spanish", 0, 0, kSpanish, u"Tamaño personal.", 53},
      {"Letter turned", 11000, 8500, kEnglish, u"Custom", 53},
      {"162 x 229 mm: the envelope comes first", 6378, 9016, kEnglish, u"Envelope C5", 29},
      {"176 x 250 mm: B5 before ISO B5", 6929, 9843, kEnglish, u"B5", 27},
      {"an inch size matches exactly only", 8501, 11000, kEnglish, u"Custom", 53},
      {"a photo with a straight quote", 3500, 5000, kEnglish, u"Photo 3.5x5\"", 21},
      {"an ID card", 3375, 2125, kFrench, u"Carte d’identif.", 6},
      {"an envelope in German", 4125, 9500, kGerman, u"Umschlag Größe10", 13},
      {"legal in Russian", 8500, 14000, kRussian, u"Стандарт", 0},
      {"a page of 32-bit extremes", 0xFFFFFFFFll, 0xFFFFFFFFll, kEnglish, u"Custom", 53},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PaperSizeIndex(c.width, c.height), c.index) << c.what;
    EXPECT_EQ(PaperSizeName(c.width, c.height, c.language), c.name) << c.what;
  }
  // The custom and auto-size names; every name fits its 20 characters.
  EXPECT_EQ(PaperName(kEnglish, kAutoSize), u"Auto size");
  EXPECT_EQ(PaperName(kSpanish, kAutoSize), u"Tamaño automát.");
  EXPECT_EQ(PaperName(kEnglish, 99), u"Custom");
  for (int language = 0; language < kLanguageCount; ++language) {
    for (int index = 0; index < kPaperNameCount; ++index) EXPECT_LE(PaperName(language, index).size(), 20u);
  }
}

}  // namespace
}  // namespace rzd::scanhost::lcd
