// Byte order of the imprinter's answers (new command set).
#include "lowdrv/engine/imprinter_records.h"

#include "lowdrv/engine/byte_order.h"

#include <initializer_list>

namespace rzd::lowdrv {

void ConvertImprInquiry(uint8_t (&r)[kImprInquirySize]) { SwapField32(r + 14); }

void ConvertImprInfo(uint8_t (&r)[kImprInfoSize]) {
  for (size_t at : {3, 7, 11, 15, 19}) SwapField32(r + at);
  SwapField16(r + 23);
  for (size_t at : {26, 30, 34, 38}) SwapField32(r + at);
  SwapField16(r + 42);
  SwapField16(r + 44);
}

void ConvertImprNVMData(uint8_t* r, size_t size) {
  if (size < 119) return;  // shorter than the last converted field: nothing is a record
  for (size_t at : {17, 21, 25}) SwapField32(r + at);
  for (size_t at : {55, 57, 59, 113, 115, 117}) SwapField16(r + at);
}

}  // namespace rzd::lowdrv
