#include "tone_curve.h"

#include <cmath>

namespace rzd::lowdrv::window {

uint8_t ToneValue(uint8_t input, uint8_t brightness, double gamma, uint8_t contrast) {
  const double f = input / 255.0;
  const double b = (static_cast<int>(brightness) - 128) * 0.0078125;
  const double c = (static_cast<int>(contrast) - 128) * 0.0078125;

  // Brightness moves the value towards 0 (below neutral) or towards 1 (above).
  const double g = b < 0 ? (b + 1) * f : (1 - f) * b + f;

  // Contrast bends each half of the range around the middle.
  double h = g > 0.5 ? 1 - g : g;
  if (h < 0) h = 0;
  const double p = c < 0 ? c + 1 : 1 / (1 - c);
  const double v = std::pow(2 * h, p) * 0.5;
  const double w = g > 0.5 ? 1 - v : v;

  const double result = std::pow(w, 1 / gamma) * 255;
  if (!(result > 0)) return 0;  // also NaN
  if (result >= 255) return 255;
  return static_cast<uint8_t>(result);  // truncated toward zero
}

uint8_t ToneEntry(const uint8_t* table, size_t i, bool twoByte) { return table[ToneEntryOffset(i, twoByte)]; }

void SetToneEntry(uint8_t* table, size_t i, uint8_t value, bool twoByte) {
  if (twoByte) table[2 * i] = 0;
  table[ToneEntryOffset(i, twoByte)] = value;
}

void ApplyToneCurve(uint8_t* table, bool twoByte, uint8_t brightness, double gamma, uint8_t contrast,
                    int32_t blackLevel, int32_t whiteLevel) {
  for (size_t i = 0; i < kToneEntries; ++i) {
    uint8_t& entry = table[ToneEntryOffset(i, twoByte)];
    const uint8_t value = ToneValue(entry, brightness, gamma, contrast);
    if (value < blackLevel)
      entry = 0;
    else if (value > whiteLevel)
      entry = 255;
    else
      entry = value;
  }
}

}  // namespace rzd::lowdrv::window
