// The scanner object's log feature. The LCD screens and the button thread write to it too, each
// through the one log client below.
#pragma once

#include "foundation/log_client.h"

namespace rzd::scanhost {

inline constexpr char16_t kScannerObjectFeature[] = u"CRZDHALScannerBase Interface";

// A log client of that feature for the code that is not the scanner object itself.
CLogClient& ScannerObjectLog();

}  // namespace rzd::scanhost
