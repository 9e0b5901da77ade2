// The engine's calibration format record: 32 bytes, big-endian on the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rzd::lowdrv {

#pragma pack(push, 1)
struct ReduzidCalibFormat {
  uint16_t PixelPerLine;          // 0-1
  uint8_t BytesPerChannel;        // 2
  uint8_t LineCount;              // 3
  uint8_t Flag;                   // 4
  uint8_t Ability1;               // 5
  uint8_t RGain;                  // 6
  uint8_t GGain;                  // 7
  uint8_t BGain;                  // 8
  uint16_t RShading;              // 9-10
  uint16_t GShading;              // 11-12
  uint16_t BShading;              // 13-14
  uint16_t RDarkShading;          // 15-16
  uint16_t GDarkShading;          // 17-18
  uint16_t BDarkShading;          // 19-20
  uint8_t TrueGrayGain;           // 21
  uint16_t TrueGrayShadingTarget; // 22-23
  uint16_t TrueGrayDarkShading;   // 24-25
  uint8_t Reserved[6];            // 26-31
};
#pragma pack(pop)

static_assert(sizeof(ReduzidCalibFormat) == 32);
static_assert(offsetof(ReduzidCalibFormat, TrueGrayShadingTarget) == 22);

void ConvertByteOrder(ReduzidCalibFormat& format);
std::string DumpCalibFormat(const ReduzidCalibFormat& format);

}  // namespace rzd::lowdrv
