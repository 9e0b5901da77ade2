// Gamma tables, 3x3 matrices, imprinter strings and image-processing stream options of a
// client's settings document.
#include "apply/apply_run.h"
#include "apply/store_walk.h"

#include <array>

namespace rzd::lowdrv::apply {

namespace {

uint32_t ApplyOneGamma(ApplyRun& run, const TableCheck& checkGamma) {
  struct Channel {
    const char16_t* name;
    const char16_t* parseFailure;
    const char16_t* setFailure;
  };
  static constexpr std::array<Channel, 4> kChannels = {{
      {u"Red", u"SetCurrent failed to parse Red Gamma table - %s", u"SetCurrent failed to set Red Gamma table - %s"},
      {u"Green", u"SetCurrent failed to parse Green Gamma table - %s", u"SetCurrent failed to set Green Gamma table - %s"},
      {u"Blue", u"SetCurrent failed to parse Blue Gamma table - %s", u"SetCurrent failed to set Blue Gamma table - %s"},
      {u"Gray", u"SetCurrent failed to parse Gray Gamma table - %s", u"SetCurrent failed to set Gray Gamma table - %s"},
  }};
  std::u16string chain;
  if (!SelectCounterpart(run, chain)) return kApplyOk;
  for (const Channel& channel : kChannels) {
    auto text = TextAt(run.incoming, channel.name);
    if (!text) continue;
    if (!checkGamma || !checkGamma(*text)) {
      RZD_LOG_ERROR_OF(run.log, channel.parseFailure, text->c_str());
      return kApplyBadValue;
    }
    if (!run.scratch.SetNodeText(channel.name, *text)) {
      RZD_LOG_ERROR_OF(run.log, channel.setFailure, text->c_str());
      return kApplyInternal;
    }
  }
  return kApplyOk;
}

uint32_t ApplyOneMatrix(ApplyRun& run, const TableCheck& checkMatrix) {
  std::u16string chain;
  if (!SelectCounterpart(run, chain)) return kApplyOk;
  std::u16string text = CurrentText(run.incoming).value_or(u"");
  if (!checkMatrix || !checkMatrix(text)) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed to parse 3x3 Matrix - %s", text.c_str());
    return kApplyBadValue;
  }
  if (!run.scratch.SetText(text)) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed to set 3x3 Matrix - %s", text.c_str());
    return kApplyInternal;
  }
  return kApplyOk;
}

uint32_t ApplyOnePrinterString(ApplyRun& run) {
  std::u16string chain;
  if (!SelectCounterpart(run, chain)) return kApplyOk;
  auto text = CurrentText(run.incoming);
  if (!text || text->empty()) return kApplyOk;
  if (!run.scratch.SetText(*text)) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed to PrinterEscString - %s", chain.c_str());
    return kApplyInternal;
  }
  return kApplyOk;
}

uint32_t ApplyOneStreamOption(ApplyRun& run) {
  std::u16string chain;
  if (!SelectCounterpart(run, chain)) return kApplyOk;
  // The client's copy takes the supported node's place as its former parent's last child.
  if (!run.scratch.RemoveContextNode() || !run.scratch.AppendCopyOf(&run.incoming)) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed to set VantixStreamRequestOption - %s", chain.c_str());
    return kApplyInternal;
  }
  return kApplyOk;
}

}  // namespace

uint32_t ApplyGammaTables(ApplyRun& run, const TableCheck& checkGamma) {
  return ForEachSelected(run.incoming, u"//Gamma/EightBit", [&] { return ApplyOneGamma(run, checkGamma); });
}

uint32_t ApplyMatrices(ApplyRun& run, const TableCheck& checkMatrix) {
  return ForEachSelected(run.incoming, u"//Matrix/TwelveBitMatrix", [&] { return ApplyOneMatrix(run, checkMatrix); });
}

uint32_t ApplyPrinterStrings(ApplyRun& run) {
  return ForEachSelected(run.incoming, u"//PrinterEscString", [&] { return ApplyOnePrinterString(run); });
}

uint32_t ApplyStreamOptions(ApplyRun& run) {
  return ForEachSelected(run.incoming, u"//VantixStreamRequestOption", [&] { return ApplyOneStreamOption(run); });
}

}  // namespace rzd::lowdrv::apply
