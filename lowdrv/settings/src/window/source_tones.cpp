// The conversion of one document source: tone tables and matrix, compression, tone parameters,
// levels, drop-out colour, line and pixel counts and the bit-depth reduction.
#include "descriptor_bytes.h"
#include "decimal_text.h"
#include "lowdrv/settings/settings_av.h"
#include "platform/text.h"
#include "source_conversion.h"
#include "tone_curve.h"
#include "window_values.h"

#include <algorithm>
#include <cstddef>

namespace rzd::lowdrv::window {

namespace {

uint8_t ByteOf(int32_t value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

bool SourceConversion::ReadTables() {
  stream_->Restore();
  if (colour_) {
    struct Channel {
      const char16_t* path;
      const char16_t* missing;
      const char16_t* bad;
    };
    const Channel channels[] = {
        {u".//Gamma/EightBit/Red", u"ConvertXmlToSettings cannot find red gamma table",
         u"ConvertXmlToSettings failed to parse red gamma table"},
        {u".//Gamma/EightBit/Green", u"ConvertXmlToSettings cannot find green gamma table",
         u"ConvertXmlToSettings failed to parse green gamma table"},
        {u".//Gamma/EightBit/Blue", u"ConvertXmlToSettings cannot find blue gamma table",
         u"ConvertXmlToSettings failed to parse blue gamma table"},
    };
    for (size_t c = 0; c < 3; ++c) {
      const auto text = TextBelow(store_, channels[c].path);
      if (!text) return Fail(channels[c].missing);
      if (!owner_.ParseGamma(*text, tables_ + c * kToneTableSize)) return Fail(channels[c].bad);
    }
  } else {
    const auto text = TextBelow(store_, u".//Gamma/EightBit/Gray");
    if (!text) return Fail(u"ConvertXmlToSettings cannot find gray gamma table");
    for (size_t c = 0; c < 3; ++c) {
      if (!owner_.ParseGamma(*text, tables_ + c * kToneTableSize))
        return Fail(u"ConvertXmlToSettings failed to parse gray gamma table");
    }
  }
  const auto matrix = TextBelow(store_, u".//Matrix/TwelveBitMatrix");
  if (!matrix) return Fail(u"ConvertXmlToSettings failed to find 3x3 matrix");
  if (!owner_.ParseMatrix(*matrix, matrix_)) return Fail(u"ConvertXmlToSettings failed to parse 3x3 matrix");
  return true;
}

bool SourceConversion::ReadCompression() {
  stream_->Restore();
  uint8_t* bytes = DescBytes(desc_);
  jpeg_ = IsOnBelow(store_, u"JPEGTransfer");
  desc_.BitOrder = 0;
  desc_.CompressType = kCompressNone;
  desc_.CompressArg = 0;
  desc_.wPaperLength = 0;
  if (!jpeg_ || lineArt_) return true;  // line art is never compressed

  const auto ratio = RangeIntBelow(store_, u"CompressionRatio");
  if (!ratio) return Fail(u"ConvertXmlToSettings failed to find current CompressionRatio value");
  const int32_t quality = JpegQuality(*ratio, settings_.qualityMin, settings_.qualityMax);
  desc_.CompressType = kCompressJpeg;
  bytes[kJpegQuality] = static_cast<uint8_t>(quality);
  if (!colour_) {
    desc_.CompressArg = 4;
    return true;
  }
  const auto subSampling = CurrentValueBelow(store_, u"CompressionSubSamping");
  if (!subSampling) return Fail(u"ConvertXmlToSettings failed to find current CompressionSubSamping value");
  const int32_t s = WToI(*subSampling);
  desc_.CompressArg = s == 1 ? 3 : s == 2 ? 2 : 1;
  return true;
}

void SourceConversion::ApplyLengthDetection() {
  if (verticalOverscan_) {
    paperLines_ = 0;
    return;
  }
  if (lengthDetection_) return;
  if (desc_.CompressType == kCompressJpeg)
    desc_.CompressType = kCompressJpegNoLength;
  else
    DescBytes(desc_)[kFixedLengthMark] = 1;
}

bool SourceConversion::ReadTone() {
  stream_->Restore();
  const auto invert = CurrentValueBelow(store_, u"Invert");
  if (!invert) return Fail(u"ConvertXmlToSettings failed to find current Invert value");
  desc_.RIF = 3;
  if (*invert == u"On" && lineArt_) desc_.RIF |= 0x80;

  struct Raw {
    int32_t brightness = 128, contrast = 128;
    double gamma = 1.0;
  };
  // Reads brightness, contrast and gamma; `selector` picks the channel ("" for the first found).
  auto read = [&](std::u16string_view selector, Raw& raw) -> bool {
    const std::u16string suffix = std::u16string(selector) + u"/Range/Value";
    const auto brightness = TextBelow(store_, u".//Brightness" + suffix);
    if (!brightness) return Fail(u"ConvertXmlToSettings failed to find current Brightness value");
    const auto contrast = TextBelow(store_, u".//Contrast" + suffix);
    if (!contrast) return Fail(u"ConvertXmlToSettings failed to find current Contrast value");
    const auto gamma = TextBelow(store_, u".//GammaCorrection" + suffix);
    if (!gamma) return Fail(u"ConvertXmlToSettings failed to find current Gamma value");
    raw.brightness = WToI(*brightness);
    raw.contrast = WToI(*contrast);
    raw.gamma = DecimalValue(*gamma);
    return true;
  };

  if (colour_ && ExistsBelow(store_, u".//RGBChannel/Enum/Value")) {
    Raw main;
    if (!read(u"[@DependsOnValue='Main']", main)) return false;
    const char16_t* names[] = {u"[@DependsOnValue='Red']", u"[@DependsOnValue='Green']", u"[@DependsOnValue='Blue']"};
    for (size_t c = 0; c < 3; ++c) {
      Raw channel;
      if (!read(names[c], channel)) return false;
      tone_[c].brightness = ByteOf(main.brightness + channel.brightness - 128);
      tone_[c].contrast = ByteOf(main.contrast + channel.contrast - 128);
      tone_[c].gamma = main.gamma * channel.gamma;
    }
    return true;
  }
  Raw all;
  if (!read(u"", all)) return false;
  for (ChannelTone& tone : tone_) {
    tone.brightness = ByteOf(all.brightness);
    tone.contrast = ByteOf(all.contrast);
    tone.gamma = all.gamma;
  }
  return true;
}

bool SourceConversion::ReadLevels() {
  stream_->Restore();
  whiteLevel_ = RangeIntBelow(store_, u"WhiteLevel").value_or(255);
  blackLevel_ = RangeIntBelow(store_, u"BlackLevel").value_or(0);

  // The exposure fields are unaligned in the packed descriptor: written by position.
  struct Exposure {
    const char16_t* path;
    size_t offset;
    const char16_t* missing;
  };
  const Exposure exposures[] = {
      {u".//Exposure/Red/Range/Value", offsetof(ReduzidWindowDescriptor, RExposure),
       u"ConvertXmlToSettings failed to find current Exposure Red value"},
      {u".//Exposure/Green/Range/Value", offsetof(ReduzidWindowDescriptor, GExposure),
       u"ConvertXmlToSettings failed to find current Exposure Green value"},
      {u".//Exposure/Blue/Range/Value", offsetof(ReduzidWindowDescriptor, BExposure),
       u"ConvertXmlToSettings failed to find current Exposure Blue value"},
  };
  for (const Exposure& e : exposures) {
    const auto text = TextBelow(store_, e.path);
    if (!text) return Fail(e.missing);
    PutLE16(DescBytes(desc_) + e.offset, static_cast<uint16_t>(std::clamp(WToI(*text), 0, 0xFFFF)));
  }
  const auto highlight = RangeIntBelow(store_, u"Highlight");
  if (!highlight) return Fail(u"ConvertXmlToSettings failed to find current Highlight value");
  desc_.Highlight = ByteOf(*highlight);
  const auto shadow = RangeIntBelow(store_, u"Shadow");
  if (!shadow) return Fail(u"ConvertXmlToSettings failed to find current Shadow value");
  desc_.Shadow = ByteOf(*shadow);

  if (lineArt_) {
    const auto threshold = RangeIntBelow(store_, u"Threshold");
    if (!threshold) return Fail(u"ConvertXmlToSettings failed to find current Threshold value");
    desc_.Threshold = std::max<uint8_t>(ByteOf(*threshold), 1);
  }
  return true;
}

bool SourceConversion::ReadDropOut() {
  stream_->Restore();
  const auto filter = CurrentValueBelow(store_, u"Filters");
  if (!filter) return Fail(u"ConvertXmlToSettings failed to find current Filter value");
  desc_.ADF = FeederFlags(flatbed_, colour_, *filter);
  return true;
}

void SourceConversion::ComputeCounts() {
  LineRules rules;
  rules.xResolution = desc_.XRes;
  rules.yResolution = desc_.YRes;
  rules.colour = colour_;
  rules.lineArt = lineArt_;
  rules.compressed = desc_.CompressType != kCompressNone;
  rules.twoSided = twoSided_;
  const ReduzidInq& inq = settings_.inquiry;
  rules.pixelBound = colour_ ? inq.ColorPixelBound : lineArt_ ? inq.LineartPixelBound : inq.GrayPixelBound;
  rules.engineWidthFlag = settings_.widthFlag;
  std::copy(std::begin(settings_.rowAlign), std::end(settings_.rowAlign), rules.rowAlign);
  const LineOut out = ComputeLines(rules, frame_.width, desc_.Width, desc_.Length);
  SetLineCount(desc_, static_cast<uint32_t>(out.lines));
  SetBytesPerLine(desc_, static_cast<uint32_t>(out.bytesPerLine));
  desc_.Width = static_cast<uint32_t>(out.descWidth);
  desc_.Length = static_cast<uint32_t>(out.descLength);
  PutDesc32(desc_, kPaperLengthLines, paperLines_);
}

void SourceConversion::ApplyToneCurves() {
  for (size_t c = 0; c < 3; ++c) {
    ApplyToneCurve(tables_ + c * kToneTableSize, settings_.twoByteTables, tone_[c].brightness, tone_[c].gamma,
                   tone_[c].contrast, blackLevel_, whiteLevel_);
  }
}

bool SourceConversion::ReadBitDepthReduction() {
  if (!lineArt_) return true;
  stream_->Restore();
  const auto reduction = CurrentValueBelow(store_, u"BitDepthReductions");
  if (!reduction) return Fail(u"ConvertXmlToSettings failed to find current Bitdepth reduction value");
  if (*reduction == u"Threshold") return true;
  uint16_t halftone = 0;
  if (*reduction == u"ErrorDiffusion")
    halftone = 0;
  else if (*reduction == u"Halftone")
    halftone = 1;
  else if (*reduction == u"Bayer")
    halftone = 2;
  else
    return Fail(u"ConvertXmlToSettings failed because of unsupported Bitdepth reduction");
  desc_.ImageComp = kCompDithered;
  desc_.HalftoneNum = halftone;
  return true;
}

}  // namespace rzd::lowdrv::window
