// The supported and current settings documents: GetSupported, GetCurrent, UpdateCurrent and the
// walk that reduces the supported document to its current entries.
#include "documents/saved_context.h"
#include "foundation/func_trace.h"
#include "lowdrv/settings/settings_base.h"

namespace rzd::lowdrv {
namespace {

// An entry of a List or Enum stays when it is current, a setup item or set.
bool KeepEntry(MSXML6StoreBSTR& store) {
  return HasAttributeValue(store, u"IsCurrent", u"true") || HasAttributeValue(store, u"Usage", u"Setup") ||
         HasAttributeValue(store, u"IsSet", u"true");
}

}  // namespace

BSTR CRZDScannerSettingsBase::GetSupported() {
  BSTR result = nullptr;
  RZD_FUNC_TRACE(u"GetSupported");
  RZD_TRACE_POINTER(&result);
  if (!IsScannerCfgValid()) return result;
  Bstr xml;
  if (!m_pSupportedStore->GetDocumentXML(xml)) return result;
  result = xml.Detach();
  return result;
}

BSTR CRZDScannerSettingsBase::GetCurrent() {
  if (!m_bstrCurrent) return nullptr;
  return AllocBstr(m_bstrCurrent.View());
}

BOOL CRZDScannerSettingsBase::UpdateCurrent() {
  BOOL result = FALSE;
  RZD_FUNC_TRACE(u"UpdateCurrent");
  RZD_TRACE_INT(&result);
  if (!IsScannerCfgValid()) return result;

  Bstr supported;
  MSXML6StoreBSTR scratch;
  scratch.SetLogObject2(GetLogHolder());
  if (!m_pSupportedStore->GetDocumentXML(supported) || !scratch.LoadFromString(supported.View())) {
    RZD_LOG_ERROR(u"UpdateCurrent failed because the supported settings cannot be copied");
    return result;
  }
  if (!scratch.SelectRoot() || !RemoveNonCurrentItems(scratch)) {
    RZD_LOG_ERROR(u"UpdateCurrent failed because RemoveNonCurrentItems failed");
    return result;
  }
  RemoveAll(scratch, u"//Limits");

  Bstr current;
  if (!scratch.GetDocumentXML(current)) {
    RZD_LOG_ERROR(u"UpdateCurrent failed because the current settings cannot be written");
    return result;
  }
  if (!ConvertXmlToSettings(current.View())) {
    RZD_LOG_ERROR(u"UpdateCurrent failed because ConvertXmlToSettings failed");
    return result;
  }
  m_bstrCurrent = std::move(current);
  result = TRUE;
  return result;
}

BOOL CRZDScannerSettingsBase::RemoveNonCurrentItems(MSXML6StoreBSTR& store, bool* pbEmptied) {
  if (pbEmptied != nullptr) *pbEmptied = false;
  SavedContext self(store);
  if (!self.Valid()) return FALSE;
  if (!store.MoveToFirstChild()) {
    self.Restore();
    return TRUE;  // no children: nothing to do
  }

  for (;;) {
    // The store stands on a child of the node being walked.
    Bstr name;
    if (!store.GetNodeName(name)) {
      self.Restore();
      Bstr parent;
      store.GetNodeName(parent);
      RZD_LOG_ERROR(u"RemoveNonCurrentItems failed because GetCurrentNodeName(%s)", BstrView(parent.Get()).data());
      return FALSE;
    }

    bool removed = false;
    if (name.View() == u"List" || name.View() == u"Enum") {
      // Each entry stays (and is walked) when current, set or a setup item; the others go, and
      // the entries are scanned again from the first after each removal.
      SavedContext list(store);
      bool entryRemoved = true;
      while (entryRemoved) {
        entryRemoved = false;
        list.Restore();
        if (!store.MoveToFirstChild()) break;
        do {
          if (!KeepEntry(store)) {
            store.RemoveContextNode();
            entryRemoved = true;
            break;
          }
          SavedContext entry(store);
          if (!RemoveNonCurrentItems(store, nullptr)) return FALSE;
          entry.Restore();
        } while (store.MoveToNextSibling());
      }
      list.Restore();
      SavedContext probe(store);
      const bool hasEntries = store.MoveToFirstChild();
      probe.Restore();
      if (!hasEntries) removed = store.RemoveContextNode();
    } else {
      SavedContext child(store);
      bool emptied = false;
      if (!RemoveNonCurrentItems(store, &emptied)) return FALSE;
      child.Restore();
      if (emptied) removed = store.RemoveContextNode();
    }

    if (removed) {
      // The store stands on the walked node again: start over at its first child.
      self.Restore();
      if (!store.MoveToFirstChild()) {
        if (pbEmptied != nullptr) *pbEmptied = true;
        break;
      }
      continue;
    }
    if (!store.MoveToNextSibling()) break;
  }
  self.Restore();
  return TRUE;
}

}  // namespace rzd::lowdrv
