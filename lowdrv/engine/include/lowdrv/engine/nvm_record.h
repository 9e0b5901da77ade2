// The engine's non-volatile record: counters, dates, serial number, power times. 167 bytes,
// big-endian on the wire, host order in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rzd::lowdrv {

#pragma pack(push, 1)
struct ReduzidNVMData {
  uint32_t PadScanCount;             // 0-3
  uint32_t ADFSingleModeScanCount;   // 4-7
  uint32_t ADFDuplexModeScanCount;   // 8-11
  uint32_t FlatbedScanCount;         // 12-15
  int16_t LeadingEdgeFlatbed;        // 16-17
  int16_t SideEdgeFlatbed;           // 18-19
  int16_t LeadingEdgeADFFront;       // 20-21
  int16_t SideEdgeADFFront;          // 22-23
  int16_t LeadingEdgeADFRear;        // 24-25
  int16_t SideEdgeADFRear;           // 26-27
  uint16_t BornMonth;                // 28-29
  uint16_t BornDay;                  // 30-31
  uint16_t BornYear;                 // 32-33
  uint16_t FirstScanMonth;           // 34-35
  uint16_t FirstScanDay;             // 36-37
  uint16_t FirstScanYear;            // 38-39
  uint16_t VerticalMagnification;    // 40-41
  uint16_t HorizontalMagnification;  // 42-43
  uint8_t CCDType;                   // 44
  uint8_t ScanSpeed;                 // 45
  char SerialNumber[24];             // 46-69
  uint16_t PowerSavingTime;          // 70-71, minutes
  uint8_t AutoFeed;                  // 72
  uint32_t RollerCount;              // 73-76
  uint32_t MultifeedCount;           // 77-80
  uint32_t JamCount;                 // 81-84
  uint8_t Reserved85;                // 85
  char IdentifyInfo[16];             // 86-101
  char FormalName[16];               // 102-117
  uint8_t Reserved118[4];            // 118-121
  uint16_t PowerOffTime;             // 122-123, minutes
  uint32_t Counter124;               // 124-127
  uint32_t ReverseRollerCount;       // 128-131
  uint32_t PickupRollerCount;        // 132-135
  uint32_t Counter136;               // 136-139
  uint32_t Counter140;               // 140-143
  uint32_t Counter144;               // 144-147
  uint16_t ERPTime;                  // 148-149, minutes
  uint32_t Counter150;               // 150-153
  uint32_t FrictionRollerCount;      // 154-157
  uint32_t Counter158;               // 158-161
  uint8_t Reserved162;               // 162
  uint32_t CleanCounter;             // 163-166
};
#pragma pack(pop)

static_assert(sizeof(ReduzidNVMData) == 167);
static_assert(offsetof(ReduzidNVMData, SerialNumber) == 46);
static_assert(offsetof(ReduzidNVMData, RollerCount) == 73);
static_assert(offsetof(ReduzidNVMData, PowerOffTime) == 122);
static_assert(offsetof(ReduzidNVMData, ERPTime) == 148);
static_assert(offsetof(ReduzidNVMData, FrictionRollerCount) == 154);
static_assert(offsetof(ReduzidNVMData, CleanCounter) == 163);

// Swaps every multi-byte field between wire and host order (both directions).
void ConvertByteOrder(ReduzidNVMData& nvm);

// The data-log text of the record.
std::string DumpNVRAM(const ReduzidNVMData& nvm);

}  // namespace rzd::lowdrv
