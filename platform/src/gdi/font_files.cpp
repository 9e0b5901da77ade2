// Face names to font files through fontconfig, with Debian's substitutes for the faces the
// system's texts name.
#include "platform/gdi.h"
#include "platform/text.h"

#include <fontconfig/fontconfig.h>

#include <map>
#include <mutex>
#include <utility>

namespace rzd::gdi {

namespace {

struct Substitute {
  std::u16string_view face;
  std::u16string_view family;
};
constexpr Substitute kSubstitutes[] = {
    {u"Courier New", u"Liberation Mono"},
    {u"Arial", u"Liberation Sans"},
    {u"Calibri", u"Carlito"},
    {u"Microsoft Sans Serif", u"DejaVu Sans"},
};
constexpr std::u16string_view kFallbackFamily = u"DejaVu Sans";

// fontconfig's configuration is loaded once; its calls are made one at a time.
std::mutex& FcLock() {
  static std::mutex* const lock = new std::mutex();
  return *lock;
}

FcConfig* Config() {
  static FcConfig* const config = FcInitLoadConfigAndFonts();
  return config;
}

struct Match {
  std::string family;
  std::string file;
  int index = 0;
  int weight = FC_WEIGHT_REGULAR;
};

// fontconfig's best match for a family and weight (it always answers with some font).
std::optional<Match> BestMatch(const std::string& family, bool bold) {
  FcConfig* config = Config();
  if (!config) return std::nullopt;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return std::nullopt;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  if (!found) return std::nullopt;
  std::optional<Match> match;
  FcChar8* file = nullptr;
  FcChar8* name = nullptr;
  if (FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch &&
      FcPatternGetString(found, FC_FAMILY, 0, &name) == FcResultMatch) {
    match = Match{reinterpret_cast<const char*>(name), reinterpret_cast<const char*>(file), 0, FC_WEIGHT_REGULAR};
    FcPatternGetInteger(found, FC_INDEX, 0, &match->index);
    FcPatternGetInteger(found, FC_WEIGHT, 0, &match->weight);
  }
  FcPatternDestroy(found);
  return match;
}

// Answers are kept: the fonts of a machine do not change while a driver runs.
std::u16string SubstituteLocked(std::u16string_view face) {
  for (const Substitute& s : kSubstitutes) {
    if (EqualsNoCase(face, s.face)) return std::u16string(s.family);
  }
  static std::map<std::u16string, std::u16string>* const known = new std::map<std::u16string, std::u16string>();
  const std::u16string key = FoldCase(face);
  if (auto it = known->find(key); it != known->end()) return it->second;
  std::u16string family(kFallbackFamily);
  if (!face.empty()) {
    const std::optional<Match> match = BestMatch(ToUtf8(face), false);
    if (match && EqualsNoCase(FromUtf8(match->family), face)) family = FromUtf8(match->family);
  }
  known->emplace(key, family);
  return family;
}

}  // namespace

std::u16string SubstituteFace(std::u16string_view face) {
  std::lock_guard guard(FcLock());
  return SubstituteLocked(face);
}

std::optional<FontFile> FindFontFile(std::u16string_view face, bool bold) {
  std::lock_guard guard(FcLock());
  static std::map<std::pair<std::u16string, bool>, std::optional<FontFile>>* const known =
      new std::map<std::pair<std::u16string, bool>, std::optional<FontFile>>();
  const std::u16string family = SubstituteLocked(face);
  const auto key = std::make_pair(FoldCase(family), bold);
  if (auto it = known->find(key); it != known->end()) return it->second;
  std::optional<FontFile> file;
  if (const std::optional<Match> match = BestMatch(ToUtf8(family), bold)) {
    file = FontFile{match->file, match->index, match->weight >= FC_WEIGHT_BOLD, FromUtf8(match->family)};
  }
  known->emplace(key, file);
  return file;
}

}  // namespace rzd::gdi
