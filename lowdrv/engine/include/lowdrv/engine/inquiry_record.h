// The engine's inquiry record: what the unit says about itself (type, identity, resolutions,
// sizes, abilities). 167 bytes, big-endian on the wire, host order in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rzd::lowdrv {

#pragma pack(push, 1)
struct ReduzidInq {
  uint8_t ProductQualifier;        // 0: peripheral device type, 6 for a scanner
  uint8_t RMB_DType;               // 1
  uint8_t IVersion;                // 2
  uint8_t AENC;                    // 3
  uint8_t AdditionalLength;        // 4
  uint8_t SIDReserved[2];          // 5-6
  uint8_t Addr;                    // 7
  char VendorIdent[8];             // 8-15, not terminated
  char ProductIdent[16];           // 16-31
  char ProductReversion[4];        // 32-35
  uint8_t Ability;                 // 36
  uint8_t OpticalResolution;       // 37, units of 100 dpi
  uint8_t MaximumResolution;       // 38, units of 100 dpi
  uint8_t ExtendedAbility;         // 39
  uint16_t MaxGrayXRes;            // 40-41
  uint16_t MaxGrayYRes;            // 42-43
  uint16_t MaxColorXRes;           // 44-45
  uint16_t MaxColorYRes;           // 46-47
  uint16_t MaxSizeReadByDriver;    // 48-49
  uint8_t AbilityEx1;              // 50
  uint8_t AbilityEx2;              // 51
  uint8_t AbilityEx3;              // 52, bit 0x10: colour matrix supported
  uint8_t LineDif;                 // 53
  uint8_t ColorPixelBound;         // 54
  uint8_t GrayPixelBound;          // 55
  uint8_t Gray4bitsPixelBound;     // 56
  uint8_t LineartPixelBound;       // 57
  uint8_t HalftonePixelBound;      // 58
  uint8_t ErrorDiffusionPixelBound;// 59
  uint8_t ChannelsPerPixel;        // 60
  uint8_t BitsPerChannel;          // 61
  uint8_t ScannerType;             // 62
  uint8_t HalftoneNum;             // 63
  uint8_t ErrorDiffusionNum;       // 64
  uint8_t HalftoneIndex[10];       // 65-74
  uint16_t MaxShadingTarget;       // 75-76
  uint16_t TransparencyMaxWidth;   // 77-78
  uint16_t TransparencyMaxLength;  // 79-80
  uint16_t FlatbedMaxWidth;        // 81-82
  uint16_t FlatbedMaxLength;       // 83-84
  uint16_t ADFMaxWidth;            // 85-86, 1/300 inch
  uint16_t ADFMaxLength;           // 87-88
  uint16_t OpticalResEx;           // 89-90
  uint8_t ASICShadingTableType;    // 91
  uint8_t ButtonNumber;            // 92
  uint8_t AbilityEx4;              // 93
  uint8_t AbilityEx5;              // 94
  uint8_t AbilityEx6;              // 95
  uint8_t ByModelFields[32];       // 96-127
  uint8_t AbilityEx7;              // 128
  uint8_t YCbCrCapability;         // 129
  uint8_t ADFHardMaxLengthHighByte;// 130
  uint16_t ADFHardMaxLength;       // 131-132
  uint8_t AbilityEx8;              // 133
  uint16_t ExtValue134;            // 134-135
  uint16_t ExtValue136;            // 136-137
  uint16_t ExtValue138;            // 138-139
  uint16_t ExtValue140;            // 140-141
  uint16_t ExtValue142;            // 142-143
  uint16_t ExtValue144;            // 144-145
  uint8_t ExtBytes146[5];          // 146-150 (148 and 149 carry ability bits)
  uint16_t ExtValue151;            // 151-152
  uint8_t ExtBytes153[12];         // 153-164 (ability bits in 154 to 159 and 164)
  uint16_t OverscanWidth;          // 165-166: host order, set by the driver, never on the wire
};
#pragma pack(pop)

static_assert(sizeof(ReduzidInq) == 167);
static_assert(offsetof(ReduzidInq, MaxGrayXRes) == 40);
static_assert(offsetof(ReduzidInq, HalftoneIndex) == 65);
static_assert(offsetof(ReduzidInq, ADFMaxWidth) == 85);
static_assert(offsetof(ReduzidInq, ByModelFields) == 96);
static_assert(offsetof(ReduzidInq, ADFHardMaxLength) == 131);
static_assert(offsetof(ReduzidInq, ExtValue151) == 151);
static_assert(offsetof(ReduzidInq, OverscanWidth) == 165);

// Bytes of the record a classic INQUIRY may fill (the rest never comes from the wire).
constexpr size_t kClassicInquiryMax = 159;

// Swaps the record's multi-byte wire fields between wire order and host order (the same call
// serves both directions). Bytes 165-166 are not a wire field and stay as they are.
void ConvertByteOrder(ReduzidInq& inq);

// Byte access by wire offset, for the bytes that carry ability bits without a field name.
inline uint8_t* InqBytes(ReduzidInq& inq) { return reinterpret_cast<uint8_t*>(&inq); }
inline const uint8_t* InqBytes(const ReduzidInq& inq) { return reinterpret_cast<const uint8_t*>(&inq); }

// The field-by-field text the data log shows after an inquiry.
std::string DumpInquiry(const ReduzidInq& inq);

}  // namespace rzd::lowdrv
