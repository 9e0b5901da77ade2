// The identifiers of the desktop-application interface: its type library, its class and its
// interface.
#pragma once

#include "platform/types.h"

// {78A24A74-A616-4B7B-B98D-99C80D75EF6F}, version 1.0, locale 0x409.
constexpr GUID LIBID_M48tzZQ4HALLib{0x78A24A74, 0xA616, 0x4B7B, {0xB9, 0x8D, 0x99, 0xC8, 0x0D, 0x75, 0xEF, 0x6F}};
constexpr uint16_t kTypeLibraryMajor = 1;
constexpr uint16_t kTypeLibraryMinor = 0;
constexpr uint32_t kTypeLibraryLocale = 0x409;
// {B347F188-417F-40D7-97B6-B4DA1CB8FE5E}
constexpr CLSID CLSID_Scanner_M48tz{0xB347F188, 0x417F, 0x40D7, {0x97, 0xB6, 0xB4, 0xDA, 0x1C, 0xB8, 0xFE, 0x5E}};
// {09B12B6B-ED59-40BE-A55E-4FFCDD29197F}
constexpr IID IID_IHardwareInterface{0x09B12B6B, 0xED59, 0x40BE, {0xA5, 0x5E, 0x4F, 0xFC, 0xDD, 0x29, 0x19, 0x7F}};

// The module's resources: the type library, the bitmap strip of two 36 x 36 pictures, the
// 48 x 48 icon, and the string table's project name (a STRING resource under the string's id,
// its UTF-16LE text after a byte-order mark, made from resources/project_name.txt).
inline constexpr char16_t kResourceTypeTypeLib[] = u"TYPELIB";
inline constexpr char16_t kResourceTypeGroupIcon[] = u"GROUP_ICON";
constexpr uint32_t kTypeLibraryResource = 1;
constexpr uint32_t kPictureStripResource = 201;
constexpr uint32_t kIconResource = 202;
constexpr uint32_t kProjectNameString = 100;
