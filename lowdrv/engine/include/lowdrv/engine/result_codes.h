// Engine result codes: what an engine command ended with. 0 is success, 1 an unclassified
// transport failure, 2 to 78 are decoded from the engine's sense data, 0x8000 and up are the
// transport's own outcomes, and 0x8005 a record refused before it is sent. The driver core adds
// its own codes from 0x8003 on.
#pragma once

#include <cstdint>

namespace rzd::lowdrv {

using LLDError = uint32_t;

namespace lld {
constexpr LLDError kSuccess = 0;
constexpr LLDError kUnknownError = 1;
constexpr LLDError kPaperJam = 2;
constexpr LLDError kNotReady = 3;
constexpr LLDError kCoverOpen = 4;
constexpr LLDError kNoPaper = 7;
constexpr LLDError kItemJammed = 8;
constexpr LLDError kMultifeed = 10;
constexpr LLDError kInvalidFieldInParameterList = 12;
constexpr LLDError kInvalidParameterListLength = 13;
constexpr LLDError kBadParameter = 14;
constexpr LLDError kWrongParameter = 15;
constexpr LLDError kMechanicalError = 19;
constexpr LLDError kInvalidCommand = 21;
constexpr LLDError kNoSense = 29;
constexpr LLDError kCommunicationError = 30;
constexpr LLDError kCancelled = 31;
constexpr LLDError kDeviceReset = 32;  // also the code of a unit attention (sense key 6)
constexpr LLDError kScannerBusy = 54;
constexpr LLDError kVendorSpecific = 55;
constexpr LLDError kBlankPage = 68;
constexpr LLDError kMisfeed = 78;
constexpr LLDError kUnreachable = 0x8000;  // the unit is gone or does not answer
constexpr LLDError kTimeout = 0x8001;
constexpr LLDError kInternal = 0x8002;     // a failure inside the driver
constexpr LLDError kInvalidParameter = 0x8005;  // a record the command cannot carry as it stands
}  // namespace lld

}  // namespace rzd::lowdrv
