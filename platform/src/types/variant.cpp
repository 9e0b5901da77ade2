#include "platform/types.h"
#include "platform/unknown.h"

#include <cstring>

void VariantInit(VARIANT* v) {
  if (v == nullptr) return;
  std::memset(v, 0, sizeof(VARIANT));
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
  if (v == nullptr) return E_INVALIDARG;
  if ((v->vt & VT_BYREF) == 0) {
    if (v->vt & VT_ARRAY) {
      HRESULT hr = SafeArrayDestroy(v->parray);
      if (FAILED(hr)) return hr;
    } else if (v->vt == VT_BSTR) {
      SysFreeString(v->bstrVal);
    } else if (v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) {
      if (v->punkVal != nullptr) v->punkVal->Release();
    }
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  if ((src->vt & VT_BYREF) == 0) {
    if (src->vt & VT_ARRAY) {
      HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
      if (FAILED(hr)) return hr;
    } else if (src->vt == VT_BSTR) {
      // Byte-for-byte copy: embedded NULs and an odd byte length are kept.
      copy.bstrVal = src->bstrVal ? SysAllocStringByteLen(reinterpret_cast<const char*>(src->bstrVal),
                                                          SysStringByteLen(src->bstrVal))
                                  : nullptr;
      if (src->bstrVal != nullptr && copy.bstrVal == nullptr) return E_OUTOFMEMORY;
    } else if (src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) {
      if (src->punkVal != nullptr) src->punkVal->AddRef();
    }
  }
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) {
    VARIANT undo = copy;
    VariantClear(&undo);
    return hr;
  }
  *dest = copy;
  return S_OK;
}
