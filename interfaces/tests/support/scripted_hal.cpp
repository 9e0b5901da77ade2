#include "scripted_hal.h"

#include "platform/com_object.h"
#include "platform/com_remote.h"
#include "platform/kernel.h"
#include "platform/process.h"
#include "platform/text.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

namespace rzd::test {

namespace {

constexpr HRESULT kBadBoundary = MakeHr(0xE0010007);
constexpr int32_t kNullInput = 0x4E554C4C;

std::atomic<int32_t> g_live{0};

std::u16string Describe(BSTR text) {
  if (text == nullptr) return u"null";
  return FormatW(u"%u bytes", SysStringByteLen(text));
}

std::u16string Describe(const VARIANT* value) {
  if (value == nullptr) return u"null";
  return FormatW(u"vt %u", static_cast<uint32_t>(value->vt));
}

// The bytes of `text` in reverse order, followed by `suffix` (UTF-16).
BSTR ReversedWith(BSTR text, const std::u16string& suffix) {
  std::string bytes;
  if (text != nullptr) bytes.assign(reinterpret_cast<const char*>(text), SysStringByteLen(text));
  std::reverse(bytes.begin(), bytes.end());
  bytes.append(reinterpret_cast<const char*>(suffix.data()), suffix.size() * sizeof(char16_t));
  return SysAllocStringByteLen(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void Transform(const VARIANT* in, VARIANT* out) {
  VariantInit(out);
  if (in == nullptr) {
    out->vt = VT_I4;
    out->lVal = kNullInput;
    return;
  }
  out->vt = in->vt;
  if (in->vt == VT_BSTR) {
    out->bstrVal = in->bstrVal == nullptr ? nullptr : ReversedWith(in->bstrVal, u"");
  } else if (in->vt == (VT_ARRAY | VT_UI1)) {
    if (in->parray == nullptr) return;
    const uint32_t count = in->parray->rgsabound[0].cElements;
    out->parray = SafeArrayCreateVector(VT_UI1, in->parray->rgsabound[0].lLbound + 1, count);
    const auto* from = static_cast<const uint8_t*>(in->parray->pvData);
    auto* to = static_cast<uint8_t*>(out->parray->pvData);
    for (uint32_t i = 0; i < count; ++i) to[i] = static_cast<uint8_t>(from[i] ^ 0x5A);
  } else if (in->vt != VT_EMPTY) {
    out->ullVal = ~in->ullVal;
  }
}

class ScriptedHal final : public DispatchWithoutTypeInfo<ComObject<IRZDHAL>> {
 public:
  ScriptedHal() { g_live.fetch_add(1); }
  ~ScriptedHal() override { g_live.fetch_sub(1); }


  HRESULT LockScanner(LONG lPID, LONG* lpStatus, DWORD dwTimeout) override {
    if (lpStatus != nullptr) *lpStatus = lPID ^ static_cast<LONG>(dwTimeout);
    if (lPID == 0) return E_INVALIDARG;
    return dwTimeout == 170 ? 170 : S_OK;
  }

  HRESULT UnlockScanner(LONG* lpStatus) override {
    if (lpStatus == nullptr) return E_INVALIDARG;
    *lpStatus += 1;
    return S_OK;
  }

  HRESULT Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut) override {
    if (lCC == kScriptCancel) {
      std::lock_guard guard(lock_);
      cancelled_ = true;
      changed_.notify_all();
    }
    if (lCC == kScriptWhoCalls) {
      CallerIdentity caller;
      std::u16string text = u"in-process";
      if (GetCallerIdentity(&caller)) {
        text = FormatW(u"pid=%u user=%s", caller.processId, FromUtf8(caller.userName).c_str());
      }
      if (strXMLOut != nullptr) {
        SysFreeString(*strXMLOut);
        *strXMLOut = AllocBstr(text);
      }
      if (pvBufOut != nullptr) {
        VariantClear(pvBufOut);
        pvBufOut->vt = VT_UI4;
        pvBufOut->ulVal = CurrentProcessId();
      }
      return S_OK;
    }
    if (lCC == kScriptNameObject) {
      std::lock_guard guard(lock_);
      name_ = std::u16string(BstrView(strXMLIn));
      return S_OK;
    }
    if (lCC == kScriptReadWaiting) {
      std::lock_guard guard(lock_);
      if (pvBufOut != nullptr) {
        VariantClear(pvBufOut);
        pvBufOut->vt = VT_BOOL;
        pvBufOut->boolVal = waiting_ ? VARIANT_TRUE : VARIANT_FALSE;
      }
      return S_OK;
    }
    if (lCC == kScriptOddOutput) {
      if (pvBufOut != nullptr) {
        VariantClear(pvBufOut);
        pvBufOut->vt = 5;  // VT_R8
        pvBufOut->ullVal = 0x400921FB54442D18ull;
      }
      return S_OK;
    }
    const std::u16string description = FormatW(u"|cc=%d in=%s out=%s bufin=%s bufout=%s", lCC,
                                               Describe(strXMLIn).c_str(),
                                               Describe(strXMLOut != nullptr ? *strXMLOut : nullptr).c_str(),
                                               Describe(pvBufIn).c_str(), Describe(pvBufOut).c_str());
    if (strXMLOut != nullptr) {
      BSTR made = ReversedWith(strXMLIn, description);
      SysFreeString(*strXMLOut);
      *strXMLOut = made;
    }
    if (pvBufOut != nullptr) {
      VARIANT made;
      Transform(pvBufIn, &made);
      VariantClear(pvBufOut);
      *pvBufOut = made;
    }
    if (lCC < 0) return E_NOTIMPL;
    if (lCC == 2) return E_FAIL;
    return lCC == 3 ? 170 : S_OK;
  }

  HRESULT Read(BSTR strMMRasterName, BSTR strMMMetaData, LONG lSessionBoundary) override {
    if (BstrView(strMMRasterName) == kWaitForCancel) {
      std::unique_lock guard(lock_);
      waiting_ = true;
      bool cancelled = changed_.wait_for(guard, std::chrono::seconds(60), [this] { return cancelled_; });
      waiting_ = false;
      return cancelled ? S_OK : E_FAIL;
    }
    if (lSessionBoundary < 1 || lSessionBoundary > 6) return kBadBoundary;
    return ((SysStringByteLen(strMMRasterName) + SysStringByteLen(strMMMetaData)) % 2) != 0 ? S_FALSE : S_OK;
  }

 protected:
  void* FindInterface(const IID& iid) override {
    if (iid == IID_IRZDHAL || iid == IID_IDispatch) return static_cast<IRZDHAL*>(this);
    return nullptr;
  }

  void FinalRelease() override {
    std::u16string name;
    {
      std::lock_guard guard(lock_);
      name = name_;
    }
    if (name.empty()) return;
    auto released = Event::Open(u"Global\\rzdhal-released-" + name);
    if (released) released.handle.Set();
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool cancelled_ = false;
  bool waiting_ = false;
  std::u16string name_;
};

}  // namespace

HRESULT CreateScriptedHal(IUnknown* outer, const IID& iid, void** object) {
  return CreateComObject<ScriptedHal>(outer, iid, object);
}

int32_t LiveScriptedHals() { return g_live.load(); }

}  // namespace rzd::test
