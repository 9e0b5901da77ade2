// The model's type library, built from the record and enumeration declarations, so the library
// always describes the layout this build uses.
#include "apphal/model_ids.h"
#include "apphal/scan_records.h"
#include "apphal/type_library.h"

#include <cstddef>

namespace rzd::apphal {

namespace {

TypeLibType Record(const char* name, uint32_t size, std::vector<TypeLibField> fields) {
  TypeLibType type;
  type.kind = TypeKind::Record;
  type.name = name;
  type.size = size;
  type.alignment = 4;
  type.fields = std::move(fields);
  return type;
}

TypeLibType Enumeration(const char* name, std::vector<TypeLibMember> members) {
  TypeLibType type;
  type.kind = TypeKind::Enum;
  type.name = name;
  type.members = std::move(members);
  return type;
}

TypeLibParam In(const char* type, const char* name) { return {"in", type, name}; }
TypeLibParam Out(const char* type, const char* name) { return {"out", type, name}; }
TypeLibParam InOut(const char* type, const char* name) { return {"in,out", type, name}; }
TypeLibParam RetVal(const char* type, const char* name) { return {"out,retval", type, name}; }

// IHardwareInterface after IUnknown's three methods, in declaration order.
std::vector<TypeLibMethod> HardwareInterfaceMethods() {
  return {
      {"propget", "HasISISSupport", {RetVal("long*", "pVal")}},
      {"propget", "FriendlyName", {RetVal("BSTR*", "pVal")}},
      {"propget", "ISISDriverName", {RetVal("BSTR*", "pVal")}},
      {"method", "IsInstalled", {RetVal("long*", "Status")}},
      {"propget", "EventCount", {RetVal("short*", "pVal")}},
      {"propget", "EventNames", {RetVal("BSTR*", "pVal")}},
      {"propget", "SupportedResolutions", {RetVal("BSTR*", "pVal")}},
      {"method", "GetPresentation", {In("unsigned long", "index"), RetVal("IPicture**", "picon")}},
      {"method", "GetInterface", {RetVal("GUID*", "pVal")}},
      {"method", "GetDefaults", {RetVal("_ZQSCANINFO**", "pVal")}},
      {"method",
       "ScanCommand",
       {In("_ZQSCANCOMMAND", "cmd"), InOut("_ZQSCANINFO*", "pinfo"), RetVal("_ZQSTATUS*", "Status")}},
      {"method",
       "Scan",
       {In("_ZQSCANCOMMAND", "cmd"), InOut("_ZQSCANINFO*", "pinfo"), In("long", "size"),
        InOut("unsigned char*", "pBuf"), RetVal("long*", "written")}},
      {"method", "GetLastError", {Out("long*", "error"), RetVal("BSTR*", "errormsg")}},
      {"propget", "HasMFButton", {RetVal("long*", "pVal")}},
      {"propget", "SupportedImageCaps", {RetVal("BSTR*", "pVal")}},
      {"propget", "ShortName", {RetVal("BSTR*", "pVal")}},
      {"method", "GetDevicePoperties", {RetVal("GUID*", "guid")}},
  };
}

}  // namespace

TypeLibrary BuildModelTypeLibrary() {
  TypeLibrary library;
  library.name = "M48tzZQ4HALLib";
  library.id = LIBID_M48tzZQ4HALLib;
  library.major = kTypeLibraryMajor;
  library.minor = kTypeLibraryMinor;
  library.locale = kTypeLibraryLocale;
  library.importLib = "stdole2.tlb";

  TypeLibType coclass;
  coclass.kind = TypeKind::Coclass;
  coclass.name = "Scanner_M48tz";
  coclass.id = CLSID_Scanner_M48tz;
  coclass.help = "Scanner_M48tz Class";
  coclass.related = "IHardwareInterface";
  library.types.push_back(coclass);

  TypeLibType interface;
  interface.kind = TypeKind::Interface;
  interface.name = "IHardwareInterface";
  interface.id = IID_IHardwareInterface;
  interface.help = "IHardwareInterface Interface";
  interface.related = "IUnknown";
  interface.methods = HardwareInterfaceMethods();
  library.types.push_back(interface);

#define ZQ_TLB_SCANINFO_FIELD(ctype, tlbtype, name) {#name, #tlbtype, offsetof(_ZQSCANINFO, name), sizeof(ctype)},
#define ZQ_TLB_SCANWINDOW_FIELD(ctype, tlbtype, name) {#name, #tlbtype, offsetof(_ZQSCANWINDOW, name), sizeof(ctype)},
#define ZQ_TLB_CLRPRCSS_FIELD(ctype, tlbtype, name) {#name, #tlbtype, offsetof(_ZQCLRPRCSS, name), sizeof(ctype)},
#define ZQ_TLB_MEMBER(name, value) {#name, value},
  library.types.push_back(
      Record("_ZQSCANINFO", sizeof(_ZQSCANINFO), {ZQ_SCANINFO_MEMBERS(ZQ_TLB_SCANINFO_FIELD)}));
  library.types.push_back(Enumeration("_ZQSCANMODE", {ZQ_SCANMODE_MEMBERS(ZQ_TLB_MEMBER)}));
  library.types.push_back(
      Record("_ZQSCANWINDOW", sizeof(_ZQSCANWINDOW), {ZQ_SCANWINDOW_MEMBERS(ZQ_TLB_SCANWINDOW_FIELD)}));
  library.types.push_back(
      Record("_ZQCLRPRCSS", sizeof(_ZQCLRPRCSS), {ZQ_CLRPRCSS_MEMBERS(ZQ_TLB_CLRPRCSS_FIELD)}));
  library.types.push_back(Enumeration("_ZQSCANHRDW", {ZQ_SCANHRDW_MEMBERS(ZQ_TLB_MEMBER)}));
  library.types.push_back(Enumeration("_ZQSCANCOMMAND", {ZQ_SCANCOMMAND_MEMBERS(ZQ_TLB_MEMBER)}));
  library.types.push_back(Enumeration("_ZQSTATUS", {ZQ_STATUS_MEMBERS(ZQ_TLB_MEMBER)}));
#undef ZQ_TLB_SCANINFO_FIELD
#undef ZQ_TLB_SCANWINDOW_FIELD
#undef ZQ_TLB_CLRPRCSS_FIELD
#undef ZQ_TLB_MEMBER
  return library;
}

}  // namespace rzd::apphal
