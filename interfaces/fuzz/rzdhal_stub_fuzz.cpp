// libFuzzer target: requests as they arrive from a client, decoded by the IRZDHAL stub and
// carried to an object. The first byte picks the method (1 LockScanner, 2 UnlockScanner,
// 3 Control, 4 Read, others unknown), the rest is the request. Every request must answer
// S_OK or RPC_X_BAD_STUB_DATA, and an answered request's reply must decode as the proxy reads it.
//
// Run (from a build configured with the fuzz preset):
//   rzdhal_stub_fuzz -max_total_time=60 -dict=<src>/interfaces/fuzz/rzdhal.dict \
//                    <corpus-dir> <src>/interfaces/fuzz/corpus
#include "interfaces/rzdhal_codes.h"
#include "interfaces/rzdhal_proxy_stub.h"
#include "platform/com_object.h"
#include "platform/com_remote.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using rzd::ComPtr;

// Answers every method with values of its own, touching the out-pointers it is given.
class AnsweringHal final : public rzd::DispatchWithoutTypeInfo<rzd::ComObject<IRZDHAL>> {
 public:
  HRESULT LockScanner(LONG lPID, LONG* lpStatus, DWORD) override {
    if (lpStatus != nullptr) *lpStatus = lPID;
    return S_OK;
  }
  HRESULT UnlockScanner(LONG* lpStatus) override {
    if (lpStatus != nullptr) *lpStatus = static_cast<LONG>(static_cast<uint32_t>(*lpStatus) + 1u);
    return rzd::kHalBusy;
  }
  HRESULT Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut) override {
    if (strXMLOut != nullptr) {
      SysFreeString(*strXMLOut);
      *strXMLOut = strXMLIn == nullptr ? nullptr : SysAllocStringByteLen(reinterpret_cast<const char*>(strXMLIn),
                                                                          SysStringByteLen(strXMLIn));
    }
    if (pvBufOut != nullptr && pvBufIn != nullptr) {
      VariantClear(pvBufOut);
      VariantCopy(pvBufOut, pvBufIn);
    }
    return lCC;
  }
  HRESULT Read(BSTR, BSTR, LONG lSessionBoundary) override { return lSessionBoundary; }

 protected:
  void* FindInterface(const IID& iid) override {
    return iid == IID_IRZDHAL ? static_cast<IRZDHAL*>(this) : nullptr;
  }
};

IRemoteStub* Stub() {
  static IRemoteStub* stub = [] {
    ComPtr<IProxyStubFactory> factory;
    rzd::GetRzdHalProxyStubClassObject(IID_IProxyStubFactory, factory.OutVoid());
    ComPtr<IRZDHAL> hal = rzd::MakeComObject<AnsweringHal>();
    IRemoteStub* made = nullptr;
    factory->CreateStub(IID_IRZDHAL, hal.Get(), &made);
    return made;
  }();
  return stub;
}

// Reads a Control reply as the proxy does; false when it does not decode.
bool ControlReplyDecodes(rzd::RemoteReader& reply) {
  int32_t result = 0;
  uint8_t outputs = 0;
  if (!reply.GetI32(&result) || !reply.GetU8(&outputs)) return false;
  if (outputs == 0) return reply.AtEnd();
  BSTR text = nullptr;
  bool present = false;
  VARIANT value;
  VariantInit(&value);
  // The request decided whether a text comes; try both shapes the stub may write.
  rzd::RemoteReader withText = reply;
  if (withText.GetBstr(&text) && withText.GetVariant(&present, &value) && withText.AtEnd()) {
    SysFreeString(text);
    VariantClear(&value);
    return true;
  }
  SysFreeString(text);
  VariantClear(&value);
  bool decoded = reply.GetVariant(&present, &value) && reply.AtEnd();
  VariantClear(&value);
  return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint32_t method = data[0] % 5;
  rzd::RemoteReader request(data + 1, size - 1);
  rzd::RemoteWriter reply;
  const HRESULT hr = Stub()->Invoke(method, request, reply);
  if (hr != S_OK && hr != RPC_X_BAD_STUB_DATA) std::abort();
  if (hr == S_OK && method == static_cast<uint32_t>(RzdHalMethod::Control)) {
    rzd::RemoteReader answer(reply.Bytes().data(), reply.Size());
    if (!ControlReplyDecodes(answer)) std::abort();
  }
  return 0;
}
