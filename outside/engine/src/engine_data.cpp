// READ and SEND data types of both command sets.
#include "engine.h"
#include "engine/page_pattern.h"
#include "lowdrv/engine/engine_caps.h"
#include "lowdrv/engine/imprinter_records.h"
#include "wire.h"

#include <algorithm>
#include <cstring>

namespace rzd::engine {

namespace caps = rzd::lowdrv::caps;

namespace {

CommandResult Refuse(const Sense& s) {
  CommandResult r;
  r.check = true;
  r.sense = s;
  return r;
}

CommandResult LengthError() { return Refuse(sense::InvalidParameterListLength()); }
CommandResult NotSupported() { return Refuse(sense::InvalidCdbField()); }

// The room of an imprinter glyph block: its head and the most glyph data the engine keeps for it.
size_t ImprinterBlockRoom(uint16_t dataType) {
  switch (dataType) {
    case 0x204: return lowdrv::kImprSeparateFontHead + lowdrv::kImprSeparateFontData;
    case 0x205: return lowdrv::kImprDigitFontHead + lowdrv::kImprDigitFontData;
    case 0x206: return lowdrv::kImprPrintOutHead + lowdrv::kImprPrintOutData;
    default: return kMaxDataOut;
  }
}

// The head each imprinter data block needs at least.
size_t ImprinterBlockHead(uint16_t dataType) {
  switch (dataType) {
    case 0x204: return lowdrv::kImprSeparateFontHead;
    case 0x205: return lowdrv::kImprDigitFontHead;
    case 0x206: return lowdrv::kImprPrintOutHead;
    default: return 7;
  }
}

}  // namespace

CommandResult Engine::ReadNew(uint16_t dataType, size_t length, size_t inMax) {
  switch (dataType) {
    case 0x00: return ReadImage(inMax);
    case 0x60: {  // calibration format
      std::vector<uint8_t> a = wire::ShortAnswer(36);
      const std::vector<uint8_t> c = CalibrationFormat();
      std::memcpy(&a[4], c.data(), c.size());
      return Good(std::move(a));
    }
    case 0x69: {  // non-volatile record: 5-byte header with the 16-bit size, then the record
      std::vector<uint8_t> a(5 + kNvramSize, 0);
      a[2] = 2;
      wire::Put16(&a[3], static_cast<uint32_t>(a.size()));
      std::memcpy(&a[5], nvram_.data(), kNvramSize);
      return Good(std::move(a));
    }
    case 0x6D: return CalibrationPoll();
    case 0x6F: {  // calibration step count, one hexadecimal digit per byte
      std::vector<uint8_t> a = wire::ShortAnswer(8);
      for (int i = 0; i < 4; ++i) a[4 + i] = static_cast<uint8_t>((calibrationSteps_ >> (12 - 4 * i)) & 0x0F);
      return Good(std::move(a));
    }
    case 0x9B: return ReadBackgroundRaster(std::min(length, inMax));
    case 0xA0: {
      std::vector<uint8_t> a = wire::ShortAnswer(5);
      a[4] = LampStatus();
      return Good(std::move(a));
    }
    case 0xA1: {
      std::vector<uint8_t> a = wire::ShortAnswer(20);
      EventReport report = lastButtons_;
      report[6] = functionNumber_;
      std::memcpy(&a[4], report.data(), report.size());
      lastButtons_ = {};  // a press is reported once
      return Good(std::move(a));
    }
    case 0xB2: {
      std::vector<uint8_t> a = wire::ShortAnswer(7);
      a[4] = transferMode_;
      wire::Put16(&a[5], transferMode_ == caps::kDuplexBlocks ? caps::kDuplexBlockLines : 1);
      return Good(std::move(a));
    }
    case 0xD5:
      if (!options_.inputTray) return NotSupported();
      return Good(TrayAbility());
    case 0xE0:
      if (!options_.lcd) return NotSupported();
      return Good(LcdHeader());
    case 0xE2:
      if (!options_.lcd) return NotSupported();
      return Good(LcdAllStrings());
    case 0x200:
    case 0x201:
    case 0x20B:
    case 0x20F:
      if (!options_.imprinter) return NotSupported();
      return Good(ImprinterRecord(dataType));
    default: return NotSupported();
  }
}

CommandResult Engine::ReadBackgroundRaster(size_t length) {
  const uint32_t side = backgroundReads_ % 2;
  ++backgroundReads_;
  return Good(std::vector<uint8_t>(length, BackgroundByteOf(side)));
}

CommandResult Engine::SendNew(uint16_t dataType, const std::vector<uint8_t>& d) {
  const size_t n = d.size();
  auto declared32 = [&]() -> uint32_t { return n >= 7 ? wire::Get32(&d[3]) : 0; };
  switch (dataType) {
    case 0x60:  // calibration start
      if (n != 8) return LengthError();
      StartCalibration();
      return Good();
    case 0x81: {  // one tone table: 8-byte header (length, channel, 0x10), then the table
      if (n < 8 || wire::Get16(&d[3]) != n) return LengthError();
      const uint32_t channel = wire::Get16(&d[5]);
      if (channel > 2 || (n - 8 != 256 && n - 8 != 512)) return Refuse(sense::InvalidFieldInParameterList());
      gamma_[channel].assign(d.begin() + 8, d.end());
      return Good();
    }
    case 0x83:
      if (n != 22) return LengthError();
      matrix_.assign(d.begin() + 4, d.end());
      return Good();
    case 0x85:
      if (n != 174 || wire::Get16(&d[3]) != 174) return LengthError();
      if (wire::Get16(&d[5]) != 0x0012) return Refuse(sense::InvalidFieldInParameterList());
      std::memcpy(nvram_.data(), &d[7], kNvramSize);
      return Good();
    case 0x86:
      if (n < 10 || declared32() != n - 9) return LengthError();
      if (wire::Get16(&d[7]) != 0x0002) return Refuse(sense::InvalidFieldInParameterList());
      return FlashBlock(&d[9], n - 9);
    case 0x8B: {
      if (n != 132) return LengthError();
      if (std::find(d.begin() + 4, d.end(), 0) != d.end())
        return Refuse(sense::InvalidFieldInParameterList());
      std::memcpy(luminance_.data(), &d[4], 64);
      std::memcpy(chrominance_.data(), &d[68], 64);
      return Good();
    }
    case 0x8E:
      if (!options_.ultrasonic) return NotSupported();
      if (n != 7) return LengthError();
      ultrasonicMask_ = d[4] | (d[5] << 8) | (static_cast<uint32_t>(d[6]) << 16);
      return Good();
    case 0x95:
    case 0x96:
      if (n != 10) return LengthError();
      (dataType == 0x96 ? truncHead_ : truncTail_) = wire::Get16(&d[6]);
      return Good();
    case 0x98:
      if (n != ipBlock_.size()) return LengthError();
      std::memcpy(ipBlock_.data(), d.data(), n);
      return Good();
    case 0x99:  // paper release: 1 eject, 2 rewind
      if (n != 7) return LengthError();
      if (d[3] != 1 && d[3] != 2) return Refuse(sense::InvalidFieldInParameterList());
      PaperRelease(d[3]);
      return Good();
    case 0xA4:
      if (n != 12) return LengthError();
      functionNumber_ = d[4];
      return Good();
    case 0x105:
    case 0x106:
    case 0x10F:
      if (n != 6) return LengthError();
      SetNvram16(dataType == 0x105 ? 70 : dataType == 0x106 ? 122 : 148, wire::Get16(&d[4]));
      return Good();
    case 0xD5: {
      if (!options_.inputTray) return NotSupported();
      if (n != 6) return LengthError();
      const uint16_t height = wire::Get16(&d[4]);
      if (height > 3) return Refuse(sense::InvalidFieldInParameterList());
      trayHeight_ = height;
      return Good();
    }
    case 0xE2: {  // one LCD string
      if (!options_.lcd) return NotSupported();
      if (n != 265 || wire::Get16(&d[3]) != 265) return LengthError();
      const size_t len = d[8];
      if (len > 254) return Refuse(sense::InvalidFieldInParameterList());
      const uint16_t number = wire::Get16(&d[5]);
      lcdStrings_[number] = std::string(reinterpret_cast<const char*>(&d[11]), len);
      lcdCurrentString_ = number;
      return Good();
    }
    case 0xF0: {  // LCD screens: 10-byte header, then 1086 bytes per screen
      if (!options_.lcd) return NotSupported();
      const size_t screens = n >= 10 ? d[9] : 0;
      if (n < 10 || declared32() != n || n != 10 + 1086 * screens) return LengthError();
      if (screens == 0) return Refuse(sense::InvalidFieldInParameterList());
      lcdScreens_[wire::Get16(&d[7])].assign(d.begin() + 10, d.end());
      if (!options_.lcdDir.empty()) SaveLcdScreen(wire::Get16(&d[7]), d[9], lcdScreens_[wire::Get16(&d[7])]);
      return Good();
    }
    case 0xFF:  // reset the double-feed decision
      if (n != 12) return LengthError();
      dfdChoice_ = 0;
      return Good();
    case 0x202:
    case 0x203:
    case 0x204:
    case 0x205:
    case 0x206:
    case 0x207:
      if (!options_.imprinter) return NotSupported();
      if (dataType == 0x202 && n != 39) return LengthError();
      if (dataType == 0x207 && n != lowdrv::kImprDateTimeSize) return LengthError();
      if (dataType == 0x203 ? (n < 8 || n > 64) : declared32() != n) return LengthError();
      // A glyph block longer than the engine's room for it is a driver overrun.
      if (n < ImprinterBlockHead(dataType) || n > ImprinterBlockRoom(dataType)) return LengthError();
      // A page setting starts the next line: the blocks of the last one no longer count.
      if (dataType == 0x203) imprinter_.blocks.clear();
      imprinter_.blocks[dataType] = d;
      return Good();
    case 0x20C:
    case 0x20D:
    case 0x211:
      if (!options_.imprinter) return NotSupported();
      if (n != 8 || declared32() != 8) return LengthError();
      if (dataType == 0x20C) {
        if (d[7] > 1) return Refuse(sense::InvalidFieldInParameterList());
        imprinter_.enabled = d[7] == 1;
      } else if (dataType == 0x20D) {
        if (d[7] != 1 && d[7] != 2) return Refuse(sense::InvalidFieldInParameterList());
        imprinter_.started = d[7] == 1;
      } else {
        if (d[7] != 1) return Refuse(sense::InvalidFieldInParameterList());
        ++imprinter_.cleanings;
      }
      return Good();
    default: return NotSupported();
  }
}

CommandResult Engine::ReadClassic(uint8_t dataType, size_t length, size_t inMax) {
  switch (dataType) {
    case 0x00: return ReadImage(inMax);
    case 0x60: return Good(CalibrationFormat());
    case 0x69: return Good(std::vector<uint8_t>(nvram_.begin(), nvram_.end()));
    case 0x9B: return ReadBackgroundRaster(std::min(length, inMax));
    case 0xA0: return Good({LampStatus()});
    case 0xA1: {
      EventReport report = lastButtons_;
      report[6] = functionNumber_;
      lastButtons_ = {};
      return Good(std::vector<uint8_t>(report.begin(), report.end()));
    }
    default: return NotSupported();
  }
}

CommandResult Engine::SendClassic(uint8_t dataType, uint16_t qualifier,
                                  const std::vector<uint8_t>& d) {
  const size_t n = d.size();
  switch (dataType) {
    case 0x81:  // one tone table, the channel in the qualifier
      if (qualifier > 2) return Refuse(sense::InvalidCdbField());
      if (n != 256 && n != 512) return LengthError();
      gamma_[qualifier] = d;
      return Good();
    case 0x83:
      if (n != 18) return LengthError();
      matrix_ = d;
      return Good();
    case 0x85:
      if (n != kNvramSize) return LengthError();
      if (qualifier != 0x0012) return Refuse(sense::InvalidCdbField());
      std::memcpy(nvram_.data(), d.data(), n);
      return Good();
    case 0x86:
      if (n == 0) return LengthError();
      if (qualifier != 0x0002) return Refuse(sense::InvalidCdbField());
      return FlashBlock(d.data(), n);
    case 0x8B:
      if (n != 128) return LengthError();
      if (std::find(d.begin(), d.end(), 0) != d.end())
        return Refuse(sense::InvalidFieldInParameterList());
      std::memcpy(luminance_.data(), &d[0], 64);
      std::memcpy(chrominance_.data(), &d[64], 64);
      return Good();
    case 0x95:
    case 0x96:
      if (n != 2 && n != 4) return LengthError();
      (dataType == 0x96 ? truncHead_ : truncTail_) = wire::Get16(&d[0]);
      return Good();
    case 0xA0:
      if (n != 1) return LengthError();
      lampOn_ = d[0] != 0;
      return Good();
    case 0xA2:
    case 0xA9:
      if (n != 2) return LengthError();
      SetNvram16(dataType == 0xA2 ? 70 : 122, wire::Get16(&d[0]));
      return Good();
    case 0xA4:
      if (n != 8) return LengthError();
      functionNumber_ = d[0];
      return Good();
    default: return NotSupported();
  }
}

}  // namespace rzd::engine
