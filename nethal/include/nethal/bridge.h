// The in-process bridge (libnethal.so): its class, its registration identifiers and the file
// names it answers. A front-end creates the class in its own process (CoCreateInstance with
// CLSCTX_INPROC_SERVER, found through InprocServer32) and asks it for IRZDHAL, IRZDModule,
// IRZDMemMgr or IRZDUIModule.
#pragma once

#include "platform/types.h"
#include "scanhost/instance_ids.h"

// {F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}: RZDHALM48tzInProc (the device class key's INPROC_CLSID).
constexpr CLSID CLSID_RZDHALM48tzInProc = rzd::scanhost::kInprocBridgeClass;
// {7013228D-6F76-460B-968F-3320A3D31360}: the type library RZDHALM48tzInProcLib.
constexpr GUID LIBID_RZDHALM48tzInProcLib{0x7013228D, 0x6F76, 0x460B, {0x96, 0x8F, 0x33, 0x20, 0xA3, 0xD3, 0x13, 0x60}};
// {DFD6D017-14D1-4EE8-A714-2F1E77C836A9}: the application identifier.
constexpr GUID APPID_RZDHALM48tzInProc{0xDFD6D017, 0x14D1, 0x4EE8, {0xA7, 0x14, 0x2F, 0x1E, 0x77, 0xC8, 0x36, 0xA9}};
// {8457C2BA-C251-4067-96A9-020BBA31B91B}: the component category the class implements.
constexpr GUID CATID_RZDModule{0x8457C2BA, 0xC251, 0x4067, {0x96, 0xA9, 0x02, 0x0B, 0xBA, 0x31, 0xB9, 0x1B}};

// The bridge's own library. The settings panel's library lies beside it (DLLPath): the service's
// CONFIG_UI file, scanhost::kConfigUiFile.
inline constexpr char kBridgeLibraryName[] = "libnethal.so";
