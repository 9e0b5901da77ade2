// The engine's 16-byte button report (status, index bytes, function number).
#pragma once

#include <cstdint>
#include <string>

namespace rzd::lowdrv {

#pragma pack(push, 1)
struct ButtonReport {
  uint8_t Status;      // 0
  uint8_t Index[5];    // 1-5
  uint8_t FuncNum;     // 6
  uint8_t Rest[9];     // 7-15, read by the buttons logic
};
#pragma pack(pop)

static_assert(sizeof(ButtonReport) == 16);

// The report has no multi-byte field; the conversion exists so every record is handled alike.
inline void ConvertByteOrder(ButtonReport&) {}
std::string DumpButtonReport(const ButtonReport& report);

}  // namespace rzd::lowdrv
