// Small value mappings from settings to window descriptor bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace rzd::lowdrv::window {

// JPEG quality from the compression ratio r (0..100 in the documents; taken modulo 256 as a byte,
// so -1 counts as 255): r <= 50 spans qmin..50, r above 50 spans 50..qmax, the result held
// within qmin..qmax.
int32_t JpegQuality(int32_t ratio, int32_t qualityMin, int32_t qualityMax);

// The blank-page threshold byte: 0 when blank pages are kept; else threshold x 255 / 100,
// held within 1..255.
uint8_t BlankPageThresholdByte(bool discardBlankPages, int32_t threshold);

// The multifeed level byte for a DFD sensitivity: 0 gives 128, 1 gives 0, 2 gives 127; any other
// sensitivity has no level.
std::optional<uint8_t> MultifeedLevel(int32_t sensitivity);

// The feeder-flags byte (Desc.ADF): 0x40, 0x80 for sources other than a flatbed; colour streams
// add 0x20, other streams the drop-out colour of `Filters` ("Red" 0x08, "Green" 0x10, "Blue"
// 0x18, anything else 0x30).
uint8_t FeederFlags(bool flatbed, bool colour, std::u16string_view filter);

// The hardware crop mode byte: 0 none, 1 crop, 2 deskew, 3 crop and deskew. Only with the
// crop-and-deskew switch on, and only at resolutions within the limits of the wished functions.
uint8_t CropMode(bool cropDeskewAllowed, bool crop, bool deskew, int32_t resolution, int32_t cropMaxDpi,
                 int32_t deskewMaxDpi);

// Rotation byte (descriptor byte 96) for "90", "180", "270"; 0 for anything else.
uint8_t RotationByte(std::u16string_view rotation);

// `value` rounded up to a multiple of `multiple` (unchanged when the multiple is 0 or 1).
int64_t RoundUpTo(int64_t value, int64_t multiple);
// `value` rounded down to a multiple of `multiple` (unchanged when the multiple is 0 or 1).
int64_t RoundDownTo(int64_t value, int64_t multiple);

}  // namespace rzd::lowdrv::window
