// Positions of the window descriptor bytes the settings model writes, counted from the first
// descriptor byte (the header's 8 bytes not included), and host-order access to them. The named
// fields of ReduzidWindowDescriptor are used directly; the model bytes from 65 on have no names
// in the engine record, so they are reached through these positions.
#pragma once

#include "lowdrv/engine/byte_order.h"
#include "lowdrv/engine/window_desc.h"

#include <cstddef>
#include <cstdint>

namespace rzd::lowdrv::window {

constexpr size_t kDescriptorSize = sizeof(ReduzidWindowDescriptor);  // 147

// First and last byte of Desc.Reserved2.
constexpr size_t kFixedLengthMark = 36;    // 1: length detection off, no vertical over-scan, no JPEG
constexpr size_t kDocumentModeBits = 39;   // 0x20 long-document mode, 0x08 paperweight
constexpr size_t kJpegQuality = 65;
constexpr size_t kBlurStrength = 78;
constexpr size_t kSharpenStrength = 79;
constexpr size_t kBackgroundRemoval = 80;
constexpr size_t kBlankPageThreshold = 81;
constexpr size_t kTextEnhancement = 85;
constexpr size_t kAutoRotation = 86;
constexpr size_t kCropMode = 87;
constexpr size_t kRotation = 96;
constexpr size_t kBlur = 109;
constexpr size_t kPaperHandlingBits = 139;  // 32-bit, host order
constexpr size_t kPaperLengthLines = 143;   // 32-bit, host order

// Bits of the paper-handling word.
constexpr uint32_t kPaperLongLength = 0x01;
constexpr uint32_t kPaperCarrierSheet = 0x10;
constexpr uint32_t kPaperCatchPageOnExit = 0x20;
constexpr uint32_t kPaperStopAfterPageLength = 0x40;
constexpr uint32_t kPaperDoNotRewind = 0x80;

// Bits of the document-mode byte.
constexpr uint8_t kDocumentModeLong = 0x20;
constexpr uint8_t kDocumentModePaperweight = 0x08;

// Values of Desc.ImageComp.
constexpr uint8_t kCompLineArt = 0;
constexpr uint8_t kCompDithered = 1;
constexpr uint8_t kCompGray = 2;
constexpr uint8_t kCompColour = 5;

// Values of Desc.CompressType.
constexpr uint8_t kCompressNone = 0;
constexpr uint8_t kCompressJpeg = 2;
constexpr uint8_t kCompressJpegNoLength = 3;

// Bits of Desc.SetCapEx1.
constexpr uint8_t kCapContinuous = 0x80;
constexpr uint8_t kCapDfdActionNone = 0x40;
constexpr uint8_t kCapTwoSided = 0x10;
constexpr uint8_t kCapBackOnly = 0x08;

// Bits of Desc.MFDenable and Desc.UseTrans.
constexpr uint8_t kMfdEnabled = 0x10;
constexpr uint8_t kMfdStopAndContinue = 0x08;
constexpr uint8_t kUseTransFragile = 0x40;

inline uint8_t* DescBytes(ReduzidWindowDescriptor& d) { return reinterpret_cast<uint8_t*>(&d); }
inline const uint8_t* DescBytes(const ReduzidWindowDescriptor& d) {
  return reinterpret_cast<const uint8_t*>(&d);
}

inline uint32_t GetDesc32(const ReduzidWindowDescriptor& d, size_t at) { return GetLE32(DescBytes(d) + at); }
inline void PutDesc32(ReduzidWindowDescriptor& d, size_t at, uint32_t v) { PutLE32(DescBytes(d) + at, v); }

// Bytes per line and line count, split into their 16-bit fields and high bytes.
inline void SetBytesPerLine(ReduzidWindowDescriptor& d, uint32_t bytes) {
  d.PixelNum = static_cast<uint16_t>(bytes & 0xFFFF);
  d.HiBytePixelNum = static_cast<uint8_t>((bytes >> 16) & 0xFF);
}
inline uint32_t BytesPerLine(const ReduzidWindowDescriptor& d) {
  return (static_cast<uint32_t>(d.HiBytePixelNum) << 16) | d.PixelNum;
}
inline void SetLineCount(ReduzidWindowDescriptor& d, uint32_t lines) {
  d.LineNum = static_cast<uint16_t>(lines & 0xFFFF);
  d.HiByteLineNum = static_cast<uint8_t>((lines >> 16) & 0xFF);
}
inline uint32_t LineCount(const ReduzidWindowDescriptor& d) {
  return (static_cast<uint32_t>(d.HiByteLineNum) << 16) | d.LineNum;
}

}  // namespace rzd::lowdrv::window
