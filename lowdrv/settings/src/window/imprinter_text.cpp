#include "imprinter_text.h"

namespace rzd::lowdrv::window {

namespace {

// A date or time token at its first occurrence: "{#x}" without, "{#xS}" with a separator.
void TakeDateTimeToken(std::u16string& text, std::u16string_view start, bool& present, std::u16string& separator) {
  const size_t at = text.find(start);
  if (at == std::u16string::npos) return;
  const size_t afterStart = at + start.size();
  if (afterStart < text.size() && text[afterStart] == u'}') {
    present = true;
    separator.clear();
    text.erase(at, start.size() + 1);
  } else if (afterStart + 1 < text.size() && text[afterStart + 1] == u'}') {
    present = true;
    separator.assign(1, text[afterStart]);
    text.erase(at, start.size() + 2);
  }
}

}  // namespace

ImprinterTokens ParseImprinterEscape(std::u16string_view escape) {
  ImprinterTokens tokens;
  std::u16string text(escape);
  TakeDateTimeToken(text, u"{#d", tokens.date, tokens.dateSeparator);
  TakeDateTimeToken(text, u"{#t", tokens.time, tokens.timeSeparator);
  constexpr std::u16string_view kCounter = u"{#0b}";
  const size_t at = text.find(kCounter);
  if (at != std::u16string::npos) {
    tokens.counter = true;
    text.erase(at, kCounter.size());
  }
  tokens.text = std::move(text);
  return tokens;
}

std::u16string ReplaceImprinterNames(std::u16string_view text, std::u16string_view fileName,
                                     std::u16string_view userName, std::u16string_view machineName) {
  struct Name {
    std::u16string_view token, value;
  };
  const Name names[] = {{u"{FN}", fileName}, {u"{User}", userName}, {u"{Mach}", machineName}};
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const Name* found = nullptr;
    for (const Name& name : names) {
      if (text.substr(i, name.token.size()) == name.token) {
        found = &name;
        break;
      }
    }
    if (found != nullptr) {
      out.append(found->value);
      i += found->token.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

uint8_t DateTimeFormatCode(const ImprinterTokens& tokens) {
  const bool dateSep = !tokens.dateSeparator.empty();
  const bool timeSep = !tokens.timeSeparator.empty();
  if (tokens.date && tokens.time) return dateSep || timeSep ? 5 : 2;
  if (tokens.date) return dateSep ? 3 : 0;
  if (tokens.time) return timeSep ? 4 : 1;
  return 0;
}

}  // namespace rzd::lowdrv::window
