// Byte order and data-log text of the inquiry record.
#include "lowdrv/engine/inquiry_record.h"

#include "lowdrv/engine/byte_order.h"
#include "platform/text.h"

namespace rzd::lowdrv {

void ConvertByteOrder(ReduzidInq& inq) {
  inq.MaxGrayXRes = Swap16(inq.MaxGrayXRes);
  inq.MaxGrayYRes = Swap16(inq.MaxGrayYRes);
  inq.MaxColorXRes = Swap16(inq.MaxColorXRes);
  inq.MaxColorYRes = Swap16(inq.MaxColorYRes);
  inq.MaxSizeReadByDriver = Swap16(inq.MaxSizeReadByDriver);
  inq.MaxShadingTarget = Swap16(inq.MaxShadingTarget);
  inq.TransparencyMaxWidth = Swap16(inq.TransparencyMaxWidth);
  inq.TransparencyMaxLength = Swap16(inq.TransparencyMaxLength);
  inq.FlatbedMaxWidth = Swap16(inq.FlatbedMaxWidth);
  inq.FlatbedMaxLength = Swap16(inq.FlatbedMaxLength);
  inq.ADFMaxWidth = Swap16(inq.ADFMaxWidth);
  inq.ADFMaxLength = Swap16(inq.ADFMaxLength);
  inq.OpticalResEx = Swap16(inq.OpticalResEx);
  inq.ADFHardMaxLength = Swap16(inq.ADFHardMaxLength);
  inq.ExtValue134 = Swap16(inq.ExtValue134);
  inq.ExtValue136 = Swap16(inq.ExtValue136);
  inq.ExtValue138 = Swap16(inq.ExtValue138);
  inq.ExtValue140 = Swap16(inq.ExtValue140);
  inq.ExtValue142 = Swap16(inq.ExtValue142);
  inq.ExtValue144 = Swap16(inq.ExtValue144);
  inq.ExtValue151 = Swap16(inq.ExtValue151);
}

namespace {

void Byte(std::string& out, const char* name, uint8_t v) { out += rzd::FormatA("%s: 0x%02X\n", name, v); }
void Word(std::string& out, const char* name, uint16_t v) { out += rzd::FormatA("%s: 0x%04X\n", name, v); }
void Text(std::string& out, const char* name, const char* text, int size) {
  out += rzd::FormatA("%s: %.*s\n", name, size, text);
}
void Bytes(std::string& out, const char* name, const uint8_t* p, size_t n) {
  out += name;
  out += ":";
  for (size_t i = 0; i < n; ++i) out += rzd::FormatA(" 0x%02X", p[i]);
  out += "\n";
}

}  // namespace

std::string DumpInquiry(const ReduzidInq& inq) {
  std::string out;
  const uint8_t* b = InqBytes(inq);
  Byte(out, "ProductQualifier", inq.ProductQualifier);
  Byte(out, "RMB_DType", inq.RMB_DType);
  Byte(out, "IVersion", inq.IVersion);
  Byte(out, "AENC", inq.AENC);
  Byte(out, "AdditionalLength", inq.AdditionalLength);
  Bytes(out, "SIDReserved", inq.SIDReserved, 2);
  Byte(out, "Addr", inq.Addr);
  Text(out, "VendorIdent", inq.VendorIdent, 8);
  Text(out, "ProductIdent", inq.ProductIdent, 16);
  Text(out, "ProductReversion", inq.ProductReversion, 4);
  Byte(out, "Ability", inq.Ability);
  Byte(out, "OpticalResolution", inq.OpticalResolution);
  Byte(out, "MaximumResolution", inq.MaximumResolution);
  Byte(out, "ExtendedAbility", inq.ExtendedAbility);
  Word(out, "MaxGrayXRes", inq.MaxGrayXRes);
  Word(out, "MaxGrayYRes", inq.MaxGrayYRes);
  Word(out, "MaxColorXRes", inq.MaxColorXRes);
  Word(out, "MaxColorYRes", inq.MaxColorYRes);
  Word(out, "MaxSizeReadByDriver", inq.MaxSizeReadByDriver);
  Byte(out, "AbilityEx1", inq.AbilityEx1);
  Byte(out, "AbilityEx2", inq.AbilityEx2);
  Byte(out, "AbilityEx3", inq.AbilityEx3);
  Byte(out, "LineDif", inq.LineDif);
  Byte(out, "ColorPixelBound", inq.ColorPixelBound);
  Byte(out, "GrayPixelBound", inq.GrayPixelBound);
  Byte(out, "Gray4bitsPixelBound", inq.Gray4bitsPixelBound);
  Byte(out, "LineartPixelBound", inq.LineartPixelBound);
  Byte(out, "HalftonePixelBound", inq.HalftonePixelBound);
  Byte(out, "ErrorDiffusionPixelBound", inq.ErrorDiffusionPixelBound);
  Byte(out, "ChannelsPerPixel", inq.ChannelsPerPixel);
  Byte(out, "BitsPerChannel", inq.BitsPerChannel);
  Byte(out, "ScannerType", inq.ScannerType);
  Byte(out, "HalftoneNum", inq.HalftoneNum);
  Byte(out, "ErrorDiffusionNum", inq.ErrorDiffusionNum);
  Bytes(out, "HalftoneIndex", inq.HalftoneIndex, 10);
  Word(out, "MaxShadingTarget", inq.MaxShadingTarget);
  Word(out, "TransparencyMaxWidth", inq.TransparencyMaxWidth);
  Word(out, "TransparencyMaxLength", inq.TransparencyMaxLength);
  Word(out, "FlatbedMaxWidth", inq.FlatbedMaxWidth);
  Word(out, "FlatbedMaxLength", inq.FlatbedMaxLength);
  Word(out, "ADFMaxWidth", inq.ADFMaxWidth);
  Word(out, "ADFMaxLength", inq.ADFMaxLength);
  Word(out, "OpticalResEx", inq.OpticalResEx);
  Byte(out, "ASICShadingTableType", inq.ASICShadingTableType);
  Byte(out, "ButtonNumber", inq.ButtonNumber);
  Byte(out, "AbilityEx4", inq.AbilityEx4);
  Byte(out, "AbilityEx5", inq.AbilityEx5);
  Byte(out, "AbilityEx6", inq.AbilityEx6);
  Bytes(out, "ByModelFields", inq.ByModelFields, 32);
  Byte(out, "AbilityEx7", inq.AbilityEx7);
  Byte(out, "YCbCrCapability", inq.YCbCrCapability);
  Byte(out, "ADFHardMaxLengthHighByte", inq.ADFHardMaxLengthHighByte);
  Word(out, "ADFHardMaxLength", inq.ADFHardMaxLength);
  Byte(out, "AbilityEx8", inq.AbilityEx8);
  // The further ability bytes carry no names of their own; the log shows them under the
  // label of the ability byte they extend.
  out += rzd::FormatA("AbilityEx8: 0x%02X\n", b[149]);
  for (size_t i = 153; i <= 159; ++i) out += rzd::FormatA("AbilityEx8: 0x%02X\n", b[i]);
  return out;
}

}  // namespace rzd::lowdrv
