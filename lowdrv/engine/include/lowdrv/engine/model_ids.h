// The model's constants as the driver, the simulated unit and the programs around them name them
// (rzd::lowdrv::kModel...). Nothing is defined here: every constant is the model header's
// (model/model_ids.h), which sits below the platform, so that the platform finds the model's real
// units without depending on the driver.
#pragma once

#include "model/model_ids.h"

namespace rzd::lowdrv {

using model::kImageClassGuidText;
using model::kImageClassGuidTextW;
using model::kImageClassKey;
using model::kModelFriendlyName;
using model::kModelFriendlyNameW;
using model::kModelName;
using model::kModelUsbProductId;
using model::kModelUsbVendorId;

}  // namespace rzd::lowdrv
