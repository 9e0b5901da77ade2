#include "scanner_inproc.h"

#include "bridge_documents.h"
#include "meta_record.h"

#include "foundation/func_trace.h"
#include "foundation/module_info.h"
#include "foundation/xml_store.h"
#include "interfaces/rzdhal_codes.h"
#include "platform/process.h"
#include "platform/text.h"

#include <cstring>

namespace rzd::nethal {

namespace {

const char16_t* TextOrNull(BSTR text) { return text != nullptr ? text : u"NULL"; }

// Pointers print as their low 32 bits in the traces' "0x%08X" fields.
uint32_t Low32(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

}  // namespace

CRZDHALScannerInProc::CRZDHALScannerInProc(ModelFacts facts)
    : CLogClient(u"CRZDHALScannerInProc Interface"), facts_(std::move(facts)) {
  RZD_FUNC_TRACE(u"ctor<ScannerIP>");
}

CRZDHALScannerInProc::~CRZDHALScannerInProc() {
  RZD_LOG_INFO(u"~ctor(ScannerIP)");
  // No unlock and no code 15: the service's own reaping and last release end the client's use.
  std::lock_guard guard(fieldsLock_);
  callback_.Reset();
  callbackSource_.Reset();
  meta_.Reset();
  service_.Reset();
}

IRZDMemMgr* CRZDHALScannerInProc::GetMemMgr() { return nullptr; }

ComPtr<IRZDHAL> CRZDHALScannerInProc::Service() const {
  std::lock_guard guard(fieldsLock_);
  return service_;
}

// ---- Lock and unlock.

HRESULT CRZDHALScannerInProc::raw_LockScanner(LONG lPID, LONG* lpStatus, DWORD dwTimeout) {
  RZD_LOG_INFO(u"LockScanner Entered");
  RZD_LOG_DATA_INFO(u"LockScanner Params: PID = 0x%08X, DWORD dwTimeout = %d", static_cast<uint32_t>(lPID),
                    static_cast<int32_t>(dwTimeout));
  if (lPID == 0 || lpStatus == nullptr) return E_INVALIDARG;
  ComPtr<IRZDHAL> service = Service();
  if (!service) return E_NOTIMPL;
  HRESULT hr = S_OK;
  {
    std::lock_guard guard(lock_);
    *lpStatus = 0;
    locked_ = true;  // stays set whatever the service answers
    hr = service->LockScanner(lPID, lpStatus, dwTimeout);
    if (FAILED(hr)) {
      RZD_LOG_ERROR(u"CRZDHALScannerInProc::raw_LockScanner HAL Service threw exception 0x%08X on LockScanner",
                    static_cast<uint32_t>(hr));
    }
  }
  RZD_LOG_INFO(u"LockScanner Exit. [0x%08X]", static_cast<uint32_t>(*lpStatus));
  return hr;
}

HRESULT CRZDHALScannerInProc::raw_UnlockScanner(LONG* lpStatus) {
  RZD_LOG_INFO(u"UnlockScanner Entered");
  if (lpStatus == nullptr) return E_INVALIDARG;
  HRESULT hr = S_OK;
  if (!locked_) {
    hr = E_FAIL;
  } else if (ComPtr<IRZDHAL> service = Service(); !service) {
    hr = E_NOTIMPL;
  } else {
    std::lock_guard guard(lock_);
    *lpStatus = 0;
    hr = service->UnlockScanner(lpStatus);
    if (SUCCEEDED(hr)) {
      locked_ = false;
    } else {
      RZD_LOG_ERROR(u"CRZDHALScannerInProc::raw_UnlockScanner HAL Service threw exception 0x%08X on UnlockScanner",
                    static_cast<uint32_t>(hr));
    }
  }
  RZD_LOG_INFO(u"UnlockScanner Exit. [0x%08X]", static_cast<uint32_t>(*lpStatus));
  return hr;
}

// ---- Reads.

HRESULT CRZDHALScannerInProc::raw_Read(BSTR strMMRasterName, BSTR strMMMetaData, LONG lSessionBoundary) {
  HRESULT hr = S_OK;
  RZD_FUNC_TRACE(u"raw_Read");
  RZD_TRACE_HRESULT(&hr, u"strMMRasterName = %s, strMMMetaData = %s, lSessionBoundary = 0x%08X",
                    TextOrNull(strMMRasterName), TextOrNull(strMMMetaData), static_cast<uint32_t>(lSessionBoundary));
  if (!locked_) return hr = kNotLocked;
  if (lSessionBoundary < 1 || lSessionBoundary > 6) return hr = kBadBoundary;
  ComPtr<IRZDHAL> service = Service();
  if (!service) return hr = E_UNEXPECTED;
  hr = service->Read(strMMRasterName, strMMMetaData, lSessionBoundary);
  if (FAILED(hr)) {
    RZD_LOG_ERROR(u"CRZDHALScannerInProc::raw_Read HAL Service threw exception 0x%08X on Read", static_cast<uint32_t>(hr));
  }
  return hr;
}

// ---- Control codes.

HRESULT CRZDHALScannerInProc::raw_Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn,
                                          VARIANT* pvBufOut) {
  HRESULT hr = S_OK;
  RZD_FUNC_TRACE(u"raw_Control");
  RZD_TRACE_HRESULT(&hr, u"lCC = 0x%08X, strXMLIn = \"%s\", strXMLOut = 0x%08X, pvBufIn = 0x%08X, pvBufOut = 0x%08X",
                    static_cast<uint32_t>(lCC), TextOrNull(strXMLIn), Low32(strXMLOut), Low32(pvBufIn),
                    Low32(pvBufOut));
  if (strXMLOut == nullptr || pvBufIn == nullptr || pvBufOut == nullptr) {
    RZD_LOG_ERROR(u"NULL argument error");
    return hr = E_FAIL;
  }
  const auto code = static_cast<uint32_t>(lCC);
  if ((code & 0x80000000u) == 0) {
    const uint32_t cc = code & 0xFF;
    RZD_LOG_DATA_INFO(u"STANDARD CONTROL CODE: CC = 0x%02X, Flags = 0x%02X, Value = 0x%04X", cc, code >> 24,
                      (code >> 8) & 0xFFFF);
    if (cc == RZDHAL_CC_GET_SCANNERS) {
      BSTR list = AllocBstr(MakeHalIdList(facts_.modelName, facts_.instanceClasses));
      if (list == nullptr) return hr = E_OUTOFMEMORY;
      *strXMLOut = list;  // the caller passes the slot empty
      return hr = S_OK;
    }
    if (cc == RZDHAL_CC_CONNECT) return hr = Open(lCC, strXMLIn, strXMLOut, pvBufIn, pvBufOut);
    ComPtr<IRZDHAL> service = Service();
    if (!service) return hr = E_NOTIMPL;
    hr = service->Control(lCC, strXMLIn, strXMLOut, pvBufIn, pvBufOut);
  } else {
    if ((code & 0x40000000u) != 0) return hr = E_NOTIMPL;
    ComPtr<IRZDHAL> service = Service();
    if (!service) {
      RZD_LOG_ERROR(u"No HAL Service opened");
      return hr = E_FAIL;
    }
    hr = service->Control(lCC, strXMLIn, strXMLOut, pvBufIn, pvBufOut);
  }
  if (FAILED(hr)) {
    RZD_LOG_ERROR(u"CRZDHALScannerInProc::raw_Control HAL Service threw exception 0x%08X on Control",
                  static_cast<uint32_t>(hr));
  }
  return hr;
}

HRESULT CRZDHALScannerInProc::SendProcessId(IRZDHAL* service) {
  LocalVariant in;
  LocalVariant out;
  in.value.vt = VT_UI4;
  in.value.ulVal = CurrentProcessId();
  Bstr answer;
  return service->Control(RZDHAL_CC_SET_PROCESS_ID, nullptr, answer.Out(), &in.value, &out.value);
}

HRESULT CRZDHALScannerInProc::Open(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut) {
  MSXML6StoreSTL store;
  if (!store.Initialize()) {
    RZD_LOG_ERROR(u"Couldn't create an IXMLObj");
    return E_FAIL;
  }
  std::u16string text;
  if (!store.LoadFromString(BstrView(strXMLIn)) || !store.SelectRoot()) {
    RZD_LOG_ERROR(u"Couldn't seek to XML root");
    return E_FAIL;
  }
  store.GetContextText(text);
  const std::optional<GUID> clsid = ParseGuid(TrimView(text));
  if (!clsid) {
    RZD_LOG_ERROR(u"Couldn't parse a CLSID from XML");
    return E_FAIL;
  }
  const std::u16string classText = FormatGuid(*clsid);
  ComPtr<IRZDHAL> service;
  bool processIdSent = false;
  {
    std::lock_guard guard(fieldsLock_);
    openedClass_ = *clsid;  // kept even when a service is open already
    service = service_;
    processIdSent = processIdSent_;
  }
  if (!service) {
    ComPtr<IRZDHAL> created;
    const HRESULT hr = CoCreateInstance(*clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IRZDHAL, created.OutVoid());
    if (hr != S_OK) {
      RZD_LOG_ERROR(u"Couldn't CoCreate a \"%s\"", classText.c_str());
      return hr;
    }
    std::lock_guard guard(fieldsLock_);
    if (!service_) service_ = created;  // a code 14 on another thread may have opened one first
    service = service_;
    processIdSent = processIdSent_;
  }
  if (!processIdSent) {
    // Until the service knows the process it cannot lock for it: a failed code 35 is sent again
    // with the next code 14.
    const HRESULT hr = SendProcessId(service.Get());
    if (hr != S_OK) {
      RZD_LOG_ERROR(u"Couldn't CoCreate a \"%s\"", classText.c_str());
      return hr;
    }
    std::lock_guard guard(fieldsLock_);
    processIdSent_ = true;
  }
  RZD_LOG_INFO(u"HAL Service Opened - \"%s\"", classText.c_str());
  const HRESULT hr = service->Control(lCC, strXMLIn, strXMLOut, pvBufIn, pvBufOut);
  if (FAILED(hr)) {
    RZD_LOG_ERROR(u"CRZDHALScannerInProc::raw_Control HAL Service threw exception 0x%08X on Control",
                  static_cast<uint32_t>(hr));
  }
  return hr;
}

HRESULT CRZDHALScannerInProc::SendHALControl(LONG lControlCode, BSTR strXMLIn) {
  HRESULT hr = S_OK;
  Bstr out;
  uint32_t outAddress = 0;
  RZD_FUNC_TRACE(u"SendHALControl");
  RZD_TRACE_HRESULT(&hr, u"lControlCode = [0x%08X], strXMLIn=%s, pstrXMLOut=[0x%08X], pvBufIn=[0x%08X], pvBufOut=[0x%08X]",
                    static_cast<uint32_t>(lControlCode), TextOrNull(strXMLIn), 0u, 0u, 0u);
  RZD_TRACE_OUTPUT(u"*pstrXMLOut=[0x%08X]", &outAddress, kTraceUInt32);
  LocalVariant in;
  LocalVariant outValue;
  hr = raw_Control(lControlCode, strXMLIn, out.Out(), &in.value, &outValue.value);
  outAddress = Low32(out.Get());
  if (out) RZD_LOG_WARN(u"SendHALControl losing orphaned XML output: %s", out.Get());
  return hr;
}

// ---- The module protocol.

HRESULT CRZDHALScannerInProc::Configure(LONG /*lReserved1*/, IUnknown* modPrecursor, LONG /*lReserved2*/,
                                        IUnknown* callback, BSTR strSettings) {
  HRESULT hr = S_OK;
  RZD_FUNC_TRACE(u"Configure");
  RZD_TRACE_HRESULT(&hr, u"modPrecursor = 0x%08X, strSettings = 0x%08X", Low32(modPrecursor), Low32(strSettings));
  {
    ComPtr<ProduceCallback> replaced;
    ComPtr<ProduceCallback> found;
    bool changed = false;
    {
      std::lock_guard guard(fieldsLock_);
      changed = callbackSource_.Get() != callback;
    }
    if (changed && callback != nullptr && FAILED(callback->QueryInterface(IID_ProduceCallback, found.OutVoid()))) {
      found.Reset();
    }
    if (changed) {
      std::lock_guard guard(fieldsLock_);
      replaced = std::move(callback_);
      callback_ = std::move(found);
      callbackSource_ = ComPtr<IUnknown>(callback);
    }
  }  // the previous callback is released here, outside the lock
  if (modPrecursor != nullptr) {
    RZD_LOG_ERROR(u"Source module with a Precursor is not a valid configuration");
    return hr = E_INVALIDARG;
  }
  if (strSettings == nullptr) {
    RZD_LOG_ERROR(u"No configuration information provided");
    return hr = E_INVALIDARG;
  }
  const HRESULT settings = SendHALControl(RZDHAL_CC_SET_CURRENT, strSettings);
  if (settings != S_OK) RZD_LOG_ERROR(u"Failed setting current HAL Configuration");
  {
    std::lock_guard guard(fieldsLock_);
    if (meta_) return hr = settings;
  }
  ComPtr<IVBuffer> meta;
  HRESULT made = CoCreateInstance(CLSID_VBuffer, nullptr, CLSCTX_ALL, IID_IVBuffer, meta.OutVoid());
  if (FAILED(made)) {
    RZD_LOG_ERROR(u"Problem creating Meta Data Buffer");
  } else {
    Bstr name(kMetaBufferName);
    made = meta->Create(kMetaBufferSize, name.Get());
  }
  if (FAILED(made)) {
    RZD_LOG_ERROR(u"Problem allocating buffer");
  } else {
    std::lock_guard guard(fieldsLock_);
    if (!meta_) meta_ = meta;  // a Configure on another thread may have made one first
  }
  // The settings' answer counts first, on the first call as on every later one.
  return hr = settings != S_OK ? settings : made;
}

void CRZDHALScannerInProc::ClearMetadataHeader(IVBuffer* meta) {
  void* view = nullptr;
  if (meta->Map(0, kMetaHeaderSize, &view) != S_OK || view == nullptr) return;
  std::memset(view, 0, kMetaHeaderSize);
  meta->Unmap(view);
}

HRESULT CRZDHALScannerInProc::HandOnMetadata(IVBuffer* meta, IRasterBlocks* blocks,
                                             IRasterBlockDescriptor* descriptor) {
  ULONGLONG size = 0;
  if (HRESULT hr = meta->Size(&size); FAILED(hr)) return hr;
  void* view = nullptr;
  if (HRESULT hr = meta->Map(0, size, &view); FAILED(hr)) return hr;
  MetaRecord record;
  HRESULT hr = S_OK;
  switch (ReadMetaRecord(static_cast<const uint8_t*>(view), size, &record)) {
    case MetaCheck::kEmpty:
      break;
    case MetaCheck::kBad:
      RZD_LOG_ERROR(u"The meta data block is invalid");
      hr = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
      break;
    case MetaCheck::kRecord: {
      if (descriptor != nullptr) {
        Bstr text(record.text);
        hr = descriptor->SetOperationText(text.Get());
      }
      if (SUCCEEDED(hr) && record.dataSize != 0) {
        if (record.kind == 0) {
          hr = blocks->PutFrontData(record.data, record.dataSize);
        } else if (record.kind == 1) {
          hr = blocks->PutBackData(record.data, record.dataSize);
        } else {
          const uint64_t half = record.dataSize / 2;
          hr = blocks->PutFrontData(record.data, half);
          if (SUCCEEDED(hr)) hr = blocks->PutBackData(record.data + half, half);
        }
      }
      break;
    }
  }
  const HRESULT unmapped = meta->Unmap(view);
  return FAILED(hr) ? hr : unmapped;
}

HRESULT CRZDHALScannerInProc::Produce(IUnknown* plData) {
  HRESULT hr = S_OK;
  RZD_FUNC_TRACE(u"Produce");
  RZD_TRACE_HRESULT(&hr, u"plData = 0x%08X", Low32(plData));
  ComPtr<IRasterBlocks> blocks;
  ComPtr<IRasterBlockDescriptor> descriptor;
  ComPtr<IRasterLineSize> lineSize;
  if (plData != nullptr) {
    if (FAILED(plData->QueryInterface(IID_IRasterBlocks, blocks.OutVoid()))) blocks.Reset();
    if (FAILED(plData->QueryInterface(IID_IRasterBlockDescriptor, descriptor.OutVoid()))) descriptor.Reset();
    if (FAILED(plData->QueryInterface(IID_IRasterLineSize, lineSize.OutVoid()))) lineSize.Reset();
  }
  if (!blocks) {
    RZD_LOG_ERROR(u"The Payload is invalid");
    return hr = E_INVALIDARG;
  }
  ComPtr<IUnknown> payloadBuffer;
  ComPtr<IVBuffer> raster;
  if (FAILED(blocks->GetVBuffer(payloadBuffer.Out())) || !payloadBuffer ||
      FAILED(payloadBuffer.As(IID_IVBuffer, &raster))) {
    RZD_LOG_ERROR(u"The Payload contains an invalid virtual buffer");
    return hr = E_INVALIDARG;
  }
  ComPtr<IVBuffer> meta;
  ComPtr<ProduceCallback> callback;
  {
    std::lock_guard guard(fieldsLock_);
    meta = meta_;
    callback = callback_;
  }
  Bstr rasterName;
  if (HRESULT named = raster->GetName(rasterName.Out()); FAILED(named)) return hr = named;
  Bstr metaName(u"None");
  if (meta) {
    if (HRESULT named = meta->GetName(metaName.Out()); FAILED(named)) return hr = named;
    ClearMetadataHeader(meta.Get());
  }
  hr = raw_Read(rasterName.Get(), metaName.Get(), 3);

  // What follows runs whatever the read answered; the first failure counts when the read did not
  // fail itself.
  auto keep = [&hr](HRESULT step) {
    if (SUCCEEDED(hr) && FAILED(step)) hr = step;
  };
  if (lineSize) keep(blocks->Attach(raster.Get()));
  if (meta) keep(HandOnMetadata(meta.Get(), blocks.Get(), descriptor.Get()));
  if (callback) {
    VARIANT_BOOL abort = VARIANT_FALSE;
    const HRESULT asked = callback->QueryAbort(&abort);
    keep(asked);
    if (SUCCEEDED(asked) && abort != VARIANT_FALSE) {
      SendHALControl(RZDHAL_CC_CANCEL_OPERATION, nullptr);
      blocks->SetBoundary(6);
      hr = E_ABORT;
    }
  }
  return hr;
}

// ---- Transfer buffers and the panel's library.

HRESULT CRZDHALScannerInProc::CreateMMFile(BSTR strName, LONG lReqSize) {
  HRESULT hr = S_OK;
  RZD_FUNC_TRACE(u"CreateMMFile");
  RZD_TRACE_HRESULT(&hr, u"strName = %s, lReqSize = %d", TextOrNull(strName), lReqSize);
  Bstr parameters(MakeAllocateParameters(BstrView(strName), lReqSize));
  return hr = SendHALControl(RZDHAL_CC_ALLOCATEVBUFF, parameters.Get());
}

HRESULT CRZDHALScannerInProc::ReleaseMMFile(BSTR strName) {
  HRESULT hr = S_OK;
  RZD_FUNC_TRACE(u"ReleaseMMFile");
  RZD_TRACE_HRESULT(&hr, u"strName = %s", TextOrNull(strName));
  Bstr parameters(MakeReleaseParameters(BstrView(strName)));
  return hr = SendHALControl(RZDHAL_CC_RELEASEVBUFF, parameters.Get());
}

HRESULT CRZDHALScannerInProc::raw_DLLPath(BSTR* strDLLPath) {
  HRESULT hr = S_OK;
  RZD_FUNC_TRACE(u"raw_DLLPath");
  RZD_TRACE_HRESULT(&hr, u"strDLLPath = 0x%08X", Low32(strDLLPath));
  if (strDLLPath == nullptr) return hr = E_FAIL;
  // The library's own path; a module that is not this library (or no path at all) answers E_FAIL
  // rather than success with nothing.
  const std::filesystem::path module = GetModulePath();
  if (module.empty() || module.filename().u16string() != facts_.bridgeLibraryName) return hr = E_FAIL;
  BSTR path = AllocBstr((module.parent_path() / facts_.panelLibraryName).u16string());
  if (path == nullptr) return hr = E_OUTOFMEMORY;
  *strDLLPath = path;
  return hr;
}

}  // namespace rzd::nethal
