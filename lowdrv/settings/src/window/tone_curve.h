// Tone tables: the per-channel curve that folds brightness, contrast and gamma into the table the
// engine receives, and the two table layouts.
//
// A channel's table is 512 bytes. In the two-byte layout it holds 256 entries of a zero high byte
// followed by the 8-bit value; in the one-byte layout the 256 values fill its first half and the
// second half stays zero. The three channels (red, green, blue) follow each other: 1536 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rzd::lowdrv::window {

constexpr size_t kToneEntries = 256;
constexpr size_t kToneTableSize = 512;
constexpr size_t kToneTablesSize = 3 * kToneTableSize;

// The curve for one input: input, brightness and contrast are 0..255 with 128 neutral, gamma 1.0
// is neutral. The result is held within 0..255 before it becomes a byte, so a gamma of 0 or below
// (or any value that makes the power undefined) cannot produce an out-of-range byte.
uint8_t ToneValue(uint8_t input, uint8_t brightness, double gamma, uint8_t contrast);

// Entry i of a table in either layout.
inline size_t ToneEntryOffset(size_t i, bool twoByte) { return twoByte ? 2 * i + 1 : i; }
uint8_t ToneEntry(const uint8_t* table, size_t i, bool twoByte);
void SetToneEntry(uint8_t* table, size_t i, uint8_t value, bool twoByte);

// Runs the curve over the 256 value bytes of one 512-byte table (the zero high bytes of the
// two-byte layout and the unused half of the one-byte layout are left as they are), then forces
// values below `blackLevel` to 0 and above `whiteLevel` to 255.
void ApplyToneCurve(uint8_t* table, bool twoByte, uint8_t brightness, double gamma, uint8_t contrast,
                    int32_t blackLevel, int32_t whiteLevel);

}  // namespace rzd::lowdrv::window
