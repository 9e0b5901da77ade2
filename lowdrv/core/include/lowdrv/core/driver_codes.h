// The driver object's control codes, result codes and unit states.
//
// A driver control code is an unsigned 32-bit number: the top six bits state the argument
// contract that Control checks, the low 16 bits number the operation. Codes with bit 31 reach a
// driver object's DoControlCode (all but the close code, which Control answers itself).
#pragma once

#include "lowdrv/engine/result_codes.h"

#include <cstdint>

namespace rzd::lowdrv {

// ---- Driver result codes beside the engine's own (0x8000-0x8002 and 0x8005).
namespace lld {
constexpr LLDError kInvalidDeviceHandle = 0x8003;
constexpr LLDError kInvalidXml = 0x8004;
constexpr LLDError kInvalidXmlValue = 0x8006;
constexpr LLDError kWrongSequence = 0x8007;
constexpr LLDError kInUse = 0x8008;
constexpr LLDError kNoMemory = 0x8009;
constexpr LLDError kNotImplemented = 0x800A;
constexpr LLDError kLampWarmingUp = 0x800B;
constexpr LLDError kValueAdjusted = 0x800C;
}  // namespace lld

// ---- Argument-contract bits of a control code.
namespace ccbit {
constexpr uint32_t kDevice = 0x80000000;     // a device handle; the unit is marked in use
constexpr uint32_t kString = 0x40000000;     // a string argument
constexpr uint32_t kBstrOut = 0x20000000;    // a BSTR result
constexpr uint32_t kBufferIn = 0x10000000;   // an input buffer and its size
constexpr uint32_t kBufferOut = 0x08000000;  // an output buffer, a size pointer, a non-zero size
constexpr uint32_t kForce = 0x04000000;      // passes while the unit is in use by another call
}  // namespace ccbit

// ---- The codes a driver object answers (DoControlCode), and the library's own.
namespace cc {
constexpr uint32_t kDeviceList = 0x20000003;
constexpr uint32_t kNamespaceList = 0x20000006;
constexpr uint32_t kOpen = 0x48000004;
constexpr uint32_t kSchema = 0x60000007;
constexpr uint32_t kClose = 0x80000005;

constexpr uint32_t kUnlock = 0x80000002;
constexpr uint32_t kResetHardware = 0x8000000F;
constexpr uint32_t kCancel = 0x80000010;
constexpr uint32_t kWriteDefaultFirmware = 0x8000001E;
constexpr uint32_t kGenericControl = 0x80000027;
constexpr uint32_t kStatus = 0x88000008;
constexpr uint32_t kLock = 0x90000001;
constexpr uint32_t kWriteLcdScreen = 0x90000023;
constexpr uint32_t kSetPageNumber = 0x90000026;
constexpr uint32_t kSetTrayHeight = 0x90000029;
constexpr uint32_t kSendLcdString = 0x9000002A;
constexpr uint32_t kSessionStateChanged = 0x94000018;
constexpr uint32_t kScannerInfo = 0xA0000009;
constexpr uint32_t kSupportedSettings = 0xA000000B;
constexpr uint32_t kCurrentSettings = 0xA000000C;
constexpr uint32_t kResetCurrentSettings = 0xA000000E;
constexpr uint32_t kFirmwareVersion = 0xA0000011;
constexpr uint32_t kStartCalibration = 0xA000001A;
constexpr uint32_t kPollButtons = 0xA000001B;
constexpr uint32_t kBackgroundData = 0xA000001D;
constexpr uint32_t kCalibrationStatus = 0xB8000019;
constexpr uint32_t kSetCurrentSettings = 0xC000000D;
constexpr uint32_t kPollSensor = 0xC800000A;
constexpr uint32_t kPollButton = 0xC8000013;
constexpr uint32_t kGetIndicator = 0xC8000014;
constexpr uint32_t kWriteFirmware = 0xD0000012;
constexpr uint32_t kSetIndicator = 0xD0000015;
constexpr uint32_t kExecControl = 0xD0000016;
constexpr uint32_t kResetCounter = 0xD0000017;
constexpr uint32_t kBinaryControl = 0xD0000025;
}  // namespace cc

// ---- The unit state m_ulStatus of a driver object.
namespace state {
constexpr uint32_t kClosed = 0;
constexpr uint32_t kOpen = 1;        // open, not locked
constexpr uint32_t kLocked = 2;      // locked, idle
constexpr uint32_t kWarmingUp = 3;   // locked, lamp warming up
constexpr uint32_t kScanning = 4;
constexpr uint32_t kCalibrating = 5;
}  // namespace state

}  // namespace rzd::lowdrv
