// One line for the user about what went wrong.
#pragma once

#include "platform/types.h"

#include <string>

namespace rzd::frontend {

// The text of a driver error a block carried (no paper, jam, multifeed, ...).
std::string DriverErrorText(LONG error);
// The text of a failed call: busy units, a service that went away, and the rest by number.
std::string CallFailureText(HRESULT hr);

}  // namespace rzd::frontend
