// The records and enumerations of the desktop-application interface's type library: the scan
// record that travels with every command (`_ZQSCANINFO` with its window and tone-map parts), the
// data types, hardware kinds, commands and status values, and the default record of the model.
//
// Each record and enumeration is written once, as a member list (the ZQ_*_MEMBERS macros): the
// C++ declarations below and the type library built from this header (typelib_builder.cpp) both
// expand it, so the two never disagree.
//
// Pointer-carrying fields: `Mirror` (the handle of the data source's own settings block for the
// custom data of `ZQSCAN_CONFIG` with `ZQSCANMODE_DSDATA`), `ScanDirection`, `RawDataFormat` and
// `Value` carry the application's pointers and handles for some commands, so they are `intptr_t`
// ("LONG_PTR" in the type library): 4 bytes in a 32-bit build, where the record is its classic
// 232 bytes, and 8 bytes in a 64-bit build, where they widen in place and every later field moves
// (248 bytes). The records are packed on 4-byte boundaries so no padding appears in either build;
// the static checks below pin both layouts.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Enumerations (unsigned 32-bit: several values pass INT32_MAX).

#define ZQ_SCANHRDW_MEMBERS(X) \
  X(ZQSCANHRDW_UNKNOWN, 0x00000000) \
  X(ZQSCANHRDW_SHEETFED, 0x00000001) \
  X(ZQSCANHRDW_FLATBED, 0x00000002) \
  X(ZQSCANHRDW_ADF, 0x00000004) \
  X(ZQSCANHRDW_TRANSPARANCY, 0x00000008)

#define ZQ_SCANMODE_MEMBERS(X) \
  X(ZQSCANMODE_BITONAL, 0x00000001) \
  X(ZQSCANMODE_GREY, 0x00000002) \
  X(ZQSCANMODE_COLOR, 0x00000004) \
  X(ZQSCANMODE_GREY16, 0x00000010) \
  X(ZQSCANMODE_COLOR48, 0x00000020) \
  X(ZQSCANMODE_DSDATA, 0x00000080) \
  X(ZQSCANMODE_AUTOSCAN, 0x00000100) \
  X(ZQSCANMODE_DSUIONLY, 0x00000200) \
  X(ZQSCANMODE_WHITE_BG, 0x00000400) \
  X(ZQSCANMODE_BLACK_BG, 0x00000800) \
  X(ZQSCANMODE_SUPPORT_DSDATA, 0x00002000) \
  X(ZQSCANMODE_SUPPORT_VRS, 0x00004000) \
  X(ZQSCANMODE_USE_VRS_GAMMA, 0x00008000) \
  X(ZQSCANMODE_SUPPORT_G4, 0x00010000) \
  X(ZQSCANMODE_SUPPORT_OVERSCAN, 0x00020000) \
  X(ZQSCANMODE_SUPPORT_JPEG, 0x00040000) \
  X(ZQSCANMODE_SUPPORT_SINGLE_PAGE, 0x00080000) \
  X(ZQSCANMODE_SUPPORT_JP2, 0x00100000) \
  X(ZQSCANMODE_SUPPORT_MULTISCANNER, 0x00200000) \
  X(ZQSCANMODE_VRS_SCAN_JPEG, 0x00400000) \
  X(ZQSCANMODE_FB_COLOR_CORRECTION, 0x00800000) \
  X(ZQSCANMODE_SUPPORT_VANTIX_CQA, 0x01000000) \
  X(ZQSCANMODE_SUPPORT_READ_BCKG, 0x02000000) \
  X(ZQSCANMODE_SUPPORT_HW_CROP, 0x04000000) \
  X(ZQSCANMODE_SUPPORT_RZD_TWAIN, 0x08000000) \
  X(ZQSCANMODE_SUPPORT_RZD_DFDRECOVERY, 0x10000000) \
  X(ZQSCANMODE_SUPPORT_RZD_MANUALFEED, 0x20000000) \
  X(ZQSCANMODE_SUPPORT_RZD_ADF_PRGSVIEW, 0x40000000) \
  X(ZQSCANMODE_SUPPORT_RZD_FLB_PRGSVIEW, 0x80000000)

// Commands: the n-th member has the value 0x2301000 + n.
#define ZQ_SCANCOMMAND_MEMBERS(X) \
  X(ZQSCAN_INITIALIZE, 0x02301000) \
  X(ZQSCAN_UNINITIALIZE, 0x02301001) \
  X(ZQSCAN_LOAD_ADF, 0x02301002) \
  X(ZQSCAN_UNLOAD_ADF, 0x02301003) \
  X(ZQSCAN_GETADFSTATUS, 0x02301004) \
  X(ZQSCAN_GETTPASTATUS, 0x02301005) \
  X(ZQSCAN_GETLAMPSTATUS, 0x02301006) \
  X(ZQSCAN_RESETSCANNER, 0x02301007) \
  X(ZQSCAN_GETBUTTONSTATUS, 0x02301008) \
  X(ZQSCAN_CONFIG, 0x02301009) \
  X(ZQSCAN_START, 0x0230100A) \
  X(ZQSCAN_SCAN, 0x0230100B) \
  X(ZQSCAN_FINISH, 0x0230100C) \
  X(ZQSCAN_SETLAMPON, 0x0230100D) \
  X(ZQSCAN_SETLAMPOFF, 0x0230100E) \
  X(ZQSCAN_SETLAMPTIMEOUT, 0x0230100F) \
  X(ZQSCAN_CALIBRATE, 0x02301010) \
  X(ZQSCAN_CANCELSCAN, 0x02301011) \
  X(ZQSCAN_CUSTOMIZE_EVENT, 0x02301012) \
  X(ZQSCAN_GETINTERFACE, 0x02301013) \
  X(ZQSCAN_GETFIRMWAREVERSION, 0x02301014) \
  X(ZQSCAN_GETPADCOUNT, 0x02301015) \
  X(ZQSCAN_GETSCANCOUNT, 0x02301016) \
  X(ZQSCAN_GETDRIVERVERSION, 0x02301017) \
  X(ZQSCAN_HOMECARRIAGE, 0x02301018) \
  X(ZQSCAN_GETEXTENDEDERRORINFO, 0x02301019) \
  X(ZQSCAN_BLOCKBUTTONCALLS, 0x0230101A) \
  X(ZQSCAN_UNBLOCKBUTTONCALLS, 0x0230101B) \
  X(ZQSCAN_GETAUTOCROPRESULT, 0x0230101C) \
  X(ZQSCAN_REAQUIRERANGES, 0x0230101D) \
  X(ZQSCAN_GETADFSTATUSEX, 0x0230101E) \
  X(ZQSCAN_UPDATEDEVICESETTINGS, 0x0230101F) \
  X(ZQSCAN_CLEAN, 0x02301020) \
  X(ZQSCAN_GETDESKEWRESULT, 0x02301021) \
  X(ZQSCAN_GETWHITEFILLRESULT, 0x02301022) \
  X(ZQSCAN_GETACTIVECHANNEL, 0x02301023) \
  X(ZQSCAN_GETTWAINUIGUID, 0x02301024) \
  X(ZQSCAN_LLDLOADED, 0x02301025) \
  X(ZQSCAN_CISCALIBRATIONDATA, 0x02301026) \
  X(ZQSCAN_PNPDISCONNECT, 0x02301027) \
  X(ZQSCAN_PNPCONNECT, 0x02301028) \
  X(ZQSCAN_GETBORDERFILLSUPPORT, 0x02301029) \
  X(ZQSCAN_ISBORDERFILLENABLED, 0x0230102A) \
  X(ZQSCAN_CONTROLBORDERFILL, 0x0230102B) \
  X(ZQSCAN_GETPRESCANSUPPORT, 0x0230102C) \
  X(ZQSCAN_ISPRESCANENABLED, 0x0230102D) \
  X(ZQSCAN_CONTROLPRESCAN, 0x0230102E) \
  X(ZQSCAN_SETPREROTATERECT, 0x0230102F) \
  X(ZQSCAN_GETPXELBOUNDARY, 0x02301030) \
  X(ZQSCAN_CALIBRATE_UI, 0x02301031) \
  X(ZQSCAN_CALIBRATE_UI_GET_STATUS, 0x02301032) \
  X(ZQSCAN_DEVICE_CONNECT, 0x02301033) \
  X(ZQSCAN_DEVICE_DISCONNECT, 0x02301034) \
  X(ZQSCAN_SET_PAGE_COUNT, 0x02301035) \
  X(ZQSCAN_RECOVER_FROM_DFD_DUPLEX, 0x02301036) \
  X(ZQSCAN_GET_SER_NUMBER, 0x02301037) \
  X(ZQSCAN_LAST_CALIBRATED, 0x02301038) \
  X(ZQSCAN_GETMINHEIGHT, 0x02301039) \
  X(ZQSCAN_GETMINWIDTH, 0x0230103A) \
  X(ZQSCAN_INITIALIZE_PROFILE_LIST, 0x0230103B) \
  X(ZQSCAN_READ_PROFILE_LIST, 0x0230103C) \
  X(ZQSCAN_WRITE_PROFILE_LIST, 0x0230103D) \
  X(ZQSCAN_PUT_LIST_IN_FRIENDLY_NAME, 0x0230103E) \
  X(ZQSCAN_SET_FRIENDLY_NUMBER, 0x0230103F) \
  X(ZQSCAN_READ_GAMMA_TABLES, 0x02301040) \
  X(ZQSCAN_REGISTER_ZQV_CLIENT, 0x02301041) \
  X(ZQSCAN_UNREGISTER_ZQV_CLIENT, 0x02301042) \
  X(ZQSCAN_UPDATE_ZQV_LCD, 0x02301043) \
  X(ZQSCAN_GET_NETWORKNAME, 0x02301044) \
  X(ZQSCAN_SET_NETWORKNAME, 0x02301045) \
  X(ZQSCAN_GET_DHCPSTATE, 0x02301046) \
  X(ZQSCAN_SET_DHCPSTATE, 0x02301047) \
  X(ZQSCAN_GET_MACADDRESS, 0x02301048) \
  X(ZQSCAN_SET_MACADDRESS, 0x02301049) \
  X(ZQSCAN_GET_IPADDRESS, 0x0230104A) \
  X(ZQSCAN_SET_IPADDRESS, 0x0230104B) \
  X(ZQSCAN_GET_SUBNETMASK, 0x0230104C) \
  X(ZQSCAN_SET_SUBNETMASK, 0x0230104D) \
  X(ZQSCAN_GET_GATEWAY, 0x0230104E) \
  X(ZQSCAN_SET_GATEWAY, 0x0230104F) \
  X(ZQSCAN_GET_WIFI_SSID, 0x02301050) \
  X(ZQSCAN_SET_WIFI_SSID, 0x02301051) \
  X(ZQSCAN_GET_WIFI_CHANNEL, 0x02301052) \
  X(ZQSCAN_SET_WIFI_CHANNEL, 0x02301053) \
  X(ZQSCAN_RECOVER_FROM_DFD_SIMPLEX, 0x02301054) \
  X(ZQSCAN_CALIBRATION_IS_FILE_EXIST, 0x02301055) \
  X(ZQSCAN_CALIBRATION_RESET_DATA, 0x02301056) \
  X(ZQSCAN_CALIBRATION_DO_DATA, 0x02301057) \
  X(ZQSCAN_SET_CROP_JPEG_LIMIT_LINES, 0x02301058) \
  X(ZQSCAN_IS_16BIT_GAMMA_TABLES, 0x02301059) \
  X(ZQSCAN_READ_RZD_GAMMA_TABLES, 0x0230105A) \
  X(ZQSCAN_READ_BACKGROUND_COLOR, 0x0230105B) \
  X(ZQSCAN_GET_MIN_ADF_LONG_DOC_LIMIT, 0x0230105C) \
  X(ZQSCAN_GET_SCANNER_TYPE, 0x0230105D) \
  X(ZQSCAN_SHOW_NET_WAIT_DIALOG, 0x0230105E) \
  X(ZQSCAN_SET_COLOR_CORRECTION, 0x0230105F)

// Status values in declaration order (the values are not in member order; some are shared).
#define ZQ_STATUS_MEMBERS(X) \
  X(ZQHARDWARE_STATUS_OK, 0x00000000) \
  X(ZQHARDWARE_STATUS_FAIL, 0xC0000000) \
  X(ZQHARDWARE_STATUS_ADF_EMPTY, 0xC0000001) \
  X(ZQHARDWARE_STATUS_ADF_PAGE, 0x00000001) \
  X(ZQHARDWARE_STATUS_BACKSIDE, 0x00000002) \
  X(ZQHARDWARE_STATUS_LAMPWARMUP, 0xC0000003) \
  X(ZQHARDWARE_STATUS_DFDRECONFIG, 0xC0000004) \
  X(ZQHARDWARE_STATUS_CARD_AVAIL, 0x00000010) \
  X(ZQHARDWARE_STATUS_PAPEROUT, 0x00000011) \
  X(ZQHARDWARE_STATUS_SUSPEND, 0xC0000012) \
  X(ZQHARDWARE_STATUS_RESUME, 0xC0000013) \
  X(ZQHARDWARE_STATUS_USERCANCEL, 0xC0000014) \
  X(ZQHARDWARE_STATUS_DOCSKEW, 0xC0000015) \
  X(ZQHARDWARE_STATUS_NODOCPRESENT, 0xC0000016) \
  X(ZQHARDWARE_STATUS_DRIVERNOLOAD, 0xC0000017) \
  X(ZQHARDWARE_STATUS_LINKNOXFER, 0xC0000018) \
  X(ZQHARDWARE_STATUS_OCRNOXFER, 0xC0000019) \
  X(ZQHARDWARE_STATUS_INTRFCOPEN, 0xC000001A) \
  X(ZQHARDWARE_STATUS_ADF_CARD_CONFLICT, 0xC000001B) \
  X(ZQHARDWARE_STATUS_NOTSUPPORTED, 0xC000001C) \
  X(ZQHARDWARE_STATUS_DOUBLE_FEED, 0xC000001D) \
  X(ZQHARDWARE_STATUS_LOWDISKSPACE, 0xC000001E) \
  X(ZQHARDWARE_STATUS_DRIVERBUSY, 0xC0000004) \
  X(ZQHARDWARE_STATUS_PAPERJAM, 0xC0000005) \
  X(ZQHARDWARE_STATUS_LIDOPEN, 0xC0000006) \
  X(ZQHARDWARE_STATUS_NOTFOUND, 0xC0000007) \
  X(ZQHARDWARE_STATUS_HWBROKEN, 0xC0000008) \
  X(ZQHARDWARE_STATUS_POSTFAILED, 0xC0000009) \
  X(ZQHARDWARE_STATUS_INTERNALFAULT, 0xC000000A) \
  X(ZQHARDWARE_STATUS_SHIPLOCK, 0xC000000B) \
  X(ZQHARDWARE_STATUS_TIMEOUT, 0xC000000C) \
  X(ZQHARDWARE_STATUS_NOPOWER, 0xC000000D) \
  X(ZQHARDWARE_STATUS_LAMPASYNC, 0xC000000E) \
  X(ZQHARDWARE_STATUS_TPACOVER, 0xC000000F) \
  X(ZQHARDWARE_STATUS_NOT_CALIBRATION, 0xC0000010) \
  X(ZQHARDWARE_STATUS_OUT_OF_MEMORY, 0xC0000011) \
  X(ZQHARDWARE_STATUS_VRS_BUSY, 0xC000001F) \
  X(ZQHARDWARE_STATUS_BLANK_PAGE, 0xC0000020) \
  X(ZQHARDWARE_STATUS_LINK_ERROR, 0xC0000021) \
  X(ZQHARDWARE_STATUS_CONVERSION_ABORTED, 0xC0000022) \
  X(ZQHARDWARE_STATUS_NETWORK_SECURITY_ERROR, 0xC0000023) \
  X(ZQHARDWARE_STATUS_EXTINFO, 0x01000000) \
  X(ZQHARDWARE_STATUS_SYSTEMSTART, 0xFFFFFFFF) \
  X(ZQHARDWARE_STATUS_SYSTEMSTOP, 0xFFFFFFFE) \
  X(ZQHARDWARE_STATUS_BUTTON00, 0x00100000) \
  X(ZQHARDWARE_STATUS_BUTTON01, 0x00200000) \
  X(ZQHARDWARE_STATUS_BUTTON02, 0x00400000) \
  X(ZQHARDWARE_STATUS_BUTTON03, 0x00800000) \
  X(ZQHARDWARE_STATUS_BUTTON04, 0x01000000) \
  X(ZQHARDWARE_STATUS_BUTTON05, 0x02000000) \
  X(ZQHARDWARE_STATUS_BUTTON06, 0x04000000) \
  X(ZQHARDWARE_STATUS_BUTTON07, 0x08000000) \
  X(ZQHARDWARE_STATUS_CONFIGREQUEST, 0x10000000) \
  X(ZQHARDWARE_STATUS_EVENT00, 0x00000100) \
  X(ZQHARDWARE_STATUS_EVENT01, 0x00000200) \
  X(ZQHARDWARE_STATUS_EVENT02, 0x00000400) \
  X(ZQHARDWARE_STATUS_EVENT03, 0x00000800) \
  X(ZQHARDWARE_STATUS_EVENT04, 0x00001000) \
  X(ZQHARDWARE_STATUS_EVENT05, 0x00002000) \
  X(ZQHARDWARE_STATUS_EVENT06, 0x00004000) \
  X(ZQHARDWARE_STATUS_EVENT07, 0x00008000) \
  X(ZQHARDWARE_STATUS_EVENT08, 0x00010000) \
  X(ZQHARDWARE_STATUS_EVENT09, 0x00020000) \
  X(ZQHARDWARE_STATUS_EVENT0A, 0x00040000) \
  X(ZQHARDWARE_STATUS_CHANNELID, 0x00080000) \
  X(ZQHARDWARE_STATUS_EVENTMASK, 0x000FFF00) \
  X(ZQHARDWARE_STATUS_BUTTONMASK, 0x0FF00000) \
  X(ZQHARDWARE_STATUS_CAL_INPROGRESS, 0x0FE00000)

#define ZQ_ENUMERATOR_WITH_VALUE(name, value) name = value,

enum _ZQSCANHRDW : uint32_t { ZQ_SCANHRDW_MEMBERS(ZQ_ENUMERATOR_WITH_VALUE) };
enum _ZQSCANMODE : uint32_t { ZQ_SCANMODE_MEMBERS(ZQ_ENUMERATOR_WITH_VALUE) };
enum _ZQSCANCOMMAND : uint32_t { ZQ_SCANCOMMAND_MEMBERS(ZQ_ENUMERATOR_WITH_VALUE) };
enum _ZQSTATUS : uint32_t { ZQ_STATUS_MEMBERS(ZQ_ENUMERATOR_WITH_VALUE) };

namespace zq_layout {
#define ZQ_MEMBER_VALUE(name, value) value,
constexpr uint32_t kCommandValues[] = {ZQ_SCANCOMMAND_MEMBERS(ZQ_MEMBER_VALUE)};
constexpr uint32_t kModeValues[] = {ZQ_SCANMODE_MEMBERS(ZQ_MEMBER_VALUE)};
constexpr uint32_t kStatusValues[] = {ZQ_STATUS_MEMBERS(ZQ_MEMBER_VALUE)};
#undef ZQ_MEMBER_VALUE
constexpr bool CommandsCountUp() {
  for (size_t i = 0; i < sizeof(kCommandValues) / sizeof(kCommandValues[0]); ++i) {
    if (kCommandValues[i] != 0x2301000 + i) return false;
  }
  return true;
}
static_assert(sizeof(kCommandValues) / 4 == 96 && CommandsCountUp());
static_assert(sizeof(kModeValues) / 4 == 29 && sizeof(kStatusValues) / 4 == 68);
}  // namespace zq_layout
static_assert(ZQHARDWARE_STATUS_EXTINFO == ZQHARDWARE_STATUS_BUTTON04 &&
              ZQHARDWARE_STATUS_DFDRECONFIG == ZQHARDWARE_STATUS_DRIVERBUSY);

// ---- Records: X(C++ type, type-library type, field).

#define ZQ_SCANWINDOW_MEMBERS(X) \
  X(int32_t, long, xPos) \
  X(int32_t, long, yPos) \
  X(int32_t, long, xExtent) \
  X(int32_t, long, yExtent)

#define ZQ_CLRPRCSS_MEMBERS(X) \
  X(int32_t, long, Saturation) \
  X(int32_t, long, Sharpen) \
  X(int32_t, long, Hue) \
  X(int32_t, long, RedGamma) \
  X(int32_t, long, GreenGamma) \
  X(int32_t, long, BlueGamma) \
  X(int32_t, long, GreyGamma)

#define ZQ_SCANINFO_MEMBERS(X) \
  X(int32_t, long, Flatbed) \
  X(int32_t, long, Sheetfed) \
  X(int32_t, long, ADF) \
  X(int32_t, long, TPA) \
  X(int32_t, long, Endorser) \
  X(int32_t, long, OpticalXResolution) \
  X(int32_t, long, OpticalYResolution) \
  X(int32_t, long, MaxBitDepthPerPixel) \
  X(int32_t, long, BedWidth) \
  X(int32_t, long, BedHeight) \
  X(int32_t, long, ADFBedWidth) \
  X(int32_t, long, ADFBedHeight) \
  X(int32_t, long, ADFMaxPages) \
  X(int32_t, long, SupportedCompressionType) \
  X(int32_t, long, SupportedDataTypes) \
  X(int32_t, long, WidthPixels) \
  X(int32_t, long, WidthBytes) \
  X(int32_t, long, Lines) \
  X(_ZQSCANMODE, _ZQSCANMODE, DataType) \
  X(int32_t, long, PixelBits) \
  X(int32_t, long, Intensity) \
  X(int32_t, long, Contrast) \
  X(int32_t, long, Threshold) \
  X(int32_t, long, Xresolution) \
  X(int32_t, long, Yresolution) \
  X(int32_t, long, RedGamma) \
  X(int32_t, long, GreenGamma) \
  X(int32_t, long, BlueGamma) \
  X(_ZQSCANWINDOW, _ZQSCANWINDOW, Window) \
  X(_ZQCLRPRCSS, _ZQCLRPRCSS, ToneMapParams) \
  X(_ZQSCANHRDW, _ZQSCANHRDW, ScanHardware) \
  X(int32_t, long, Duplex) \
  X(int32_t, long, ColorDropOut) \
  X(int32_t, long, Negative) \
  X(intptr_t, LONG_PTR, Mirror) \
  X(int32_t, long, AutoBack) \
  X(intptr_t, LONG_PTR, ScanDirection) \
  X(int32_t, long, Demoire) \
  X(int32_t, long, ToneMap) \
  X(int32_t, long, Compression) \
  X(intptr_t, LONG_PTR, RawDataFormat) \
  X(int32_t, long, RawPixelOrder) \
  X(int32_t, long, bNeedDataAlignment) \
  X(int32_t, long, DelayBetweenRead) \
  X(int32_t, long, MaxBufferSize) \
  X(intptr_t, LONG_PTR, Value) \
  X(int32_t, long, LinesScanned) \
  X(int32_t, long, PagesScanned) \
  X(int32_t, long, ActiveSide)

#define ZQ_RECORD_FIELD(ctype, tlbtype, name) ctype name;

#pragma pack(push, 4)
struct _ZQSCANWINDOW { ZQ_SCANWINDOW_MEMBERS(ZQ_RECORD_FIELD) };
struct _ZQCLRPRCSS { ZQ_CLRPRCSS_MEMBERS(ZQ_RECORD_FIELD) };
struct _ZQSCANINFO { ZQ_SCANINFO_MEMBERS(ZQ_RECORD_FIELD) };
#pragma pack(pop)

using ZQSCANWINDOW = _ZQSCANWINDOW;
using ZQCLRPRCSS = _ZQCLRPRCSS;
using ZQSCANINFO = _ZQSCANINFO;

// ---- Static checks: sizes and the offset of every field.
namespace zq_layout {
constexpr size_t kPtr = sizeof(intptr_t);
constexpr size_t kWide = kPtr - 4;  // what each pointer-carrying field adds to the classic layout
static_assert(sizeof(_ZQSCANWINDOW) == 16 && offsetof(_ZQSCANWINDOW, yPos) == 4 &&
              offsetof(_ZQSCANWINDOW, xExtent) == 8 && offsetof(_ZQSCANWINDOW, yExtent) == 12);
static_assert(sizeof(_ZQCLRPRCSS) == 28 && offsetof(_ZQCLRPRCSS, Sharpen) == 4 && offsetof(_ZQCLRPRCSS, Hue) == 8 &&
              offsetof(_ZQCLRPRCSS, RedGamma) == 12 && offsetof(_ZQCLRPRCSS, GreenGamma) == 16 &&
              offsetof(_ZQCLRPRCSS, BlueGamma) == 20 && offsetof(_ZQCLRPRCSS, GreyGamma) == 24);
static_assert(sizeof(_ZQSCANINFO) == 232 + 4 * kWide);
static_assert(offsetof(_ZQSCANINFO, Flatbed) == 0 && offsetof(_ZQSCANINFO, Sheetfed) == 4 &&
              offsetof(_ZQSCANINFO, ADF) == 8 && offsetof(_ZQSCANINFO, TPA) == 12 &&
              offsetof(_ZQSCANINFO, Endorser) == 16 && offsetof(_ZQSCANINFO, OpticalXResolution) == 20 &&
              offsetof(_ZQSCANINFO, OpticalYResolution) == 24 && offsetof(_ZQSCANINFO, MaxBitDepthPerPixel) == 28 &&
              offsetof(_ZQSCANINFO, BedWidth) == 32 && offsetof(_ZQSCANINFO, BedHeight) == 36 &&
              offsetof(_ZQSCANINFO, ADFBedWidth) == 40 && offsetof(_ZQSCANINFO, ADFBedHeight) == 44 &&
              offsetof(_ZQSCANINFO, ADFMaxPages) == 48 && offsetof(_ZQSCANINFO, SupportedCompressionType) == 52 &&
              offsetof(_ZQSCANINFO, SupportedDataTypes) == 56 && offsetof(_ZQSCANINFO, WidthPixels) == 60 &&
              offsetof(_ZQSCANINFO, WidthBytes) == 64 && offsetof(_ZQSCANINFO, Lines) == 68 &&
              offsetof(_ZQSCANINFO, DataType) == 72 && offsetof(_ZQSCANINFO, PixelBits) == 76 &&
              offsetof(_ZQSCANINFO, Intensity) == 80 && offsetof(_ZQSCANINFO, Contrast) == 84 &&
              offsetof(_ZQSCANINFO, Threshold) == 88 && offsetof(_ZQSCANINFO, Xresolution) == 92 &&
              offsetof(_ZQSCANINFO, Yresolution) == 96 && offsetof(_ZQSCANINFO, RedGamma) == 100 &&
              offsetof(_ZQSCANINFO, GreenGamma) == 104 && offsetof(_ZQSCANINFO, BlueGamma) == 108 &&
              offsetof(_ZQSCANINFO, Window) == 112 && offsetof(_ZQSCANINFO, ToneMapParams) == 128 &&
              offsetof(_ZQSCANINFO, ScanHardware) == 156 && offsetof(_ZQSCANINFO, Duplex) == 160 &&
              offsetof(_ZQSCANINFO, ColorDropOut) == 164 && offsetof(_ZQSCANINFO, Negative) == 168 &&
              offsetof(_ZQSCANINFO, Mirror) == 172);
static_assert(offsetof(_ZQSCANINFO, AutoBack) == 176 + kWide && offsetof(_ZQSCANINFO, ScanDirection) == 180 + kWide);
static_assert(offsetof(_ZQSCANINFO, Demoire) == 184 + 2 * kWide && offsetof(_ZQSCANINFO, ToneMap) == 188 + 2 * kWide &&
              offsetof(_ZQSCANINFO, Compression) == 192 + 2 * kWide &&
              offsetof(_ZQSCANINFO, RawDataFormat) == 196 + 2 * kWide);
static_assert(offsetof(_ZQSCANINFO, RawPixelOrder) == 200 + 3 * kWide &&
              offsetof(_ZQSCANINFO, bNeedDataAlignment) == 204 + 3 * kWide &&
              offsetof(_ZQSCANINFO, DelayBetweenRead) == 208 + 3 * kWide &&
              offsetof(_ZQSCANINFO, MaxBufferSize) == 212 + 3 * kWide && offsetof(_ZQSCANINFO, Value) == 216 + 3 * kWide);
static_assert(offsetof(_ZQSCANINFO, LinesScanned) == 220 + 4 * kWide &&
              offsetof(_ZQSCANINFO, PagesScanned) == 224 + 4 * kWide &&
              offsetof(_ZQSCANINFO, ActiveSide) == 228 + 4 * kWide);
static_assert(sizeof(_ZQSCANMODE) == 4 && sizeof(_ZQSCANHRDW) == 4 && sizeof(_ZQSCANCOMMAND) == 4 &&
              sizeof(_ZQSTATUS) == 4);
}  // namespace zq_layout

// ---- The model's default record.

// Bytes of one line of `pixels` pixels of `bitsPerPixel` bits (no row padding).
constexpr int32_t ZqLineBytes(int32_t pixels, int32_t bitsPerPixel) { return (pixels * bitsPerPixel + 7) / 8; }

// The default scan record of the M48tz: a 24-bit colour Letter page at 300 dpi from the
// document feeder, duplex. WidthBytes is the colour line's 7650 bytes (2550 pixels at 24 bits).
constexpr _ZQSCANINFO ZqScanInfoDefaults() {
  _ZQSCANINFO info{};
  info.ADF = 2;
  info.OpticalXResolution = 600;
  info.OpticalYResolution = 600;
  info.MaxBitDepthPerPixel = 16;
  info.BedWidth = 8500;
  info.BedHeight = 14000;
  info.ADFBedWidth = 8500;
  info.ADFBedHeight = 236000;
  info.ADFMaxPages = 50;
  info.SupportedCompressionType = 0x40000;
  info.SupportedDataTypes = static_cast<int32_t>(
      ZQSCANMODE_BITONAL | ZQSCANMODE_GREY | ZQSCANMODE_COLOR | ZQSCANMODE_BLACK_BG | ZQSCANMODE_SUPPORT_DSDATA |
      ZQSCANMODE_SUPPORT_OVERSCAN | ZQSCANMODE_SUPPORT_MULTISCANNER | ZQSCANMODE_SUPPORT_RZD_TWAIN |
      ZQSCANMODE_SUPPORT_RZD_DFDRECOVERY | ZQSCANMODE_SUPPORT_RZD_MANUALFEED);
  info.WidthPixels = 2550;
  info.PixelBits = 24;
  info.WidthBytes = ZqLineBytes(info.WidthPixels, info.PixelBits);
  info.Lines = 3300;
  info.DataType = ZQSCANMODE_COLOR;
  info.Intensity = 50;
  info.Contrast = 50;
  info.Threshold = 50;
  info.Xresolution = 300;
  info.Yresolution = 300;
  info.RedGamma = 185;
  info.GreenGamma = 185;
  info.BlueGamma = 185;
  info.Window = {0, 0, 2550, 3300};
  info.ScanHardware = ZQSCANHRDW_ADF;
  info.Duplex = 1;
  info.RawPixelOrder = 1;
  info.bNeedDataAlignment = 1;
  info.MaxBufferSize = 64000;
  return info;
}

static_assert(ZqScanInfoDefaults().SupportedDataTypes == 0x38222807);
static_assert(ZqScanInfoDefaults().WidthBytes == 7650);
