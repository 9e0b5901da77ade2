// The text form of a type library: writing it, and reading it back with every line checked.
#include "apphal/type_library.h"

#include <charconv>
#include <cstdio>

namespace rzd::apphal {

namespace {

constexpr std::string_view kMagic = "RZDTLB 1";

const char* KindWord(TypeKind kind) {
  switch (kind) {
    case TypeKind::Coclass: return "coclass";
    case TypeKind::Interface: return "interface";
    case TypeKind::Record: return "record";
    case TypeKind::Enum: return "enum";
  }
  return "";
}

// A word as written: quoted when it holds a blank or is empty.
std::string Word(std::string_view text) {
  if (!text.empty() && text.find_first_of(" \t") == std::string_view::npos) return std::string(text);
  return "\"" + std::string(text) + "\"";
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", value);
  return text;
}

// The words of a line; a word that starts with a quote runs to the next quote. False for an
// unclosed quote, a quote inside a word, or a control character other than a tab.
bool SplitWords(std::string_view line, std::vector<std::string_view>* words) {
  words->clear();
  for (char c : line) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return false;
  }
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    if (line[i] == '"') {
      const size_t end = line.find('"', i + 1);
      if (end == std::string_view::npos) return false;
      words->push_back(line.substr(i + 1, end - i - 1));
      i = end + 1;
      if (i < line.size() && line[i] != ' ' && line[i] != '\t') return false;
      continue;
    }
    size_t end = i;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') {
      if (line[end] == '"') return false;
      ++end;
    }
    words->push_back(line.substr(i, end - i));
    i = end;
  }
  return true;
}

template <typename T>
bool Number(std::string_view text, T* value, int base = 10) {
  if (base == 16) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value, base);
  return error == std::errc() && end == text.data() + text.size();
}

bool Version(std::string_view text, uint16_t* major, uint16_t* minor) {
  const size_t dot = text.find('.');
  return dot != std::string_view::npos && Number(text.substr(0, dot), major) && Number(text.substr(dot + 1), minor);
}

class Reader {
 public:
  std::optional<TypeLibrary> Read(std::string_view text, std::string* error) {
    if (text.size() > kMaxTypeLibraryBytes) return Fail(error, 0, "too large");
    size_t lineNumber = 0;
    bool sawMagic = false;
    while (!text.empty()) {
      const size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
      ++lineNumber;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
      if (!sawMagic) {
        if (line != kMagic) return Fail(error, lineNumber, "not a type library");
        sawMagic = true;
        continue;
      }
      std::vector<std::string_view> words;
      if (!SplitWords(line, &words)) return Fail(error, lineNumber, "bad quoting");
      if (const char* why = Line(words)) return Fail(error, lineNumber, why);
    }
    if (!sawMagic) return Fail(error, lineNumber, "empty");
    if (!sawLibrary_) return Fail(error, lineNumber, "no library line");
    return std::move(library_);
  }

 private:
  static std::optional<TypeLibrary> Fail(std::string* error, size_t line, const char* why) {
    if (error != nullptr) *error = "line " + std::to_string(line) + ": " + why;
    return std::nullopt;
  }

  TypeLibType* Current(TypeKind kind) {
    if (library_.types.empty() || library_.types.back().kind != kind) return nullptr;
    return &library_.types.back();
  }

  const char* NewType(TypeKind kind, std::string_view name) {
    if (!sawLibrary_) return "a type before the library line";
    if (library_.types.size() >= kMaxTypeLibraryItems) return "too many types";
    if (library_.Find(name) != nullptr) return "a type named twice";
    TypeLibType type;
    type.kind = kind;
    type.name = std::string(name);
    library_.types.push_back(std::move(type));
    return nullptr;
  }

  const char* Line(const std::vector<std::string_view>& w) {
    const std::string_view keyword = w[0];
    if (keyword == "library") {
      if (w.size() != 5 || sawLibrary_) return "bad library line";
      std::optional<GUID> id = ParseGuid(w[2]);
      if (!id || !Version(w[3], &library_.major, &library_.minor) || !Number(w[4], &library_.locale, 16)) {
        return "bad library line";
      }
      library_.name = std::string(w[1]);
      library_.id = *id;
      sawLibrary_ = true;
      return nullptr;
    }
    if (keyword == "importlib") {
      if (w.size() != 2 || !sawLibrary_) return "bad importlib line";
      library_.importLib = std::string(w[1]);
      return nullptr;
    }
    if (keyword == "coclass" || keyword == "interface") {
      if (w.size() != 5) return "bad type line";
      std::optional<GUID> id = ParseGuid(w[2]);
      if (!id) return "bad type id";
      if (const char* why = NewType(keyword == "coclass" ? TypeKind::Coclass : TypeKind::Interface, w[1])) return why;
      library_.types.back().id = *id;
      library_.types.back().help = std::string(w[3]);
      library_.types.back().related = std::string(w[4]);
      return nullptr;
    }
    if (keyword == "method") {
      TypeLibType* type = Current(TypeKind::Interface);
      if (w.size() != 3 || type == nullptr || (w[1] != "method" && w[1] != "propget")) return "bad method line";
      if (type->methods.size() >= kMaxTypeLibraryItems) return "too many methods";
      type->methods.push_back(TypeLibMethod{std::string(w[1]), std::string(w[2]), {}});
      return nullptr;
    }
    if (keyword == "param") {
      TypeLibType* type = Current(TypeKind::Interface);
      if (w.size() != 4 || type == nullptr || type->methods.empty()) return "bad param line";
      if (w[1] != "in" && w[1] != "out" && w[1] != "in,out" && w[1] != "out,retval") return "bad direction";
      std::vector<TypeLibParam>& params = type->methods.back().params;
      if (params.size() >= kMaxTypeLibraryItems) return "too many params";
      params.push_back(TypeLibParam{std::string(w[1]), std::string(w[2]), std::string(w[3])});
      return nullptr;
    }
    if (keyword == "record") {
      uint32_t size = 0, alignment = 0;
      if (w.size() != 4 || !Number(w[2], &size) || !Number(w[3], &alignment)) return "bad record line";
      if (const char* why = NewType(TypeKind::Record, w[1])) return why;
      library_.types.back().size = size;
      library_.types.back().alignment = alignment;
      return nullptr;
    }
    if (keyword == "field") {
      TypeLibType* type = Current(TypeKind::Record);
      TypeLibField field;
      if (w.size() != 5 || type == nullptr || !Number(w[3], &field.offset) || !Number(w[4], &field.size)) {
        return "bad field line";
      }
      if (field.offset > type->size || field.size > type->size - field.offset) return "field outside its record";
      if (type->fields.size() >= kMaxTypeLibraryItems) return "too many fields";
      field.name = std::string(w[1]);
      field.type = std::string(w[2]);
      type->fields.push_back(std::move(field));
      return nullptr;
    }
    if (keyword == "enum") {
      if (w.size() != 2) return "bad enum line";
      return NewType(TypeKind::Enum, w[1]);
    }
    if (keyword == "member") {
      TypeLibType* type = Current(TypeKind::Enum);
      TypeLibMember member;
      if (w.size() != 3 || type == nullptr || !Number(w[2], &member.value, 16)) return "bad member line";
      if (type->members.size() >= kMaxTypeLibraryItems) return "too many members";
      member.name = std::string(w[1]);
      type->members.push_back(std::move(member));
      return nullptr;
    }
    return "unknown line";
  }

  TypeLibrary library_;
  bool sawLibrary_ = false;
};

}  // namespace

const TypeLibType* TypeLibrary::Find(std::string_view name) const {
  for (const TypeLibType& type : types) {
    if (type.name == name) return &type;
  }
  return nullptr;
}

std::string WriteTypeLibrary(const TypeLibrary& library) {
  char locale[16];
  std::snprintf(locale, sizeof(locale), "0x%04X", library.locale);
  std::string text = std::string(kMagic) + "\n";
  text += "library " + Word(library.name) + " " + FormatGuidA(library.id) + " " + std::to_string(library.major) + "." +
          std::to_string(library.minor) + " " + locale + "\n";
  if (!library.importLib.empty()) text += "importlib " + Word(library.importLib) + "\n";
  for (const TypeLibType& type : library.types) {
    text += std::string(KindWord(type.kind)) + " " + Word(type.name);
    switch (type.kind) {
      case TypeKind::Coclass:
      case TypeKind::Interface:
        text += " " + FormatGuidA(type.id) + " " + Word(type.help) + " " + Word(type.related) + "\n";
        for (const TypeLibMethod& method : type.methods) {
          text += "method " + method.kind + " " + Word(method.name) + "\n";
          for (const TypeLibParam& param : method.params) {
            text += "param " + param.direction + " " + Word(param.type) + " " + Word(param.name) + "\n";
          }
        }
        break;
      case TypeKind::Record:
        text += " " + std::to_string(type.size) + " " + std::to_string(type.alignment) + "\n";
        for (const TypeLibField& field : type.fields) {
          text += "field " + Word(field.name) + " " + Word(field.type) + " " + std::to_string(field.offset) + " " +
                  std::to_string(field.size) + "\n";
        }
        break;
      case TypeKind::Enum:
        text += "\n";
        for (const TypeLibMember& member : type.members) text += "member " + Word(member.name) + " " + Hex(member.value) + "\n";
        break;
    }
  }
  return text;
}

std::optional<TypeLibrary> ParseTypeLibrary(std::string_view text, std::string* error) {
  return Reader().Read(text, error);
}

}  // namespace rzd::apphal
