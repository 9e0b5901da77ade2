#include "meta_record.h"

#include <cstring>

namespace rzd::nethal {

namespace {

uint64_t ReadLe64(const uint8_t* bytes) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

// A region [offset, offset + size) inside `viewSize` bytes.
bool Inside(uint64_t offset, uint64_t size, uint64_t viewSize) {
  return offset <= viewSize && size <= viewSize - offset;
}

}  // namespace

MetaCheck ReadMetaRecord(const uint8_t* view, uint64_t viewSize, MetaRecord* record) {
  if (view == nullptr || viewSize < kMetaHeaderSize) return MetaCheck::kBad;
  uint64_t fields[5];
  bool zero = true;
  for (int i = 0; i < 5; ++i) {
    fields[i] = ReadLe64(view + 8 * i);
    zero = zero && fields[i] == 0;
  }
  if (zero) return MetaCheck::kEmpty;
  const uint64_t textOffset = fields[0];
  const uint64_t textSize = fields[1];
  const uint64_t dataOffset = fields[2];
  const uint64_t dataSize = fields[3];
  const uint64_t kind = fields[4];
  if (kind > 2) return MetaCheck::kBad;
  if (textOffset < kMetaHeaderSize || textSize < 2 || !Inside(textOffset, textSize, viewSize)) return MetaCheck::kBad;
  if (!Inside(dataOffset, dataSize, viewSize)) return MetaCheck::kBad;
  // The text ends at its first zero character, which must lie inside the text's size.
  std::u16string text;
  const uint64_t characters = textSize / 2;
  for (uint64_t i = 0;; ++i) {
    if (i == characters) return MetaCheck::kBad;
    char16_t c;
    std::memcpy(&c, view + textOffset + 2 * i, sizeof c);  // the offset may be odd
    if (c == 0) break;
    text.push_back(c);
  }
  record->text = std::move(text);
  record->data = view + dataOffset;
  record->dataSize = dataSize;
  record->kind = kind;
  return MetaCheck::kRecord;
}

}  // namespace rzd::nethal
