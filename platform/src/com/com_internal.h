// Private parts shared by the files of the COM area.
#pragma once

#include "platform/com.h"

namespace rzd::com_internal {

// True when the calling thread may use COM: it initialised it, or the process has a
// multithreaded apartment.
bool ThreadCanUseCom();

// The class object of the global interface table (a built-in class).
HRESULT GetGlobalInterfaceTableClassObject(const IID& iid, void** object);

// The class object this process registered for `clsid` in `context` (visible, not yet handed
// out when single-use), or null.
ComPtr<IUnknown> FindRegisteredClassObject(const CLSID& clsid, DWORD context);

// The class object of `clsid` for `context`, on any thread (proxy/stub classes are asked for on
// threads that never initialised COM).
HRESULT GetClassObjectOnAnyThread(const CLSID& clsid, DWORD context, const IID& iid, void** object);

// True when the class has a local-server registration (LocalServer32, or an AppID naming a
// local service).
bool HasLocalServerRegistration(const CLSID& clsid);
// Activates a class registered as a local server.
HRESULT ActivateLocalServer(const CLSID& clsid, DWORD clsContext, const IID& iid, void** object);

}  // namespace rzd::com_internal
