#include "hal/page_values.h"

#include "platform/text.h"

namespace rzd::scanhost {

namespace {

constexpr std::u16string_view kRoot = u"Result";
constexpr std::u16string_view kRootPrefix = u"/Result/";
// Longer texts and names are left to the parser (its own limits apply to them).
constexpr size_t kMaxPlainText = 1u << 20;
constexpr size_t kMaxPlainName = 256;
constexpr int kValueDepth = 3;  // root 1, group 2, value 3

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }
bool IsNameStart(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_'; }
bool IsNameChar(char16_t c) { return IsNameStart(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.'; }
// Text the plain shape allows: printable ASCII, tab and line feed; no markup characters (a
// carriage return, '&' or '>' is left to the parser, which changes or checks them).
bool IsPlainText(char16_t c) {
  return (c >= 0x20 && c <= 0x7E && c != u'<' && c != u'&' && c != u'>') || c == u'\t' || c == u'\n';
}

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// A cursor over the text of the plain shape.
class Scanner {
 public:
  explicit Scanner(std::u16string_view text) : text_(text) {}
  size_t At() const { return at_; }
  bool AtEnd() const { return at_ == text_.size(); }
  bool Take(char16_t c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  void SkipSpace() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
  }
  bool Name(std::u16string_view* name) {
    const size_t start = at_;
    if (at_ >= text_.size() || !IsNameStart(text_[at_])) return false;
    while (at_ < text_.size() && IsNameChar(text_[at_])) ++at_;
    if (at_ - start > kMaxPlainName) return false;
    *name = text_.substr(start, at_ - start);
    return true;
  }
  // Skips plain text up to the next '<'; false at anything else.
  bool Text() {
    while (at_ < text_.size() && text_[at_] != u'<') {
      if (!IsPlainText(text_[at_])) return false;
      ++at_;
    }
    return at_ < text_.size();
  }
  std::u16string_view Span(size_t from, size_t to) const { return text_.substr(from, to - from); }

 private:
  std::u16string_view text_;
  size_t at_ = 0;
};

// "/Result/<group>/<name>" split; false for any other path.
bool SplitPath(std::u16string_view path, std::u16string_view* group, std::u16string_view* name) {
  if (path.substr(0, kRootPrefix.size()) != kRootPrefix) return false;
  path.remove_prefix(kRootPrefix.size());
  const size_t slash = path.find(u'/');
  if (slash == std::u16string_view::npos) return false;
  *group = path.substr(0, slash);
  *name = path.substr(slash + 1);
  return name->find(u'/') == std::u16string_view::npos;
}

// The current node's name; false for text, comments and the like ("#text", ...).
bool IsElement(MSXML6StoreSTL& page, std::u16string* name) {
  return page.GetNodeName(*name) && !name->empty() && name->front() != u'#';
}

}  // namespace

bool PageValues::Read(std::u16string_view text) {
  values_.clear();
  kept_.clear();
  if (Scan(text, nullptr)) return true;
  values_.clear();
  return false;
}

bool PageValues::ReadAnyShape(std::u16string_view text) {
  if (Read(text)) return true;
  MSXML6StoreSTL document;
  if (!document.LoadFromString(text)) return false;
  ReadDocument(document);
  return true;
}

bool PageValues::AppendMarkup(std::u16string_view text, std::u16string* out) {
  if (AppendPlainMarkup(text, out)) return true;
  MSXML6StoreSTL document;
  std::u16string xml;
  if (!document.LoadFromString(text) || !document.GetDocumentXML(xml)) return false;
  *out += xml;
  return true;
}

bool PageValues::AppendPlainMarkup(std::u16string_view text, std::u16string* out) {
  const size_t before = out->size();
  PageValues values;
  if (values.Scan(text, out)) return true;
  out->resize(before);
  return false;
}

bool PageValues::Scan(std::u16string_view text, std::u16string* markup) {
  if (text.size() > kMaxPlainText) return false;
  Scanner s(text);
  std::u16string_view open[kValueDepth];
  bool filled[kValueDepth] = {};  // the open element has content in `markup`
  int depth = 0;
  size_t textStart = 0;
  s.SkipSpace();
  do {
    const size_t tagStart = s.At();
    if (!s.Take(u'<')) return false;
    if (s.Take(u'/')) {  // an end tag
      std::u16string_view name;
      if (depth == 0 || !s.Name(&name) || name != open[depth - 1]) return false;
      s.SkipSpace();
      if (!s.Take(u'>')) return false;
      if (depth == kValueDepth) values_.push_back({open[1], open[2], Trim(s.Span(textStart, tagStart))});
      --depth;
      if (markup != nullptr && filled[depth]) {
        markup->append(u"</").append(name).push_back(u'>');
      } else if (markup != nullptr) {  // nothing since its start tag: "<Name>" becomes "<Name/>"
        markup->back() = u'/';
        markup->push_back(u'>');
      }
    } else {  // a start tag, or an empty element
      std::u16string_view name;
      if (!s.Name(&name)) return false;  // comments, instructions, declarations: the parser's
      s.SkipSpace();
      const bool empty = s.Take(u'/');
      if (!s.Take(u'>')) return false;  // attributes too
      if (depth == 0 && name != kRoot) return false;
      if (depth == kValueDepth) return false;  // deeper elements: the parser's
      if (markup != nullptr) {
        if (depth > 0) filled[depth - 1] = true;
        markup->append(u"<").append(name).append(empty ? u"/>" : u">");
      }
      if (empty) {
        if (depth == 0) return false;
        if (depth + 1 == kValueDepth) values_.push_back({open[1], name, {}});
      } else {
        filled[depth] = false;
        open[depth++] = name;
        textStart = s.At();
      }
    }
    if (depth == 0) break;
    const size_t textFrom = s.At();
    if (!s.Text()) return false;
    // The store drops text of white space only; any other text stays as it stands (the plain
    // shape holds nothing the store would write another way).
    const std::u16string_view between = s.Span(textFrom, s.At());
    if (markup != nullptr && !Trim(between).empty()) {
      markup->append(between);
      filled[depth - 1] = true;
    }
  } while (true);
  s.SkipSpace();
  return s.AtEnd();
}

void PageValues::ReadDocument(MSXML6StoreSTL& page) {
  values_.clear();
  kept_.clear();
  if (!page.SelectNode(u"/Result") || !page.MoveToFirstChild()) return;
  std::u16string group;
  std::u16string name;
  do {
    if (!IsElement(page, &group) || !page.MoveToFirstChild()) continue;
    const std::u16string_view groupView = kept_.emplace_back(group);
    do {
      if (!IsElement(page, &name)) continue;
      std::u16string text;
      page.GetText(text);
      const std::u16string_view nameView = kept_.emplace_back(name);
      values_.push_back({groupView, nameView, kept_.emplace_back(std::move(text))});
    } while (page.MoveToNextSibling());
    page.MoveToParent();
  } while (page.MoveToNextSibling());
}

const std::u16string_view* PageValues::Find(std::u16string_view path) const {
  std::u16string_view group;
  std::u16string_view name;
  if (!SplitPath(path, &group, &name)) return nullptr;
  for (const Value& v : values_) {
    if (v.group == group && v.name == name) return &v.text;
  }
  return nullptr;
}

int32_t PageValues::Int(std::u16string_view path, int32_t fallback) const {
  const std::u16string_view* text = Find(path);
  return text != nullptr ? WToI(*text) : fallback;
}

}  // namespace rzd::scanhost
