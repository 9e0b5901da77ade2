// The Control export: the argument contract, the local codes and the dispatch to the driver
// object, with the error document of every call a driver object took part in.
#include "api/api_log.h"
#include "api/device_open.h"
#include "api/device_table.h"
#include "api/entry_points.h"
#include "api/local_documents.h"
#include "lowdrv/core/api.h"
#include "lowdrv/core/argument_contract.h"
#include "lowdrv/core/driver_base.h"
#include "lowdrv/core/driver_codes.h"
#include "lowdrv/core/driver_object.h"
#include "lowdrv/settings/settings_base.h"

#include <new>

namespace rzd::lowdrv::api {

namespace {

// Starts the diagnostics thread and refreshes the logging object before an open, and keeps the
// thread from being stopped until the open has ended.
struct OpenInProgress {
  OpenInProgress() { BeginOpen(); }
  ~OpenInProgress() { EndOpen(); }
  OpenInProgress(const OpenInProgress&) = delete;
  OpenInProgress& operator=(const OpenInProgress&) = delete;
};

LLDError RunLocalCode(const ControlArguments& a, DeviceLease& lease) {
  switch (a.code) {
    case cc::kDeviceList: return GetDeviceList(a.pstrOut);
    case cc::kNamespaceList: return GetNamespaceList(a.pstrOut);
    case cc::kSchema: return GetSchemaForNamespace(a.strIn, a.pstrOut);
    case cc::kOpen: {
      const OpenInProgress opening;
      return OpenDeviceHandle(a.strIn, a.bufferOut, a.outSize, lease);
    }
    default: return lld::kNotImplemented;
  }
}

LLDError RunCommand(const ControlArguments& a, DeviceLease& lease) {
  if ((a.code & ccbit::kDevice) == 0) return RunLocalCode(a, lease);
  if (a.code == cc::kClose) return CloseDeviceHandle(lease);
  return lease.Object()->DoControlCode(a.code, a.strIn, a.pstrOut, a.bufferIn, a.inSize, a.bufferOut, a.outSize);
}

// An address inside this library: the module whose resources are read.
const char kModuleAnchor = 0;

// Front-ends get the model's supported settings even without an open unit.
LLDError DefaultSupportedSettings(BSTR* pstrOut, LLDError failure) {
  if (CRZDBaseLLD::GetXMLfromResources(&kModuleAnchor, IDR_XML_SUPPORTED_SETTINGS, pstrOut)) return lld::kSuccess;
  RZD_LOG_ERROR_OF(ApiLog(), u"default GetSupportedSettings GetXMLfromResources(IDR_XML_SUPPORTED_SETTINGS) failed");
  return failure;
}

}  // namespace

LLDError ControlCall(void* pvDevHandle, uint32_t dwControlCode, const char16_t* strIn, BSTR* pstrOut,
                     void* pbyBufferIn, uint32_t stInBufferSize, void* pbyBufferOut,
                     uint32_t* pstOutBufferSize, BSTR* pstrError) {
  if (dwControlCode == cc::kResetHardware) return lld::kNotImplemented;
  if (pstrError == nullptr) return lld::kInvalidParameter;

  const ControlArguments args{pvDevHandle, dwControlCode, strIn, pstrOut, pbyBufferIn, stInBufferSize, pbyBufferOut,
                              pstOutBufferSize};
  DeviceLease lease;
  LLDError result = lld::kInternal;
  try {
    // The argument contract, the handle locked in the table of open units.
    result = CheckCommandArguments(
        args, [&lease](void* handle, bool force) { return DeviceTable::Instance().Lock(handle, force, lease); });
    if (result == lld::kSuccess) {
      result = RunCommand(args, lease);
    } else if (dwControlCode == cc::kSupportedSettings && pstrOut != nullptr) {
      result = DefaultSupportedSettings(pstrOut, result);
    }
  } catch (const std::bad_alloc&) {
    result = lld::kNoMemory;
  } catch (...) {
    result = lld::kInternal;
  }
  if (lease) {
    // The document of the object that took part; a BSTR already in the slot is not freed.
    try {
      if (BSTR document = lease.Object()->GetLastError(result)) *pstrError = document;
    } catch (...) {
    }
    lease.Release();
  }
  return result;
}

}  // namespace rzd::lowdrv::api

extern "C" BOOL Control(void* pvDevHandle, uint32_t dwControlCode, const char16_t* strIn, BSTR* pstrOut,
                        void* pbyBufferIn, uint32_t stInBufferSize, void* pbyBufferOut,
                        uint32_t* pstOutBufferSize, BSTR* pstrError) {
  const rzd::lowdrv::LLDError result =
      rzd::lowdrv::api::ControlCall(pvDevHandle, dwControlCode, strIn, pstrOut, pbyBufferIn, stInBufferSize,
                                    pbyBufferOut, pstOutBufferSize, pstrError);
  return result == rzd::lowdrv::lld::kSuccess ? TRUE : FALSE;
}
