// CRZDScannerSettingsBase::SetCurrent: checks a client's settings document against the supported
// one, merges it into a copy, and makes the copy the supported document only when the current
// document could be derived from it. On any failure the supported document, the current
// document, the window descriptions and the NVRAM copy are as they were before the call.
#include "apply/apply_codes.h"
#include "apply/apply_document.h"
#include "apply/id_chain.h"
#include "foundation/func_trace.h"
#include "lowdrv/settings/settings_base.h"

namespace rzd::lowdrv {

namespace {

// Loads `xml` into a new store logging to `holder`; null when it does not parse.
std::unique_ptr<MSXML6StoreBSTR> LoadedStore(std::u16string_view xml, CLogInterfacePtr holder) {
  auto store = std::make_unique<MSXML6StoreBSTR>();
  store->SetLogObject2(holder);
  if (!store->LoadFromString(xml)) return nullptr;
  return store;
}

}  // namespace

bool CRZDScannerSettingsBase::GetCurrentNodeXPath(MSXML6StoreBSTR& store, std::u16string& path) {
  return apply::NodeIdChain(store, path);
}

uint32_t CRZDScannerSettingsBase::SetCurrent(std::u16string_view strSettings) {
  uint32_t result = apply::kApplyInternal;
  std::u16string input;
  RZD_FUNC_TRACE(u"SetCurrent");
  if (rzdFuncTrace_ && rzdFuncTrace_->DataTracing()) input.assign(strSettings);
  RZD_TRACE_DWORD(&result, u"strSettings = %s", input.c_str());

  Bstr supportedXml;
  if (!SupportedStore().GetDocumentXML(supportedXml)) {
    RZD_LOG_ERROR(u"SetCurrent cannot parse strXML");
    return result = apply::kApplyInternal;
  }
  const std::u16string before = supportedXml.Str();

  apply::ApplyHooks hooks;
  hooks.checkGamma = [this](std::u16string_view text) {
    uint8_t table[kGammaTableSize];
    return ParseGamma(text, table) != FALSE;
  };
  hooks.checkMatrix = [this](std::u16string_view text) {
    uint16_t matrix[kMatrixValues];
    return ParseMatrix(text, matrix) != FALSE;
  };
  if (m_bNetworkData != 0) {
    hooks.networkData = [this](MSXML6StoreBSTR& incoming) {
      if (!SettingsHookA(incoming)) RZD_LOG_ERROR(u"SetCurrent error : cannot set NetworkData value.");
    };
  }
  apply::ApplyResult applied = apply::ApplySettingsDocument(before, strSettings, *this, hooks);
  if (applied.code != apply::kApplyOk && applied.code != apply::kApplyAdjusted) return result = applied.code;

  // The new supported document is loaded aside and swapped in only once it has parsed.
  std::unique_ptr<MSXML6StoreBSTR> next = LoadedStore(applied.supportedXml, GetLogHolder());
  if (!next) {
    RZD_LOG_ERROR(u"SetCurrent failed to parse new settings - %s", applied.supportedXml.c_str());
    return result = apply::kApplyInternal;
  }
  ReplaceSupportedStore(std::move(next));
  if (!UpdateCurrent()) {
    RZD_LOG_ERROR(u"SetCurrent failed because UpdateCurrent() failed");
    // The previous supported document comes back, and the window descriptions a failed
    // conversion may have half written are derived from it again.
    std::unique_ptr<MSXML6StoreBSTR> previous = LoadedStore(before, GetLogHolder());
    if (previous) {
      ReplaceSupportedStore(std::move(previous));
      if (!UpdateCurrent()) RZD_LOG_ERROR(u"SetCurrent failed to restore the previous settings");
    } else {
      RZD_LOG_ERROR(u"SetCurrent failed to restore the previous settings");
    }
    return result = apply::kApplyInternal;
  }

  // The NVRAM copy takes the time-outs only with the documents that show them.
  if (applied.times.sleep) SetNvPowerSavingTime(*applied.times.sleep);
  if (applied.times.off) SetNvPowerOffTime(*applied.times.off);
  if (applied.times.erp) SetNvERPTime(*applied.times.erp);
  return result = applied.code;
}

}  // namespace rzd::lowdrv
