// Face names to font files: the fonts added for the process first, then fontconfig with Debian's
// substitutes for the faces the system's texts name.
#include "platform/gdi.h"
#include "platform/text.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

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
    {u"SimSun", u"AR PL UMing CN"},
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

// ---- Fonts added for the process, newest last.
struct PrivateFace {
  std::vector<std::u16string> families;
  int index = 0;
  int weight = FC_WEIGHT_REGULAR;
};
struct PrivateFont {
  std::filesystem::path path;
  int32_t added = 0;
  std::vector<PrivateFace> faces;
};

std::vector<PrivateFont>& PrivateFonts() {
  static std::vector<PrivateFont>* const fonts = new std::vector<PrivateFont>();
  return *fonts;
}

std::filesystem::path Normal(const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
  return (ec ? file : absolute).lexically_normal();
}

// Every face of a font file with its family names; empty when fontconfig reads none.
std::vector<PrivateFace> QueryFaces(const std::filesystem::path& file) {
  std::vector<PrivateFace> faces;
  int count = 1;
  for (int index = 0; index < count && index < 256; ++index) {
    FcPattern* pattern = FcFreeTypeQuery(reinterpret_cast<const FcChar8*>(file.c_str()), static_cast<unsigned>(index),
                                         nullptr, &count);
    if (!pattern) break;
    PrivateFace face;
    face.index = index;
    FcPatternGetInteger(pattern, FC_WEIGHT, 0, &face.weight);
    FcChar8* name = nullptr;
    for (int n = 0; FcPatternGetString(pattern, FC_FAMILY, n, &name) == FcResultMatch; ++n) {
      face.families.push_back(FromUtf8(reinterpret_cast<const char*>(name)));
    }
    FcPatternDestroy(pattern);
    if (!face.families.empty()) faces.push_back(std::move(face));
  }
  return faces;
}

struct PrivateMatch {
  const PrivateFont* font = nullptr;
  const PrivateFace* face = nullptr;
  std::u16string family;
};

// The newest added face of the family, of the weight asked for when there is one.
std::optional<PrivateMatch> FindPrivate(std::u16string_view family, bool bold) {
  std::optional<PrivateMatch> any;
  const std::vector<PrivateFont>& fonts = PrivateFonts();
  for (auto font = fonts.rbegin(); font != fonts.rend(); ++font) {
    for (const PrivateFace& face : font->faces) {
      for (const std::u16string& name : face.families) {
        if (!EqualsNoCase(name, family)) continue;
        PrivateMatch match{&*font, &face, name};
        if ((face.weight >= FC_WEIGHT_BOLD) == bold) return match;
        if (!any) any = match;
      }
    }
  }
  return any;
}

// Answers are kept: the fonts of a machine do not change while a driver runs.
std::u16string SubstituteLocked(std::u16string_view face) {
  if (const std::optional<PrivateMatch> added = FindPrivate(face, false)) return added->family;
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
  if (const std::optional<PrivateMatch> added = FindPrivate(face, bold)) {
    return FontFile{added->font->path, added->face->index, added->face->weight >= FC_WEIGHT_BOLD, added->family};
  }
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

int32_t AddPrivateFont(const std::filesystem::path& file) {
  const std::filesystem::path path = Normal(file);
  std::lock_guard guard(FcLock());
  std::vector<PrivateFont>& fonts = PrivateFonts();
  auto found = std::find_if(fonts.begin(), fonts.end(), [&](const PrivateFont& f) { return f.path == path; });
  if (found != fonts.end()) {
    ++found->added;
    return static_cast<int32_t>(found->faces.size());
  }
  std::vector<PrivateFace> faces = QueryFaces(path);
  if (faces.empty()) return 0;
  fonts.push_back(PrivateFont{path, 1, std::move(faces)});
  return static_cast<int32_t>(fonts.back().faces.size());
}

bool RemovePrivateFont(const std::filesystem::path& file) {
  const std::filesystem::path path = Normal(file);
  std::lock_guard guard(FcLock());
  std::vector<PrivateFont>& fonts = PrivateFonts();
  auto found = std::find_if(fonts.begin(), fonts.end(), [&](const PrivateFont& f) { return f.path == path; });
  if (found == fonts.end()) return false;
  if (--found->added == 0) fonts.erase(found);
  return true;
}

}  // namespace rzd::gdi
