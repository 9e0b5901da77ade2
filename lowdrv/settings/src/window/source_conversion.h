// The conversion of one document source of a current-settings document into a window
// description: descriptor, three tone tables, colour matrix and truncation lengths.
//
// The store stands on the document source's item. Settings are read below the node they belong
// to: the document source (operating mode, DFD, paper handling), its set image source (blank
// pages, crop, rotation, filters) and that image source's set stream (resolution, frame, tables,
// compression, tone, levels). Every failure logs its reason at the error level and ends the
// conversion with false; what was written into the outputs is then of no use and the caller
// drops it.
#pragma once

#include "foundation/log_client.h"
#include "foundation/xml_store.h"
#include "frame_geometry.h"
#include "lowdrv/engine/inquiry_record.h"
#include "lowdrv/engine/window_desc.h"
#include "store_read.h"

#include <cstdint>
#include <memory>
#include <string>

namespace rzd::lowdrv {
class CScannerSettings_AV;
}

namespace rzd::lowdrv::window {

// The settings object's values the conversion reads.
struct SourceConversionSettings {
  ReduzidInq inquiry{};
  int32_t overscanMargin = 500;
  int32_t frontTruncation = 200;
  int32_t backTruncation = 200;
  uint32_t rowAlign[4] = {1, 1, 8, 8};
  uint16_t halftone = 127;
  uint8_t qualityMin = 24;
  uint8_t qualityMax = 92;
  bool cropDeskewAllowed = true;  // HWIP_CropDeskew
  bool threeSensor = false;       // the DFD sensor switches are read
  bool widthFlag = false;         // the engine keeps its pixel boundary and the width as sent
  bool twoByteTables = true;      // IsGammaTable512
  int32_t autoCropMaxDpi = 0;     // MaxDPI of the supported document's first AutoCrop
  int32_t straightenMaxDpi = 0;   // MaxDPI of its first Straighten
};

// The object's flags the conversion sets.
struct SourceConversionFlags {
  uint8_t& flatbedSource;
  uint8_t& staplesDetect;
  uint8_t& dfdSensorLeft;
  uint8_t& dfdSensorCenter;
  uint8_t& dfdSensorRight;
};

// Brightness, gamma and contrast of one colour channel.
struct ChannelTone {
  uint8_t brightness = 128;
  double gamma = 1.0;
  uint8_t contrast = 128;
};

class SourceConversion {
 public:
  SourceConversion(CScannerSettings_AV& owner, const CLogClient& log, MSXML6StoreBSTR& store,
                   const SourceConversionSettings& settings, SourceConversionFlags flags,
                   ReduzidWindowDescriptor& desc, uint8_t* tables, uint16_t* matrix);

  bool Run(uint32_t& frontTruncation, uint32_t& backTruncation);

 private:
  bool Fail(const char16_t* reason);

  // Below the document source.
  bool ReadSourceType();
  bool ReadOperatingMode();
  bool ReadDfd();
  void ReadPaperHandling();
  // The image source and the settings below it.
  bool FindImageSource();
  void ReadImageOptions();
  // The stream and the settings below it.
  bool FindStream();
  void ComputeCropMode();
  void ReadFilters();
  bool ReadFrame();
  bool ReadTables();
  bool ReadCompression();
  void ApplyLengthDetection();
  bool ReadTone();
  bool ReadLevels();
  bool ReadDropOut();
  void ComputeCounts();
  void ApplyToneCurves();
  bool ReadBitDepthReduction();
  void WritePaperBytes();

  CScannerSettings_AV& owner_;
  const CLogClient& log_;
  MSXML6StoreBSTR& store_;
  const SourceConversionSettings& settings_;
  SourceConversionFlags flags_;
  ReduzidWindowDescriptor& desc_;
  uint8_t* tables_;
  uint16_t* matrix_;

  std::unique_ptr<KeptContext> source_, image_, stream_;

  bool flatbed_ = false;
  bool adf_ = false;
  bool lengthDetection_ = true;
  bool longLength_ = false;
  int32_t setLength_ = -1;
  uint32_t paperBits_ = 0;
  bool twoSided_ = false;
  bool cropWished_ = false;
  bool deskewWished_ = false;
  bool colour_ = false;
  bool lineArt_ = false;
  int32_t resolution_ = 0;
  uint8_t cropMode_ = 0;
  bool horizontalOverscan_ = false;
  bool verticalOverscan_ = false;
  uint32_t frontTruncation_ = 0;
  uint32_t backTruncation_ = 0;
  FrameOut frame_;
  bool jpeg_ = false;
  uint32_t paperLines_ = 0;
  ChannelTone tone_[3];
  int32_t whiteLevel_ = 255;
  int32_t blackLevel_ = 0;
};

}  // namespace rzd::lowdrv::window
