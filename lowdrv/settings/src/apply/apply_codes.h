// Result codes of applying a client's settings document.
#pragma once

#include <cstdint>

namespace rzd::lowdrv::apply {

constexpr uint32_t kApplyOk = 0;
// The supported-settings document or an XML store failed.
constexpr uint32_t kApplyInternal = 0x8002;
// The client's document is not a valid settings document.
constexpr uint32_t kApplyBadDocument = 0x8004;
// A gamma table or matrix text of the client's document is invalid.
constexpr uint32_t kApplyBadValue = 0x8006;
// The settings were accepted with at least one value adjusted.
constexpr uint32_t kApplyAdjusted = 0x800C;

}  // namespace rzd::lowdrv::apply
