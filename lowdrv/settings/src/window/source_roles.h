// Roles of the set document sources: which source's window is the primary one, which the
// alternate and which the third. A "Feeder" source is preferred as primary; between two feeders
// the one with the ID "RearTray" decides.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace rzd::lowdrv::window {

struct DocumentSourceInfo {
  std::u16string type;  // "ADF", "Flatbed", "Tray", "Transparency", "Feeder"
  std::u16string id;
};

// Indexes (into the sources as given, in document order) of the primary, alternate and third
// source. Only the first three sources count; an empty list has no roles.
struct SourceRoles {
  std::optional<size_t> primary;
  std::optional<size_t> alternate;
  std::optional<size_t> third;
};

SourceRoles AssignSourceRoles(const std::vector<DocumentSourceInfo>& sources);

}  // namespace rzd::lowdrv::window
