// The log of the LCD screens: the scanner object's feature.
#pragma once

#include "foundation/log_client.h"

namespace rzd::scanhost::lcd {

CLogClient& LcdLog();

}  // namespace rzd::scanhost::lcd
