// Reset: loads the device description, adapts it to the unit and derives the current document.
// The description is adapted in a scratch store; the supported document, the feeder-and-flatbed
// flag and the current document change only when every step succeeded.
#include "documents/saved_context.h"
#include "foundation/func_trace.h"
#include "lowdrv/settings/settings_base.h"
#include "platform/registry.h"

namespace rzd::lowdrv {
namespace {

constexpr char16_t kDocumentSources[] = u"//Item[@Name=\"DocumentSource\"]";

// 1 for a feeder, 2 for a flatbed or transparency unit, 0 otherwise.
int SourceClass(std::u16string_view type) {
  if (type == u"ADF") return 1;
  if (type == u"Flatbed" || type == u"Transparency") return 2;
  return 0;
}

int CountSelected(MSXML6StoreBSTR& store, std::u16string_view path) {
  if (!store.SelectNode(path)) return 0;
  int count = 1;
  while (store.MoveToNextNode()) ++count;
  return count;
}

// Makes `keep` the one current and default value of the DocumentSourceModes enumeration.
void MakeSingleSourceCurrent(MSXML6StoreBSTR& store) {
  RemoveAll(store, u"//DocumentSourceModes//Value[.=\"FixedMultiSource\"]");
  if (!store.SelectNode(u"//DocumentSourceModes//Value[.=\"SingleSource\"]")) return;
  SavedContext single(store);
  // Only one value of an enumeration may be current (and one the default).
  if (store.SelectNode(u"../Value")) {
    do {
      store.RemoveAttribute(u"IsCurrent");
      store.RemoveAttribute(u"IsDefault");
    } while (store.MoveToNextNode());
  }
  single.Restore();
  store.SetAttribute(u"IsCurrent", u"true");
  store.SetAttribute(u"IsDefault", u"true");
}

}  // namespace

uint32_t CRZDScannerSettingsBase::ReadDisableButtons() {
  RegKey key;
  if (RegKey::Open(Hive::LocalMachine, u"Software\\Corvanite\\" + m_strModelName, &key) != ERROR_SUCCESS) return 0;
  uint32_t value = 0;
  if (key.GetDword(u"DisableButtons", &value) != ERROR_SUCCESS) return 0;
  return value & kDisableButtonsMask;
}

BOOL CRZDScannerSettingsBase::Reset() {
  BOOL result = FALSE;
  RZD_FUNC_TRACE(u"Reset");
  RZD_TRACE_INT(&result);

  std::u16string text;
  if (!LoadDescriptionResource(text)) {
    RZD_LOG_ERROR(u"Reset failed because CRZDBaseLLD::GetXMLfromResources(IDR_XML_SUPPORTED_SETTINGS) failed");
    return result;
  }
  auto scratch = std::make_unique<MSXML6StoreBSTR>();
  scratch->SetLogObject2(GetLogHolder());
  if (!scratch->LoadFromString(text)) {
    RZD_LOG_ERROR(u"Reset failed because cannot parse IDR_XML_SUPPORTED_SETTINGS - %s", text.c_str());
    return result;
  }

  // Only one of a feeder and a flatbed source stays when the buttons are disabled.
  const uint32_t disableButtons = ReadDisableButtons();
  if (disableButtons != 0 && CountSelected(*scratch, kDocumentSources) > 1) {
    bool removed = false;
    if ((disableButtons & kDisableButtonsKeepFlatbed) != 0) {
      removed = RemoveAll(*scratch, u"//Item[@Name=\"DocumentSource\"][@Type=\"ADF\"]") > 0;
    } else if (scratch->SelectNode(u"//Item[@Name=\"DocumentSource\"][@Type=\"Flatbed\"]") ||
               scratch->SelectNode(u"//Item[@Name=\"DocumentSource\"][@Type=\"Tray\"]")) {
      removed = scratch->RemoveContextNode();
    }
    if (removed) MakeSingleSourceCurrent(*scratch);
  }

  // The feeder-and-flatbed flag, from the first two document sources.
  uint8_t feederAndFlatbed = 0;
  Bstr type;
  if (!scratch->SelectNode(kDocumentSources) || !scratch->GetNodeAttribute(u"Type", type)) {
    RZD_LOG_ERROR(u"Reset failed because cannot parse IDR_XML_SUPPORTED_SETTINGS - %s", text.c_str());
    return result;
  }
  int classes = SourceClass(type.View());
  if (scratch->MoveToNextNode()) {
    Bstr second;
    if (scratch->GetNodeAttribute(u"Type", second)) classes += SourceClass(second.View());
    feederAndFlatbed = classes == 3 ? 1 : 0;
  }

  if (!ApplyNvData(*scratch)) {
    RZD_LOG_ERROR(u"Reset failed because ApplyNvData() failed");
    return result;
  }

  // The adapted description becomes the supported document; without a current document derived
  // from it the previous pair stays in force.
  std::unique_ptr<MSXML6StoreBSTR> previous = std::move(m_pSupportedStore);
  const uint8_t previousFlag = m_bFeederAndFlatbed;
  m_pSupportedStore = std::move(scratch);
  m_bFeederAndFlatbed = feederAndFlatbed;
  if (!UpdateCurrent()) {
    RZD_LOG_ERROR(u"Reset failed because UpdateCurrent() failed");
    m_pSupportedStore = std::move(previous);
    m_bFeederAndFlatbed = previousFlag;
    return result;
  }
  result = TRUE;
  return result;
}

}  // namespace rzd::lowdrv
