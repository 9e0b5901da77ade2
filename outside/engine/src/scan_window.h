// The scan window as the unit uses it, parsed from either command set's SET WINDOW record.
#pragma once

#include "sense.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace rzd::engine {

enum class ImageMode : uint8_t { LineArt, Halftone, Gray, Color };

// Where the paper is read: the new window's source field.
enum class ScanSource : uint8_t { Flatbed = 0, FeederFront = 1, FeederDuplex = 4, FeederBack = 5 };

struct ScanWindow {
  uint16_t xResolution = 0;
  uint16_t yResolution = 0;
  uint32_t xStart = 0, yStart = 0, width = 0, length = 0;  // 1/1200 inch
  uint32_t pixelsPerLine = 0;
  uint32_t lineCount = 0;  // lines of the window; both sides together for a duplex window
  uint32_t bytesPerLine = 0;
  ImageMode mode = ImageMode::Gray;
  ScanSource source = ScanSource::FeederFront;
  bool jpeg = false;
  uint8_t sampling = 0;     // compression argument: 1 (2x2), 2 (2x1), 3 (1x1), else one component
  uint16_t pagesPerJob = 0;
  uint8_t multifeedFlags = 0;
  bool backgroundScan = false;  // classic window asking for a background line (no paper moves)

  bool Duplex() const { return source == ScanSource::FeederDuplex; }
  // Lines of one side.
  uint32_t LinesPerSide() const { return Duplex() ? lineCount / 2 : lineCount; }
};

// Largest values the unit accepts (bound what the host sends before anything is allocated).
inline constexpr uint32_t kMaxBytesPerLine = 1u << 20;
inline constexpr uint32_t kMaxLines = 0xFFFFFF;
inline constexpr uint32_t kMaxJpegDimension = 65500;

struct WindowResult {
  std::optional<ScanWindow> window;
  Sense error;  // when no window
};

// The new set's 96-byte window.
WindowResult ParseNewWindow(const uint8_t* data, size_t size);
// The classic SET WINDOW parameter list (8-byte header, then the descriptor).
WindowResult ParseClassicWindow(const uint8_t* data, size_t size);

}  // namespace rzd::engine
