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

void ConvertImprInquiry(uint8_t (&record)[kImprInquirySize]);
void ConvertImprInfo(uint8_t (&record)[kImprInfoSize]);
// Converts the fields of the 0x20B answer; every field lies within the first 520 bytes.
void ConvertImprNVMData(uint8_t* record, size_t size);

}  // namespace rzd::lowdrv
