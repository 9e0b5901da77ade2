// The work of the two exports, answering the driver result code (the exports answer whether it
// is 0). Tests call these to see the code of calls that write no document.
#pragma once

#include "lowdrv/engine/result_codes.h"
#include "platform/types.h"

#include <cstdint>

namespace rzd::lowdrv::api {

LLDError ControlCall(void* pvDevHandle, uint32_t dwControlCode, const char16_t* strIn, BSTR* pstrOut,
                     void* pbyBufferIn, uint32_t stInBufferSize, void* pbyBufferOut,
                     uint32_t* pstOutBufferSize, BSTR* pstrError);

LLDError ReadCall(void* pvDevHandle, uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut, BSTR* pstrMetaOut,
                  uint32_t* pdwBoundary);

}  // namespace rzd::lowdrv::api
