#include "platform/types.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {
constexpr uint16_t FADF_HAVEVARTYPE = 0x0080;

bool Valid(SAFEARRAY* array) { return array != nullptr && array->cDims == 1; }
}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, uint32_t dims, const SAFEARRAYBOUND* bounds) {
  if (vt != VT_UI1 || dims != 1 || bounds == nullptr) return nullptr;
  auto* array = new (std::nothrow) SAFEARRAY{};
  if (array == nullptr) return nullptr;
  array->cDims = 1;
  array->fFeatures = FADF_HAVEVARTYPE;
  array->cbElements = 1;
  array->rgsabound[0] = bounds[0];
  // calloc(0) may answer null; keep a valid pointer for empty arrays too.
  array->pvData = std::calloc(bounds[0].cElements == 0 ? 1 : bounds[0].cElements, 1);
  if (array->pvData == nullptr) {
    delete array;
    return nullptr;
  }
  return array;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, int32_t lowerBound, uint32_t elements) {
  SAFEARRAYBOUND bound{elements, lowerBound};
  return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (array == nullptr) return S_OK;
  if (array->cLocks != 0) return MakeHr(0x8002000D);  // DISP_E_ARRAYISLOCKED
  std::free(array->pvData);
  delete array;
  return S_OK;
}

uint32_t SafeArrayGetDim(SAFEARRAY* array) { return array == nullptr ? 0 : array->cDims; }
uint32_t SafeArrayGetElemsize(SAFEARRAY* array) { return array == nullptr ? 0 : array->cbElements; }

HRESULT SafeArrayGetLBound(SAFEARRAY* array, uint32_t dim, int32_t* lowerBound) {
  if (!Valid(array) || lowerBound == nullptr) return E_INVALIDARG;
  if (dim != 1) return MakeHr(0x8002000B);  // DISP_E_BADINDEX
  *lowerBound = array->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, uint32_t dim, int32_t* upperBound) {
  if (!Valid(array) || upperBound == nullptr) return E_INVALIDARG;
  if (dim != 1) return MakeHr(0x8002000B);
  *upperBound = static_cast<int32_t>(array->rgsabound[0].lLbound + static_cast<int64_t>(array->rgsabound[0].cElements) - 1);
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (!Valid(array) || data == nullptr) return E_INVALIDARG;
  ++array->cLocks;
  *data = array->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) {
  if (!Valid(array)) return E_INVALIDARG;
  if (array->cLocks == 0) return E_UNEXPECTED;
  --array->cLocks;
  return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* newBound) {
  if (!Valid(array) || newBound == nullptr) return E_INVALIDARG;
  if (array->cLocks != 0) return MakeHr(0x8002000D);
  uint32_t oldCount = array->rgsabound[0].cElements;
  uint32_t newCount = newBound->cElements;
  void* data = std::realloc(array->pvData, newCount == 0 ? 1 : newCount);
  if (data == nullptr) return E_OUTOFMEMORY;
  if (newCount > oldCount) std::memset(static_cast<uint8_t*>(data) + oldCount, 0, newCount - oldCount);
  array->pvData = data;
  array->rgsabound[0] = *newBound;
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy) {
  if (copy == nullptr) return E_POINTER;
  *copy = nullptr;
  if (array == nullptr) return S_OK;
  if (!Valid(array)) return E_INVALIDARG;
  SAFEARRAY* result = SafeArrayCreate(VT_UI1, 1, array->rgsabound);
  if (result == nullptr) return E_OUTOFMEMORY;
  std::memcpy(result->pvData, array->pvData, array->rgsabound[0].cElements);
  *copy = result;
  return S_OK;
}
