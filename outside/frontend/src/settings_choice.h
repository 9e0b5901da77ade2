// The scan's settings: the unit's supported-settings document with the image sources, the stream
// of each side, its resolution and its JPEG transfer chosen, as a data source prepares them.
#pragma once

#include "scan_options.h"

#include <string>
#include <vector>

namespace rzd::frontend {

struct ChosenSettings {
  std::u16string document;  // empty when the choice cannot be made
  std::string error;        // why, for the user
};

// Edits `supported`: the sides' image sources (Front1, Back1) set or not, of each side's streams
// (Color, Gray, Mono numbered 1 front and 2 back) only the chosen one set, its resolution (which
// must be one the document lists) and, for grey and colour, JPEGTransfer On or Off.
ChosenSettings ChooseSettings(const std::u16string& supported, const ScanOptions& options);

}  // namespace rzd::frontend
