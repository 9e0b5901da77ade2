// The documents the library answers without a driver object: the device list, the namespace
// list and the schemas of the namespaces.
#pragma once

#include "lowdrv/engine/result_codes.h"
#include "platform/types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rzd::lowdrv::api {

// The model name the device list carries.
inline constexpr char16_t kDeviceListModelName[] = u"M48tz";

// The four namespaces, in the order of the namespace list, with the XML resource ids of their
// schemas.
struct SchemaNamespace {
  const char16_t* uri;
  uint32_t resourceId;
};
inline constexpr SchemaNamespace kSchemaNamespaces[] = {
    {u"http://www.corvanite.com/xmlschemas/1.0/Scanner", 126},
    {u"http://www.corvanite.com/xmlschemas/1.0/RZDTypes", 121},
    {u"http://www.corvanite.com/xmlschemas/1.0/Transform", 123},
    {u"http://www.corvanite.com/xmlschemas/1.0/Document", 125},
};

// The device paths of the model's units present now, in the order of discovery.
std::vector<std::u16string> EnumerateDevicePaths();

// The DeviceList document of these paths.
std::u16string MakeDeviceListDocument(const std::vector<std::u16string>& paths);
// The NamespaceList document.
std::u16string MakeNamespaceListDocument();

// The local codes: a new BSTR in *out (0), 0x8009 when it cannot be allocated.
LLDError GetDeviceList(BSTR* out);
LLDError GetNamespaceList(BSTR* out);
// The schema of a namespace (compared exactly): 0x8002 when the library does not carry it,
// 0x8005 for an unknown namespace.
LLDError GetSchemaForNamespace(const char16_t* uri, BSTR* out);

}  // namespace rzd::lowdrv::api
