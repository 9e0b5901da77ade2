// Read-only views of what the driver keeps for the whole process (diagnostics and tests).
#pragma once

#include "lowdrv/engine/inquiry_record.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace rzd::lowdrv {

// Driver objects of this process that are open.
uint32_t DriverOpenCount();
// True while this process runs a buttons thread.
bool ButtonsThreadRunsHere();
// The inquiry record later opens of the process reuse (with the model's changes), once read.
std::optional<ReduzidInq> DriverCachedInquiry();
// The LCD string block of the last configuration read, once read.
std::optional<std::vector<uint8_t>> DriverLcdStringBlock();

}  // namespace rzd::lowdrv
