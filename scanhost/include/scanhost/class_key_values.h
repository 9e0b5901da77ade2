// The values the service writes into its unit's device class key when it registers (and the ones
// it keeps up to date while it runs), with the file names they carry on this system. The bridge,
// the panel and the desktop-application interface read them there.
//
// File names are the Linux forms of the deliverables' files: a library "X.dll" is "X.so", a
// program "X.exe" is "X".
#pragma once

#include <cstdint>

namespace rzd::scanhost {

// Value names.
inline constexpr char16_t kValueHalClsid[] = u"HAL_CLSID";
inline constexpr char16_t kValueInprocClsid[] = u"INPROC_CLSID";
inline constexpr char16_t kValueConfigUi[] = u"CONFIG_UI";
inline constexpr char16_t kValueWiaDriver[] = u"WIA_DRIVER";
inline constexpr char16_t kValueWiaUi[] = u"WIA_UI";
inline constexpr char16_t kValueFirmwareUpdater[] = u"FIRMWARE_UPDATER";
inline constexpr char16_t kValueColorQa[] = u"COLOR_QA";
inline constexpr char16_t kValueStiEsc[] = u"STI_ESC";
inline constexpr char16_t kValueDriverPath[] = u"DRIVERPATH";
inline constexpr char16_t kValueImageProcessing[] = u"IMAGE_PROCESSING";
// Written when the unit arrives: its USB serial number, and whether it is remote (1) or local (0).
inline constexpr char16_t kValueSerialNumber[] = u"SerialNumber";
inline constexpr char16_t kValueRemote[] = u"Remote";
// Read at start (written by the device installation).
inline constexpr char16_t kValueFriendlyName[] = u"FriendlyName";
inline constexpr char16_t kValueSymbolicName[] = u"SymbolicName";
inline constexpr char16_t kValueDeviceInstanceId[] = u"DeviceInstanceID";
inline constexpr char16_t kValueHalPath[] = u"HAL_PATH";
inline constexpr char16_t kValueTwainDsPath[] = u"TWAIN_DS_PATH";
inline constexpr char16_t kValueTwain64Path[] = u"TWAIN_64_PATH";
inline constexpr char16_t kValueHalModel[] = u"HAL_MODEL";
// Read by the panel: the unit this one is combined with, when any.
inline constexpr char16_t kValueCombineWith[] = u"CombineWith";

// Contents.
inline constexpr char16_t kConfigUiFile[] = u"setpanel.so";
inline constexpr char16_t kWiaDriverFile[] = u"M48tzWIAT.so";
inline constexpr char16_t kWiaUiFile[] = u"M48tzWUI.so";
inline constexpr char16_t kFirmwareUpdaterFile[] = u"RZDFWUpdQT57";
inline constexpr char16_t kColorQaFile[] = u"ColorQA.xml";
inline constexpr uint32_t kStiEsc = 0;
inline constexpr char16_t kImageProcessing[] = u"OEM1";
// DRIVERPATH: <Windows folder>/REDIRIV/SCANDRV/<model>/<this file>.
inline constexpr char16_t kDriverPathFile[] = u"M48tz.so";

}  // namespace rzd::scanhost
