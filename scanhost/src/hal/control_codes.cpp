// The scanner HAL object: IRZDHAL::Control. The checks every call passes, the codes of the
// object's own life (connect and disconnect, the client's process id, pausing and resuming the
// service's button polling), and the plain driver calls of the code table (driver_code_table.h).
// The shared buffers and raster blocks are in shared_buffers.cpp, the pass-through and the help
// extractor in pass_through.cpp.
#include "hal/control_codes.h"

#include "hal/driver_code_table.h"

#include "hal/process_state.h"
#include "hal/scanner_base.h"

#include "foundation/func_trace.h"
#include "platform/com_remote.h"
#include "platform/session.h"

#include <mutex>

namespace rzd::scanhost {

HRESULT CRZDHALScannerBase::raw_Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn,
                                        VARIANT* pvBufOut) {
  HRESULT hr = S_OK;
  RZD_FUNC_TRACE(u"CRZDHALScannerBase::raw_Control");
  RZD_TRACE_HRESULT(&hr, u"lCC = 0x%08X, strXMLIn = \"%s\", strXMLOut = 0x%08X, pvBufIn = 0x%08X, pvBufOut = 0x%08X",
                    static_cast<uint32_t>(lCC), strXMLIn != nullptr ? strXMLIn : u"NULL",
                    static_cast<uint32_t>(reinterpret_cast<uintptr_t>(strXMLOut)),
                    static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pvBufIn)),
                    static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pvBufOut)));
  if (strXMLOut == nullptr || pvBufIn == nullptr || pvBufOut == nullptr) return hr = E_FAIL;
  if (lCC < 0) return hr = E_NOTIMPL;
  const uint32_t code = static_cast<uint32_t>(lCC) & 0xFF;
  RZD_LOG_DATA_INFO(u"STANDARD CONTROL CODE: CC: 0x%02X, Flags: 0x%02X, Value: 0x%04X", code,
                    (static_cast<uint32_t>(lCC) >> 24) & 0xFF, (static_cast<uint32_t>(lCC) >> 8) & 0xFFFF);
  switch (code) {
    case RZDHAL_CC_CONNECT:
      return hr = Connect();
    case RZDHAL_CC_DISCONNECT:
      return hr = Disconnect();
    case RZDHAL_CC_DISABLE_BUTTON_THREAD:
      return hr = DisableButtonThread(pvBufIn);
    case RZDHAL_CC_ENABLE_BUTTON_THREAD:
      return hr = EnableButtonThread();
    case RZDHAL_CC_SET_PROCESS_ID:
      return hr = SetProcessId(pvBufIn);
    case RZDHAL_CC_ALLOCATE_RBLOCKS:
      return hr = AllocateRasterBlocks(strXMLIn, strXMLOut);
    case RZDHAL_CC_RELEASE_RBLOCKS:
      return hr = ReleaseRasterBlocks();
    case RZDHAL_CC_ALLOCATEVBUFF:
      return hr = OpenSharedBuffer(strXMLIn);
    case RZDHAL_CC_RELEASEVBUFF:
      return hr = CloseSharedBuffer(strXMLIn);
    case RZDHAL_CC_PASS_THROUGH:
      return hr = PassThrough(strXMLIn, strXMLOut, pvBufIn, pvBufOut);
    case RZDHAL_CC_EXTRACT_HELP:
      return hr = ExtractHelp(strXMLIn);
    default:
      break;
  }
  if (std::optional<DriverCodeRow> row = FindDriverCode(code)) return hr = RunDriverCode(*row, strXMLIn, strXMLOut, pvBufIn, pvBufOut);
  return hr = S_OK;  // 1, 2 and 41-255: nothing to do
}

namespace {

constexpr VARTYPE kVtRecord = 36;
// How long a connect waits for the object of a client that has gone to end its read.
constexpr uint32_t kEndingReadWaitMs = 5000;

// Types whose value field holds a pointer the VARIANT owns: 4 bytes written over it would lose
// (and later free) nonsense.
bool OwnsMemory(VARTYPE type) {
  if ((type & (VT_ARRAY | VT_BYREF)) != 0) return true;
  return type == VT_BSTR || type == VT_DISPATCH || type == VT_UNKNOWN || type == VT_VARIANT || type == kVtRecord;
}

}  // namespace

bool ByteArrayOf(const VARIANT* value, uint8_t** data, uint32_t* count) {
  if (value->vt != (VT_ARRAY | VT_UI1) || value->parray == nullptr) return false;
  SAFEARRAY* array = value->parray;
  if (array->cDims != 1 || array->cbElements != 1 || array->rgsabound[0].lLbound != 0 || array->pvData == nullptr) {
    return false;
  }
  *data = static_cast<uint8_t*>(array->pvData);
  *count = array->rgsabound[0].cElements;
  return true;
}

HRESULT CRZDHALScannerBase::RunDriverCode(const DriverCodeRow& row, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn,
                                          VARIANT* pvBufOut) {
  if (!driver_.Bound()) return E_FAIL;
  const bool number = row.output == CodeOutput::kNumber || row.output == CodeOutput::kTextAndNumber ||
                      row.output == CodeOutput::kTypedNumber;
  if (row.output == CodeOutput::kTypedNumber && pvBufOut->vt != VT_I4 && pvBufOut->vt != VT_UI4) return E_INVALIDARG;
  if (number && OwnsMemory(pvBufOut->vt)) return E_INVALIDARG;
  if (row.needsOpenUnit && !opened_.load()) {
    pvBufOut->ulVal = 0;
    RZD_LOG_ERROR(u"%s: Scanner is not opened", row.name);
    return E_FAIL;
  }

  const char16_t* text = nullptr;
  void* input = nullptr;
  uint32_t inputSize = 0;
  uint32_t value = 0;
  int64_t longValue = 0;
  uint8_t* bytes = nullptr;
  switch (row.input) {
    case CodeInput::kNone:
      break;
    case CodeInput::kText:
      text = strXMLIn;
      break;
    case CodeInput::kTextAndValue:
    case CodeInput::kValue:
      if (pvBufIn->vt != VT_UI4) return E_FAIL;
      if (row.input == CodeInput::kTextAndValue) text = strXMLIn;
      value = pvBufIn->ulVal;
      input = &value;
      inputSize = sizeof value;
      break;
    case CodeInput::kOptionalValue:
      if (pvBufIn->vt == VT_UI4) {
        value = pvBufIn->ulVal;
        input = &value;
        inputSize = sizeof value;
      }
      break;
    case CodeInput::kLongValue:
      if (pvBufIn->vt != VT_I8) return E_FAIL;
      longValue = pvBufIn->llVal;
      input = &longValue;
      inputSize = sizeof longValue;
      break;
    case CodeInput::kBytes:
      if (!ByteArrayOf(pvBufIn, &bytes, &inputSize)) return E_FAIL;
      input = bytes;
      break;
    case CodeInput::kTextAndVariant:
      text = strXMLIn;
      input = pvBufIn;
      inputSize = sizeof(VARIANT);
      break;
  }
  const bool wantsText = row.output == CodeOutput::kText || row.output == CodeOutput::kTextAndNumber;
  uint32_t outNumber = 0;
  uint32_t outSize = sizeof outNumber;
  void* const handle = row.halCode == RZDHAL_CC_GET_SCANNERS ? nullptr : handle_.load();
  DriverAnswer answer = driver_.Control(handle, row.driverCode, text, wantsText ? strXMLOut : nullptr, input, inputSize,
                                        number ? &outNumber : nullptr, number ? &outSize : nullptr);
  if (!answer.bound) return E_FAIL;
  if (!answer.ok) {
    if (row.errorToOutput && answer.error) *strXMLOut = AllocBstr(answer.error.View());
    if (row.line != CodeLine::kControl) RZD_LOG_ERROR(u"%s Failed: \"%s\"", row.name, answer.ErrorText().c_str());
    return row.busyOnInUse && answer.ErrorCode() == kDriverInUse ? kHalBusy : kHalDriverRefused;
  }
  if (number) pvBufOut->ulVal = outNumber;
  if (row.countersAfter) UpdateCountersInRegistry(handle);
  const char16_t* outText = *strXMLOut != nullptr ? *strXMLOut : u"";
  switch (row.line) {
    case CodeLine::kText:
      RZD_LOG_DATA_INFO(u"%s: \"%s\"", row.name, outText);
      break;
    case CodeLine::kNumber:
      RZD_LOG_DATA_INFO(u"%s: \"%d\"", row.name, static_cast<int32_t>(outNumber));
      break;
    case CodeLine::kErrorDocument:
      RZD_LOG_DATA_INFO(u"%s: \"%s\"", row.name, answer.ErrorText().c_str());
      break;
    case CodeLine::kControl:
      RZD_LOG_DATA_INFO(u"RZDHAL_CC_CONTROL: \"%s\"", outText);
      break;
    case CodeLine::kNameOnly:
      RZD_LOG_DATA_INFO(u"%s", row.name);
      break;
    case CodeLine::kNone:
      break;
  }
  return S_OK;
}

HRESULT CRZDHALScannerBase::Connect() {
  if (!driver_.Bound()) return E_FAIL;
  // A client killed mid-batch leaves its object ending its read for a moment (until it notices
  // the reader gone): a connect right after waits for that end rather than answer busy.
  if (!hal_process::AwaitNoScan(kEndingReadWaitMs)) return kHalBusy;
  // An object holds one driver handle: a second connect would lose the first one's driver object.
  if (opened_.load()) return S_OK;
  RZD_LOG_INFO(u"Attempting to connect to scanner: %s", symbolicName_.c_str());
  std::lock_guard openGuard(hal_process::OpenLock());
  if (OpenOnce()) return S_OK;
  opened_.store(false);
  RZD_LOG_ERROR(u"Failed connecting to scanner: %s", symbolicName_.c_str());
  return E_FAIL;
}

HRESULT CRZDHALScannerBase::Disconnect() {
  HRESULT result = S_OK;
  std::lock_guard guard(objectLock_);
  if (locked_.load()) UnlockForEnd();
  if (opened_.load()) {
    RZD_LOG_INFO(u"Attempting to close the scanner: %s", symbolicName_.c_str());
    // A close the driver refuses (a read still runs on the handle) keeps the handle, so the
    // driver's object is not lost: a later disconnect, or the object's end, closes it.
    if (CloseHandle(u"Failed to disconnect scanner")) {
      opened_.store(false);
    } else {
      result = E_FAIL;
    }
  }
  return result;
}

HRESULT CRZDHALScannerBase::DisableButtonThread(const VARIANT* pvBufIn) {
  if (pvBufIn->vt != VT_UI4) {
    RZD_LOG_ERROR(u"RZDHAL_CC_DISABLE_BUTTON_THREAD Failed: incorrect type for Process Id");
    return E_FAIL;
  }
  parent_->RegisterClient(this, pvBufIn->ulVal);
  return S_OK;
}

HRESULT CRZDHALScannerBase::EnableButtonThread() {
  parent_->UnregisterClient(this);
  return S_OK;
}

HRESULT CRZDHALScannerBase::SetProcessId(const VARIANT* pvBufIn) {
  if (pvBufIn->vt != VT_UI4) {
    RZD_LOG_ERROR(u"RZDHAL_CC_SET_PROCESS_ID Failed: incorrect type for Process Id");
    return E_FAIL;
  }
  // The owner's session is the caller's own: a caller outside the console session is not let
  // in by LockScanner (within this process, the calling process's session).
  CallerIdentity caller;
  const uint32_t session =
      GetCallerIdentity(&caller) ? ProcessSessionId(caller.processId).value_or(kNoConsoleSession) : CurrentSessionId();
  SetOwner(pvBufIn->ulVal, session);
  return S_OK;
}

}  // namespace rzd::scanhost
