// Byte order and data-log text of the calibration format record.
#include "lowdrv/engine/calib_format.h"

#include "lowdrv/engine/byte_order.h"
#include "platform/text.h"

namespace rzd::lowdrv {

void ConvertByteOrder(ReduzidCalibFormat& f) {
  f.PixelPerLine = Swap16(f.PixelPerLine);
  f.RShading = Swap16(f.RShading);
  f.GShading = Swap16(f.GShading);
  f.BShading = Swap16(f.BShading);
  f.RDarkShading = Swap16(f.RDarkShading);
  f.GDarkShading = Swap16(f.GDarkShading);
  f.BDarkShading = Swap16(f.BDarkShading);
  f.TrueGrayShadingTarget = Swap16(f.TrueGrayShadingTarget);
  f.TrueGrayDarkShading = Swap16(f.TrueGrayDarkShading);
}

std::string DumpCalibFormat(const ReduzidCalibFormat& f) {
  std::string out;
  out += rzd::FormatA("Pixel Per Line = %d\n", f.PixelPerLine);
  out += rzd::FormatA("Bytes Per Channel = %d\n", f.BytesPerChannel);
  out += rzd::FormatA("lineCount = %d\n", f.LineCount);
  out += rzd::FormatA("Flag = 0x%02X\n", f.Flag);
  out += rzd::FormatA("Ability1 = 0x%02X\n", f.Ability1);
  out += rzd::FormatA("R Gain = 0x%02X\n", f.RGain);
  out += rzd::FormatA("G Gain = 0x%02X\n", f.GGain);
  out += rzd::FormatA("B Gain = 0x%02X\n", f.BGain);
  out += rzd::FormatA("R Shading = 0x%02X\n", f.RShading);
  out += rzd::FormatA("G Shading = 0x%02X\n", f.GShading);
  out += rzd::FormatA("B Shading = 0x%02X\n", f.BShading);
  out += rzd::FormatA("R DarkShading = 0x%02X\n", f.RDarkShading);
  out += rzd::FormatA("G DarkShading = 0x%02X\n", f.GDarkShading);
  out += rzd::FormatA("B DarkShading = 0x%02X\n", f.BDarkShading);
  out += rzd::FormatA("True Gray Gain = 0x%02X\n", f.TrueGrayGain);
  out += rzd::FormatA("True Gray ShadingTarget = 0x%02X\n", f.TrueGrayShadingTarget);
  out += rzd::FormatA("True Gray DarkShading = 0x%02X\n", f.TrueGrayDarkShading);
  return out;
}

}  // namespace rzd::lowdrv
