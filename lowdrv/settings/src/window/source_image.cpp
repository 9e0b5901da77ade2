// The conversion of one document source: the image source's options, the stream, the crop mode,
// the image filters and the frame.
#include "descriptor_bytes.h"
#include "lowdrv/settings/settings_av.h"
#include "platform/text.h"
#include "source_conversion.h"
#include "window_values.h"

#include <algorithm>

namespace rzd::lowdrv::window {

void SourceConversion::ReadImageOptions() {
  image_->Restore();
  uint8_t* bytes = DescBytes(desc_);
  if (IsOnBelow(store_, u"DiscardBlankPages"))
    bytes[kBlankPageThreshold] = BlankPageThresholdByte(true, RangeIntBelow(store_, u"BlankPageThreshold").value_or(0));
  cropWished_ = IsOnBelow(store_, u"AutoCrop");
  deskewWished_ = IsOnBelow(store_, u"Straighten");
  const auto text = TextBelow(store_, u".//Streams/List/Item/ImageQuality/TextEnhanced/Enum/Value[@IsCurrent='true']");
  if (text && *text == u"On") bytes[kTextEnhancement] = 1;
  if (const auto rotation = CurrentValueBelow(store_, u"Rotations")) {
    if (*rotation == u"Auto")
      bytes[kAutoRotation] = 1;
    else if (const uint8_t r = RotationByte(*rotation); r != 0)
      bytes[kRotation] = r;
  }
}

bool SourceConversion::FindStream() {
  image_->Restore();
  if (!MoveTo(store_, u".//Item[@Name='Stream'][@IsSet='true']"))
    return Fail(u"ConvertXmlToSettings cannot find current stream");
  stream_ = std::make_unique<KeptContext>(store_);
  const auto depthText = AttributeHere(store_, u"BitDepth");
  const int32_t depth = depthText ? WToI(*depthText) : 0;
  if (depth == 0) return Fail(u"ConvertXmlToSettings cannot find current bit depth");
  colour_ = depth == 24;
  lineArt_ = depth != 24 && depth != 8;
  desc_.ImageComp = colour_ ? kCompColour : lineArt_ ? kCompLineArt : kCompGray;
  desc_.BitsPerChannel = lineArt_ ? 1 : 8;
  desc_.HalftoneNum = lineArt_ ? 0 : settings_.halftone;
  desc_.Brightness = 0;
  desc_.Contrast = 0;
  desc_.Threshold = 128;

  const auto resolution = CurrentValueBelow(store_, u"Resolutions");
  resolution_ = resolution ? WToI(*resolution) : 0;
  if (resolution_ < 1 || resolution_ > 0xFFFF) return Fail(u"ConvertXmlToSettings cannot find current resolution");
  desc_.XRes = static_cast<uint16_t>(resolution_);
  desc_.YRes = static_cast<uint16_t>(resolution_);
  return true;
}

void SourceConversion::ComputeCropMode() {
  cropMode_ = CropMode(settings_.cropDeskewAllowed, cropWished_, deskewWished_, resolution_,
                       settings_.autoCropMaxDpi, settings_.straightenMaxDpi);
}

void SourceConversion::ReadFilters() {
  image_->Restore();
  uint8_t* bytes = DescBytes(desc_);
  if (IsOnBelow(store_, u"Blur")) bytes[kBlur] = 1;
  if (IsOnBelow(store_, u"BackgroundRemoval")) bytes[kBackgroundRemoval] = 255;
  if (const auto filter = CurrentValueBelow(store_, u"ImageFilters")) {
    const int32_t mask = std::clamp(RangeIntBelow(store_, u"FilterMask").value_or(1), 1, 15);
    if (*filter == u"Blur") bytes[kBlurStrength] = static_cast<uint8_t>(mask * 17);
    if (*filter == u"Sharpen") bytes[kSharpenStrength] = static_cast<uint8_t>(mask * 17);
  }
}

bool SourceConversion::ReadFrame() {
  stream_->Restore();
  if (!MoveTo(store_, u".//Frame")) return Fail(u"ConvertXmlToSettings cannot find Frame");
  KeptContext frameNode(store_);

  struct Edge {
    const char16_t* name;
    bool horizontal;
    int32_t value;
    std::u16string overscan;
  };
  Edge edges[] = {{u"Left", true, -1, {}}, {u"Top", false, -1, {}}, {u"Width", true, -1, {}}, {u"Length", false, -1, {}}};
  bool anyAuto = false;
  horizontalOverscan_ = false;
  verticalOverscan_ = false;
  for (Edge& edge : edges) {
    frameNode.Restore();
    if (!MoveTo(store_, edge.name)) continue;
    Bstr text;
    if (store_.GetText(text) && !text.View().empty()) edge.value = WToI(text.View());
    edge.overscan = AttributeHere(store_, u"OverScan").value_or(u"");
    if (edge.overscan == u"On") (edge.horizontal ? horizontalOverscan_ : verticalOverscan_) = true;
    if (edge.overscan == u"Auto") anyAuto = true;
  }
  if (anyAuto) horizontalOverscan_ = verticalOverscan_ = true;

  // A hardware crop needs the whole page: without long length it turns both over-scans on;
  // with long length the crop is dropped and so is the over-scan.
  if (cropMode_ != 0) {
    if (longLength_) {
      horizontalOverscan_ = verticalOverscan_ = false;
      cropMode_ = 0;
    } else {
      horizontalOverscan_ = verticalOverscan_ = true;
    }
  }
  DescBytes(desc_)[kCropMode] = cropMode_;
  if (verticalOverscan_) {
    frontTruncation_ = static_cast<uint32_t>(std::max(settings_.frontTruncation, 0));
    backTruncation_ = static_cast<uint32_t>(std::max(settings_.backTruncation, 0));
  } else {
    frontTruncation_ = backTruncation_ = 0;
  }

  FrameIn in;
  in.left = edges[0].value;
  in.top = edges[1].value;
  in.width = edges[2].value;
  in.length = edges[3].value;
  FrameRules rules;
  rules.flatbed = flatbed_;
  rules.adf = adf_;
  rules.horizontalOverscan = horizontalOverscan_;
  rules.verticalOverscan = verticalOverscan_;
  rules.margin = settings_.overscanMargin;
  rules.frontTruncation = settings_.frontTruncation;
  rules.backTruncation = settings_.backTruncation;
  rules.adfMaxWidth = settings_.inquiry.ADFMaxWidth;
  rules.overscanWidth = settings_.inquiry.OverscanWidth;
  rules.flatbedMaxLength = settings_.inquiry.FlatbedMaxLength;
  rules.longLength = longLength_;
  rules.setLength = setLength_;
  rules.yResolution = resolution_;
  switch (ComputeFrame(in, rules, frame_)) {
    case FrameError::Left: return Fail(u"ConvertXmlToSettings cannot find Frame.Left");
    case FrameError::Top: return Fail(u"ConvertXmlToSettings cannot find Frame.Top");
    case FrameError::Width: return Fail(u"ConvertXmlToSettings cannot find Frame.Width");
    case FrameError::Length: return Fail(u"ConvertXmlToSettings cannot find Frame.Length");
    case FrameError::None: break;
  }
  desc_.XStart = static_cast<uint32_t>(frame_.xStart);
  desc_.YStart = static_cast<uint32_t>(frame_.yStart);
  desc_.Width = static_cast<uint32_t>(frame_.descWidth);
  desc_.Length = static_cast<uint32_t>(frame_.descLength);
  paperLines_ = static_cast<uint32_t>(frame_.paperLines);
  if (verticalOverscan_) owner_.SettingsHookB(desc_);
  return true;
}

}  // namespace rzd::lowdrv::window
