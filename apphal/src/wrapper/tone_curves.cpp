// Tone curves of the wrapper: the curve from intensity and contrast, the model's fixed curve, and
// the gamma tuning of the local machine's TuneGammaForVRS switch.
#include "apphal/twain_wrap.h"
#include "platform/registry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace rzd::apphal {

namespace {

// The model's curve as listed, in index order; the entries past the list are 255.
constexpr std::array<uint8_t, 232> kFixedCurve{
    64,  64,  64,  64,  65,  67,  69,  70,  72,  73,  75,  76,  78,  79,  80,  82,  83,  85,  86,  87,  89,  90,
    91,  92,  94,  95,  96,  97,  98,  100, 101, 102, 103, 104, 105, 107, 108, 109, 110, 111, 112, 113, 114, 115,
    116, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138,
    139, 139, 140, 141, 142, 143, 144, 145, 146, 146, 147, 148, 149, 150, 151, 152, 152, 153, 154, 155, 157, 157,
    158, 159, 160, 161, 161, 162, 163, 164, 165, 165, 166, 167, 168, 169, 169, 170, 171, 172, 172, 173, 174, 175,
    175, 176, 177, 178, 178, 179, 180, 181, 181, 182, 183, 183, 184, 185, 186, 186, 187, 188, 189, 190, 191, 191,
    192, 193, 193, 194, 195, 195, 196, 197, 198, 198, 199, 200, 200, 201, 202, 202, 203, 204, 204, 205, 206, 206,
    207, 208, 208, 209, 209, 210, 211, 211, 212, 213, 213, 214, 215, 215, 216, 217, 218, 218, 219, 220, 220, 221,
    222, 222, 223, 223, 224, 225, 225, 226, 226, 227, 228, 228, 229, 230, 230, 231, 231, 232, 233, 233, 234, 234,
    235, 236, 236, 237, 237, 238, 238, 239, 240, 240, 241, 241, 242, 243, 244, 244, 245, 245, 246, 247, 247, 248,
    248, 249, 249, 250, 251, 251, 252, 252, 253, 253, 254, 254};

// A record value as the byte the tuning works with: value × 256 / 100, held to 0..255 (an
// intensity of 100 gives 256, which as a byte would be 0 and turn the table black).
int32_t TuningByte(int32_t value) {
  const int64_t scaled = static_cast<int64_t>(value) * 256 / 100;
  return static_cast<int32_t>(std::clamp<int64_t>(scaled, 0, 255));
}

}  // namespace

bool BuildIntensityContrastCurve(int32_t intensity, int32_t contrast, uint8_t* table, size_t length) {
  if (table == nullptr || length < 256) return false;
  const bool wide = length >= 65536;
  const double entries = wide ? 65536.0 : 256.0;
  const double maximum = wide ? 65535.0 : 255.0;
  // Everything in floating point: the identity at 50/50 has slope 1 and no offset.
  const double i = std::clamp(intensity, 10, 90);
  const double k = std::clamp(contrast, 10, 90);
  const double mid = entries / 2;
  const double top = entries - 1;
  const double slope = std::tan((50 - k) * (std::numbers::pi / 2) / 100 + std::numbers::pi / 4);
  const double offset = i / 100 * top - top / 2;
  const size_t count = wide ? 65536 : 256;
  for (size_t index = 0; index < count; ++index) {
    const double w = std::clamp(static_cast<double>(index) + offset, 0.0, top);
    double entry = 0;
    if (mid - mid * slope < w && w < mid + mid * slope) {
      entry = (w - mid) / slope + mid;
    } else if (w >= mid + mid * slope) {
      entry = top;
    }
    const double value = std::min(std::trunc(entry + 0.5), maximum);
    if (wide) {
      const auto v = static_cast<uint16_t>(value);
      std::memcpy(table + index * 2, &v, sizeof(v));
    } else {
      table[index] = static_cast<uint8_t>(value);
    }
  }
  return true;
}

bool BuildFixedCurve(uint8_t* table, size_t length) {
  if (table == nullptr || length < 256) return false;
  std::copy(kFixedCurve.begin(), kFixedCurve.end(), table);
  std::fill(table + kFixedCurve.size(), table + 256, uint8_t{255});
  return true;
}

void TuneGammaTable(uint8_t* table, int32_t intensity, int32_t contrast) {
  const int32_t b = TuningByte(intensity);
  const int32_t c = TuningByte(contrast);
  const double e = (b - 128) / 128.0;
  double p = (c - 128) / 128.0;
  if (p < 0) {
    p = p + 1;
  } else {
    p = p == 1 ? 127 : 1 / (1 - p);
  }
  for (size_t index = 0; index < 256; ++index) {
    const double f = table[index] / 255.0;
    const double g = e < 0 ? (e + 1) * f : (1 - f) * e + f;
    const double h = std::max(g > 0.5 ? 1 - g : g, 0.0);
    const double l = std::pow(2 * h, p) * 0.5;
    const double tuned = (g > 0.5 ? 1 - l : l) * 255;
    table[index] = static_cast<uint8_t>(std::clamp(std::trunc(tuned), 0.0, 255.0));
  }
}

bool GammaTuningEnabled() {
  RegKey key;
  if (RegKey::Open(Hive::LocalMachine, kTuneGammaKeyPath, &key) != ERROR_SUCCESS) return false;
  uint32_t enabled = 0;
  return key.GetDword(u"Enabled", &enabled) == ERROR_SUCCESS && enabled == 1;
}

bool CTWAINwrap::BuildToneCurve(const ZQSCANINFO* pinfo, int32_t /*channel*/, uint8_t* table, size_t length) {
  if (pinfo == nullptr) return false;
  return BuildIntensityContrastCurve(pinfo->Intensity, pinfo->Contrast, table, length);
}

bool CTWAINwrapOver::BuildToneCurve(const ZQSCANINFO* /*pinfo*/, int32_t /*channel*/, uint8_t* table, size_t length) {
  return BuildFixedCurve(table, length);
}

}  // namespace rzd::apphal
