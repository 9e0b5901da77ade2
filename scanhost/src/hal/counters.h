// The unit's maintenance counters as the scanner information document (RZDScanner) gives them,
// and where the service keeps them in the registry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rzd::scanhost {

inline constexpr size_t kCounterCount = 10;

struct UnitCounters {
  const char16_t* names[kCounterCount] = {};  // PadScanCount ... FlatbedScanCount, in that order
  uint32_t values[kCounterCount] = {};        // 0 for a counter the document lacks
  std::u16string serial;                      // empty when the document has none
};

// Each counter is the number after its own start tag, so "RollerScanCount" is never read from
// "SeparationRollerScanCount" or "ClearRollerScanCount".
UnitCounters ReadUnitCounters(std::u16string_view document);

// HKLM: Software\Corvanite\<model>\Info\<serial>.
std::u16string CountersKeyPath(std::u16string_view serial);

}  // namespace rzd::scanhost
