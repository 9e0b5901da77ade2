// The read result document: the page metadata that every read returns. Its shape and defaults
// are the driver's template resource (XML 120); a read fills in the values it knows and the
// document is written out as text. The template is parsed once per process; a document is a row
// of values over it, so filling and writing one costs no parse.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rzd::lowdrv {

class ReadResultTemplate {
 public:
  struct Node {
    std::u16string name;
    std::u16string text;        // the default text of a leaf
    std::vector<size_t> children;
  };

  // The template of the module holding `addressInModule` (resource XML 120); null when the
  // resource is missing or does not parse. Parsed on the first call, then kept.
  static const ReadResultTemplate* Get(const void* addressInModule);
  // Parses a template text (tests); null when it does not parse or has no root element.
  static std::unique_ptr<ReadResultTemplate> Parse(std::u16string_view text);

  const std::vector<Node>& Nodes() const { return nodes_; }  // [0] is the root
  // The node of a path below the root ("Address/Page"); -1 when the template has none.
  int Find(std::u16string_view path) const;

 private:
  std::vector<Node> nodes_;
  std::vector<std::pair<std::u16string, size_t>> paths_;
};

class ReadResult {
 public:
  explicit ReadResult(const ReadResultTemplate& shape);

  // A value for a template element (by path below the root); false when the template has none.
  bool Set(std::u16string_view path, std::u16string_view text);
  bool SetInt(std::u16string_view path, int64_t value);
  // Leaves the element out of the document.
  bool Remove(std::u16string_view path);
  // A new element at the end of the root, in the order added.
  void AddToRoot(std::u16string_view name, std::u16string_view text);

  // The document as text: elements in template order with no blanks between them, text escaped.
  std::u16string Text() const;

 private:
  void Write(std::u16string& out, size_t node) const;

  const ReadResultTemplate& shape_;
  std::vector<std::optional<std::u16string>> values_;
  std::vector<bool> removed_;
  std::vector<std::pair<std::u16string, std::u16string>> extra_;
};

}  // namespace rzd::lowdrv
