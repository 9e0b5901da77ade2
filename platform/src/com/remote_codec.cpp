// How calls carry their values: numbers as they are in memory, BSTRs by byte length, and the
// VARIANT kinds calls pass.
#include "platform/com_remote.h"

#include <cstring>

namespace rzd {

namespace {

constexpr uint32_t kNullBstr = 0xFFFFFFFF;
constexpr VARTYPE kByteArray = VT_ARRAY | VT_UI1;

// The VARIANT types whose value is the 8 bytes at byte 8, carried as they are.
bool IsValueType(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_BOOL:
      return true;
    default:
      return false;
  }
}

}  // namespace

void RemoteWriter::Append(const void* data, size_t size) {
  if (size == 0) return;
  const auto* bytes = static_cast<const uint8_t*>(data);
  bytes_.insert(bytes_.end(), bytes, bytes + size);
}

void RemoteWriter::PutBstr(BSTR text) {
  if (text == nullptr) {
    PutU32(kNullBstr);
    return;
  }
  const uint32_t size = SysStringByteLen(text);
  PutU32(size);
  Append(text, size);
}

void RemoteWriter::PutOptionalI32(const int32_t* value) {
  PutU8(value != nullptr ? 1 : 0);
  if (value != nullptr) PutI32(*value);
}

HRESULT RemoteWriter::PutVariant(const VARIANT* value) {
  if (value == nullptr) {
    PutU8(0);
    return S_OK;
  }
  const VARTYPE vt = value->vt;
  if (vt == kByteArray) {
    const SAFEARRAY* array = value->parray;
    if (array != nullptr && (array->cDims != 1 || array->cbElements != 1 ||
                             array->rgsabound[0].cElements > kMaxRemoteMessageBytes)) {
      return E_INVALIDARG;
    }
    PutU8(1);
    PutU16(vt);
    PutU8(array != nullptr ? 1 : 0);
    if (array != nullptr) {
      PutI32(array->rgsabound[0].lLbound);
      PutU32(array->rgsabound[0].cElements);
      Append(array->pvData, array->rgsabound[0].cElements);
    }
    return S_OK;
  }
  if (vt != VT_EMPTY && vt != VT_BSTR && !IsValueType(vt)) return DISP_E_BADVARTYPE;
  PutU8(1);
  PutU16(vt);
  if (vt == VT_BSTR) PutBstr(value->bstrVal);
  if (IsValueType(vt)) PutU64(value->ullVal);
  return S_OK;
}

bool RemoteReader::Take(void* value, size_t size) {
  if (Left() < size) return false;
  std::memcpy(value, at_, size);
  at_ += size;
  return true;
}

bool RemoteReader::GetBstr(BSTR* text) {
  *text = nullptr;
  uint32_t size = 0;
  if (!GetU32(&size)) return false;
  if (size == kNullBstr) return true;
  if (size > Left()) return false;
  BSTR made = SysAllocStringByteLen(reinterpret_cast<const char*>(at_), size);
  if (made == nullptr) return false;
  at_ += size;
  *text = made;
  return true;
}

bool RemoteReader::GetOptionalI32(bool* present, int32_t* value) {
  uint8_t flag = 0;
  *present = false;
  if (!GetU8(&flag) || flag > 1) return false;
  if (flag == 0) return true;
  *present = true;
  return GetI32(value);
}

bool RemoteReader::GetVariant(bool* present, VARIANT* value) {
  VariantInit(value);
  *present = false;
  uint8_t flag = 0;
  if (!GetU8(&flag) || flag > 1) return false;
  if (flag == 0) return true;
  VARTYPE vt = VT_EMPTY;
  if (!GetU16(&vt)) return false;
  if (vt == VT_EMPTY) {
    *present = true;
    return true;
  }
  if (IsValueType(vt)) {
    uint64_t bits = 0;
    if (!GetU64(&bits)) return false;
    value->vt = vt;
    value->ullVal = bits;
    *present = true;
    return true;
  }
  if (vt == VT_BSTR) {
    BSTR text = nullptr;
    if (!GetBstr(&text)) return false;
    value->vt = VT_BSTR;
    value->bstrVal = text;
    *present = true;
    return true;
  }
  if (vt != kByteArray) return false;
  uint8_t hasArray = 0;
  if (!GetU8(&hasArray) || hasArray > 1) return false;
  SAFEARRAY* array = nullptr;
  if (hasArray == 1) {
    int32_t lowerBound = 0;
    uint32_t count = 0;
    if (!GetI32(&lowerBound) || !GetU32(&count) || count > Left()) return false;
    array = SafeArrayCreateVector(VT_UI1, lowerBound, count);
    if (array == nullptr) return false;
    if (count > 0) std::memcpy(array->pvData, at_, count);
    at_ += count;
  }
  value->vt = kByteArray;
  value->parray = array;
  *present = true;
  return true;
}

}  // namespace rzd
