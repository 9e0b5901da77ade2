// The known paper sizes with their names in the five languages, and the size a page matches.
#include "scanhost/lcd/lcd_texts.h"

#include <cstdlib>

namespace rzd::scanhost::lcd {

namespace {

enum Unit : uint8_t { kInch, kMillimetre };  // thousandths of an inch, or millimetres

struct PaperSize {
  int32_t width;
  int32_t height;
  Unit unit;
};

constexpr PaperSize kPaperSizes[kPaperSizeCount] = {
    {8500, 14000, kInch},  // 0
    {8500, 13000, kInch},  // 1
    {8500, 11000, kInch},  // 2
    {5500, 8500, kInch},  // 3
    {7250, 10500, kInch},  // 4
    {3500, 2000, kInch},  // 5
    {3375, 2125, kInch},  // 6
    {4134, 2913, kInch},  // 7
    {5000, 3500, kInch},  // 8
    {6000, 4000, kInch},  // 9
    {7000, 5000, kInch},  // 10
    {8000, 10000, kInch},  // 11
    {3875, 8875, kInch},  // 12
    {4125, 9500, kInch},  // 13
    {4500, 10375, kInch},  // 14
    {4750, 11000, kInch},  // 15
    {5000, 11500, kInch},  // 16
    {3875, 7500, kInch},  // 17
    {3625, 6500, kInch},  // 18
    {2913, 4134, kInch},  // 19
    {2000, 3500, kInch},  // 20
    {3500, 5000, kInch},  // 21
    {4000, 6000, kInch},  // 22
    {5000, 7000, kInch},  // 23
    {215, 275, kMillimetre},  // 24
    {210, 297, kMillimetre},  // 25
    {148, 210, kMillimetre},  // 26
    {176, 250, kMillimetre},  // 27
    {110, 220, kMillimetre},  // 28
    {162, 229, kMillimetre},  // 29
    {114, 162, kMillimetre},  // 30
    {114, 229, kMillimetre},  // 31
    {176, 125, kMillimetre},  // 32
    {110, 230, kMillimetre},  // 33
    {105, 148, kMillimetre},  // 34
    {74, 105, kMillimetre},  // 35
    {52, 74, kMillimetre},  // 36
    {125, 176, kMillimetre},  // 37
    {88, 125, kMillimetre},  // 38
    {62, 88, kMillimetre},  // 39
    {162, 229, kMillimetre},  // 40
    {114, 162, kMillimetre},  // 41
    {81, 114, kMillimetre},  // 42
    {57, 81, kMillimetre},  // 43
    {54, 86, kMillimetre},  // 44
    {182, 257, kMillimetre},  // 45
    {128, 182, kMillimetre},  // 46
    {91, 128, kMillimetre},  // 47
    {64, 91, kMillimetre},  // 48
    {176, 250, kMillimetre},  // 49
    {125, 176, kMillimetre},  // 50
    {88, 125, kMillimetre},  // 51
    {62, 88, kMillimetre},  // 52
};

// Per size: Russian, English, French, German, Spanish.
constexpr std::u16string_view kPaperNames[kPaperNameCount][kLanguageCount] = {
    {u"Стандарт", u"Legal", u"Légale", u"US-Legal", u"Legal"},  // 0
    {u"Пленка", u"Folio", u"Folio", u"US-Folio", u"Folio"},  // 1
    {u"Letter", u"Letter", u"Lettre", u"US-Letter", u"Carta"},  // 2
    {u"Statement", u"Statement", u"Instruction", u"US-Statement", u"Oficio"},  // 3
    {u"Executive", u"Executive", u"Exécutif", u"US-Executive", u"Ejecutivo"},  // 4
    {u"Визит. карточка", u"BusinessCard", u"Carte profess.", u"Visitenkarte", u"Tarjeta present."},  // 5
    {u"Удост. личности", u"ID Card", u"Carte d’identif.", u"Ausweis", u"Tarjeta de ID"},  // 6
    {u"Удост. личности", u"ID Card", u"Carte d’identif.", u"Ausweis", u"Tarjeta de ID"},  // 7
    {u"Фото 5 x 3,5", u"Photo 5 x 3.5", u"Photo 5 x 3,5", u"Foto 5 x 3", u"Foto 5 x 3,5"},  // 8
    {u"Фото 6 x 4", u"Photo 6 x 4", u"Photo 6 x 4", u"Foto 6 x 4", u"Foto 6 x 4"},  // 9
    {u"Фото 7 x 5", u"Photo 7 x 5", u"Photo 7 x 5", u"Foto 7 x 5", u"Foto 7 x 5"},  // 10
    {u"Фото 8 x 10", u"Photo 8 x 10", u"Photo 8 x 10", u"Foto 8 x 10", u"Foto 8 x 10"},  // 11
    {u"Конверт #9", u"Envelope #9", u"Enveloppe #9", u"Umschlag Größe9", u"Sobre #9"},  // 12
    {u"Конверт #10", u"Envelope #10", u"Enveloppe #10", u"Umschlag Größe10", u"Sobre #10"},  // 13
    {u"Конверт #11", u"Envelope #11", u"Enveloppe #11", u"Umschlag Größe11", u"Sobre #11"},  // 14
    {u"Конверт #12", u"Envelope #12", u"Enveloppe #12", u"Umschlag Größe12", u"Sobre #12"},  // 15
    {u"Конверт #14", u"Envelope #14", u"Enveloppe #14", u"Umschlag Größe14", u"Sobre #14"},  // 16
    {u"Конверт Monarch", u"Envelope Monarch", u"Enveloppe monar.", u"Umschlag Monarch", u"Sobre monarca"},  // 17
    {u"Конверт", u"6 3/4 Envelope", u"6,75 Enveloppe", u"Umschlag", u"6,75 Sobre"},  // 18
    {u"Удост. личности", u"ID Card", u"Carte d’identif.", u"Ausweis", u"Tarjeta de ID"},  // 19
    {u"Удост. личности", u"ID Card", u"Carte d’identif.", u"Ausweis", u"Tarjeta de ID"},  // 20
    {u"Фото 3,5 x 5", u"Photo 3.5x5\"", u"Photo 3,5 x 5", u"Foto 3,5 x 5", u"Foto 3,5 x 5"},  // 21
    {u"Фото 4 x 6", u"Photo 4x6\"", u"Photo 4 x 6", u"Foto 4 x 6", u"Foto 4 x 6"},  // 22
    {u"Фото 5 x 7", u"Photo 5x7\"", u"Photo 5 x 7", u"Foto 5 x 7", u"Foto 5 x 7"},  // 23
    {u"Четверть", u"Quarto", u"Format quarto", u"US-Quarto", u"Cuartilla"},  // 24
    {u"A4", u"A4", u"A4", u"A4", u"A4"},  // 25
    {u"A5", u"A5", u"A5", u"A5", u"A5"},  // 26
    {u"B5", u"B5", u"B5", u"B5", u"B5"},  // 27
    {u"Конверт DL", u"Envelope DL", u"Enveloppe DL", u"Umschlag DL", u"Sobre DL"},  // 28
    {u"Конверт C5", u"Envelope C5", u"Enveloppe C5", u"Umschlag C5", u"Sobre C5"},  // 29
    {u"Конверт C6", u"Envelope C6", u"Enveloppe C6", u"Umschlag C6", u"Sobre C6"},  // 30
    {u"Конверт C65", u"Envelope C65", u"Enveloppe C65", u"Umschlag C65", u"Sobre C65"},  // 31
    {u"Конверт B6", u"Envelope B6", u"Enveloppe B6", u"Umschlag B6", u"Sobre B6"},  // 32
    {u"Конверт", u"Envelope", u"Enveloppe", u"Umschlag", u"Sobre"},  // 33
    {u"A6", u"A6", u"A6", u"A6", u"A6"},  // 34
    {u"A7", u"A7", u"A7", u"A7", u"A7"},  // 35
    {u"A8", u"A8", u"A8", u"A8", u"A8"},  // 36
    {u"B6", u"B6", u"B6", u"B6", u"B6"},  // 37
    {u"B7", u"B7", u"B7", u"B7", u"B7"},  // 38
    {u"B8", u"B8", u"B8", u"B8", u"B8"},  // 39
    {u"C5", u"C5", u"C5", u"C5", u"C5"},  // 40
    {u"C6", u"C6", u"C6", u"C6", u"C6"},  // 41
    {u"C7", u"C7", u"C7", u"C7", u"C7"},  // 42
    {u"C8", u"C8", u"C8", u"C8", u"C8"},  // 43
    {u"Визит. карточка", u"Int'l Bus Card", u"Carte profession.", u"Visitenkarte", u"Tarjeta de present."},  // 44
    {u"JIS B5", u"JIS B5", u"JIS B5", u"JIS B5", u"JIS B5"},  // 45
    {u"JIS B6", u"JIS B6", u"JIS B6", u"JIS B6", u"JIS B6"},  // 46
    {u"JIS B7", u"JIS B7", u"JIS B7", u"JIS B7", u"JIS B7"},  // 47
    {u"JIS B8", u"JIS B8", u"JIS B8", u"JIS B8", u"JIS B8"},  // 48
    {u"ISO B5", u"ISO B5", u"ISO B5", u"ISO B5", u"ISO B5"},  // 49
    {u"ISO B6", u"ISO B6", u"ISO B6", u"ISO B6", u"ISO B6"},  // 50
    {u"ISO B7", u"ISO B7", u"ISO B7", u"ISO B7", u"ISO B7"},  // 51
    {u"ISO B8", u"ISO B8", u"ISO B8", u"ISO B8", u"ISO B8"},  // 52
    {u"Пользов. размер", u"Custom", u"Taille personnal.", u"Angepasste Größe", u"Tamaño personal."},  // 53
    {u"Авто. размер", u"Auto size", u"Taille auto.", u"Auto-Größe", u"Tamaño automát."},  // 54
};

}  // namespace

std::u16string_view PaperName(int language, int index) {
  if (language < 0 || language >= kLanguageCount) language = kFrench;
  if (index < 0 || index >= kPaperNameCount) index = kCustomSize;
  return kPaperNames[index][language];
}

int PaperSizeIndex(int64_t width, int64_t height) {
  // Millimetres of the page, truncated as the integer division does.
  const int64_t widthMm = width * 254 / 10000;
  const int64_t heightMm = height * 254 / 10000;
  for (int i = 0; i < kPaperSizeCount; ++i) {
    const PaperSize& size = kPaperSizes[i];
    const bool match = size.unit == kInch
                           ? width == size.width && height == size.height
                           : std::llabs(widthMm - size.width) < 2 && std::llabs(heightMm - size.height) < 2;
    if (match) return i;
  }
  return kCustomSize;
}

std::u16string_view PaperSizeName(int64_t width, int64_t height, int language) {
  return PaperName(language, PaperSizeIndex(width, height));
}

}  // namespace rzd::scanhost::lcd
