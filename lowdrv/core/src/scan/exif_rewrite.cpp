#include "scan/exif_rewrite.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace rzd::lowdrv::jpeg {

namespace {

constexpr uint16_t kMakeTag = 0x010F;
constexpr uint16_t kModelTag = 0x0110;
constexpr uint16_t kAsciiType = 2;
constexpr size_t kEntrySize = 12;
constexpr size_t kMaxSegmentLength = 0xFFFF;

size_t Round4(size_t n) { return (n + 3) / 4 * 4; }

// The TIFF structure inside the Exif segment, in its own byte order.
class Tiff {
 public:
  Tiff(uint8_t* base, size_t size, bool bigEndian) : base_(base), size_(size), big_(bigEndian) {}

  bool Has(size_t offset, size_t bytes) const { return offset <= size_ && bytes <= size_ - offset; }
  uint16_t Get16(size_t at) const {
    return big_ ? static_cast<uint16_t>(base_[at] << 8 | base_[at + 1])
                : static_cast<uint16_t>(base_[at + 1] << 8 | base_[at]);
  }
  uint32_t Get32(size_t at) const {
    const uint32_t a = base_[at], b = base_[at + 1], c = base_[at + 2], d = base_[at + 3];
    return big_ ? (a << 24 | b << 16 | c << 8 | d) : (d << 24 | c << 16 | b << 8 | a);
  }
  void Put16(size_t at, uint32_t v) {
    const uint8_t hi = static_cast<uint8_t>(v >> 8), lo = static_cast<uint8_t>(v);
    base_[at] = big_ ? hi : lo;
    base_[at + 1] = big_ ? lo : hi;
  }
  void Put32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) base_[at + (big_ ? i : 3 - i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
  }
  uint8_t* At(size_t at) { return base_ + at; }
  void Grow(size_t bytes) { size_ += bytes; }

 private:
  uint8_t* base_;
  size_t size_;
  bool big_;
};

struct Segment {
  size_t start = 0;  // the 0xFF of the APP1 marker
  size_t end = 0;    // one past its last byte
};

// The first APP1 segment with the Exif signature, when all of it lies in the bytes given.
bool FindExif(const uint8_t* data, size_t length, Segment& found) {
  if (length < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
  size_t pos = 2;
  while (pos + 4 <= length) {
    if (data[pos] != 0xFF) return false;
    const uint8_t marker = data[pos + 1];
    if (marker == 0xDA || marker == 0xD9) return false;  // scan data or the end: no Exif before it
    if (marker == 0xFF) {  // a fill byte
      ++pos;
      continue;
    }
    const size_t segmentLength = static_cast<size_t>(data[pos + 2]) << 8 | data[pos + 3];
    if (segmentLength < 2) return false;
    const size_t end = pos + 2 + segmentLength;
    if (end > length) return false;
    if (marker == 0xE1 && segmentLength >= 8 && std::memcmp(data + pos + 4, "Exif\0\0", 6) == 0) {
      found.start = pos;
      found.end = end;
      return true;
    }
    pos = end;
  }
  return false;
}

struct TextPlan {
  uint16_t tag = 0;
  std::string_view text;
  int entry = -1;          // index in IFD0, -1 when missing
  size_t inPlace = 0;      // offset of its old out-of-line place, when it fits there
  size_t oldOffset = 0;    // its old out-of-line place (0 bytes when it had none)
  size_t oldCount = 0;
  size_t appendBytes = 0;  // room it needs at the end of the segment
};

}  // namespace

uint32_t ExifRewriteReserve(std::string_view make, std::string_view model) {
  return static_cast<uint32_t>(32 + 4 * (make.size() / 4 + model.size() / 4));
}

size_t RewriteExifMakeModel(uint8_t* data, size_t length, size_t capacity, std::string_view make,
                            std::string_view model) {
  if (!data || length > capacity) return length;
  Segment seg;
  if (!FindExif(data, length, seg)) return length;
  const size_t tiffStart = seg.start + 10;
  const size_t tiffSize = seg.end - tiffStart;
  if (tiffSize < 8) return length;
  bool big = false;
  if (data[tiffStart] == 'M' && data[tiffStart + 1] == 'M') big = true;
  else if (!(data[tiffStart] == 'I' && data[tiffStart + 1] == 'I')) return length;
  Tiff tiff(data + tiffStart, tiffSize, big);
  if (tiff.Get16(2) != 0x2A) return length;
  const size_t ifd = tiff.Get32(4);
  if (!tiff.Has(ifd, 2)) return length;
  const size_t count = tiff.Get16(ifd);
  const size_t entriesEnd = ifd + 2 + count * kEntrySize;
  if (!tiff.Has(ifd + 2, count * kEntrySize + 4)) return length;

  // What each text needs.
  std::array<TextPlan, 2> plans = {{{kMakeTag, make}, {kModelTag, model}}};
  size_t missing = 0;
  size_t growth = (tiffSize & 1) ? 1 : 0;  // new values start on an even offset
  for (TextPlan& plan : plans) {
    for (size_t i = 0; i < count; ++i) {
      if (tiff.Get16(ifd + 2 + i * kEntrySize) == plan.tag) {
        plan.entry = static_cast<int>(i);
        break;
      }
    }
    const size_t need = plan.text.size() + 1;
    if (plan.entry < 0) ++missing;
    if (plan.entry >= 0) {
      const size_t at = ifd + 2 + static_cast<size_t>(plan.entry) * kEntrySize;
      const size_t oldCount = tiff.Get32(at + 4);
      const size_t oldOffset = tiff.Get32(at + 8);
      if (tiff.Get16(at + 2) == kAsciiType && oldCount > 4 && tiff.Has(oldOffset, oldCount)) {
        plan.oldOffset = oldOffset;
        plan.oldCount = oldCount;
        if (need > 4 && need <= oldCount) {
          plan.inPlace = oldOffset;
          continue;
        }
      }
    }
    if (need <= 4) continue;
    plan.appendBytes = Round4(need);
    growth += plan.appendBytes;
  }
  const size_t newIfdSize = missing ? 2 + (count + missing) * kEntrySize + 4 : 0;
  growth += newIfdSize;
  if (growth > capacity - length || (seg.end - seg.start - 2) + growth > kMaxSegmentLength) return length;

  // Room at the end of the segment.
  std::memmove(data + seg.end + growth, data + seg.end, length - seg.end);
  std::memset(data + seg.end, 0, growth);
  tiff.Grow(growth);
  size_t appendAt = tiffSize + ((tiffSize & 1) ? 1 : 0);

  // A missing entry: the IFD is written again at the end, its entries in tag order.
  size_t entries = ifd + 2;
  if (missing) {
    const size_t newIfd = appendAt;
    std::vector<std::array<uint8_t, kEntrySize>> list;
    for (size_t i = 0; i < count; ++i) {
      std::array<uint8_t, kEntrySize> e;
      std::memcpy(e.data(), tiff.At(ifd + 2 + i * kEntrySize), kEntrySize);
      list.push_back(e);
    }
    for (TextPlan& plan : plans) {
      if (plan.entry >= 0) continue;
      std::array<uint8_t, kEntrySize> e{};
      Tiff one(e.data(), kEntrySize, big);
      one.Put16(0, plan.tag);
      one.Put16(2, kAsciiType);
      list.push_back(e);
    }
    auto tagOf = [big](const std::array<uint8_t, kEntrySize>& e) {
      return big ? (e[0] << 8 | e[1]) : (e[1] << 8 | e[0]);
    };
    std::stable_sort(list.begin(), list.end(), [&](const auto& a, const auto& b) { return tagOf(a) < tagOf(b); });
    tiff.Put16(newIfd, static_cast<uint32_t>(list.size()));
    for (size_t i = 0; i < list.size(); ++i) std::memcpy(tiff.At(newIfd + 2 + i * kEntrySize), list[i].data(), kEntrySize);
    std::memcpy(tiff.At(newIfd + 2 + list.size() * kEntrySize), tiff.At(entriesEnd), 4);  // next IFD
    tiff.Put32(4, static_cast<uint32_t>(newIfd));
    entries = newIfd + 2;
    for (TextPlan& plan : plans) {
      plan.entry = -1;
      for (size_t i = 0; i < list.size(); ++i) {
        if (tiff.Get16(entries + i * kEntrySize) == plan.tag) plan.entry = static_cast<int>(i);
      }
    }
    appendAt += newIfdSize;
  }

  for (const TextPlan& plan : plans) {
    if (plan.entry < 0) continue;  // cannot happen: every text has an entry by now
    const size_t at = entries + static_cast<size_t>(plan.entry) * kEntrySize;
    const size_t need = plan.text.size() + 1;
    tiff.Put16(at + 2, kAsciiType);
    tiff.Put32(at + 4, static_cast<uint32_t>(need));
    // The old place of the text is cleared first (a text that stays there is written again).
    if (plan.oldCount != 0) std::memset(tiff.At(plan.oldOffset), 0, plan.oldCount);
    if (need <= 4) {
      std::memset(tiff.At(at + 8), 0, 4);
      std::memcpy(tiff.At(at + 8), plan.text.data(), plan.text.size());
    } else if (plan.appendBytes == 0) {
      std::memcpy(tiff.At(plan.inPlace), plan.text.data(), plan.text.size());
    } else {
      std::memcpy(tiff.At(appendAt), plan.text.data(), plan.text.size());
      tiff.Put32(at + 8, static_cast<uint32_t>(appendAt));
      appendAt += plan.appendBytes;
    }
  }

  const size_t segmentLength = seg.end - seg.start - 2 + growth;
  data[seg.start + 2] = static_cast<uint8_t>(segmentLength >> 8);
  data[seg.start + 3] = static_cast<uint8_t>(segmentLength);
  return length + growth;
}

}  // namespace rzd::lowdrv::jpeg
