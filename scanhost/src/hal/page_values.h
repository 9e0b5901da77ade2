// The values of a driver read's page document: the text of each element two levels under its
// root ("/Result/<group>/<name>"), in document order.
//
// The driver writes its page documents in a plain shape (elements without attributes, text
// without entities, ASCII). Read() takes such a text in one pass with no document built; any
// other text is refused, and ReadAnyShape() reads the parsed document instead (ReadDocument),
// which gives the same values for every text Read() takes.
#pragma once

#include "foundation/xml_store.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::scanhost {

class PageValues {
 public:
  // One pass over `text` (which must outlive this object). False, with no values, when the text
  // is not of the plain shape or not well formed.
  bool Read(std::u16string_view text);
  // The values of a parsed page document (copies of its texts).
  void ReadDocument(MSXML6StoreSTL& page);
  // Read(), else the values of the parsed text; false when it does not parse.
  bool ReadAnyShape(std::u16string_view text);

  // Appends what the document store writes as the XML of `text` when the text is of the plain
  // shape (white space between elements dropped, an element left empty written as "<Name/>"),
  // and gives true; false, with `out` as it was, for any other text.
  static bool AppendPlainMarkup(std::u16string_view text, std::u16string* out);
  // AppendPlainMarkup(), else the XML of the parsed text; false, with `out` as it was, when it
  // does not parse.
  static bool AppendMarkup(std::u16string_view text, std::u16string* out);

  // The first value at `path` ("/Result/<group>/<name>"), or null.
  const std::u16string_view* Find(std::u16string_view path) const;
  int32_t Int(std::u16string_view path, int32_t fallback) const;

  struct Value {
    std::u16string_view group;
    std::u16string_view name;
    std::u16string_view text;  // without the white space around it
  };
  const std::vector<Value>& All() const { return values_; }

 private:
  // One pass over `text`; with `markup`, its XML is appended there as it goes.
  bool Scan(std::u16string_view text, std::u16string* markup);

  std::vector<Value> values_;
  std::deque<std::u16string> kept_;  // the texts ReadDocument copied
};

}  // namespace rzd::scanhost
