// The proxy/stub of IRZDHAL: how its calls cross from a client process to the service.
//
// A process that calls or serves IRZDHAL across processes either links this library and calls
// RegisterRzdHalProxyStub once (with COM initialised), or finds the proxy/stub through the
// registry: RegisterRzdHalProxyStubLibrary records a library that exports it (librzdhalps.so)
// under HKEY_CLASSES_ROOT\Interface\{IID_IRZDHAL}\ProxyStubClsid32 and the class's
// InprocServer32, as the installation does.
#pragma once

#include "interfaces/rzdhal.h"

#include <filesystem>

// {3E6C1A70-2F4B-4C8D-9A51-7B0E2D4F6C18}
constexpr CLSID CLSID_RZDHALProxyStub{0x3E6C1A70, 0x2F4B, 0x4C8D, {0x9A, 0x51, 0x7B, 0x0E, 0x2D, 0x4F, 0x6C, 0x18}};

// The proxy/stub library's file name.
inline constexpr char kRzdHalProxyStubLibraryName[] = "librzdhalps.so";

namespace rzd {

// The proxy/stub class object (IProxyStubFactory), queried for `iid`: the body of the library's
// DllGetClassObject for CLSID_RZDHALProxyStub.
HRESULT GetRzdHalProxyStubClassObject(const IID& iid, void** object);

// Whether any proxy or stub made by this copy of the code is alive (DllCanUnloadNow).
bool RzdHalProxyStubInUse();

// Makes this process marshal IRZDHAL without the registry: registers the class object in-process
// and names it for IID_IRZDHAL. Once per process; later calls answer the first result.
HRESULT RegisterRzdHalProxyStub();

// Records (removes) the proxy/stub library at `library` in the machine's classes.
HRESULT RegisterRzdHalProxyStubLibrary(const std::filesystem::path& library);
HRESULT UnregisterRzdHalProxyStubLibrary();

}  // namespace rzd
