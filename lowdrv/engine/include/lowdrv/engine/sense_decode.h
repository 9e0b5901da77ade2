// Sense data to engine result codes, and the English texts of the result codes.
#pragma once

#include "lowdrv/engine/result_codes.h"
#include "lowdrv/engine/sense_record.h"

#include <string_view>

namespace rzd::lowdrv {

// The result code of a sense: a default from the sense key, replaced by the code of a listed
// ASC/ASCQ pair. A sense key of 6 (unit attention) decodes to 0; the command layer never lets a
// failed command end with 0.
LLDError SenseToScannerError(uint8_t senseKey, uint8_t asc, uint8_t ascq);
LLDError SenseToScannerError(const ReduzidSense& sense);

// The text of an engine result code; "Unknown Error Code" for a code without one.
std::u16string_view ScannerErrorToText(LLDError code);

}  // namespace rzd::lowdrv
