// The new command set's window, byte by byte from the classic window.
#include "lowdrv/engine/new_set_window.h"

#include "lowdrv/engine/byte_order.h"

namespace rzd::lowdrv {

namespace {

// Pixels per line and image mode by image composition.
void PixelsAndMode(const ReduzidWindowDescriptor& d, uint32_t bytesPerLine, uint32_t& pixels, uint32_t& mode) {
  pixels = 0;
  mode = 0;
  switch (d.ImageComp) {
    case 0:  // line art
      pixels = bytesPerLine * 8;
      mode = 1;
      break;
    case 1:  // halftone
      pixels = bytesPerLine * 8;
      mode = d.HalftoneNum != 0 ? 2 : 4;
      break;
    case 2:  // grey
      pixels = bytesPerLine;
      mode = 0x10;
      break;
    case 5:  // colour
      pixels = bytesPerLine / 3;
      mode = 0x80;
      break;
    default:
      break;
  }
}

uint16_t Source(const ReduzidWindowDescriptor& d) {
  if (!(d.ADF & 0x80)) return kWindowSourceFlatbed;
  if (d.SetCapEx1 & 0x10) return 4;
  if (d.SetCapEx1 & 0x08) return 5;
  return 1;
}

uint8_t MultifeedByte(const ReduzidWindowDescriptor& d, const EngineCapabilities& caps) {
  uint8_t v = 0;
  if (d.MFDenable & 0x10) {
    v = 0x10;
    if (!(d.SetCapEx1 & 0x40)) v |= 0x08;
    if (d.MFDenable & 0x08) v |= 0x04;
  } else {
    v = (d.SetCapEx1 & 0x04) ? 0x01 : 0x00;
  }
  if (caps.ExtendedMultifeed) v |= static_cast<uint8_t>(d.MFDenable & 0x02);
  return v;
}

}  // namespace

NewWindowResult BuildNewWindow(ReduzidWindowDesc& window, const EngineCapabilities& caps) {
  NewWindowResult result;
  uint8_t* out = result.bytes.data();
  ReduzidWindowDescriptor& d = window.Desc;
  const uint8_t* classic = WindowBytes(window);

  out[2] = 2;
  PutBE16(out + 3, static_cast<uint16_t>(kNewWindowSize));
  PutBE16(out + 5, 1200);
  PutBE32(out + 7, d.XStart);
  PutBE32(out + 11, d.YStart);
  PutBE32(out + 15, d.Width);
  PutBE32(out + 19, d.Length);
  PutBE16(out + 23, d.XRes);
  PutBE16(out + 25, d.YRes);
  const uint32_t lines = uint32_t{d.HiByteLineNum} * 65536 + d.LineNum;
  const uint32_t bytesPerLine = uint32_t{d.HiBytePixelNum} * 65536 + d.PixelNum;
  uint32_t pixels = 0;
  uint32_t mode = 0;
  PixelsAndMode(d, bytesPerLine, pixels, mode);
  PutBE32(out + 27, pixels);
  PutBE32(out + 31, lines);
  PutBE32(out + 35, bytesPerLine);
  PutBE32(out + 39, mode);
  const uint16_t source = Source(d);
  PutBE16(out + 43, source);
  out[45] = d.CompressType == 0 ? 0 : (d.CompressType == 3 ? 4 : 3);
  out[46] = d.CompressArg;
  out[47] = classic[73];
  out[50] = d.Contrast != 0 ? d.Contrast : 128;
  out[51] = d.Brightness != 0 ? d.Brightness : 128;
  out[52] = static_cast<uint8_t>(d.HalftoneNum & 0xFF);
  out[53] = d.Highlight;
  out[54] = d.Shadow;
  if ((d.ADF & 0x30) == 0x30) d.ADF &= static_cast<uint8_t>(~0x30);
  out[55] = static_cast<uint8_t>(((d.UseTrans >> 1) & 0x20) + ((d.ADF >> 2) & 0x06) + (d.RIF >> 7));
  out[56] = d.Threshold;
  PutBE16(out + 57, d.PagesPerJob);
  out[59] = d.BackgroundLines;
  out[62] = MultifeedByte(d, caps);
  const uint8_t paper = classic[147];
  out[63] = static_cast<uint8_t>(((d.MFDenable & 0x02) * 2 + paper) * 16 + ((classic[47] >> 1) & 0x10) +
                                 (d.SetCapEx1 >> 7));
  out[64] = static_cast<uint8_t>(((paper & 0x40) ? 0x10 : 0) | ((paper & 0x10) ? 0x80 : 0) | (paper & 0x20));
  out[66] = (caps.WindowByte66 && (out[62] & 0x10)) ? 0x80 : 0;
  result.backgroundCheck = source == kWindowSourceFlatbed;
  return result;
}

}  // namespace rzd::lowdrv
