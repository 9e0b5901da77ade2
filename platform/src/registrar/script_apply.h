// Applies a checked registry script to the registry.
#pragma once

#include "platform/errors.h"
#include "registrar/script.h"

#include <string>
#include <vector>

namespace rzd::registrar {

// `perUser` writes the HKCR roots under HKCU\Software\Classes. On a registry failure answers
// HRESULT_FROM_WIN32 of it with `error` set; what was applied before stays.
HRESULT ApplyRegister(const std::vector<ScriptRoot>& roots, bool perUser, std::string* error);
HRESULT ApplyUnregister(const std::vector<ScriptRoot>& roots, bool perUser, std::string* error);

}  // namespace rzd::registrar
