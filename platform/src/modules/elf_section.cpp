// Finding one named section of an ELF file: the header, the section header table and the
// section-name table, each read and bounded before use.
#include "platform/file_version.h"

#include <cstring>

namespace rzd {

namespace {

// Sizes of the section-name table and the section header table read at most.
constexpr uint64_t kMaxNameTable = 1u << 20;
constexpr uint64_t kMaxHeaderTable = 4u << 20;

constexpr uint8_t kClass32 = 1;
constexpr uint8_t kClass64 = 2;
constexpr uint8_t kLittleEndian = 1;
constexpr uint32_t kSectionNoBits = 8;  // SHT_NOBITS: the section has no bytes in the file

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Get64(const uint8_t* p) { return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32); }

// One section header, in the fields this reader uses.
struct Section {
  uint32_t name = 0;
  uint32_t type = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
};

struct Layout {
  bool wide = false;
  uint64_t tableOffset = 0;
  uint16_t entrySize = 0;
  uint16_t count = 0;
  uint16_t namesIndex = 0;
};

bool Within(uint64_t offset, uint64_t size, uint64_t imageSize) {
  return offset <= imageSize && size <= imageSize - offset;
}

std::optional<Layout> ReadLayout(ImageReader read, void* context, uint64_t imageSize) {
  uint8_t header[64] = {};
  if (imageSize < 52 || !read(context, 0, header, 52)) return std::nullopt;
  if (header[0] != 0x7F || header[1] != 'E' || header[2] != 'L' || header[3] != 'F') return std::nullopt;
  if (header[5] != kLittleEndian) return std::nullopt;
  Layout layout;
  if (header[4] == kClass64) {
    if (imageSize < 64 || !read(context, 52, header + 52, 12)) return std::nullopt;
    layout.wide = true;
    layout.tableOffset = Get64(header + 40);
    layout.entrySize = Get16(header + 58);
    layout.count = Get16(header + 60);
    layout.namesIndex = Get16(header + 62);
  } else if (header[4] == kClass32) {
    layout.tableOffset = Get32(header + 32);
    layout.entrySize = Get16(header + 46);
    layout.count = Get16(header + 48);
    layout.namesIndex = Get16(header + 50);
  } else {
    return std::nullopt;
  }
  const uint16_t least = layout.wide ? 64 : 40;
  // A count of 0 (none, or more than the header can say) and an index past the table: no names.
  if (layout.entrySize < least || layout.count == 0 || layout.namesIndex >= layout.count) return std::nullopt;
  const uint64_t tableSize = static_cast<uint64_t>(layout.entrySize) * layout.count;
  if (tableSize > kMaxHeaderTable || !Within(layout.tableOffset, tableSize, imageSize)) return std::nullopt;
  return layout;
}

Section Decode(const Layout& layout, const uint8_t* entry) {
  Section s;
  s.name = Get32(entry);
  s.type = Get32(entry + 4);
  if (layout.wide) {
    s.offset = Get64(entry + 24);
    s.size = Get64(entry + 32);
  } else {
    s.offset = Get32(entry + 16);
    s.size = Get32(entry + 20);
  }
  return s;
}

}  // namespace

std::optional<std::vector<uint8_t>> ReadElfSection(ImageReader read, void* context, uint64_t imageSize,
                                                   std::string_view name, size_t maxSize) {
  if (read == nullptr) return std::nullopt;
  const std::optional<Layout> layout = ReadLayout(read, context, imageSize);
  if (!layout) return std::nullopt;

  std::vector<uint8_t> table(static_cast<size_t>(layout->entrySize) * layout->count);
  if (!read(context, layout->tableOffset, table.data(), table.size())) return std::nullopt;
  auto entry = [&](uint16_t index) { return Decode(*layout, table.data() + static_cast<size_t>(index) * layout->entrySize); };

  const Section names = entry(layout->namesIndex);
  if (names.type == kSectionNoBits || names.size == 0 || names.size > kMaxNameTable ||
      !Within(names.offset, names.size, imageSize))
    return std::nullopt;
  std::vector<uint8_t> nameTable(static_cast<size_t>(names.size));
  if (!read(context, names.offset, nameTable.data(), nameTable.size())) return std::nullopt;

  for (uint16_t i = 0; i < layout->count; ++i) {
    const Section s = entry(i);
    // The name must end inside the table: its bytes, then a NUL.
    if (s.name >= nameTable.size() || nameTable.size() - s.name < name.size() + 1) continue;
    if (std::memcmp(nameTable.data() + s.name, name.data(), name.size()) != 0 || nameTable[s.name + name.size()] != 0)
      continue;
    if (s.type == kSectionNoBits || s.size > maxSize || !Within(s.offset, s.size, imageSize)) return std::nullopt;
    std::vector<uint8_t> bytes(static_cast<size_t>(s.size));
    if (!bytes.empty() && !read(context, s.offset, bytes.data(), bytes.size())) return std::nullopt;
    return bytes;
  }
  return std::nullopt;
}

}  // namespace rzd
