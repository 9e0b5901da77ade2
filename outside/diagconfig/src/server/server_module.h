// The server library's own parts: its module lock count and the checks every operation makes.
#pragma once

#include "platform/com_object.h"

#include <string_view>

namespace cordiag {

// Live objects, server locks and running watcher threads of this library.
extern rzd::ComModule g_module;

// The configured fault of an operation: waits while it is made to hang, then E_FAIL when it is
// made to fail, else S_OK.
HRESULT OperationHook(std::u16string_view operation);

// Answers of the dispatch part of the dual interfaces: no type information, no names, no members.
HRESULT NoTypeInfoCount(UINT* count);
HRESULT NoTypeInfo(ITypeInfo** info);

}  // namespace cordiag
