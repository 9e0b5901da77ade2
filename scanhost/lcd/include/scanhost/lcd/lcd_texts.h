// The texts of the LCD profile screens in the console user's language: colour-mode names, the
// resolution unit and the paper-size names, and the paper size a scan profile's page makes.
#pragma once

#include <cstdint>
#include <string_view>

namespace rzd::scanhost::lcd {

// Languages of the texts, in their order.
inline constexpr int kLanguageCount = 5;
inline constexpr int kRussian = 0;
inline constexpr int kEnglish = 1;
inline constexpr int kFrench = 2;
inline constexpr int kGerman = 3;
inline constexpr int kSpanish = 4;

// The texts' language of a language identifier, chosen by its low byte (0x19 Russian, 0x09
// English, 0x0C French, 0x07 German, 0x0A Spanish); every other language gets French.
int LanguageIndex(uint16_t languageId);
// Chinese (low byte 0x04) and Korean (0x12) summaries are written without bold codes.
bool WritesWithoutBold(uint16_t languageId);

enum class ColourMode : uint8_t { BlackAndWhite = 0, Gray = 1, Colour = 2, AutoColour = 3 };
// The colour mode's name (at most 13 characters). A language index outside 0 to 4 counts as French.
std::u16string_view ColourModeName(int language, ColourMode mode);
// The resolution unit, "dpi" or "ppp".
std::u16string_view ResolutionUnit(int language);

// Paper sizes: 53 known sizes, then the custom-size and the auto-size name.
inline constexpr int kPaperSizeCount = 53;
inline constexpr int kCustomSize = 53;
inline constexpr int kAutoSize = 54;
inline constexpr int kPaperNameCount = 55;
// The name of paper size `index` (0 to 54; others give the custom-size name), at most 20
// characters.
std::u16string_view PaperName(int language, int index);
// The index of the first known size a page of `width` x `height` thousandths of an inch matches,
// else kCustomSize. An inch size matches exactly; a millimetre size when both sides, converted
// to whole millimetres (truncated), lie within 1 mm of it.
int PaperSizeIndex(int64_t width, int64_t height);
// PaperName(language, PaperSizeIndex(width, height)).
std::u16string_view PaperSizeName(int64_t width, int64_t height, int language);

}  // namespace rzd::scanhost::lcd
