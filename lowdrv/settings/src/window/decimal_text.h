// Decimal numbers of the settings documents, read in the "C" locale whatever the process locale.
#pragma once

#include <string_view>

namespace rzd::lowdrv::window {

// Reads the text the way the C run-time's wide atof does: leading blanks, an optional sign, the
// longest decimal number that follows; 0.0 when there is none.
double DecimalValue(std::u16string_view text);

}  // namespace rzd::lowdrv::window
