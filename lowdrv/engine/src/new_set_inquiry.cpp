// Translation of the new command set's inquiry answer.
#include "lowdrv/engine/new_set_inquiry.h"

#include "lowdrv/engine/byte_order.h"
#include "lowdrv/engine/engine_caps.h"

#include <algorithm>
#include <cstring>

namespace rzd::lowdrv {

namespace {

// The answer as received, zero beyond its end, with its 16-bit fields read big-endian.
class Answer {
 public:
  Answer(const uint8_t* data, size_t size) : size_(std::min(size, kNewInquiryMax)) {
    if (data && size_) std::memcpy(bytes_, data, size_);
  }
  size_t Size() const { return size_; }
  uint8_t Byte(size_t offset) const { return offset < sizeof bytes_ ? bytes_[offset] : 0; }
  uint16_t Word(size_t offset) const { return static_cast<uint16_t>((Byte(offset) << 8) | Byte(offset + 1)); }
  bool Has(caps::AnswerBit bit) const { return (Byte(bit.offset) & bit.mask) != 0; }
  // Copies up to `max` bytes from `offset`, but never past the bytes received.
  size_t CopyOut(size_t offset, size_t max, void* to) const {
    if (offset >= size_) return 0;
    const size_t n = std::min(max, size_ - offset);
    std::memcpy(to, bytes_ + offset, n);
    return n;
  }

 private:
  uint8_t bytes_[kNewInquiryMax + 2] = {};
  size_t size_;
};

void SetIf(uint8_t& target, bool condition, uint8_t bits) {
  if (condition) target |= bits;
}

// One text of the answer: offset field `at`; `total` the answer's stated size.
void CopyText(const Answer& a, size_t at, size_t total, char* field, size_t fieldSize) {
  const size_t offset = a.Word(at);
  if (offset == 0 || offset >= a.Size()) return;
  const size_t stated = total > offset ? total - offset : 0;
  a.CopyOut(offset, std::min(stated, fieldSize), field);
}

}  // namespace

void TranslateNewInquiry(const uint8_t* data, size_t size, ReduzidInq& inq, EngineCapabilities& capsOut) {
  const Answer a(data, size);
  uint8_t* rec = InqBytes(inq);
  const size_t n = a.Size();

  // 1-3: type, texts, sizes.
  inq.ProductQualifier = a.Byte(5);
  const size_t total = a.Word(3);
  CopyText(a, 8, total, inq.VendorIdent, sizeof inq.VendorIdent);
  CopyText(a, 10, total, inq.ProductIdent, sizeof inq.ProductIdent);
  CopyText(a, 12, total, inq.ProductReversion, sizeof inq.ProductReversion);
  inq.ADFMaxLength = a.Word(28);
  inq.ADFMaxWidth = a.Word(25);
  inq.ADFHardMaxLength = a.Word(49);
  inq.ADFHardMaxLengthHighByte = a.Byte(48);
  inq.FlatbedMaxWidth = a.Word(19);
  inq.FlatbedMaxLength = a.Word(22);
  inq.TransparencyMaxWidth = a.Word(31);
  inq.TransparencyMaxLength = a.Word(34);

  // 4-5: type and resolutions.
  const uint8_t type = static_cast<uint8_t>(a.Word(54));
  inq.ScannerType = type;
  const uint16_t maxRes = (type & 0x3F) ? a.Word(60) : a.Word(62);
  const uint16_t optical = a.Word(58);
  inq.OpticalResolution = static_cast<uint8_t>(optical / 100);
  inq.OpticalResEx = static_cast<uint16_t>((optical / 100) & 0xFF);
  inq.MaximumResolution = static_cast<uint8_t>(maxRes / 100);
  inq.MaxGrayXRes = inq.MaxGrayYRes = inq.MaxColorXRes = inq.MaxColorYRes = maxRes;

  // 6: the capability word.
  const uint16_t w = a.Word(56);
  inq.AbilityEx6 |= 0x06;
  inq.ScannerType = static_cast<uint8_t>(inq.ScannerType + (w & 0x02));  // added, as the unit does
  SetIf(rec[155], !(w & 0x20), 0x01);
  SetIf(rec[155], !(w & 0x10), 0x02);
  SetIf(inq.AbilityEx5, w & 0x40, 0x20);
  SetIf(inq.AbilityEx5, (w & 0x180) == 0x180, 0x08);
  rec[148] |= static_cast<uint8_t>(w & 0x80);
  SetIf(inq.AbilityEx6, w & 0x100, 0x01);
  SetIf(inq.AbilityEx7, w & 0x200, 0x80);
  SetIf(rec[158], w & 0x400, 0x02);
  SetIf(rec[158], w & 0x800, 0x04);

  // 7: halftone list and error-diffusion count, only from bytes that arrived.
  inq.HalftoneNum = 0;
  const size_t htAt = a.Word(66);
  if (htAt != 0 && htAt < n) {
    const uint8_t count = a.Byte(htAt);
    const size_t listed = n - htAt - 1;  // list bytes received after the count byte
    a.CopyOut(htAt + 1, std::min<size_t>({count, sizeof inq.HalftoneIndex, listed}), inq.HalftoneIndex);
    inq.HalftoneNum = static_cast<uint8_t>(std::min<size_t>(count, listed));
  }
  inq.ErrorDiffusionNum = 0;
  const size_t edAt = a.Word(68);
  if (edAt != 0 && edAt < n) inq.ErrorDiffusionNum = a.Byte(edAt);

  // 8-9: pixel bounds, buttons, four values.
  inq.ColorPixelBound = a.Byte(72);
  inq.GrayPixelBound = a.Byte(71);
  inq.Gray4bitsPixelBound = a.Byte(74);
  inq.LineartPixelBound = a.Byte(70);
  inq.HalftonePixelBound = a.Byte(73);
  inq.ErrorDiffusionPixelBound = a.Byte(75);
  inq.ButtonNumber = a.Byte(76);
  inq.ExtValue134 = a.Word(82);
  inq.ExtValue136 = a.Word(86);
  inq.ExtValue138 = a.Word(80);
  inq.ExtValue140 = a.Word(84);

  // 10: brightness class of the first and last calibration groups.
  const unsigned meanFirst = (a.Byte(103) + a.Byte(104) + a.Byte(105)) / 3;
  const unsigned meanLast = (a.Byte(109) + a.Byte(110) + a.Byte(111)) / 3;
  rec[154] = static_cast<uint8_t>((meanFirst <= 128 ? 0x01 : 0) | (meanLast <= 128 ? 0x10 : 0));

  // 11: byte 88.
  const uint8_t b88 = a.Byte(88);
  SetIf(inq.ExtendedAbility, b88 & 0x80, 0x40);
  SetIf(inq.ExtendedAbility, b88 & 0x40, 0x10);
  SetIf(inq.AbilityEx1, b88 & 0x20, 0x80);
  SetIf(inq.AbilityEx1, b88 & 0x10, 0x04);
  SetIf(inq.AbilityEx1, b88 & 0x08, 0x02);
  SetIf(inq.AbilityEx1, b88 & 0x04, 0x01);
  SetIf(inq.AbilityEx2, b88 & 0x02, 0x20);
  SetIf(inq.AbilityEx2, b88 & 0x01, 0x01);
  rec[caps::kInqButtons.offset] |= caps::kInqButtons.mask;

  // 12: byte 89.
  const uint8_t b89 = a.Byte(89);
  SetIf(inq.AbilityEx3, b89 & 0x80, 0x02);
  SetIf(rec[149], a.Has(caps::kAnswerPowerOffTimer), 0x05);
  SetIf(inq.AbilityEx4, b89 & 0x20, 0x01);
  SetIf(rec[caps::kInqLcd.offset], a.Has(caps::kAnswerLcd), caps::kInqLcd.mask);

  // 13: byte 90.
  const uint8_t b90 = a.Byte(90);
  SetIf(inq.AbilityEx7, b90 & 0x20, 0x80);
  SetIf(rec[157], b90 & 0x10, 0x08);
  SetIf(rec[157], b90 & 0x04, 0x20);
  SetIf(inq.AbilityEx8, b90 & 0x08, 0x01);
  SetIf(rec[caps::kInqDfdButtons.offset], a.Has(caps::kAnswerDfdButtons), caps::kInqDfdButtons.mask);
  SetIf(rec[164], (b90 & 0x07) == 0x07, 0x04);
  rec[156] |= static_cast<uint8_t>(b90 & 0x60);

  // 14: byte 91.
  const uint8_t b91 = a.Byte(91);
  SetIf(rec[158], b91 & 0x10, 0x80);
  SetIf(rec[157], b91 & 0x04, 0x01);
  SetIf(inq.AbilityEx7, b91 & 0x02, 0x10);
  SetIf(inq.AbilityEx5, a.Has(caps::kAnswerTruncation), 0x04);

  // 15: byte 92.
  const uint8_t b92 = a.Byte(92);
  SetIf(rec[158], b92 & 0x80, 0x02);
  SetIf(rec[158], b92 & 0x40, 0x04);
  SetIf(inq.AbilityEx8, b92 & 0x02, 0x20);

  // 16-17: YCbCr, byte 96, the 32-bit value.
  inq.YCbCrCapability = a.Byte(93);
  const uint8_t b96 = a.Byte(96);
  rec[159] |= static_cast<uint8_t>(b96 & 0x10);
  SetIf(rec[164], b96 & 0x10, 0x01);
  SetIf(rec[164], a.Has(caps::kAnswerEngineJpegHeaders), 0x02);
  for (size_t i = 0; i < 4; ++i) rec[160 + i] = a.Byte(caps::kAnswerImageProcessingOffset + i);

  // 18-19: calibration bytes, colour matrix.
  for (size_t i = 0; i < 9; ++i) capsOut.Calibration[i] = a.Byte(103 + i);
  inq.AbilityEx3 |= 0x10;

  // 20: the interface's capability bytes, only ever set.
  if (a.Has(caps::kAnswerInputTray)) capsOut.InputTray = 1;
  if (a.Has(caps::kAnswerUltrasonic)) capsOut.Ultrasonic = 1;
  if (a.Has(caps::kAnswerUltrasonicOption)) capsOut.ExtendedMultifeed = 1;
  if (a.Has(caps::kAnswerImprinter)) {
    capsOut.Imprinter = 1;
    rec[caps::kInqFrontPostImprinter.offset] |= caps::kInqFrontPostImprinter.mask;
  }
  if (a.Byte(121) & 0x80) capsOut.WindowByte66 = 1;
}

}  // namespace rzd::lowdrv
