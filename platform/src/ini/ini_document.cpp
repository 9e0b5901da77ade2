#include "ini/ini_document.h"

#include "platform/text.h"

#include <algorithm>

namespace rzd::ini {

namespace {
bool Contains(const std::vector<std::u16string>& names, std::u16string_view name) {
  return std::any_of(names.begin(), names.end(), [&](const std::u16string& n) { return EqualsNoCase(n, name); });
}
}  // namespace

IniDocument::Line IniDocument::Classify(std::u16string text) {
  Line line;
  std::u16string_view trimmed = TrimView(text);
  if (!trimmed.empty() && trimmed.front() == u'[') {
    std::u16string_view inner = trimmed.substr(1);
    size_t close = inner.find(u']');
    if (close != std::u16string_view::npos) inner = inner.substr(0, close);
    line.kind = Kind::Section;
    line.name = std::u16string(TrimView(inner));
  } else if (size_t eq = trimmed.find(u'='); eq != std::u16string_view::npos) {
    std::u16string_view name = TrimView(trimmed.substr(0, eq));
    if (!name.empty()) {
      line.kind = Kind::Entry;
      line.name = std::u16string(name);
    }
  }
  line.text = std::move(text);
  return line;
}

IniDocument IniDocument::Parse(std::u16string_view text) {
  IniDocument doc;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(u'\n', start);
    size_t stop = end == std::u16string_view::npos ? text.size() : end;
    std::u16string_view line = text.substr(start, stop - start);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    doc.lines_.push_back(Classify(std::u16string(line)));
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return doc;
}

size_t IniDocument::SectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != Kind::Section) ++i;
  return i;
}

bool IniDocument::IsSection(size_t index, std::u16string_view section) const {
  return lines_[index].kind == Kind::Section && EqualsNoCase(lines_[index].name, section);
}

std::optional<std::u16string> IniDocument::Find(std::u16string_view section, std::u16string_view key) const {
  for (size_t h = 0; h < lines_.size(); ++h) {
    if (!IsSection(h, section)) continue;
    size_t end = SectionEnd(h);
    for (size_t i = h + 1; i < end; ++i) {
      const Line& line = lines_[i];
      if (line.kind != Kind::Entry || !EqualsNoCase(line.name, key)) continue;
      std::u16string_view text = line.text;
      std::u16string_view value = TrimView(text.substr(text.find(u'=') + 1));
      if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      return std::u16string(value);
    }
  }
  return std::nullopt;
}

std::vector<std::u16string> IniDocument::SectionNames() const {
  std::vector<std::u16string> names;
  for (const Line& line : lines_) {
    if (line.kind == Kind::Section && !Contains(names, line.name)) names.push_back(line.name);
  }
  return names;
}

std::vector<std::u16string> IniDocument::KeyNames(std::u16string_view section) const {
  std::vector<std::u16string> names;
  for (size_t h = 0; h < lines_.size(); ++h) {
    if (!IsSection(h, section)) continue;
    size_t end = SectionEnd(h);
    for (size_t i = h + 1; i < end; ++i) {
      if (lines_[i].kind == Kind::Entry && !Contains(names, lines_[i].name)) names.push_back(lines_[i].name);
    }
  }
  return names;
}

bool IniDocument::Set(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
  std::optional<size_t> firstHeader;
  for (size_t h = 0; h < lines_.size(); ++h) {
    if (!IsSection(h, section)) continue;
    if (!firstHeader) firstHeader = h;
    size_t end = SectionEnd(h);
    for (size_t i = h + 1; i < end; ++i) {
      Line& line = lines_[i];
      if (line.kind != Kind::Entry || !EqualsNoCase(line.name, key)) continue;
      std::u16string text = line.name + u"=" + std::u16string(value);
      if (text == line.text) return false;
      line.text = std::move(text);
      return true;
    }
  }
  Line entry;
  entry.kind = Kind::Entry;
  entry.name = std::u16string(key);
  entry.text = entry.name + u"=" + std::u16string(value);
  if (firstHeader) {
    // After the last line of the section that is not blank, so blank lines before the next
    // section stay where they are.
    size_t pos = SectionEnd(*firstHeader);
    while (pos > *firstHeader + 1 && TrimView(lines_[pos - 1].text).empty()) --pos;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(pos), std::move(entry));
    return true;
  }
  Line header;
  header.kind = Kind::Section;
  header.name = std::u16string(section);
  header.text = u"[" + header.name + u"]";
  lines_.push_back(std::move(header));
  lines_.push_back(std::move(entry));
  return true;
}

bool IniDocument::DeleteKey(std::u16string_view section, std::u16string_view key) {
  bool changed = false;
  for (size_t h = 0; h < lines_.size(); ++h) {
    if (!IsSection(h, section)) continue;
    size_t i = h + 1;
    while (i < lines_.size() && lines_[i].kind != Kind::Section) {
      if (lines_[i].kind == Kind::Entry && EqualsNoCase(lines_[i].name, key)) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
        changed = true;
      } else {
        ++i;
      }
    }
  }
  return changed;
}

bool IniDocument::DeleteSection(std::u16string_view section) {
  bool changed = false;
  size_t h = 0;
  while (h < lines_.size()) {
    if (IsSection(h, section)) {
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(h),
                   lines_.begin() + static_cast<std::ptrdiff_t>(SectionEnd(h)));
      changed = true;
    } else {
      ++h;
    }
  }
  return changed;
}

std::u16string IniDocument::Serialize() const {
  std::u16string out;
  for (const Line& line : lines_) {
    out += line.text;
    out += u"\r\n";
  }
  return out;
}

}  // namespace rzd::ini
