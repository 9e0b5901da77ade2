// The Read export: the argument check, the driver object's image read, and the error document
// in the metadata slot on failure.
#include "api/api_log.h"
#include "api/device_table.h"
#include "api/entry_points.h"
#include "lowdrv/core/api.h"
#include "lowdrv/core/argument_contract.h"
#include "lowdrv/core/driver_codes.h"

#include "foundation/func_trace.h"

#include <new>

namespace rzd::lowdrv::api {

namespace {

// The output parameters of the trace. Only the pointers that are not null are registered, so the
// trace never reads through a null argument.
void TraceReadOutputs(CFuncTrace& trace, const uint8_t* pbyBufferOut, const uint32_t* pstActualSizeOut,
                      const BSTR* pstrMetaOut, const uint32_t* pdwBoundary) {
  struct Param {
    const char16_t* format;
    const void* value;
    int type;
  };
  const Param all[] = {
      {u"*pbyBufferOut = %d", pbyBufferOut, kTraceByte},
      {u"*pstActualSizeOut = %d", pstActualSizeOut, kTraceUInt32},
      {u"*pstrMetaOut = \r\n%s\r\n", pstrMetaOut, kTraceText},
      {u"*pdwBoundary = %d", pdwBoundary, kTraceUInt32},
  };
  Param given[4];
  int count = 0;
  for (const Param& p : all) {
    if (p.value != nullptr) given[count++] = p;
  }
  switch (count) {
    case 1: trace.AddOutputParams(given[0].format, given[0].value, given[0].type, kTraceEnd); break;
    case 2:
      trace.AddOutputParams(given[0].format, given[0].value, given[0].type, given[1].format, given[1].value,
                            given[1].type, kTraceEnd);
      break;
    case 3:
      trace.AddOutputParams(given[0].format, given[0].value, given[0].type, given[1].format, given[1].value,
                            given[1].type, given[2].format, given[2].value, given[2].type, kTraceEnd);
      break;
    case 4:
      trace.AddOutputParams(given[0].format, given[0].value, given[0].type, given[1].format, given[1].value,
                            given[1].type, given[2].format, given[2].value, given[2].type, given[3].format,
                            given[3].value, given[3].type, kTraceEnd);
      break;
    default: break;
  }
}

}  // namespace

LLDError ReadCall(void* pvDevHandle, uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut, BSTR* pstrMetaOut,
                  uint32_t* pdwBoundary) {
  CLogClient& log = ApiLog();
  LLDError result = lld::kSuccess;
  RZD_FUNC_TRACE_OF(log, u"Read");
  RZD_TRACE_DWORD(&result,
                  u"pvDevHandle = 0x%llX, pbyBufferOut = 0x%llX, pstActualSizeOut = 0x%llX, pstrMetaOut = 0x%llX, "
                  u"pdwBoundary = 0x%llX",
                  LogPointer(pvDevHandle), LogPointer(pbyBufferOut), LogPointer(pstActualSizeOut),
                  LogPointer(pstrMetaOut), LogPointer(pdwBoundary));
  if (rzdFuncTrace_ && rzdFuncTrace_->DataTracing()) {
    TraceReadOutputs(*rzdFuncTrace_.Get(), pbyBufferOut, pstActualSizeOut, pstrMetaOut, pdwBoundary);
  }

  const ReadArgumentCheck check =
      CheckReadArguments(pvDevHandle, pbyBufferOut, pstActualSizeOut, pstrMetaOut, pdwBoundary);
  if (check.error != lld::kSuccess) {
    RZD_LOG_ERROR_OF(log, u"Read failed because %s", check.reason);
    result = check.error;  // the trace reports it at the end
    return result;
  }

  DeviceLease lease;
  result = DeviceTable::Instance().Lock(pvDevHandle, false, lease);
  if (result != lld::kSuccess) {
    RZD_LOG_ERROR_OF(log, u"Read failed because pLLD = NULL");
    return result;
  }
  try {
    result = lease.Object()->Read(pbyBufferOut, pstActualSizeOut, pstrMetaOut, pdwBoundary);
  } catch (const std::bad_alloc&) {
    result = lld::kNoMemory;
  } catch (...) {
    result = lld::kInternal;
  }
  if (result != lld::kSuccess) {
    try {
      BSTR document = lease.Object()->GetLastError(result);
      SysFreeString(*pstrMetaOut);
      *pstrMetaOut = document;
      RZD_LOG_ERROR_OF(log, u"Read failed with err = %d, error string = %s", static_cast<int32_t>(result),
                       static_cast<const char16_t*>(document));
    } catch (...) {
    }
  }
  lease.Release();
  return result;
}

}  // namespace rzd::lowdrv::api

extern "C" BOOL Read(void* pvDevHandle, uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut, BSTR* pstrMetaOut,
                     uint32_t* pdwBoundary) {
  const rzd::lowdrv::LLDError result =
      rzd::lowdrv::api::ReadCall(pvDevHandle, pbyBufferOut, pstActualSizeOut, pstrMetaOut, pdwBoundary);
  return result == rzd::lowdrv::lld::kSuccess ? TRUE : FALSE;
}
