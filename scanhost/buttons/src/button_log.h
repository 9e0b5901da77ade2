// The log of the button thread: the scanner object's feature.
#pragma once

#include "foundation/log_client.h"

namespace rzd::scanhost::buttons {

CLogClient& ButtonLog();

}  // namespace rzd::scanhost::buttons
