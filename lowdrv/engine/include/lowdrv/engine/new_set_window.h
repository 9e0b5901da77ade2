// The new command set's 96-byte window, built from the classic window the settings model fills.
#pragma once

#include "lowdrv/engine/new_set_inquiry.h"
#include "lowdrv/engine/window_desc.h"

#include <array>
#include <cstdint>

namespace rzd::lowdrv {

constexpr size_t kNewWindowSize = 96;
using NewWindow = std::array<uint8_t, kNewWindowSize>;

// Source values of the new window (bytes 43-44).
constexpr uint16_t kWindowSourceFlatbed = 0;

struct NewWindowResult {
  NewWindow bytes{};              // wire order: every multi-byte field big-endian
  bool backgroundCheck = false;   // the source is the flatbed: the background raster is checked
};

// Builds the wire window. When the feeder flags carry both bits 0x30, both are cleared in the
// caller's window first (the engine takes them as exclusive).
NewWindowResult BuildNewWindow(ReduzidWindowDesc& window, const EngineCapabilities& caps);

}  // namespace rzd::lowdrv
