// The client side of IRZDHAL across processes: each method is one request and one reply.
//
// Requests and replies (platform/com_remote.h values, in this order):
//   LockScanner    in: lPID, optional *lpStatus, dwTimeout       out: result, optional *lpStatus
//   UnlockScanner  in: optional *lpStatus                        out: result, optional *lpStatus
//   Control        in: lCC, strXMLIn, flag + *strXMLOut, pvBufIn, pvBufOut
//                  out: result, flag "outputs follow", [*strXMLOut], pvBufOut
//   Read           in: strMMRasterName, strMMMetaData, lSessionBoundary   out: result
#include "rzdhal_marshal.h"

#include "platform/com_object.h"

namespace rzd::rzdhal_internal {

namespace {

// Reads an optional LONG back into the caller's pointer (which must match what was sent).
bool ReadStatus(RemoteReader& reply, LONG* target) {
  bool present = false;
  int32_t value = 0;
  if (!reply.GetOptionalI32(&present, &value) || present != (target != nullptr)) return false;
  if (target != nullptr) *target = value;
  return true;
}

class RzdHalProxy final : public DispatchWithoutTypeInfo<ComObject<IRZDHAL>> {
 public:
  static constexpr bool kAggregatable = true;
  explicit RzdHalProxy(RemoteLink link) : DispatchWithoutTypeInfo(&ProxyStubModule()), link_(std::move(link)) {}


  HRESULT LockScanner(LONG lPID, LONG* lpStatus, DWORD dwTimeout) override {
    RemoteWriter request;
    request.PutI32(lPID);
    request.PutOptionalI32(lpStatus);
    request.PutU32(dwTimeout);
    return CallWithStatus(RzdHalMethod::LockScanner, request, lpStatus);
  }

  HRESULT UnlockScanner(LONG* lpStatus) override {
    RemoteWriter request;
    request.PutOptionalI32(lpStatus);
    return CallWithStatus(RzdHalMethod::UnlockScanner, request, lpStatus);
  }

  HRESULT Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut) override {
    RemoteWriter request;
    request.PutI32(lCC);
    request.PutBstr(strXMLIn);
    request.PutU8(strXMLOut != nullptr ? 1 : 0);
    if (strXMLOut != nullptr) request.PutBstr(*strXMLOut);
    if (HRESULT hr = request.PutVariant(pvBufIn); FAILED(hr)) return hr;
    if (HRESULT hr = request.PutVariant(pvBufOut); FAILED(hr)) return hr;
    RemoteReply reply;
    if (HRESULT hr = link_.Call(static_cast<uint32_t>(RzdHalMethod::Control), request, &reply); FAILED(hr)) return hr;

    RemoteReader answer = reply.Reader();
    int32_t result = 0;
    uint8_t outputs = 0;
    if (!answer.GetI32(&result) || !answer.GetU8(&outputs) || outputs > 1) return RPC_X_BAD_STUB_DATA;
    if (outputs == 0) return answer.AtEnd() ? result : RPC_X_BAD_STUB_DATA;
    // Decode everything first, so a reply that does not decode leaves the caller's values alone.
    Bstr text;
    if (strXMLOut != nullptr && !answer.GetBstr(text.Out())) return RPC_X_BAD_STUB_DATA;
    bool present = false;
    VARIANT value;
    if (!answer.GetVariant(&present, &value)) return RPC_X_BAD_STUB_DATA;
    if (present != (pvBufOut != nullptr) || !answer.AtEnd()) {
      VariantClear(&value);
      return RPC_X_BAD_STUB_DATA;
    }
    if (strXMLOut != nullptr) {
      SysFreeString(*strXMLOut);
      *strXMLOut = text.Detach();
    }
    if (pvBufOut != nullptr) {
      VariantClear(pvBufOut);
      *pvBufOut = value;  // the reply's value changes owner
    }
    return result;
  }

  HRESULT Read(BSTR strMMRasterName, BSTR strMMMetaData, LONG lSessionBoundary) override {
    RemoteWriter request;
    request.PutBstr(strMMRasterName);
    request.PutBstr(strMMMetaData);
    request.PutI32(lSessionBoundary);
    RemoteReply reply;
    if (HRESULT hr = link_.Call(static_cast<uint32_t>(RzdHalMethod::Read), request, &reply); FAILED(hr)) return hr;
    RemoteReader answer = reply.Reader();
    int32_t result = 0;
    if (!answer.GetI32(&result) || !answer.AtEnd()) return RPC_X_BAD_STUB_DATA;
    return result;
  }

 protected:
  void* FindInterface(const IID& iid) override {
    if (iid == IID_IRZDHAL || iid == IID_IDispatch) return static_cast<IRZDHAL*>(this);
    return nullptr;
  }

 private:
  HRESULT CallWithStatus(RzdHalMethod method, const RemoteWriter& request, LONG* lpStatus) {
    RemoteReply reply;
    if (HRESULT hr = link_.Call(static_cast<uint32_t>(method), request, &reply); FAILED(hr)) return hr;
    RemoteReader answer = reply.Reader();
    int32_t result = 0;
    LONG status = 0;
    LONG* into = lpStatus != nullptr ? &status : nullptr;
    if (!answer.GetI32(&result) || !ReadStatus(answer, into) || !answer.AtEnd()) return RPC_X_BAD_STUB_DATA;
    if (lpStatus != nullptr) *lpStatus = status;
    return result;
  }

  RemoteLink link_;
};

}  // namespace

HRESULT CreateRzdHalProxy(IUnknown* outer, const RemoteLink& link, IUnknown** inner) {
  return CreateComObject<RzdHalProxy>(outer, IID_IUnknown, reinterpret_cast<void**>(inner), link);
}

}  // namespace rzd::rzdhal_internal
