// The lines of a profile file, with lookups and edits that keep every untouched line as it is.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::ini {

class IniDocument {
 public:
  // Splits at LF (a CR before it is dropped); a final line end does not start an empty line.
  static IniDocument Parse(std::u16string_view text);

  // The value (blanks trimmed, one pair of matching quotes removed) of the first entry of `key`
  // in a section named `section`; nullopt when there is none.
  std::optional<std::u16string> Find(std::u16string_view section, std::u16string_view key) const;
  std::vector<std::u16string> SectionNames() const;
  std::vector<std::u16string> KeyNames(std::u16string_view section) const;

  // Edits; each answers whether the text changed.
  // Set replaces the first entry of the key (keeping the spelling of its name) or adds one at
  // the end of the first section of that name, or adds the section at the end of the file.
  bool Set(std::u16string_view section, std::u16string_view key, std::u16string_view value);
  // Removes every entry of the key in every section of that name.
  bool DeleteKey(std::u16string_view section, std::u16string_view key);
  // Removes every section of that name with all its lines.
  bool DeleteSection(std::u16string_view section);

  // Every line followed by CR LF.
  std::u16string Serialize() const;

 private:
  enum class Kind { Other, Section, Entry };
  struct Line {
    std::u16string text;
    Kind kind = Kind::Other;
    std::u16string name;  // section or key name, trimmed
  };
  static Line Classify(std::u16string text);
  // Index range [first, end) of the lines of the section whose header is at `header`.
  size_t SectionEnd(size_t header) const;
  bool IsSection(size_t index, std::u16string_view section) const;

  std::vector<Line> lines_;
};

}  // namespace rzd::ini
