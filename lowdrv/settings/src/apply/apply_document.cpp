// Applying a client's settings document to a copy of the supported-settings document.
#include "apply/apply_document.h"

namespace rzd::lowdrv::apply {

ApplyResult ApplySettingsDocument(std::u16string_view supportedXml, std::u16string_view clientXml,
                                  const CLogClient& log, const ApplyHooks& hooks) {
  ApplyResult result;
  MSXML6StoreBSTR scratch;
  MSXML6StoreBSTR incoming;
  scratch.SetLogObject2(log.GetLogHolder());
  incoming.SetLogObject2(log.GetLogHolder());

  if (!scratch.LoadFromString(supportedXml)) {
    RZD_LOG_ERROR_OF(log, u"SetCurrent cannot parse strXML");
    result.code = kApplyInternal;
    return result;
  }
  ApplyRun run(scratch, incoming, log, supportedXml);
  if (uint32_t code = RemoveModuleElements(run); code != kApplyOk) {
    result.code = code;
    return result;
  }
  if (!incoming.LoadFromString(clientXml)) {
    RZD_LOG_ERROR_OF(log, u"SetCurrent cannot parse strSettings");
    result.code = kApplyBadDocument;
    return result;
  }

  uint32_t code = ApplyEnums(run);
  if (code == kApplyOk) code = ApplyLists(run);
  if (code == kApplyOk) code = ApplyRanges(run);
  if (code == kApplyOk) code = ApplyFrames(run);
  if (code == kApplyOk) code = ApplyGammaTables(run, hooks.checkGamma);
  if (code == kApplyOk) code = ApplyMatrices(run, hooks.checkMatrix);
  if (code == kApplyOk) code = ApplyPrinterStrings(run);
  if (code == kApplyOk) code = ApplyStreamOptions(run);
  if (code == kApplyOk) code = ApplyPowerTimeouts(run, result.times);
  if (code == kApplyOk && hooks.networkData) hooks.networkData(incoming);
  if (code == kApplyOk) code = ApplyEjectDirection(run);
  if (code == kApplyOk) code = ApplyLongLength(run);
  if (code != kApplyOk) {
    result.code = code;
    result.times = {};
    return result;
  }

  Bstr xml;
  if (!scratch.GetDocumentXML(xml)) {
    RZD_LOG_ERROR_OF(log, u"SetCurrent failed because the new settings cannot be written");
    result.code = kApplyInternal;
    result.times = {};
    return result;
  }
  result.supportedXml = xml.Str();
  result.code = run.adjusted ? kApplyAdjusted : kApplyOk;
  return result;
}

}  // namespace rzd::lowdrv::apply
