// Applying a client's settings document to a copy of the supported-settings document: every
// pass in order, ending with the new supported document (or the failure that stops the work).
#pragma once

#include "apply/apply_run.h"

#include <functional>
#include <string>
#include <string_view>

namespace rzd::lowdrv::apply {

struct ApplyHooks {
  TableCheck checkGamma;   // a gamma table text (no check: every table is refused)
  TableCheck checkMatrix;  // a 3x3 matrix text (likewise)
  // Network data: called with the client's document after the time-outs; may be empty.
  std::function<void(MSXML6StoreBSTR& incoming)> networkData;
};

struct ApplyResult {
  // kApplyOk, kApplyAdjusted, or the failure (kApplyInternal, kApplyBadDocument, kApplyBadValue).
  uint32_t code = kApplyInternal;
  // On success: the new supported-settings document and the time-outs for the NVRAM copy.
  std::u16string supportedXml;
  PowerTimes times;
};

// Loads both documents, drops the ModuleID elements from the copy and runs the passes. Nothing
// outside the call changes; the hooks are the only calls out.
ApplyResult ApplySettingsDocument(std::u16string_view supportedXml, std::u16string_view clientXml,
                                  const CLogClient& log, const ApplyHooks& hooks);

}  // namespace rzd::lowdrv::apply
