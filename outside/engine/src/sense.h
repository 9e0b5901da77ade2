// Sense data of the simulated unit and its two wire forms.
#pragma once

#include <cstdint>
#include <vector>

namespace rzd::engine {

struct Sense {
  uint8_t key = 0;      // low four bits
  bool ili = false;     // incorrect length: the read delivered fewer bytes than asked
  uint8_t asc = 0;
  uint8_t ascq = 0;
  uint32_t info = 0;    // information field
  uint32_t pixels = 0;  // at a side end: pixels per line
  uint32_t lines = 0;   // at a side end: lines of the side
  uint32_t bytes = 0;   // at a side end: bytes of the side
  uint32_t autoWidthBytesPerLine = 0;
};

namespace sense {
inline constexpr uint8_t kNoSense = 0;
inline constexpr uint8_t kNotReady = 2;
inline constexpr uint8_t kMediumError = 3;
inline constexpr uint8_t kHardwareError = 4;
inline constexpr uint8_t kIllegalRequest = 5;
inline constexpr uint8_t kAbortedCommand = 0x0B;

inline Sense Make(uint8_t key, uint8_t asc, uint8_t ascq) {
  Sense s;
  s.key = key;
  s.asc = asc;
  s.ascq = ascq;
  return s;
}
// Illegal requests.
inline Sense InvalidOpcode() { return Make(kIllegalRequest, 0x20, 0x00); }
inline Sense InvalidCdbField() { return Make(kIllegalRequest, 0x24, 0x00); }
inline Sense InvalidParameterListLength() { return Make(kIllegalRequest, 0x1A, 0x00); }
inline Sense InvalidFieldInParameterList() { return Make(kIllegalRequest, 0x26, 0x00); }
inline Sense CommandSequenceError() { return Make(kIllegalRequest, 0x2C, 0x00); }
inline Sense FirmwareMismatch() { return Make(kIllegalRequest, 0x80, 0x08); }
// Paper path conditions (ASC 0x80).
inline Sense Jam() { return Make(kMediumError, 0x80, 0x01); }
inline Sense CoverOpen() { return Make(kNotReady, 0x80, 0x02); }
inline Sense NoPaper() { return Make(kNotReady, 0x80, 0x03); }
inline Sense Multifeed() { return Make(kMediumError, 0x80, 0x05); }
inline Sense Misfeed() { return Make(kMediumError, 0x80, 0x1D); }
inline Sense Staple() { return Make(kMediumError, 0x80, 0x25); }
inline constexpr uint8_t kSideEndAscq = 0x04;
inline constexpr uint8_t kBlankSideEndAscq = 0x21;
inline Sense CalibrationFailure() { return Make(kHardwareError, 0x44, 0x00); }
// The scanner lock is closed (the host reads it as "The scanner is locked.").
inline Sense Locked() { return Make(kNotReady, 0x15, 0x04); }
// The command was aborted (the host reads "The scan has been canceled ...").
inline Sense Aborted() { return Make(kAbortedCommand, 0x00, 0x00); }
// A write of the unit's memory failed (a refused READ or SEND of the control line "refuse").
inline Sense WriteFailed() { return Make(kHardwareError, 0x44, 0x03); }
}  // namespace sense

// The new command set's 44-byte REQUEST SENSE answer.
std::vector<uint8_t> EncodeNewSense(const Sense& s);
// The classic 32-byte fixed-format sense (a request for 22 bytes takes the first 22).
std::vector<uint8_t> EncodeClassicSense(const Sense& s);

}  // namespace rzd::engine
