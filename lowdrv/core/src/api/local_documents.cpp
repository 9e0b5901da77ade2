// The device list, the namespace list and the namespace schemas.
#include "api/local_documents.h"

#include "api/api_log.h"
#include "lowdrv/core/driver_codes.h"
#include "lowdrv/core/driver_base.h"
#include "lowdrv/engine/model_ids.h"
#include "lowdrv/engine/scanner_enum.h"

#include "platform/text.h"

#include <string_view>

namespace rzd::lowdrv::api {

namespace {

// An address inside this library: the module whose resources are read.
const char kModuleAnchor = 0;

LLDError HandOut(const std::u16string& text, BSTR* out) {
  BSTR copy = AllocBstr(text);
  if (copy == nullptr) return lld::kNoMemory;
  *out = copy;
  return lld::kSuccess;
}

}  // namespace

std::vector<std::u16string> EnumerateDevicePaths() {
  CScannerEnum scanners;
  scanners.m_ulVendorId = kModelUsbVendorId;
  scanners.m_ulProductId = kModelUsbProductId;
  scanners.FindScanners();
  return scanners.m_Paths;
}

std::u16string MakeDeviceListDocument(const std::vector<std::u16string>& paths) {
  std::u16string document = u"<DeviceList ScannerModel=\"";
  document += kDeviceListModelName;
  document += u"\">\r\n";
  int32_t number = 0;
  for (const std::u16string& path : paths) {
    document += u"\t<DeviceID ID=\"";
    document += FormatW(u"%d", number++);
    document += u"\"><![CDATA[";
    document += path;
    document += u"]]></DeviceID>\r\n";
  }
  document += u"</DeviceList>";
  return document;
}

std::u16string MakeNamespaceListDocument() {
  std::u16string document = u"<NamespaceList>";
  for (const SchemaNamespace& ns : kSchemaNamespaces) {
    document += u"         <Namespace>";  // nine blanks
    document += ns.uri;
    document += u"</Namespace>";
  }
  document += u"       </NamespaceList>";  // seven blanks
  return document;
}

LLDError GetDeviceList(BSTR* out) { return HandOut(MakeDeviceListDocument(EnumerateDevicePaths()), out); }

LLDError GetNamespaceList(BSTR* out) { return HandOut(MakeNamespaceListDocument(), out); }

LLDError GetSchemaForNamespace(const char16_t* uri, BSTR* out) {
  const std::u16string_view wanted(uri);
  for (const SchemaNamespace& ns : kSchemaNamespaces) {
    if (wanted != ns.uri) continue;
    if (CRZDBaseLLD::GetXMLfromResources(&kModuleAnchor, ns.resourceId, out)) return lld::kSuccess;
    RZD_LOG_ERROR_OF(ApiLog(), u"GetSchemaForNamespace failed because the schema of %s (resource %u) is not available",
                     uri, ns.resourceId);
    return lld::kInternal;
  }
  RZD_LOG_ERROR_OF(ApiLog(), u"GetSchemaForNamespace failed because %s is not a known namespace", uri);
  return lld::kInvalidParameter;
}

}  // namespace rzd::lowdrv::api
