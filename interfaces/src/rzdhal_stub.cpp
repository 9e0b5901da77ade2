// The server side of IRZDHAL across processes: decodes a request, calls the object, encodes the
// reply (the layout is in rzdhal_proxy.cpp). A request that does not decode answers
// RPC_X_BAD_STUB_DATA without reaching the object.
#include "rzdhal_marshal.h"

namespace rzd::rzdhal_internal {

namespace {

class RzdHalStub final : public ComObject<IRemoteStub> {
 public:
  explicit RzdHalStub(ComPtr<IRZDHAL> server) : ComObject(&ProxyStubModule()), server_(std::move(server)) {}

  HRESULT Invoke(uint32_t method, RemoteReader& request, RemoteWriter& reply) override {
    switch (static_cast<RzdHalMethod>(method)) {
      case RzdHalMethod::LockScanner:
        return LockScanner(request, reply);
      case RzdHalMethod::UnlockScanner:
        return UnlockScanner(request, reply);
      case RzdHalMethod::Control:
        return Control(request, reply);
      case RzdHalMethod::Read:
        return Read(request, reply);
    }
    return RPC_X_BAD_STUB_DATA;
  }

 protected:
  void* FindInterface(const IID& iid) override {
    return iid == IID_IRemoteStub ? static_cast<IRemoteStub*>(this) : nullptr;
  }

 private:
  static void PutStatus(RemoteWriter& reply, bool present, LONG status) {
    reply.PutOptionalI32(present ? &status : nullptr);
  }

  HRESULT LockScanner(RemoteReader& request, RemoteWriter& reply) {
    int32_t pid = 0;
    bool present = false;
    int32_t status = 0;
    uint32_t timeout = 0;
    if (!request.GetI32(&pid) || !request.GetOptionalI32(&present, &status) || !request.GetU32(&timeout) ||
        !request.AtEnd()) {
      return RPC_X_BAD_STUB_DATA;
    }
    HRESULT result = server_->LockScanner(pid, present ? &status : nullptr, timeout);
    reply.PutI32(result);
    PutStatus(reply, present, status);
    return S_OK;
  }

  HRESULT UnlockScanner(RemoteReader& request, RemoteWriter& reply) {
    bool present = false;
    int32_t status = 0;
    if (!request.GetOptionalI32(&present, &status) || !request.AtEnd()) return RPC_X_BAD_STUB_DATA;
    HRESULT result = server_->UnlockScanner(present ? &status : nullptr);
    reply.PutI32(result);
    PutStatus(reply, present, status);
    return S_OK;
  }

  HRESULT Control(RemoteReader& request, RemoteWriter& reply) {
    int32_t code = 0;
    Bstr in;
    uint8_t hasOut = 0;
    Bstr out;
    bool hasBufferIn = false;
    bool hasBufferOut = false;
    VARIANT bufferIn;
    VARIANT bufferOut;
    VariantInit(&bufferIn);
    VariantInit(&bufferOut);
    bool decoded = request.GetI32(&code) && request.GetBstr(in.Out()) && request.GetU8(&hasOut) && hasOut <= 1 &&
                   (hasOut == 0 || request.GetBstr(out.Out())) && request.GetVariant(&hasBufferIn, &bufferIn) &&
                   request.GetVariant(&hasBufferOut, &bufferOut) && request.AtEnd();
    if (!decoded) {
      VariantClear(&bufferIn);
      VariantClear(&bufferOut);
      return RPC_X_BAD_STUB_DATA;
    }
    // The object may free and replace what the out-pointers hold; what they hold afterwards is
    // this stub's to send and free.
    BSTR outText = out.Detach();
    HRESULT result = server_->Control(code, in.Get(), hasOut != 0 ? &outText : nullptr,
                                      hasBufferIn ? &bufferIn : nullptr, hasBufferOut ? &bufferOut : nullptr);
    out = Bstr::Attach(outText);
    VariantClear(&bufferIn);

    RemoteWriter outputs;
    if (hasOut != 0) outputs.PutBstr(out.Get());
    HRESULT encoded = outputs.PutVariant(hasBufferOut ? &bufferOut : nullptr);
    VariantClear(&bufferOut);
    if (FAILED(encoded)) {
      // The object answered a value no call carries: the caller gets the reason, and its own
      // values stay as they were.
      reply.PutI32(encoded);
      reply.PutU8(0);
      return S_OK;
    }
    reply.PutI32(result);
    reply.PutU8(1);
    reply.PutBytes(outputs.Bytes().data(), outputs.Size());
    return S_OK;
  }

  HRESULT Read(RemoteReader& request, RemoteWriter& reply) {
    Bstr raster;
    Bstr meta;
    int32_t boundary = 0;
    if (!request.GetBstr(raster.Out()) || !request.GetBstr(meta.Out()) || !request.GetI32(&boundary) ||
        !request.AtEnd()) {
      return RPC_X_BAD_STUB_DATA;
    }
    reply.PutI32(server_->Read(raster.Get(), meta.Get(), boundary));
    return S_OK;
  }

  ComPtr<IRZDHAL> server_;
};

}  // namespace

HRESULT CreateRzdHalStub(IUnknown* server, IRemoteStub** stub) {
  *stub = nullptr;
  ComPtr<IRZDHAL> hal;
  if (server == nullptr || FAILED(server->QueryInterface(IID_IRZDHAL, hal.OutVoid()))) return E_NOINTERFACE;
  return CreateComObject<RzdHalStub>(nullptr, IID_IRemoteStub, reinterpret_cast<void**>(stub), std::move(hal));
}

}  // namespace rzd::rzdhal_internal
