// Windows value types that cross boundaries between deliverables: BSTR, VARIANT, SAFEARRAY, GUID.
#pragma once

#include "platform/errors.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;  // `long` in any interface is 32 bits
using ULONG = uint32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using BOOL = int32_t;
using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
// Macros, as other C libraries (libjpeg among them) define them the same way.
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// ---- BSTR: UTF-16 text preceded by a 4-byte byte length and followed by a terminator.
// A null BSTR reads as the empty string everywhere.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length);  // text may be null: zero-filled
BSTR SysAllocStringByteLen(const char* bytes, uint32_t byteLength);
void SysFreeString(BSTR text);
uint32_t SysStringLen(BSTR text);      // in characters; embedded NULs count
uint32_t SysStringByteLen(BSTR text);  // in bytes
// Replaces *target with a copy of `text` (frees the old one); false when out of memory.
bool SysReAllocString(BSTR* target, const OLECHAR* text);

namespace rzd {
// Allocation from a u16string (embedded NULs kept).
BSTR AllocBstr(std::u16string_view text);
// The BSTR's text as a view (empty for null).
std::u16string_view BstrView(BSTR text);

// Owning BSTR holder.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view text) : p_(AllocBstr(text)) {}
  // Copies every byte, so embedded NULs and an odd byte length survive.
  Bstr(const Bstr& other)
      : p_(other.p_ ? SysAllocStringByteLen(reinterpret_cast<const char*>(other.p_), SysStringByteLen(other.p_))
                    : nullptr) {}
  Bstr(Bstr&& other) noexcept : p_(other.Detach()) {}
  Bstr& operator=(Bstr other) noexcept { std::swap(p_, other.p_); return *this; }
  ~Bstr() { SysFreeString(p_); }
  static Bstr Attach(BSTR p) { Bstr b; b.p_ = p; return b; }
  BSTR Get() const { return p_; }
  BSTR* Out() { Reset(); return &p_; }  // for out-parameters
  BSTR Detach() { BSTR p = p_; p_ = nullptr; return p; }
  void Reset() { SysFreeString(p_); p_ = nullptr; }
  std::u16string_view View() const { return BstrView(p_); }
  std::u16string Str() const { return std::u16string(View()); }
  uint32_t Length() const { return SysStringLen(p_); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  BSTR p_ = nullptr;
};
}  // namespace rzd

// ---- SAFEARRAY: one-dimensional arrays of bytes (the only kind the system passes).
struct SAFEARRAYBOUND {
  uint32_t cElements;
  int32_t lLbound;
};
struct SAFEARRAY {
  uint16_t cDims;
  uint16_t fFeatures;
  uint32_t cbElements;
  uint32_t cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_VARIANT = 12;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_I1 = 16;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_UI2 = 18;
constexpr VARTYPE VT_UI4 = 19;
constexpr VARTYPE VT_I8 = 20;
constexpr VARTYPE VT_UI8 = 21;
constexpr VARTYPE VT_INT = 22;
constexpr VARTYPE VT_UINT = 23;
constexpr VARTYPE VT_ARRAY = 0x2000;
constexpr VARTYPE VT_BYREF = 0x4000;

// Creates a one-dimensional array; only VT_UI1 elements are supported (others answer null).
SAFEARRAY* SafeArrayCreate(VARTYPE vt, uint32_t dims, const SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, int32_t lowerBound, uint32_t elements);
HRESULT SafeArrayDestroy(SAFEARRAY* array);
uint32_t SafeArrayGetDim(SAFEARRAY* array);
uint32_t SafeArrayGetElemsize(SAFEARRAY* array);
HRESULT SafeArrayGetLBound(SAFEARRAY* array, uint32_t dim, int32_t* lowerBound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, uint32_t dim, int32_t* upperBound);
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
// New size of the (only) dimension; contents kept up to the smaller size, growth zero-filled.
// Fails while the array is locked.
HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* newBound);
HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy);

// ---- VARIANT: 24 bytes on this build, value at byte 8.
struct IUnknown;
struct IDispatch;
struct VARIANT {
  VARTYPE vt;
  uint16_t wReserved1;
  uint16_t wReserved2;
  uint16_t wReserved3;
  union {
    int64_t llVal;
    uint64_t ullVal;
    int32_t lVal;
    uint32_t ulVal;
    int32_t intVal;
    uint32_t uintVal;
    int16_t iVal;
    uint16_t uiVal;
    uint8_t bVal;
    VARIANT_BOOL boolVal;
    BSTR bstrVal;
    SAFEARRAY* parray;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    void* byref;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } record;
  };
};
static_assert(sizeof(VARIANT) == 24, "VARIANT is 24 bytes on a 64-bit build");
static_assert(offsetof(VARIANT, llVal) == 8, "VARIANT value sits at byte 8");

void VariantInit(VARIANT* v);
// Frees what the variant owns (BSTR, array, interface reference) and sets it to VT_EMPTY.
HRESULT VariantClear(VARIANT* v);
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);

// ---- GUID
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
  friend bool operator==(const GUID&, const GUID&) = default;
  friend auto operator<=>(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;
constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

namespace rzd {
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case hex digits.
std::u16string FormatGuid(const GUID& guid);
std::string FormatGuidA(const GUID& guid);
// Accepts the braced form (either case); nullopt for anything else.
std::optional<GUID> ParseGuid(std::u16string_view text);
std::optional<GUID> ParseGuid(std::string_view text);
// A new random GUID.
GUID NewGuid();
}  // namespace rzd
