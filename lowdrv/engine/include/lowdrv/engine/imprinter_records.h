// The imprinter's answers in the new command set: byte records whose multi-byte fields are
// big-endian on the wire. The conversions make those fields host order (and back).
#pragma once

#include <cstddef>
#include <cstdint>

namespace rzd::lowdrv {

constexpr size_t kImprInquirySize = 71;    // data type 0x200
constexpr size_t kImprInfoSize = 71;       // data type 0x201
constexpr size_t kImprNVMWireSize = 521;   // data type 0x20B as it comes from the engine
constexpr size_t kImprNVMRecordSize = 520; // the record the driver keeps

// The imprinter's data blocks that the driver sends (new command set): their heads and the most
// glyph data each may carry after its head. The unit refuses a block longer than that.
constexpr size_t kImprSeparateFontHead = 21;   // data type 0x204
constexpr size_t kImprSeparateFontData = 256;
constexpr size_t kImprDigitFontHead = 29;      // data type 0x205
constexpr size_t kImprDigitFontData = 1024;
constexpr size_t kImprPrintOutHead = 11;       // data type 0x206
constexpr size_t kImprPrintOutData = 6144;
constexpr size_t kImprDateTimeSize = 14;       // data type 0x207

void ConvertImprInquiry(uint8_t (&record)[kImprInquirySize]);
void ConvertImprInfo(uint8_t (&record)[kImprInfoSize]);
// Converts the fields of the 0x20B answer; every field lies within the first 520 bytes.
void ConvertImprNVMData(uint8_t* record, size_t size);

}  // namespace rzd::lowdrv
