// The conversion of one document source: the order of the steps and the settings of the
// document source itself (type, operating mode, DFD, paper handling).
#include "source_conversion.h"

#include "descriptor_bytes.h"
#include "lowdrv/settings/settings_av.h"
#include "platform/text.h"
#include "window_values.h"

namespace rzd::lowdrv::window {

SourceConversion::SourceConversion(CScannerSettings_AV& owner, const CLogClient& log, MSXML6StoreBSTR& store,
                                   const SourceConversionSettings& settings, SourceConversionFlags flags,
                                   ReduzidWindowDescriptor& desc, uint8_t* tables, uint16_t* matrix)
    : owner_(owner),
      log_(log),
      store_(store),
      settings_(settings),
      flags_(flags),
      desc_(desc),
      tables_(tables),
      matrix_(matrix) {}

bool SourceConversion::Fail(const char16_t* reason) {
  RZD_LOG_ERROR_OF(log_, u"%s", reason);
  return false;
}

bool SourceConversion::Run(uint32_t& frontTruncation, uint32_t& backTruncation) {
  source_ = std::make_unique<KeptContext>(store_);
  if (!source_->Saved()) return Fail(u"ConvertXmlToSettings cannot find current DocumentSource");

  if (!ReadSourceType() || !ReadOperatingMode() || !ReadDfd()) return false;
  ReadPaperHandling();
  if (!FindImageSource()) return false;
  ReadImageOptions();
  if (!FindStream()) return false;
  ComputeCropMode();
  ReadFilters();
  if (!ReadFrame() || !ReadTables() || !ReadCompression()) return false;
  ApplyLengthDetection();
  if (!ReadTone() || !ReadLevels() || !ReadDropOut()) return false;
  ComputeCounts();
  ApplyToneCurves();
  if (!ReadBitDepthReduction()) return false;
  WritePaperBytes();

  frontTruncation = frontTruncation_;
  backTruncation = backTruncation_;
  return true;
}

bool SourceConversion::ReadSourceType() {
  source_->Restore();
  const auto type = AttributeHere(store_, u"Type");
  flatbed_ = type && *type == u"Flatbed";
  adf_ = type && *type == u"ADF";
  flags_.flatbedSource = flatbed_ ? 1 : 0;
  return true;
}

bool SourceConversion::ReadOperatingMode() {
  source_->Restore();
  const auto mode = TextBelow(store_, u".//OperatingModes/Enum/Value[@IsCurrent='true']");
  if (!mode) return Fail(u"ConvertXmlToSettings cannot find current Operation mode for main source");
  desc_.SetCapEx1 = 0;
  if (*mode == u"Continuous") {
    desc_.SetCapEx1 |= kCapContinuous;
    desc_.PagesPerJob = 0;
  } else {
    desc_.PagesPerJob = 1;
  }
  return true;
}

bool SourceConversion::ReadDfd() {
  source_->Restore();
  if (!MoveTo(store_, u".//Sensors/List/Item[@Type='DFD']")) return true;
  KeptContext dfd(store_);

  const int32_t sensitivity = RangeIntBelow(store_, u"Sensitivities").value_or(1);
  const auto level = MultifeedLevel(sensitivity);
  if (!level) return Fail(u"ConvertXmlToSettings cannot find DFD sensitivity");
  desc_.MFDlevel = *level;

  const auto enabled = CurrentValueBelow(store_, u"IsEnabled");
  if (!enabled) return Fail(u"ConvertXmlToSettings cannot find DFD state");
  desc_.MFDenable = *enabled == u"On" ? kMfdEnabled : 0;

  const auto action = CurrentValueBelow(store_, u"Action");
  if (!action) return Fail(u"ConvertXmlToSettings cannot find DFD action mode");
  if (*action == u"StopAndContinue")
    desc_.MFDenable |= kMfdStopAndContinue;
  else if (*action != u"Stop")
    desc_.SetCapEx1 |= kCapDfdActionNone;

  if (settings_.threeSensor) {
    struct Sensor {
      const char16_t* name;
      uint8_t& value;
      const char16_t* missing;
    };
    const Sensor sensors[] = {
        {u"DFDSensorLeft", flags_.dfdSensorLeft, u"ConvertXmlToSettings cannot find left DFD sensor setting"},
        {u"DFDSensorCenter", flags_.dfdSensorCenter, u"ConvertXmlToSettings cannot find center DFD sensor setting"},
        {u"DFDSensorRight", flags_.dfdSensorRight, u"ConvertXmlToSettings cannot find right DFD sensor setting"},
    };
    for (const Sensor& sensor : sensors) {
      const auto value = CurrentValueBelow(store_, sensor.name);
      if (!value) {
        RZD_LOG_ERROR_OF(log_, u"%s", sensor.missing);
        continue;
      }
      sensor.value = *value == u"On" ? 1 : 0;
    }
  }
  return true;
}

void SourceConversion::ReadPaperHandling() {
  source_->Restore();
  uint8_t* bytes = DescBytes(desc_);

  flags_.staplesDetect = IsOnBelow(store_, u"StaplesDetect") ? 1 : 0;

  const auto detection = CurrentValueBelow(store_, u"LengthDetection");
  lengthDetection_ = !flatbed_ && !(detection && *detection == u"Off");

  const auto handling = CurrentValueBelow(store_, u"PaperHandling");
  if (!handling)
    RZD_LOG_ERROR_OF(log_, u"ConvertXmlToSettings failed to find current PaperHandling value");
  else if (*handling == u"Fragile")
    desc_.UseTrans |= kUseTransFragile;

  if (IsOnBelow(store_, u"LongLengthEnabled")) {
    longLength_ = true;
    setLength_ = -1;
    if (auto length = TextBelow(store_, u".//LongLengthEnabled/@SetLength")) setLength_ = WToI(*length);
    desc_.MFDenable &= static_cast<uint8_t>(~kMfdEnabled);
    paperBits_ |= kPaperLongLength;
  } else {
    paperBits_ &= ~kPaperLongLength;
  }

  if (IsOnBelow(store_, u"CarrierSheetMode"))
    paperBits_ |= kPaperCarrierSheet;
  else
    paperBits_ &= ~kPaperCarrierSheet;

  const auto longDocument = CurrentValueBelow(store_, u"LongDocumentMode");
  if (!longDocument)
    RZD_LOG_INFO_OF(log_, u"ConvertXmlToSettings failed to find current LongDocumentMode value");
  if (longDocument && *longDocument == u"On")
    bytes[kDocumentModeBits] |= kDocumentModeLong;
  else
    bytes[kDocumentModeBits] &= static_cast<uint8_t>(~kDocumentModeLong);

  if (adf_) {
    if (IsOnBelow(store_, u"Paperweight"))
      bytes[kDocumentModeBits] |= kDocumentModePaperweight;
    else
      bytes[kDocumentModeBits] &= static_cast<uint8_t>(~kDocumentModePaperweight);
  }

  if (!flatbed_) {
    if (IsOnBelow(store_, u"CatchPageOnExit")) paperBits_ |= kPaperCatchPageOnExit;
    if (IsOnBelow(store_, u"StopAfterPageLength")) paperBits_ |= kPaperStopAfterPageLength;
    if (IsOnBelow(store_, u"DoNotRewindAfterStop")) paperBits_ |= kPaperDoNotRewind;
  }
}

bool SourceConversion::FindImageSource() {
  source_->Restore();
  if (!MoveTo(store_, u".//Item[@Name='ImageSource'][@IsSet='true']"))
    return Fail(u"ConvertXmlToSettings cannot find current image source");
  std::unique_ptr<KeptContext> main = std::make_unique<KeptContext>(store_);
  twoSided_ = false;
  if (store_.MoveToNextNode()) {
    const auto secondType = AttributeHere(store_, u"Type");
    if (!secondType) return Fail(u"ConvertXmlToSettings cannot find second image source type");
    twoSided_ = true;
    if (*secondType != u"Back") main = std::make_unique<KeptContext>(store_);
  }
  image_ = std::move(main);
  image_->Restore();
  const auto type = AttributeHere(store_, u"Type");
  if (!type) return Fail(u"ConvertXmlToSettings cannot find main image source type");
  if (twoSided_)
    desc_.SetCapEx1 |= kCapTwoSided;
  else if (*type == u"Back")
    desc_.SetCapEx1 |= kCapBackOnly;
  return true;
}

void SourceConversion::WritePaperBytes() { PutDesc32(desc_, kPaperHandlingBits, paperBits_); }

}  // namespace rzd::lowdrv::window
