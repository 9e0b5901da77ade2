// The scan pipeline of the engine driver: the preparation of a page, the read loop, the page
// metadata and the JPEG tables. ScanSteps holds the steps that need the driver's members; the
// driver's operations (PrepareScan, Read, GenerateMetaData, ...) run them.
//
// A step that fails throws a ScanFailure with the result code after logging its line; each
// operation catches it at its end and returns the code.
#pragma once

#include "lowdrv/core/driver_engine.h"
#include "lowdrv/engine/engine_caps.h"

#include <cstdint>
#include <string>

namespace rzd::lowdrv {

class ReadResultTemplate;

struct ScanFailure {
  LLDError code;
};

// Byte `offset` of a window descriptor (offsets count from the descriptor's first byte, as the
// window record's bytes from 8 on).
inline uint8_t DescByte(const ReduzidWindowDescriptor& d, size_t offset) {
  return reinterpret_cast<const uint8_t*>(&d)[offset];
}
inline uint8_t& DescByte(ReduzidWindowDescriptor& d, size_t offset) { return reinterpret_cast<uint8_t*>(&d)[offset]; }

// Descriptor bytes the pipeline reads.
namespace desc {
constexpr size_t kComposition = 25;
constexpr size_t kCompression = 32;
constexpr size_t kSamplingMode = 33;
constexpr size_t kFixedLength = 36;    // bit 0: length detection is off
constexpr size_t kFeeder = 42;         // bit 7: fed from the document feeder
constexpr size_t kSides = 57;          // bit 4 duplex, bit 3 back side (first), bit 7 continuous
constexpr size_t kBackgroundLines = 61;
constexpr size_t kPagesPerJob = 62;
constexpr size_t kMultifeed = 63;      // bit 3: pause on a double feed; bit 1: ultrasonic option
constexpr size_t kQuality = 65;
constexpr size_t kImageProcessing = 71;  // 68 bytes
constexpr size_t kAutoWidth = 87;      // hardware crop mode
constexpr size_t kQuarterTurn = 96;    // bit 0
constexpr size_t kPaperHandling = 139; // bit 7: keep the reservation after a stop
}  // namespace desc

// What a window says about the page, and the sizes derived from it.
struct WindowFacts {
  uint16_t xRes = 0;
  uint16_t yRes = 0;
  uint8_t composition = 0;
  bool jpeg = false;
  uint8_t samplingMode = 0;
  bool fixedLength = false;
  bool fromFeeder = false;
  uint8_t sides = 0;  // descriptor byte 57
  bool duplex = false;
  bool backFirst = false;
  bool autoWidth = false;
  bool quarterTurn = false;
  bool dfdPause = false;
  bool keepReservation = false;
  bool onePagePerJob = false;
  uint32_t lineBytesField = 0;  // bytes 45-46 with 59 as high byte
  uint32_t lineCountField = 0;  // bytes 47-48 with 60 as high byte
  // Derived.
  uint32_t bytesPerLine = 0;
  uint32_t linesPerPage = 0;
  uint32_t linesPerSide = 0;
  uint32_t pixelsPerLine = 0;   // JPEG frame width
  uint8_t bits = 8;             // JPEG: 24 for colour, else 8
};

WindowFacts FactsOf(const ReduzidWindowDescriptor& d);

// The most bytes a background block may take (both sides); windows asking more are refused.
inline constexpr uint64_t kMaxBackgroundBytes = 64u * 1024 * 1024;

class ScanSteps {
 public:
  // ---- The preparation (PrepareScan, ReadBackground).
  static LLDError Prepare(CRZDREduzidLLD& d, uint8_t* media);
  static LLDError Background(CRZDREduzidLLD& d, uint8_t* buffer, uint32_t* size);

  // ---- The read loop (Read).
  static LLDError Read(CRZDREduzidLLD& d, uint8_t* buffer, uint32_t* size, BSTR* meta, uint32_t* boundary);

  // ---- The page metadata (GenerateMetaData, both forms).
  struct MetaCall {
    const ReduzidWindowDescriptor* window = nullptr;
    uint32_t lines = 0;
    uint32_t bytes = 0;
    bool endOfImage = false;
    std::u16string_view sourceId;
    uint32_t autoWidth = 0;
    uint32_t sideLines = 0;
    uint32_t sideBytes = 0;
    bool blank = false;
    uint32_t mcu = 0;
  };
  static bool Metadata(CRZDREduzidLLD& d, const MetaCall& call, bool bothSides, BSTR* out);
  // The same on a given template (the driver's is its resource XML 120).
  static bool Metadata(CRZDREduzidLLD& d, const MetaCall& call, bool bothSides, const ReadResultTemplate& shape,
                       BSTR* out);

  // The boundary state: 1, 2 or 3, else 6 (no page open).
  static uint32_t BoundaryState(const CRZDREduzidLLD& d);
  // The driver's current window description (null when the settings have none).
  static const ReduzidWindowDescriptor* CurrentWindow(CRZDREduzidLLD& d);
  // The description of a document source (the primary, alternate or third one whose source it
  // is); the selected one when none is.
  static const RZDWindowDescription& DescriptionOf(CRZDREduzidLLD& d, std::u16string_view sourceId);

  // Disables and stops the imprinter when the option is on and it was started; clears the flag.
  static void StopImprinter(CRZDREduzidLLD& d);

  static CLogClient& Log(CRZDREduzidLLD& d) { return d.EngineLog(); }
  static CLogClient& BaseLog(CRZDREduzidLLD& d) { return d.BaseLog(); }
};

// The Exif texts of the driver's JPEG headers: Make is the system's maker, or "Quarx" when the
// model text names it; Model is the unit's friendly name cut before its first " #".
void ExifTexts(const std::u16string& friendlyName, std::string& make, std::string& model);

// Selects the description for the pages after the first: the third when defined, else the
// alternate one (when defined).
void SelectNextDescription(CScannerSettings_AV& settings);

}  // namespace rzd::lowdrv
