// The state of one application of a client's settings document, and the passes that check the
// client's settings against the supported-settings document and merge them into a scratch copy.
//
// Each pass returns 0 to go on, or the failure code that ends the whole application
// (kApplyInternal, kApplyBadDocument, kApplyBadValue); an adjusted value only sets `adjusted`.
// The passes change nothing but the scratch store and the two stores' contexts.
#pragma once

#include "apply/apply_codes.h"
#include "foundation/log_client.h"
#include "foundation/xml_store.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace rzd::lowdrv::apply {

// A check of a table text (gamma table or 3x3 matrix): true when the text is valid.
using TableCheck = std::function<bool(std::u16string_view text)>;

struct ApplyRun {
  ApplyRun(MSXML6StoreBSTR& scratchStore, MSXML6StoreBSTR& incomingStore, const CLogClient& logger,
           std::u16string_view supportedXml)
      : scratch(scratchStore), incoming(incomingStore), log(logger), supported(supportedXml) {}

  MSXML6StoreBSTR& scratch;     // the supported document being changed
  MSXML6StoreBSTR& incoming;    // the client's document
  const CLogClient& log;        // the settings object's log
  std::u16string_view supported;  // the supported document as it stood before this call
  bool adjusted = false;        // at least one value was adjusted

  // The supported document as it stood, loaded on first use (maximum lengths by resolution).
  MSXML6StoreBSTR* Before();

 private:
  std::unique_ptr<MSXML6StoreBSTR> before_;
  bool beforeTried_ = false;
};

// Selects the scratch counterpart (the node of the same ID chain) of the incoming current node;
// false, after logging the skip, when the scratch has none. False too when the incoming node's
// chain cannot be read. `chain` receives the chain.
bool SelectCounterpart(ApplyRun& run, std::u16string& chain);

// Step 1 (second half): removes every element that carries a ModuleID attribute from the scratch.
uint32_t RemoveModuleElements(ApplyRun& run);

// Enumerations: the current value of each client enumeration that the supported document has.
uint32_t ApplyEnums(ApplyRun& run);
// Lists: the set (and selected) items of each client list.
uint32_t ApplyLists(ApplyRun& run);
// Ranges: each client range value, checked and adjusted onto the supported grid.
uint32_t ApplyRanges(ApplyRun& run);
// Frames: each client frame, held within its document source's limits; over-scan choices.
uint32_t ApplyFrames(ApplyRun& run);
// Gamma tables and 3x3 matrices, each checked before it is taken.
uint32_t ApplyGammaTables(ApplyRun& run, const TableCheck& checkGamma);
uint32_t ApplyMatrices(ApplyRun& run, const TableCheck& checkMatrix);
// Imprinter strings and image-processing stream options, taken as sent.
uint32_t ApplyPrinterStrings(ApplyRun& run);
uint32_t ApplyStreamOptions(ApplyRun& run);

// The power time-outs of the scratch document, in minutes, for the NVRAM copy; absent when the
// document has no such setting.
struct PowerTimes {
  std::optional<uint16_t> sleep;
  std::optional<uint16_t> off;
  std::optional<uint16_t> erp;
};
// Reads the time-outs after the range pass; raises a power-off or ERP time below the sleep time
// to it (without counting as an adjustment).
uint32_t ApplyPowerTimeouts(ApplyRun& run, PowerTimes& times);

// The tray's eject direction is turned to the front when the client asked for "Back" on a
// second document source.
uint32_t ApplyEjectDirection(ApplyRun& run);
// The client's long-length SetLength, held within its document source's MinLength (1 without
// one) and its long length.
uint32_t ApplyLongLength(ApplyRun& run);

}  // namespace rzd::lowdrv::apply
