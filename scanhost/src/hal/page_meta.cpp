#include "hal/page_meta.h"

#include "platform/text.h"

#include <cstring>
#include <initializer_list>
#include <string_view>
#include <utility>

namespace rzd::scanhost {

namespace {

using Put = HRESULT (IRasterBlockDescriptor::*)(LONG);
using Get = HRESULT (IRasterBlockDescriptor::*)(LONG*);

// A named value of the page document that must be present, and the numbers of its names.
struct Enumerated {
  const char16_t* path;
  const char16_t* name;
  Put put;
  std::initializer_list<const char16_t*> values;  // value i is number i
  LONG unknown;
  bool optional = false;  // a missing value is `unknown`, not a failure
};

const Enumerated kEnumerated[] = {
    {u"/Result/Format/Compression", u"Compression", &IRasterBlockDescriptor::put_Compression, {u"None", u"JPG", u"Group4"}, -1},
    {u"/Result/Format/Pixels", u"Pixels", &IRasterBlockDescriptor::put_Pixels, {u"RGB", u"BGR", u"SingleChannel"}, -1},
    {u"/Result/Format/Interleave", u"Interleave", &IRasterBlockDescriptor::put_Interleave, {u"Pixel", u"Line"}, 2, true},
    {u"/Result/Format/LineOrder", u"LineOrder", &IRasterBlockDescriptor::put_LineOrder, {u"TopDown", u"BottomUp"}, -1},
    {u"/Result/Format/PixelOrder", u"PixelOrder", &IRasterBlockDescriptor::put_PixelOrder, {u"LeftRight", u"RightLeft"}, -1},
    {u"/Result/Format/PixelGender", u"PixelGender", &IRasterBlockDescriptor::put_PixelGender,
     {u"BlackIsZero", u"WhiteIsZero"}, -1},
    {u"/Result/Format/BitOrder", u"BitOrder", &IRasterBlockDescriptor::put_BitOrder, {u"MSBFirst", u"LSBFirst"}, -1},
    {u"/Result/Address/Side", u"Side", &IRasterBlockDescriptor::put_Side, {u"Front", u"Back", u"Both"}, -1},
};

struct Integer {
  const char16_t* path;
  Put put;
  int32_t fallback;
};

const Integer kIntegers[] = {
    {u"/Result/Address/LinesPerSide", &IRasterBlockDescriptor::put_LinesPerSide, 0},
    {u"/Result/Address/SideOrder", &IRasterBlockDescriptor::put_SideOrder, 0},
    {u"/Result/Format/Alignment", &IRasterBlockDescriptor::put_Alignment, -1},
    {u"/Result/Format/BytesPerLine", &IRasterBlockDescriptor::put_BytesPerLine, -1},
    {u"/Result/Address/Page", &IRasterBlockDescriptor::put_Page, -1},
    {u"/Result/Address/Image", &IRasterBlockDescriptor::put_Image, -1},
    {u"/Result/ImageDimensions/Left", &IRasterBlockDescriptor::put_Left, 0},
    {u"/Result/ImageDimensions/Top", &IRasterBlockDescriptor::put_Top, 0},
    {u"/Result/ImageDimensions/Width", &IRasterBlockDescriptor::put_Width, 0},
    {u"/Result/ImageDimensions/Length", &IRasterBlockDescriptor::put_Length, 0},
    {u"/Result/Resolutions/X", &IRasterBlockDescriptor::put_XResolution, 0},
    {u"/Result/Resolutions/Y", &IRasterBlockDescriptor::put_YResolution, 0},
    {u"/Result/Format/BitsPerPixel", &IRasterBlockDescriptor::put_BitsPerPixel, -1},
};

bool Fail(const CLogClient& log, const char16_t* name) {
  RZD_LOG_ERROR_OF(log, u"CopyMetaToRasterBlock failed to read %s", name);
  return false;
}

}  // namespace

bool CopyMetaToRasterBlock(const PageValues& values, IRasterBlockDescriptor* descriptor, bool first, bool* duplex,
                           const CLogClient& log) {
  for (const Enumerated& e : kEnumerated) {
    const std::u16string_view* text = values.Find(e.path);
    // The driver leaves Interleave out of single-channel pages: it has nothing to say there.
    if (text == nullptr && !e.optional) return Fail(log, e.name);
    LONG number = e.unknown;
    LONG i = 0;
    for (const char16_t* value : e.values) {
      if (text != nullptr && *text == std::u16string_view(value)) number = i;
      ++i;
    }
    if (FAILED((descriptor->*e.put)(number))) return false;
  }
  const std::u16string_view* mode = values.Find(u"/Result/Address/ScanMode");
  if (mode == nullptr) return Fail(log, u"ScanMode");
  *duplex = *mode == u"Duplex";
  for (const Integer& i : kIntegers) {
    if (FAILED((descriptor->*i.put)(values.Int(i.path, i.fallback)))) return false;
  }
  const LONG lines = values.Int(u"/Result/Address/NumberOfLines", -1);
  if (first) {
    if (FAILED(descriptor->put_LineOffset(values.Int(u"/Result/Address/LineOffset", -1)))) return false;
    return SUCCEEDED(descriptor->put_NumberOfLines(lines));
  }
  LONG before = 0;
  if (FAILED(descriptor->get_NumberOfLines(&before))) return false;
  return SUCCEEDED(descriptor->put_NumberOfLines(before + lines));
}

std::u16string MakeOperationText(const std::vector<Bstr>& pages) {
  constexpr std::u16string_view kStart = u"<Operation>";
  std::u16string text(kStart);
  for (const Bstr& page : pages) PageValues::AppendMarkup(page.View(), &text);
  if (text.size() == kStart.size()) return u"<Operation/>";
  return text += u"</Operation>";
}

uint64_t SideKindOf(const PageValues* firstPage) {
  const std::u16string_view* mode = firstPage != nullptr ? firstPage->Find(u"/Result/Address/ScanMode") : nullptr;
  if (mode == nullptr || *mode != u"Simplex") return 2;
  const std::u16string_view* side = firstPage->Find(u"/Result/Address/Side");
  return side != nullptr && *side == u"Back" ? 1 : 0;
}

std::vector<uint8_t> MakeMetaRecord(const std::u16string& text, const std::vector<uint8_t>& data, uint64_t kind) {
  const uint64_t textSize = 2 * text.size() + 2;
  const uint64_t fields[5] = {40, textSize, 40 + textSize, data.size(), kind};
  std::vector<uint8_t> record(40 + textSize + data.size(), 0);
  std::memcpy(record.data(), fields, sizeof fields);  // the machine is little-endian
  std::memcpy(record.data() + 40, text.data(), 2 * text.size());
  if (!data.empty()) std::memcpy(record.data() + 40 + textSize, data.data(), data.size());
  return record;
}

}  // namespace rzd::scanhost
