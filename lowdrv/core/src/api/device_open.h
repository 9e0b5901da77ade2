// Opening and closing units: the online test, the open and close codes, the close of every unit
// at unload, and the diagnostics thread that runs while units are open.
#pragma once

#include "api/device_table.h"
#include "lowdrv/engine/unit_names.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace rzd::lowdrv::api {

// The product name the diagnostics thread runs under (the company is "Corvanite").
inline constexpr char16_t kDiagnosticsProduct[] = u"M48tz";

// True when the unit's device-online event (lowdrv/engine/unit_names.h) exists and is signalled.
bool IsDeviceSwitchedOn(std::u16string_view devicePath);

// The open code: checks the output size (one pointer), the online event, makes the driver
// object and opens it. On success the object is in the list, held by `lease` for the rest of the
// call, and its handle is in the output buffer (*size = sizeof(void*)).
LLDError OpenDeviceHandle(const char16_t* devicePath, void* pbyBufferOut, uint32_t* pstOutBufferSize,
                          DeviceLease& lease);
// The close code on the object held by `lease`: 0x8008 while another call runs on it; else the
// object leaves the list, is closed and destroyed, and the lease is empty.
LLDError CloseDeviceHandle(DeviceLease& lease);
// At unload: every listed object is closed and destroyed.
void CloseAllDevices();

// Diagnostics: started before every open, stopped when the last unit closed.
void BeginOpen();
void EndOpen();
void StopDiagnosticsWhenIdle();

// Makes the driver object for a path; CreateModelDriver unless tests set another maker.
using DriverFactory = std::function<std::unique_ptr<IDriverObject>(const std::u16string& devicePath)>;
// Sets the maker (an empty function restores CreateModelDriver).
void SetDriverFactory(DriverFactory factory);

}  // namespace rzd::lowdrv::api
