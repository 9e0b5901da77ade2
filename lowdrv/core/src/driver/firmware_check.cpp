#include "firmware_check.h"

#include "foundation/xml_store.h"

#include <cstring>
#include <limits>
#include <string>

namespace rzd::lowdrv::firmware {

namespace {

constexpr char kMasterText[] = "master firmware";  // 15 bytes at byte 8
constexpr char kSlaveText[] = "slave firmware";    // 14 bytes at byte 8
constexpr size_t kIdBytes = 6;
constexpr size_t kTextAt = 8;

// A whole decimal number of at most 18 digits (blanks around it allowed); nullopt otherwise.
std::optional<uint64_t> Decimal(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  if (text.empty() || text.size() > 18) return std::nullopt;
  uint64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - u'0');
  }
  return value;
}

struct PartNames {
  const char16_t* path;
  const char16_t* missing;
  const char16_t* badSize;
  const char16_t* badOffset;
  uint64_t minSize;
};

const char16_t* ReadPart(MSXML6StoreSTL& store, const PartNames& names, Part& part) {
  if (!store.SelectNode(names.path)) return names.missing;
  std::u16string text;
  std::optional<uint64_t> size;
  if (store.GetNodeAttribute(u"Size", text)) size = Decimal(text);
  if (!size || *size < names.minSize) return names.badSize;
  std::optional<uint64_t> offset;
  if (store.GetNodeAttribute(u"Offset", text)) offset = Decimal(text);
  if (!offset) return names.badOffset;
  part.size = *size;
  part.offset = *offset;
  return nullptr;
}

}  // namespace

LayoutResult ReadLayout(std::u16string_view document, SlavePart slavePart) {
  LayoutResult result;
  MSXML6StoreSTL store;
  if (document.empty() || !store.LoadFromString(document)) {
    result.failure = u"WriteFirmware failed because ParseXML failed";
    return result;
  }
  const PartNames master = {u"/Firmware/Master", u"WriteFirmware failed because SetContext(/Firmware/Master)",
                            u"WriteFirmware failed because GetAttribute(Master/Size)",
                            u"WriteFirmware failed because GetAttribute(Master/Offset)", kMinMasterSize};
  const PartNames slave = {u"/Firmware/Slave", u"WriteFirmware failed because SetContext(/Firmware/Slave)",
                           u"WriteFirmware failed because GetAttribute(Slave/Size)",
                           u"WriteFirmware failed because GetAttribute(Slave/Offset)", kMinSlaveSize};
  result.failure = ReadPart(store, master, result.layout.master);
  if (result.failure != nullptr) return result;
  if (slavePart == SlavePart::Optional && !store.SelectNode(slave.path)) return result;
  result.failure = ReadPart(store, slave, result.layout.slave);
  return result;
}

const char16_t* CheckLocation(const Layout& layout, uint64_t inputSize) {
  const Part& m = layout.master;
  const Part& s = layout.slave;
  // Sizes and offsets have at most 18 digits, so none of these sums wraps.
  const bool adds = m.size + s.size == inputSize;
  const bool apart = m.offset + m.size <= s.offset || s.offset + s.size <= m.offset;
  const bool starts = m.offset == 0 || s.offset == 0;
  const bool inside = m.offset + m.size <= inputSize && s.offset + s.size <= inputSize;
  if (adds && apart && starts && inside) return nullptr;
  return u"WriteFirmware failed because, buffer location check failed";
}

const char16_t* CheckParts(const uint8_t* master, uint64_t masterSize, const uint8_t* slave, uint64_t slaveSize) {
  const bool hasSlave = slave != nullptr && slaveSize != 0;
  if (master == nullptr || masterSize < kTextAt + sizeof kMasterText - 1)
    return u"WriteFirmware failed because, master buffers has bad ID";
  if (hasSlave && (slaveSize < kTextAt + sizeof kSlaveText - 1 || std::memcmp(slave, master, kIdBytes) != 0))
    return u"WriteFirmware failed because, master and slave buffers have different IDs";
  if (std::memcmp(master + kTextAt, kMasterText, sizeof kMasterText - 1) != 0)
    return u"WriteFirmware failed because, master buffers has bad ID";
  if (hasSlave && std::memcmp(slave + kTextAt, kSlaveText, sizeof kSlaveText - 1) != 0)
    return u"WriteFirmware failed because, slave buffers has bad ID";
  return nullptr;
}

void ChecksumRecord(const uint8_t* part, uint64_t size, uint8_t (&record)[kChecksumRecordSize]) {
  uint32_t sum = 0;
  for (uint64_t i = 0; i < size; ++i) sum += part[i];
  record[0] = static_cast<uint8_t>(sum);
  record[1] = static_cast<uint8_t>(sum >> 8);
  record[2] = static_cast<uint8_t>(sum >> 16);
  record[3] = static_cast<uint8_t>(sum >> 24);
  std::memcpy(record + 4, part, 6);
}

}  // namespace rzd::lowdrv::firmware
