// Byte order and data-log text of the classic window parameter list.
#include "lowdrv/engine/window_desc.h"

#include "lowdrv/engine/byte_order.h"
#include "platform/text.h"

namespace rzd::lowdrv {

void ConvertByteOrder(ReduzidWindowDesc& w) {
  ReduzidWindowDescriptor& d = w.Desc;
  w.Data.Length = Swap16(w.Data.Length);
  d.XRes = Swap16(d.XRes);
  d.YRes = Swap16(d.YRes);
  d.XStart = Swap32(d.XStart);
  d.YStart = Swap32(d.YStart);
  d.Width = Swap32(d.Width);
  d.Length = Swap32(d.Length);
  d.HalftoneNum = Swap16(d.HalftoneNum);
  d.BitOrder = Swap16(d.BitOrder);
  d.wPaperLength = Swap16(d.wPaperLength);
  d.PixelNum = Swap16(d.PixelNum);
  d.LineNum = Swap16(d.LineNum);
  d.RExposure = Swap16(d.RExposure);
  d.GExposure = Swap16(d.GExposure);
  d.BExposure = Swap16(d.BExposure);
}

std::string DumpWindow(const ReduzidWindowDesc& w) {
  const ReduzidWindowDescriptor& d = w.Desc;
  std::string out = "Data.Reserved:";
  for (uint8_t b : w.Data.Reserved) out += rzd::FormatA(" 0x%02X", b);
  out += "\n";
  out += rzd::FormatA("Data.Length: %d\n", w.Data.Length);
  out += rzd::FormatA("Desc.Identify: %d\n", d.Identify);
  out += rzd::FormatA("Desc.Reserved: %d\n", d.Reserved);
  out += rzd::FormatA("Desc.XRes: %d\n", d.XRes);
  out += rzd::FormatA("Desc.YRes: %d\n", d.YRes);
  out += rzd::FormatA("Desc.XStart: %u\n", d.XStart);
  out += rzd::FormatA("Desc.YStart: %u\n", d.YStart);
  out += rzd::FormatA("Desc.Width: %u\n", d.Width);
  out += rzd::FormatA("Desc.Length: %u\n", d.Length);
  out += rzd::FormatA("Desc.Brightness: %d\n", d.Brightness);
  out += rzd::FormatA("Desc.Threshold: %d\n", d.Threshold);
  out += rzd::FormatA("Desc.Contrast: %d\n", d.Contrast);
  out += rzd::FormatA("Desc.ImageComp: %d\n", d.ImageComp);
  out += rzd::FormatA("Desc.BitsPerChannel: %d\n", d.BitsPerChannel);
  out += rzd::FormatA("Desc.HalftoneNum: %d\n", d.HalftoneNum);
  out += rzd::FormatA("Desc.RIF: 0x%02X\n", d.RIF);
  out += rzd::FormatA("Desc.BitOrder: %d\n", d.BitOrder);
  out += rzd::FormatA("Desc.CompressType: %d\n", d.CompressType);
  out += rzd::FormatA("Desc.CompressArg: %d\n", d.CompressArg);
  out += rzd::FormatA("Desc.wPaperLength: %d\n", d.wPaperLength);
  out += "Desc.Reserved2:";
  for (uint8_t b : d.Reserved2) out += rzd::FormatA(" 0x%02X", b);
  out += "\n";
  out += rzd::FormatA("Desc.VendorSP: %d\n", d.VendorSP);
  out += rzd::FormatA("Desc.VSPLength: %d\n", d.VSPLength);
  out += rzd::FormatA("Desc.ADF: 0x%02X\n", d.ADF);
  out += rzd::FormatA("Desc.Highlight: %d\n", d.Highlight);
  out += rzd::FormatA("Desc.Shadow: %d\n", d.Shadow);
  out += rzd::FormatA("Desc.PixelNum: %d\n", d.PixelNum);
  out += rzd::FormatA("Desc.LineNum: %d\n", d.LineNum);
  out += rzd::FormatA("Desc.UseTrans: 0x%02X\n", d.UseTrans);
  out += rzd::FormatA("Desc.IRExposureFactor: %d\n", d.IRExposureFactor);
  out += rzd::FormatA("Desc.RExposure: %d\n", d.RExposure);
  out += rzd::FormatA("Desc.GExposure: %d\n", d.GExposure);
  out += rzd::FormatA("Desc.BExposure: %d\n", d.BExposure);
  out += rzd::FormatA("Desc.SetCapEx1: 0x%02X\n", d.SetCapEx1);
  out += rzd::FormatA("Desc.AutofocusLinesPerSteps: %d\n", d.AutofocusLinesPerSteps);
  out += rzd::FormatA("Desc.HiBytePixelNum: %d\n", d.HiBytePixelNum);
  out += rzd::FormatA("Desc.HiByteLineNum: %d\n", d.HiByteLineNum);
  out += rzd::FormatA("Desc.BackgroundLines: %d\n", d.BackgroundLines);
  out += rzd::FormatA("Desc.PagesPerJob: %d\n", d.PagesPerJob);
  out += rzd::FormatA("Desc.MFDenable: 0x%02X\n", d.MFDenable);
  out += rzd::FormatA("Desc.MFDlevel: %d\n", d.MFDlevel);
  return out;
}

}  // namespace rzd::lowdrv
