// The property-sheet road of the settings panel: five plain exports of setpanel.so that a host
// resolves by name. A page lives in a QWidget container the host gives (the page window of a
// property sheet); the host applies, and destroys pages by their key (the page index).
//
//   GetHWPPCount()                      3
//   GetHWPPName(index, &name)           TRUE and a new BSTR for 0 "Device settings",
//                                       1 "Driver settings", 2 "HW IP" (translated); else FALSE
//   CreateHWPropPage(index, hostModule, container, hostData, classId, device, changed)
//                                       creates page `index` in `container`, talking to the unit
//                                       through an object of class `classId` (braced text) opened
//                                       for the unit whose HAL_CLSID is `device`; TRUE or FALSE
//   DestroyHWPropPage(key)              destroys the first page with that key; the last one also
//                                       unlocks the unit, closes it (code 15) and releases it
//   ApplyChanges(key)                   stores the changed values of every page with that key; 1
//
// `changed(hostData, 1)` tells the host that a page has changes to apply.
#pragma once

#include "platform/types.h"

class QWidget;

extern "C" {
using HWPropChangedCallback = void (*)(void* hostData, int32_t changed);

using GetHWPPCountFn = int32_t (*)();
using GetHWPPNameFn = BOOL (*)(int32_t index, BSTR* name);
using CreateHWPropPageFn = BOOL (*)(int32_t index, void* hostModule, QWidget* pageWindow, void* hostData,
                                    const char16_t* classId, const char16_t* device, HWPropChangedCallback changed);
using DestroyHWPropPageFn = void (*)(int32_t key);
using ApplyChangesFn = int32_t (*)(int32_t key);
}

// The export names.
inline constexpr char kGetHWPPCountName[] = "GetHWPPCount";
inline constexpr char kGetHWPPNameName[] = "GetHWPPName";
inline constexpr char kCreateHWPropPageName[] = "CreateHWPropPage";
inline constexpr char kDestroyHWPropPageName[] = "DestroyHWPropPage";
inline constexpr char kApplyChangesName[] = "ApplyChanges";
