// The model's default scan record, and the pointer-carrying fields as the type library lays them out.
#include "apphal/scan_records.h"
#include "apphal/type_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace rzd::apphal {
namespace {

TEST(ScanRecords, TheDefaultRecordHoldsTheModelsValues) {
  const _ZQSCANINFO d = ZqScanInfoDefaults();
  struct Field {
    const char* name;
    int64_t value;
    int64_t expected;
  } fields[] = {
      {"Flatbed", d.Flatbed, 0},
      {"Sheetfed", d.Sheetfed, 0},
      {"ADF", d.ADF, 2},
      {"TPA", d.TPA, 0},
      {"Endorser", d.Endorser, 0},
      {"OpticalXResolution", d.OpticalXResolution, 600},
      {"OpticalYResolution", d.OpticalYResolution, 600},
      {"MaxBitDepthPerPixel", d.MaxBitDepthPerPixel, 16},
      {"BedWidth", d.BedWidth, 8500},
      {"BedHeight", d.BedHeight, 14000},
      {"ADFBedWidth", d.ADFBedWidth, 8500},
      {"ADFBedHeight", d.ADFBedHeight, 236000},
      {"ADFMaxPages", d.ADFMaxPages, 50},
      {"SupportedCompressionType", d.SupportedCompressionType, 0x40000},
      {"SupportedDataTypes", d.SupportedDataTypes, 0x38222807},
      {"WidthPixels", d.WidthPixels, 2550},
      {"WidthBytes", d.WidthBytes, 7650},  // 2550 pixels of 24 bits
      {"Lines", d.Lines, 3300},
      {"DataType", d.DataType, ZQSCANMODE_COLOR},
      {"PixelBits", d.PixelBits, 24},
      {"Intensity", d.Intensity, 50},
      {"Contrast", d.Contrast, 50},
      {"Threshold", d.Threshold, 50},
      {"Xresolution", d.Xresolution, 300},
      {"Yresolution", d.Yresolution, 300},
      {"RedGamma", d.RedGamma, 185},
      {"GreenGamma", d.GreenGamma, 185},
      {"BlueGamma", d.BlueGamma, 185},
      {"Window.xPos", d.Window.xPos, 0},
      {"Window.yPos", d.Window.yPos, 0},
      {"Window.xExtent", d.Window.xExtent, 2550},
      {"Window.yExtent", d.Window.yExtent, 3300},
      {"ScanHardware", d.ScanHardware, ZQSCANHRDW_ADF},
      {"Duplex", d.Duplex, 1},
      {"ColorDropOut", d.ColorDropOut, 0},
      {"Negative", d.Negative, 0},
      {"Mirror", d.Mirror, 0},
      {"AutoBack", d.AutoBack, 0},
      {"ScanDirection", d.ScanDirection, 0},
      {"Demoire", d.Demoire, 0},
      {"ToneMap", d.ToneMap, 0},
      {"Compression", d.Compression, 0},
      {"RawDataFormat", d.RawDataFormat, 0},
      {"RawPixelOrder", d.RawPixelOrder, 1},
      {"bNeedDataAlignment", d.bNeedDataAlignment, 1},
      {"DelayBetweenRead", d.DelayBetweenRead, 0},
      {"MaxBufferSize", d.MaxBufferSize, 64000},
      {"Value", d.Value, 0},
      {"LinesScanned", d.LinesScanned, 0},
      {"PagesScanned", d.PagesScanned, 0},
      {"ActiveSide", d.ActiveSide, 0},
  };
  for (const Field& f : fields) EXPECT_EQ(f.value, f.expected) << f.name;
  const _ZQCLRPRCSS none{};
  EXPECT_EQ(std::memcmp(&d.ToneMapParams, &none, sizeof(none)), 0);
  EXPECT_EQ(static_cast<uint32_t>(d.SupportedDataTypes),
            ZQSCANMODE_BITONAL | ZQSCANMODE_GREY | ZQSCANMODE_COLOR | ZQSCANMODE_BLACK_BG | ZQSCANMODE_SUPPORT_DSDATA |
                ZQSCANMODE_SUPPORT_OVERSCAN | ZQSCANMODE_SUPPORT_MULTISCANNER | ZQSCANMODE_SUPPORT_RZD_TWAIN |
                ZQSCANMODE_SUPPORT_RZD_DFDRECOVERY | ZQSCANMODE_SUPPORT_RZD_MANUALFEED);
}

// An application lays the record out as the type library describes it. Each field the library
// calls LONG_PTR gets a whole pointer written at the library's offset and size; the record reads
// every one back whole, and the fields beside them stay untouched. (What the wrapper hands on of
// these fields is tested with the data source, twain_wrap_source_data_test.cpp.)
TEST(ScanRecords, PointerCarryingFieldsCarryWholePointersAtTheLibrarysOffsets) {
  const TypeLibrary library = BuildModelTypeLibrary();
  const TypeLibType* record = library.Find("_ZQSCANINFO");
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(record->size, sizeof(_ZQSCANINFO));
  const _ZQSCANINFO defaults = ZqScanInfoDefaults();
  std::vector<uint8_t> bytes(record->size);
  std::memcpy(bytes.data(), &defaults, sizeof(defaults));
  std::vector<std::string> pointerFields;
  uintptr_t marker = static_cast<uintptr_t>(0x7F12345678ABCDE0ull);
  for (const TypeLibField& field : record->fields) {
    if (field.type != "LONG_PTR") continue;
    pointerFields.push_back(field.name);
    ASSERT_EQ(field.size, sizeof(void*)) << field.name;
    ASSERT_LE(field.offset + field.size, bytes.size());
    marker += 0x10;
    std::memcpy(bytes.data() + field.offset, &marker, sizeof(marker));
  }
  EXPECT_EQ(pointerFields, (std::vector<std::string>{"Mirror", "ScanDirection", "RawDataFormat", "Value"}));
  _ZQSCANINFO info;
  std::memcpy(&info, bytes.data(), sizeof(info));
  marker = static_cast<uintptr_t>(0x7F12345678ABCDE0ull);
  for (intptr_t carried : {info.Mirror, info.ScanDirection, info.RawDataFormat, info.Value}) {
    marker += 0x10;
    EXPECT_EQ(static_cast<uintptr_t>(carried), marker);
  }
  // The neighbours keep their defaults: nothing was written across a field's edge.
  EXPECT_EQ(info.Negative, defaults.Negative);
  EXPECT_EQ(info.AutoBack, defaults.AutoBack);
  EXPECT_EQ(info.Demoire, defaults.Demoire);
  EXPECT_EQ(info.Compression, defaults.Compression);
  EXPECT_EQ(info.RawPixelOrder, defaults.RawPixelOrder);
  EXPECT_EQ(info.MaxBufferSize, defaults.MaxBufferSize);
  EXPECT_EQ(info.LinesScanned, defaults.LinesScanned);
}

}  // namespace
}  // namespace rzd::apphal
