// The records the engine commands send, byte for byte, in wire order. The new command set puts
// a short header before each payload; the classic set sends the payload alone.
#pragma once

#include "lowdrv/engine/nvm_record.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace rzd::lowdrv {

using Bytes = std::vector<uint8_t>;

// New-set data types.
namespace dt {
constexpr uint16_t kImageData = 0x00;
constexpr uint16_t kCalibration = 0x60;
constexpr uint16_t kNVRAM = 0x69;
constexpr uint16_t kEngineState = 0x6D;
constexpr uint16_t kEngineValue = 0x6F;
constexpr uint16_t kGamma = 0x81;
constexpr uint16_t kMatrix = 0x83;
constexpr uint16_t kSendNVRAM = 0x85;
constexpr uint16_t kFlashRAM = 0x86;
constexpr uint16_t kJPEGTables = 0x8B;
constexpr uint16_t kUltrasonic = 0x8E;
constexpr uint16_t kTruncTail = 0x95;
constexpr uint16_t kTruncHead = 0x96;
constexpr uint16_t kImageProcessing = 0x98;
constexpr uint16_t kNVRAMField = 0x99;
constexpr uint16_t kBackgroundRaster = 0x9B;
constexpr uint16_t kLamp = 0xA0;
constexpr uint16_t kButtons = 0xA1;
constexpr uint16_t kPowerSavingClassic = 0xA2;
constexpr uint16_t kLEDNum = 0xA4;
constexpr uint16_t kPowerOffClassic = 0xA9;
constexpr uint16_t kDuplexTransferMode = 0xB2;
constexpr uint16_t kInputTray = 0xD5;
constexpr uint16_t kLCDStringInfo = 0xE0;
constexpr uint16_t kLCDStringData = 0xE2;
constexpr uint16_t kLCDDisplay = 0xF0;
constexpr uint16_t kResetDFD = 0xFF;
constexpr uint16_t kPowerSaving = 0x105;
constexpr uint16_t kPowerOff = 0x106;
constexpr uint16_t kERPTime = 0x10F;
constexpr uint16_t kImprInquiry = 0x200;
constexpr uint16_t kImprInfo = 0x201;
constexpr uint16_t kImprParameter = 0x202;
constexpr uint16_t kImprPageSetting = 0x203;
constexpr uint16_t kImprSeparateFont = 0x204;
constexpr uint16_t kImprDigitFont = 0x205;
constexpr uint16_t kImprPrintOut = 0x206;
constexpr uint16_t kImprDateTime = 0x207;
constexpr uint16_t kImprNVMData = 0x20B;
constexpr uint16_t kImprEnable = 0x20C;
constexpr uint16_t kImprStart = 0x20D;
constexpr uint16_t kImprInk = 0x20F;
constexpr uint16_t kImprClean = 0x211;
}  // namespace dt

// Classic SEND(10) qualifiers.
namespace dtq {
constexpr uint16_t kNone = 0x0000;
constexpr uint16_t kTruncLen = 0x0001;
constexpr uint16_t kFlashRAM = 0x0002;
constexpr uint16_t kNVRAM = 0x0012;
constexpr uint16_t kJPEGTables = 0x0A0D;
constexpr uint16_t kLEDNum = 0x0A0D;
constexpr uint16_t kMatrix = 0x0D0A;
}  // namespace dtq

// Fixed record sizes.
constexpr size_t kImprParameterSize = 39;
constexpr size_t kIPBlockSize = 68;
constexpr size_t kLCDStringBlockSize = 265;
constexpr size_t kLCDDisplayHeaderSize = 10;
constexpr size_t kLCDScreenSize = 1086;
// An LCD screen record names its slot as the slot string's number plus this base.
constexpr uint16_t kLCDSlotBase = 4000;
constexpr size_t kJPEGTablesSize = 128;
constexpr size_t kNewNVRAMRecordSize = 174;

// ---- New set.
Bytes CalibrationPollStartRecord();                                // 0x60, 8 bytes
Bytes ImprinterActionRecord(uint8_t action);                       // 0x20C, 0x20D, 0x211
Bytes ImprParameterRecord(const uint8_t (&param)[kImprParameterSize]);  // 0x202
Bytes TimeRecord(uint16_t value);                                  // 0x105, 0x106, 0x10F, 0xD5
Bytes LEDNumRecord(uint8_t indicator);                             // 0xA4
Bytes MatrixRecordNew(const uint16_t (&matrix)[9]);                // 0x83
Bytes NVRAMRecordNew(const ReduzidNVMData& hostOrder);             // 0x85
Bytes NVRAMFieldRecord(uint32_t value);                            // 0x99
Bytes FlashRAMRecordNew(const uint8_t* block, uint32_t size);      // 0x86
Bytes JPEGTablesRecordNew(const uint8_t (&tables)[kJPEGTablesSize]);  // 0x8B
Bytes UltrasonicRecord(uint32_t sensorMask);                       // 0x8E
Bytes TruncLenRecordNew(uint16_t length);                          // 0x95 / 0x96
Bytes IPRecord(const uint8_t (&block)[kIPBlockSize]);              // 0x98
Bytes ResetDFDSelectionRecord();                                   // 0xFF
Bytes LCDStringRecord(const uint8_t (&block)[kLCDStringBlockSize]);   // 0xE2
// 0xF0: header and screens, as many screens as header byte 9 names; bytes the caller's buffer
// lacks are sent as zeros. nullopt when the buffer cannot hold the header.
std::optional<Bytes> LCDDisplayRecord(const uint8_t* buffer, size_t size);
// One gamma table of `size` bytes for channel 0 red, 1 green, 2 blue (0x81).
Bytes GammaRecordNew(uint16_t channel, const uint8_t* table, uint16_t size);
// The page-setting record (0x203): the caller's record with its length at bytes 3-6 (host order)
// made big-endian. nullopt when that length is below the 7-byte head or above `size`.
std::optional<Bytes> ImprPageSettingRecord(const uint8_t* record, size_t size);

// ---- Classic set.
Bytes TimeRecordClassic(uint16_t value);                           // 0xA2, 0xA9
Bytes LampRecordClassic(bool on);                                  // 0xA0
Bytes MatrixRecordClassic(const uint16_t (&matrix)[9]);            // 0x83 [0x0D0A]
Bytes NVRAMRecordClassic(const ReduzidNVMData& hostOrder);         // 0x85 [0x0012]
Bytes TruncLenRecordClassic(uint16_t length, uint16_t secondLength, bool longSense);  // [0x0001]

}  // namespace rzd::lowdrv
