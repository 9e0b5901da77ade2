// Private parts shared by the files of the COM area.
#pragma once

#include "platform/com.h"

namespace rzd::com_internal {

// True when the calling thread may use COM: it initialised it, or the process has a
// multithreaded apartment.
bool ThreadCanUseCom();

// The class object of the global interface table (a built-in class).
HRESULT GetGlobalInterfaceTableClassObject(const IID& iid, void** object);

// True when the class has a local-server registration (LocalServer32, or an AppID naming a
// local service).
bool HasLocalServerRegistration(const CLSID& clsid);
// Activates a class registered as a local server.
HRESULT ActivateLocalServer(const CLSID& clsid, DWORD clsContext, const IID& iid, void** object);

}  // namespace rzd::com_internal
