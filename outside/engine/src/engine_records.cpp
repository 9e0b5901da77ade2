// The unit's self-description: the new set's inquiry answer, the classic inquiry record made
// from it, the non-volatile record and the other fixed answers.
#include "engine.h"
#include "lowdrv/engine/engine_caps.h"
#include "wire.h"

#include <algorithm>
#include <cstring>

namespace rzd::engine {

namespace caps = rzd::lowdrv::caps;

namespace {

// Positions inside the new set's inquiry answer (see BuildInquiryAnswer).
constexpr size_t kAnswerSize = 160;
constexpr size_t kVendorOffset = 128;
constexpr size_t kProductOffset = 136;
constexpr size_t kRevisionOffset = 152;
constexpr size_t kHalftoneOffset = 156;
constexpr size_t kErrorDiffusionOffset = 159;

// Feeder geometry in 1/300 inch.
constexpr uint32_t kFeederWidth = 2700;     // 9 inches
constexpr uint32_t kFeederLength = 4200;    // 14 inches
constexpr uint32_t kFeederHardMax = 70800;  // 236 inches

void PutText(uint8_t* at, size_t width, const std::string& text) {
  std::memset(at, ' ', width);
  std::memcpy(at, text.data(), std::min(width, text.size()));
}

void SetBit(std::vector<uint8_t>& a, caps::AnswerBit bit) { a[bit.offset] |= bit.mask; }

}  // namespace

void Engine::BuildInquiryAnswer() {
  std::vector<uint8_t> a(kAnswerSize, 0);
  a[2] = 2;
  wire::Put16(&a[3], kAnswerSize);
  a[5] = 0x06;  // scanner
  wire::Put16(&a[8], kVendorOffset);
  wire::Put16(&a[10], kProductOffset);
  wire::Put16(&a[12], kRevisionOffset);
  wire::Put16(&a[25], kFeederWidth);
  wire::Put16(&a[28], kFeederLength);
  a[48] = static_cast<uint8_t>(kFeederHardMax >> 16);
  wire::Put16(&a[49], kFeederHardMax & 0xFFFF);
  wire::Put16(&a[54], 0x0002);  // sheet-fed scanner
  wire::Put16(&a[56], options_.capabilityWord);
  wire::Put16(&a[58], 600);     // optical resolution
  wire::Put16(&a[60], 600);     // maximum resolution
  wire::Put16(&a[62], 1200);
  wire::Put16(&a[66], kHalftoneOffset);
  wire::Put16(&a[68], kErrorDiffusionOffset);
  a[70] = 32;  // line-art pixel boundary
  a[71] = 8;   // grey
  a[72] = 8;   // colour
  a[73] = 32;  // halftone
  a[74] = 8;   // 4-bit grey
  a[75] = 32;  // error diffusion
  a[76] = 9;   // buttons
  SetBit(a, caps::kAnswerPowerOffTimer);
  SetBit(a, caps::kAnswerDfdButtons);
  SetBit(a, caps::kAnswerTruncation);
  if (engineJpegHeaders_) SetBit(a, caps::kAnswerEngineJpegHeaders);
  if (options_.lcd) SetBit(a, caps::kAnswerLcd);
  if (options_.ultrasonic) {
    SetBit(a, caps::kAnswerUltrasonic);
    SetBit(a, caps::kAnswerUltrasonicOption);
  }
  if (options_.imprinter) SetBit(a, caps::kAnswerImprinter);
  if (options_.inputTray) SetBit(a, caps::kAnswerInputTray);
  wire::Put32(&a[caps::kAnswerImageProcessingOffset], 1);  // takes the image-processing block
  for (size_t i = 103; i <= 111; ++i) a[i] = 0x50;         // calibration bytes
  PutText(&a[kVendorOffset], 8, "QUARX");
  PutText(&a[kProductOffset], 16, "M48tz Scanner");
  PutText(&a[kRevisionOffset], 4, revision_);
  a[kHalftoneOffset] = 2;
  a[kHalftoneOffset + 1] = 1;
  a[kHalftoneOffset + 2] = 2;
  a[kErrorDiffusionOffset] = 1;
  inquiryAnswer_ = std::move(a);
}

// The classic inquiry record, big-endian, made from the new answer the way the new set's
// inquiry translation of the driver maps it, so both command sets describe the same unit.
std::vector<uint8_t> Engine::ClassicInquiryRecord() const {
  const std::vector<uint8_t>& a = inquiryAnswer_;
  const size_t n = a.size();
  auto f = [&](size_t o) -> uint32_t { return o + 1 < n ? wire::Get16(&a[o]) : 0; };
  std::vector<uint8_t> r(167, 0);
  r[0] = a[5];
  r[4] = 159 - 5;  // additional length: the classic read takes 159 bytes
  auto copyText = [&](uint32_t offset, size_t width, size_t to) {
    if (offset == 0 || offset >= n) return;
    const uint32_t total = f(3);
    size_t count = std::min<size_t>({width, total > offset ? total - offset : 0, n - offset});
    std::memcpy(&r[to], &a[offset], count);
  };
  copyText(f(8), 8, 8);
  copyText(f(10), 16, 16);
  copyText(f(12), 4, 32);
  wire::Put16(&r[87], f(28));
  wire::Put16(&r[85], f(25));
  wire::Put16(&r[131], f(49));
  r[130] = a[48];
  wire::Put16(&r[81], f(19));
  wire::Put16(&r[83], f(22));
  wire::Put16(&r[77], f(31));
  wire::Put16(&r[79], f(34));
  r[62] = static_cast<uint8_t>(f(54));
  const uint32_t res = (r[62] & 0x3F) ? f(60) : f(62);
  r[37] = static_cast<uint8_t>(f(58) / 100);
  wire::Put16(&r[89], (f(58) / 100) & 0xFF);
  r[38] = static_cast<uint8_t>(res / 100);
  for (size_t o : {40u, 42u, 44u, 46u}) wire::Put16(&r[o], res);
  const uint32_t c = f(56);
  r[95] |= 0x06;
  r[62] = static_cast<uint8_t>(r[62] + (c & 0x02));
  if (!(c & 0x20)) r[155] |= 0x01;
  if (!(c & 0x10)) r[155] |= 0x02;
  if (c & 0x40) r[94] |= 0x20;
  if ((c & 0x80) && (c & 0x100)) r[94] |= 0x08;
  r[148] |= static_cast<uint8_t>(c & 0x80);
  if (c & 0x100) r[95] |= 0x01;
  if (c & 0x200) r[128] |= 0x80;
  if (c & 0x400) r[158] |= 0x02;
  if (c & 0x800) r[158] |= 0x04;
  const uint32_t ht = f(66);
  if (ht != 0 && ht < n) {
    r[63] = a[ht];
    const size_t count = std::min<size_t>({a[ht], 10, n - ht - 1});
    std::memcpy(&r[65], &a[ht + 1], count);
  }
  const uint32_t ed = f(68);
  if (ed != 0 && ed < n) r[64] = a[ed];
  r[54] = a[72];
  r[55] = a[71];
  r[56] = a[74];
  r[57] = a[70];
  r[58] = a[73];
  r[59] = a[75];
  r[92] = a[76];
  wire::Put16(&r[134], f(82));
  wire::Put16(&r[136], f(86));
  wire::Put16(&r[138], f(80));
  wire::Put16(&r[140], f(84));
  if ((a[103] + a[104] + a[105]) / 3 <= 128) r[154] |= 0x01;
  if ((a[109] + a[110] + a[111]) / 3 <= 128) r[154] |= 0x10;
  auto from = [](uint8_t b, uint8_t bit, uint8_t value) -> uint8_t { return (b & bit) ? value : 0; };
  uint8_t b = a[88];
  r[39] |= from(b, 0x80, 0x40) | from(b, 0x40, 0x10);
  r[50] |= from(b, 0x20, 0x80) | from(b, 0x10, 0x04) | from(b, 0x08, 0x02) | from(b, 0x04, 0x01);
  r[51] |= from(b, 0x02, 0x20) | from(b, 0x01, 0x01) | 0x04;
  b = a[89];
  r[52] |= from(b, 0x80, 0x02);
  r[149] |= from(b, 0x40, 0x05);
  r[93] |= from(b, 0x20, 0x01);
  r[128] |= from(b, 0x01, 0x01);
  b = a[90];
  r[128] |= from(b, 0x20, 0x80);
  r[157] |= from(b, 0x10, 0x08) | from(b, 0x04, 0x20);
  r[133] |= from(b, 0x08, 0x01) | from(b, 0x02, 0x80);
  if ((b & 0x07) == 0x07) r[164] |= 0x04;
  r[156] |= b & 0x60;
  b = a[91];
  r[158] |= from(b, 0x10, 0x80);
  r[157] |= from(b, 0x04, 0x01);
  r[128] |= from(b, 0x02, 0x10);
  r[94] |= from(b, 0x01, 0x04);
  b = a[92];
  r[158] |= from(b, 0x80, 0x02) | from(b, 0x40, 0x04);
  r[133] |= from(b, 0x02, 0x20);
  r[129] = a[93];
  b = a[96];
  r[159] |= b & 0x10;
  r[164] |= from(b, 0x10, 0x01) | from(b, 0x01, 0x02);
  std::memcpy(&r[160], &a[98], 4);
  r[52] |= 0x10;
  if (a[97] & 0x04) r[156] |= 0x08;
  r.resize(159);  // what a classic read can carry
  return r;
}

void Engine::InitNvram() {
  nvram_.fill(0);
  uint8_t* v = nvram_.data();
  wire::Put16(v + 28, 3);     // born month
  wire::Put16(v + 30, 14);    // born day
  wire::Put16(v + 32, 2022);  // born year
  wire::Put16(v + 40, 1000);  // vertical magnification
  wire::Put16(v + 42, 1000);  // horizontal magnification
  v[44] = 0x01;               // CCD type
  v[45] = 0x40;               // scan speed
  std::memcpy(v + 46, options_.serialNumber.data(), std::min<size_t>(24, options_.serialNumber.size()));
  wire::Put16(v + 70, 15);   // power saving (sleep), minutes
  v[72] = 1;                 // auto feed
  PutText(v + 86, 16, "QUARX M48TZ");
  PutText(v + 102, 16, "Quarx M48tz");
  wire::Put16(v + 122, 240);  // power off, minutes
  wire::Put16(v + 148, 240);  // ERP, minutes
}

uint32_t Engine::Nvram32(size_t offset) const { return wire::Get32(&nvram_[offset]); }
void Engine::SetNvram16(size_t offset, uint32_t value) { wire::Put16(&nvram_[offset], value); }
void Engine::AddNvram32(size_t offset, uint32_t delta) {
  wire::Put32(&nvram_[offset], Nvram32(offset) + delta);
}

std::vector<uint8_t> Engine::CalibrationFormat() const {
  std::vector<uint8_t> c(32, 0);
  wire::Put16(&c[0], 5400);  // pixels per line: the feeder width at 600 dpi
  c[2] = 2;                  // bytes per channel
  c[3] = 16;                 // lines
  c[5] = 0x01;
  c[6] = c[7] = c[8] = 0x80;  // gains
  for (size_t o : {9u, 11u, 13u}) wire::Put16(&c[o], 0x3000);   // shading targets
  for (size_t o : {15u, 17u, 19u}) wire::Put16(&c[o], 0x0100);  // dark shading
  c[21] = 0x80;
  wire::Put16(&c[22], 0x3000);
  wire::Put16(&c[24], 0x0100);
  return c;
}

std::vector<uint8_t> Engine::LcdHeader() const {
  std::vector<uint8_t> h(20, 0);
  wire::Put16(&h[0], static_cast<uint32_t>(lcdStrings_.size()));
  h[3] = 20;
  wire::Put32(&h[4], static_cast<uint32_t>(7 + 260 * lcdStrings_.size()));
  wire::Put16(&h[8], lcdCurrentString_);
  return h;
}

std::vector<uint8_t> Engine::LcdAllStrings() const {
  std::vector<uint8_t> a = wire::LongAnswer(7 + 260 * lcdStrings_.size());
  wire::Put16(&a[0], static_cast<uint32_t>(lcdStrings_.size()));
  size_t at = 7;
  for (const auto& [number, text] : lcdStrings_) {
    wire::Put16(&a[at], number);
    const size_t len = std::min<size_t>(text.size(), 254);
    a[at + 3] = static_cast<uint8_t>(len);
    std::memcpy(&a[at + 6], text.data(), len);
    at += 260;
  }
  return a;
}

std::vector<uint8_t> Engine::ImprinterRecord(uint16_t dataType) const {
  switch (dataType) {
    case 0x200: {  // imprinter inquiry
      std::vector<uint8_t> r = wire::LongAnswer(71);
      r[7] = 1;    // front post-imprinter
      r[8] = 8;    // counter digits at most
      r[9] = 40;   // characters at most
      wire::Put32(&r[14], 99999999);
      return r;
    }
    case 0x201: {  // imprinter information
      std::vector<uint8_t> r = wire::LongAnswer(71);
      const auto params = imprinter_.blocks.find(0x202);
      uint32_t counter = 0;
      if (params != imprinter_.blocks.end() && params->second.size() >= 11)
        counter = wire::Get32(&params->second[7]);
      wire::Put32(&r[7], counter);
      wire::Put32(&r[11], 1);
      wire::Put16(&r[23], imprinter_.inkWhole);
      r[25] = static_cast<uint8_t>((imprinter_.enabled ? 1 : 0) | (imprinter_.started ? 2 : 0));
      wire::Put32(&r[26], imprinter_.cleanings);
      return r;
    }
    case 0x20B: {  // imprinter non-volatile data
      std::vector<uint8_t> r = wire::LongAnswer(521);
      wire::Put32(&r[21], imprinter_.cleanings);
      return r;
    }
    case 0x20F: {  // ink remaining
      std::vector<uint8_t> r = wire::LongAnswer(9);
      r[7] = imprinter_.inkWhole;
      r[8] = imprinter_.inkTenth;
      return r;
    }
    default: return {};
  }
}

std::vector<uint8_t> Engine::TrayAbility() const {
  std::vector<uint8_t> t = wire::ShortAnswer(32);
  wire::Put16(&t[4], 1);   // tray present
  wire::Put16(&t[6], 0);   // lowest height
  wire::Put16(&t[8], 3);   // highest height
  wire::Put16(&t[30], trayHeight_);
  return t;
}

}  // namespace rzd::engine
