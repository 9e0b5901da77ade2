// The slot string of an LCD screen upload, "F<slot>N<screens>" (as "F%dN%d" reads it: blanks
// and a sign before each number allowed, the screen count 1 when absent).
#pragma once

#include "lowdrv/engine/send_records.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace rzd::lowdrv {

struct LcdSlot {
  int64_t slot = 0;
  int64_t screens = 1;
};

// nullopt when not even the slot number can be read. Numbers are read in 64 bits and saturate;
// the caller checks their ranges.
std::optional<LcdSlot> ParseLcdSlot(std::u16string_view text);

// Bytes of one screen the unit takes, and the ranges of a slot string's numbers.
inline constexpr uint32_t kLcdScreenBytes = kLCDScreenSize;
inline constexpr int64_t kLcdSlotBase = kLCDSlotBase;
inline constexpr int64_t kMaxLcdSlot = 0xFFFF - kLcdSlotBase;
inline constexpr int64_t kMaxLcdScreens = 255;

}  // namespace rzd::lowdrv
