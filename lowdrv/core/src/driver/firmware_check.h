// The checks of a firmware update before anything is sent: the `Firmware` document that says
// where the master and slave parts lie in the caller's buffer, their places in it, their
// identifiers, and the checksum record sent after each part. Every value is bounded before use:
// the sizes and offsets are 64-bit, and no byte outside the caller's buffer is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace rzd::lowdrv::firmware {

// Smallest parts: the master's identifier text ends at byte 22 (the model's rule asks 33 bytes);
// the slave's at byte 21.
inline constexpr uint64_t kMinMasterSize = 33;
inline constexpr uint64_t kMinSlaveSize = 22;
inline constexpr uint32_t kChecksumRecordSize = 10;
// The result of a checksum into a record smaller than 10 bytes.
inline constexpr uint32_t kChecksumRecordTooSmall = 15;

struct Part {
  uint64_t offset = 0;
  uint64_t size = 0;
};

struct Layout {
  Part master;
  Part slave;  // size 0: no slave part given
};

// Whether the document must name a slave part: a driver whose slave image identifier is not 0
// (the model's is 130) has one; without it a `Slave` element is read when present.
enum class SlavePart { Required, Optional };

// The document's layout, or the failure's log line ("WriteFirmware failed because ...").
struct LayoutResult {
  Layout layout;
  const char16_t* failure = nullptr;
};
LayoutResult ReadLayout(std::u16string_view document, SlavePart slave);

// The location check against the caller's buffer of `inputSize` bytes: the sizes add up to it,
// the parts do not overlap, one of them starts at 0, and each lies inside the buffer. nullptr
// when it passes, else the log line.
const char16_t* CheckLocation(const Layout& layout, uint64_t inputSize);

// The identifier check of the two parts: the same identifier (bytes 0-5), "master firmware" at
// byte 8 of the master, "slave firmware" at byte 8 of the slave (when a slave is given). Parts
// too small to hold their texts fail. nullptr when it passes, else the log line.
const char16_t* CheckParts(const uint8_t* master, uint64_t masterSize, const uint8_t* slave, uint64_t slaveSize);

// The 10-byte checksum record of a part of at least 6 bytes: the sum of its bytes (32-bit, least
// significant byte first), then its bytes 0-3 and 4-5.
void ChecksumRecord(const uint8_t* part, uint64_t size, uint8_t (&record)[kChecksumRecordSize]);

}  // namespace rzd::lowdrv::firmware
