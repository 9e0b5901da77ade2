// Firmware blocks (data type 0x86): a part (master or slave image), then its 10-byte checksum
// record. A part whose record matches is stored; a new master changes the revision text.
#include "engine.h"
#include "wire.h"

#include <cstdio>
#include <cstring>

namespace rzd::engine {

namespace {

constexpr char kMasterId[] = "master firmware";  // at part byte 8
constexpr char kSlaveId[] = "slave firmware";

bool HasText(const std::vector<uint8_t>& part, size_t at, const char* text) {
  const size_t len = std::strlen(text);
  return part.size() >= at + len && std::memcmp(&part[at], text, len) == 0;
}

uint32_t ByteSum(const std::vector<uint8_t>& part) {
  uint32_t sum = 0;
  for (uint8_t b : part) sum += b;
  return sum;
}

// The revision a master part carries at bytes 24-27 when they are printable text; otherwise one
// made from its byte sum.
std::string RevisionOf(const std::vector<uint8_t>& part, uint32_t sum) {
  if (part.size() >= 28) {
    bool printable = true;
    for (size_t i = 24; i < 28; ++i) printable = printable && part[i] >= 0x20 && part[i] < 0x7F;
    if (printable) return std::string(reinterpret_cast<const char*>(&part[24]), 4);
  }
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(sum & 0xFFFF));
  return text;
}

}  // namespace

CommandResult Engine::FlashBlock(const uint8_t* data, size_t size) {
  if (size != 10 || !pendingFirmwarePart_) {
    if (size == 10) return Check(sense::InvalidFieldInParameterList());  // a record without a part
    const bool outOfSequence = pendingFirmwarePart_.has_value();
    pendingFirmwarePart_.emplace(data, data + size);
    return outOfSequence ? Check(sense::CommandSequenceError()) : Good();
  }
  std::vector<uint8_t> part = std::move(*pendingFirmwarePart_);
  pendingFirmwarePart_.reset();
  // Checksum record: the byte sum (32-bit, least significant byte first), then the part's bytes
  // 0-3 and 4-5.
  const uint32_t sum = ByteSum(part);
  const uint8_t expectedSum[4] = {static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8),
                                  static_cast<uint8_t>(sum >> 16), static_cast<uint8_t>(sum >> 24)};
  if (part.size() < 6 || std::memcmp(data, expectedSum, 4) != 0 ||
      std::memcmp(data + 4, part.data(), 6) != 0)
    return Check(sense::FirmwareMismatch());
  const bool master = HasText(part, 8, kMasterId);
  const bool slave = HasText(part, 8, kSlaveId);
  if (!master && !slave) return Check(sense::InvalidFieldInParameterList());
  if (master) {
    revision_ = RevisionOf(part, sum);
    masterFirmware_ = std::move(part);
    slaveFirmware_.clear();  // the slave part of the new firmware follows
    BuildInquiryAnswer();
  } else {
    // A slave part must carry the identifier of the master written before it.
    if (!masterFirmware_.empty() && std::memcmp(masterFirmware_.data(), part.data(), 6) != 0)
      return Check(sense::FirmwareMismatch());
    slaveFirmware_ = std::move(part);
  }
  return Good();
}

}  // namespace rzd::engine
