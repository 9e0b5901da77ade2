// The classic SET WINDOW parameter list: an 8-byte header and the 147-byte window descriptor.
// The settings model fills it in host order; the classic command sends it big-endian and the
// new command set translates it into its own 96-byte window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rzd::lowdrv {

#pragma pack(push, 1)
struct ReduzidWindowHeader {
  uint8_t Reserved[6];     // 0-5
  uint16_t Length;         // 6-7: the descriptor's length
};

struct ReduzidWindowDescriptor {
  uint8_t Identify;               // 8  (wire offset of the whole list)
  uint8_t Reserved;               // 9
  uint16_t XRes;                  // 10-11, dpi
  uint16_t YRes;                  // 12-13, dpi
  uint32_t XStart;                // 14-17, 1/1200 inch
  uint32_t YStart;                // 18-21
  uint32_t Width;                 // 22-25
  uint32_t Length;                // 26-29
  uint8_t Brightness;             // 30
  uint8_t Threshold;              // 31
  uint8_t Contrast;               // 32
  uint8_t ImageComp;              // 33: 0 line art, 1 halftone, 2 grey, 5 colour
  uint8_t BitsPerChannel;         // 34
  uint16_t HalftoneNum;           // 35-36
  uint8_t RIF;                    // 37, bit 7: reverse image
  uint16_t BitOrder;              // 38-39
  uint8_t CompressType;           // 40
  uint8_t CompressArg;            // 41
  uint16_t wPaperLength;          // 42-43
  uint8_t Reserved2[4];           // 44-47
  uint8_t VendorSP;               // 48
  uint8_t VSPLength;              // 49
  uint8_t ADF;                    // 50, feeder flags
  uint8_t Highlight;              // 51
  uint8_t Shadow;                 // 52
  uint16_t PixelNum;              // 53-54, bytes per line, low 16 bits
  uint16_t LineNum;               // 55-56, line count, low 16 bits
  uint8_t UseTrans;               // 57
  uint8_t IRExposureFactor;       // 58
  uint16_t RExposure;             // 59-60
  uint16_t GExposure;             // 61-62
  uint16_t BExposure;             // 63-64
  uint8_t SetCapEx1;              // 65
  uint8_t AutofocusLinesPerSteps; // 66
  uint8_t HiBytePixelNum;         // 67, bits 16-23 of the bytes per line
  uint8_t HiByteLineNum;          // 68, bits 16-23 of the line count
  uint8_t BackgroundLines;        // 69
  uint8_t PagesPerJob;            // 70
  uint8_t MFDenable;              // 71, multifeed detection flags
  uint8_t MFDlevel;               // 72
  uint8_t ModelBytes[82];         // 73-154: the model's own bytes, carried as they are
};

struct ReduzidWindowDesc {
  ReduzidWindowHeader Data;
  ReduzidWindowDescriptor Desc;
};
#pragma pack(pop)

static_assert(sizeof(ReduzidWindowDescriptor) == 147);
static_assert(sizeof(ReduzidWindowDesc) == 155);
static_assert(offsetof(ReduzidWindowDesc, Desc) + offsetof(ReduzidWindowDescriptor, PixelNum) == 53);
static_assert(offsetof(ReduzidWindowDesc, Desc) + offsetof(ReduzidWindowDescriptor, MFDlevel) == 72);
static_assert(offsetof(ReduzidWindowDesc, Desc) + offsetof(ReduzidWindowDescriptor, ModelBytes) == 73);

// Byte access by the list's wire offset (0 is the header's first byte).
inline uint8_t* WindowBytes(ReduzidWindowDesc& w) { return reinterpret_cast<uint8_t*>(&w); }
inline const uint8_t* WindowBytes(const ReduzidWindowDesc& w) { return reinterpret_cast<const uint8_t*>(&w); }

// Swaps the listed multi-byte fields of header and descriptor (both directions). The model bytes
// from 73 on are carried as the settings model wrote them.
void ConvertByteOrder(ReduzidWindowDesc& window);

// The classic SET WINDOW transfer length: the low byte of the descriptor length plus 8.
inline uint32_t ClassicWindowTransferLength(const ReduzidWindowDesc& window) {
  return static_cast<uint32_t>(window.Data.Length & 0xFF) + 8;
}
// The most a classic SET WINDOW block can name (its one length byte).
inline constexpr uint32_t kClassicWindowMaxTransfer = 0xFF;

std::string DumpWindow(const ReduzidWindowDesc& window);

}  // namespace rzd::lowdrv
