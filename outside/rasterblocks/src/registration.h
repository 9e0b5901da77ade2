// The classes of the library and their registration.
#pragma once

#include "platform/com_object.h"

#include <filesystem>

namespace rzd::rasterblocks {

// The lock count of the library: its live objects and LockServer locks.
ComModule& LibraryModule();

// The class object of one of the three classes, queried for `iid` (DllGetClassObject).
HRESULT GetClassObject(const CLSID& clsid, const IID& iid, void** object);

// Records (removes) the three classes with `module` as their in-process server.
HRESULT RegisterLibrary(const std::filesystem::path& module);
HRESULT UnregisterLibrary(const std::filesystem::path& module);

}  // namespace rzd::rasterblocks
