// The sense record: what the engine reports about the last failed command. Kept in host order.
// The classic REQUEST SENSE delivers it in this layout big-endian; the new command set delivers
// a 44-byte response that is mapped into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rzd::lowdrv {

#pragma pack(push, 1)
struct ReduzidSense {
  uint8_t ErrorCode;            // 0: response code
  uint8_t SegNum;               // 1
  uint8_t SenseKey;             // 2: low four bits the key; 0x20 incorrect length
  uint32_t InfoBytes;           // 3-6
  uint8_t AddLength;            // 7
  uint32_t CommandInfo;         // 8-11: after an automatic sense, the failed command's data count
  uint8_t ASC;                  // 12
  uint8_t ASCQ;                 // 13
  uint8_t FRUCode;              // 14
  uint8_t SenseKeySpecific[3];  // 15-17
  uint32_t ASByte;              // 18-21
  uint8_t Value1High;           // 22: bits 16-23 of the first 24-bit value
  uint16_t Value1Low;           // 23-24
  uint8_t Value2High;           // 25
  uint16_t Value2Low;           // 26-27
  uint32_t Value3;              // 28-31
};
#pragma pack(pop)

static_assert(sizeof(ReduzidSense) == 32);
static_assert(offsetof(ReduzidSense, ASC) == 12);
static_assert(offsetof(ReduzidSense, Value3) == 28);

constexpr uint8_t kSenseKeyMask = 0x0F;
constexpr uint8_t kSenseIncorrectLength = 0x20;

inline uint8_t SenseKeyOf(const ReduzidSense& s) { return s.SenseKey & kSenseKeyMask; }
inline uint32_t SenseValue1(const ReduzidSense& s) { return (uint32_t{s.Value1High} << 16) | s.Value1Low; }
inline uint32_t SenseValue2(const ReduzidSense& s) { return (uint32_t{s.Value2High} << 16) | s.Value2Low; }

// The classic conversion: bytes 3-6 and 28-31 reversed, 23-24 and 26-27 swapped (both ways).
void ConvertByteOrder(ReduzidSense& sense);

// Size of the new command set's sense response.
constexpr size_t kNewSenseResponseSize = 44;
// Fills the record from a new-set sense response (big-endian); unmapped bytes become 0.
ReduzidSense SenseFromNewResponse(const uint8_t (&response)[kNewSenseResponseSize]);

std::string DumpSense(const ReduzidSense& sense);

}  // namespace rzd::lowdrv
