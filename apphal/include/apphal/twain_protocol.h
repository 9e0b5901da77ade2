// Our declarations of the TWAIN 2 protocol as `apphal` and the model's data source use it:
// the value types, the records passed through DS_Entry and DSM_Entry, the data groups, data
// argument types, messages, return and condition codes, and the capability ids and values the
// desktop-application interface sends.
//
// Every value is the published TWAIN 2 standard's, except those marked as the data source's own
// (0x8000 and above). twain_protocol_test.cpp pins each one by number, written from the
// standard, and fails for a constant of this header it does not pin.
//
// Binary rules: every record is packed on two-byte boundaries; integers have fixed widths; the
// two kinds of pointer field (TW_MEMREF, TW_HANDLE) are one native pointer wide, so on this
// 64-bit system they take 8 bytes and the records that hold them are larger than their 32-bit
// forms (TW_ENTRYPOINT 44 bytes instead of 24, TW_EVENT 10 instead of 6). The static checks at
// the end pin every size and offset for both pointer widths.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Value types.
using TW_INT8 = int8_t;
using TW_INT16 = int16_t;
using TW_INT32 = int32_t;
using TW_UINT8 = uint8_t;
using TW_UINT16 = uint16_t;
using TW_UINT32 = uint32_t;
using TW_BOOL = uint16_t;
using TW_MEMREF = void*;
using TW_HANDLE = void*;
using TW_UINTPTR = uintptr_t;
constexpr TW_BOOL TW_FALSE = 0;
constexpr TW_BOOL TW_TRUE = 1;

// Fixed-width texts: N characters and a terminator, padded to an even byte count.
using TW_STR32 = char[34];
using TW_STR64 = char[66];
using TW_STR128 = char[130];
using TW_STR255 = char[256];

#pragma pack(push, 2)

// A number with 16 fraction bits: Whole + Frac / 65536.
struct TW_FIX32 {
  TW_INT16 Whole;
  TW_UINT16 Frac;
};

struct TW_FRAME {
  TW_FIX32 Left;
  TW_FIX32 Top;
  TW_FIX32 Right;
  TW_FIX32 Bottom;
};

struct TW_VERSION {
  TW_UINT16 MajorNum;
  TW_UINT16 MinorNum;
  TW_UINT16 Language;
  TW_UINT16 Country;
  TW_STR32 Info;
};

struct TW_IDENTITY {
  TW_UINT32 Id;
  TW_VERSION Version;
  TW_UINT16 ProtocolMajor;
  TW_UINT16 ProtocolMinor;
  TW_UINT32 SupportedGroups;
  TW_STR32 Manufacturer;
  TW_STR32 ProductFamily;
  TW_STR32 ProductName;
};

struct TW_CAPABILITY {
  TW_UINT16 Cap;
  TW_UINT16 ConType;
  TW_HANDLE hContainer;
};

// Containers, as laid out in the locked memory of hContainer. The item lists of an enumeration
// and an array hold NumItems items of the item type's size, packed one after the other; a
// one-value and a range keep each value in a 32-bit slot (smaller types in its first bytes).
struct TW_ONEVALUE {
  TW_UINT16 ItemType;
  TW_UINT32 Item;
};

struct TW_ENUMERATION {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT32 CurrentIndex;
  TW_UINT32 DefaultIndex;
  TW_UINT8 ItemList[1];
};

struct TW_ARRAY {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT8 ItemList[1];
};

struct TW_RANGE {
  TW_UINT16 ItemType;
  TW_UINT32 MinValue;
  TW_UINT32 MaxValue;
  TW_UINT32 StepSize;
  TW_UINT32 DefaultValue;
  TW_UINT32 CurrentValue;
};

struct TW_STATUS {
  TW_UINT16 ConditionCode;
  TW_UINT16 Reserved;
};

struct TW_USERINTERFACE {
  TW_BOOL ShowUI;
  TW_BOOL ModalUI;
  TW_HANDLE hParent;
};

// pEvent points at the rzd::ThreadMessage taken from the application thread's queue.
struct TW_EVENT {
  TW_MEMREF pEvent;
  TW_UINT16 TWMessage;
};

struct TW_PENDINGXFERS {
  TW_UINT16 Count;
  TW_UINT32 Extra;  // the source's own 32-bit value after the count
};

struct TW_SETUPMEMXFER {
  TW_UINT32 MinBufSize;
  TW_UINT32 MaxBufSize;
  TW_UINT32 Preferred;
};

struct TW_MEMORY {
  TW_UINT32 Flags;
  TW_UINT32 Length;
  TW_MEMREF TheMem;
};

struct TW_IMAGEMEMXFER {
  TW_UINT16 Compression;
  TW_UINT32 BytesPerRow;
  TW_UINT32 Columns;
  TW_UINT32 Rows;
  TW_UINT32 XOffset;
  TW_UINT32 YOffset;
  TW_UINT32 BytesWritten;
  TW_MEMORY Memory;
};

struct TW_IMAGEINFO {
  TW_FIX32 XResolution;
  TW_FIX32 YResolution;
  TW_INT32 ImageWidth;
  TW_INT32 ImageLength;
  TW_INT16 SamplesPerPixel;
  TW_INT16 BitsPerSample[8];
  TW_INT16 BitsPerPixel;
  TW_BOOL Planar;
  TW_INT16 PixelType;
  TW_UINT16 Compression;
};

struct TW_IMAGELAYOUT {
  TW_FRAME Frame;
  TW_UINT32 DocumentNumber;
  TW_UINT32 PageNumber;
  TW_UINT32 FrameNumber;
};

struct TW_CUSTOMDSDATA {
  TW_UINT32 InfoLength;
  TW_HANDLE hData;
};

struct TW_ELEMENT8 {
  TW_UINT8 Index;
  TW_UINT8 Channel1;
  TW_UINT8 Channel2;
  TW_UINT8 Channel3;
};

// DAT_GRAYRESPONSE and DAT_RGBRESPONSE: one element per input level.
struct TW_RESPONSETABLE {
  TW_ELEMENT8 Response[256];
};

struct TW_CALLBACK {
  TW_MEMREF CallBackProc;
  TW_UINT32 RefCon;
  TW_INT16 Message;
};

// One entry of the source's extended image information. The source answers each entry in its
// ReturnCode; a successful entry whose value does not fit in Item (more than one item, a text, a
// TWTY_HANDLE) holds a handle of global memory the source allocated and the application frees.
struct TW_INFO {
  TW_UINT16 InfoID;
  TW_UINT16 ItemType;
  TW_UINT16 NumItems;
  TW_UINT16 ReturnCode;
  TW_UINTPTR Item;
};

// The source's extended image information record (data argument type DAT_EXTIMAGEINFO_DS):
// NumInfos entries follow the count.
struct TW_EXTIMAGEINFO {
  TW_UINT32 NumInfos;
  TW_INFO Info[1];
};

// The functions the application hands to the data source (DAT_ENTRYPOINT / MSG_SET).
using DSMENTRYPROC = TW_UINT16 (*)(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 dataGroup,
                                   TW_UINT16 dataArgumentType, TW_UINT16 message, TW_MEMREF data);
using DSM_MEMALLOCATE = TW_HANDLE (*)(TW_UINT32 size);
using DSM_MEMFREE = void (*)(TW_HANDLE handle);
using DSM_MEMLOCK = TW_MEMREF (*)(TW_HANDLE handle);
using DSM_MEMUNLOCK = void (*)(TW_HANDLE handle);

struct TW_ENTRYPOINT {
  TW_UINT32 Size;  // sizeof(TW_ENTRYPOINT)
  DSMENTRYPROC DSM_Entry;
  DSM_MEMALLOCATE DSM_MemAllocate;
  DSM_MEMFREE DSM_MemFree;
  DSM_MEMLOCK DSM_MemLock;
  DSM_MEMUNLOCK DSM_MemUnlock;
};

#pragma pack(pop)

// The data source's exported entry point "DS_Entry". `origin` is null only for
// MSG_DS_GETIDENTITY.
using DSENTRYPROC = TW_UINT16 (*)(TW_IDENTITY* origin, TW_UINT32 dataGroup, TW_UINT16 dataArgumentType,
                                  TW_UINT16 message, TW_MEMREF data);
inline constexpr char kDsEntryExport[] = "DS_Entry";

// ---- Data groups and the flags of SupportedGroups.
constexpr TW_UINT32 DG_CONTROL = 0x0001;
constexpr TW_UINT32 DG_IMAGE = 0x0002;
constexpr TW_UINT32 DF_APP2 = 0x20000000;
constexpr TW_UINT32 DF_DS2 = 0x40000000;

// ---- Data argument types.
constexpr TW_UINT16 DAT_NULL = 0x0000;
constexpr TW_UINT16 DAT_CAPABILITY = 0x0001;
constexpr TW_UINT16 DAT_EVENT = 0x0002;
constexpr TW_UINT16 DAT_IDENTITY = 0x0003;
constexpr TW_UINT16 DAT_PENDINGXFERS = 0x0005;
constexpr TW_UINT16 DAT_SETUPMEMXFER = 0x0006;
constexpr TW_UINT16 DAT_STATUS = 0x0008;
constexpr TW_UINT16 DAT_USERINTERFACE = 0x0009;
constexpr TW_UINT16 DAT_CUSTOMDSDATA = 0x000C;
constexpr TW_UINT16 DAT_CALLBACK = 0x0010;
constexpr TW_UINT16 DAT_ENTRYPOINT = 0x0403;
constexpr TW_UINT16 DAT_IMAGEINFO = 0x0101;
constexpr TW_UINT16 DAT_IMAGELAYOUT = 0x0102;
constexpr TW_UINT16 DAT_IMAGEMEMXFER = 0x0103;
constexpr TW_UINT16 DAT_GRAYRESPONSE = 0x0107;
constexpr TW_UINT16 DAT_RGBRESPONSE = 0x0108;
constexpr TW_UINT16 DAT_EXTIMAGEINFO_DS = 0x8001;  // the source's own extended image information

// ---- Messages.
constexpr TW_UINT16 MSG_NULL = 0x0000;
constexpr TW_UINT16 MSG_GET = 0x0001;
constexpr TW_UINT16 MSG_GETCURRENT = 0x0002;
constexpr TW_UINT16 MSG_GETDEFAULT = 0x0003;
constexpr TW_UINT16 MSG_SET = 0x0006;
constexpr TW_UINT16 MSG_RESET = 0x0007;
constexpr TW_UINT16 MSG_XFERREADY = 0x0101;
constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
constexpr TW_UINT16 MSG_CLOSEDSOK = 0x0103;
constexpr TW_UINT16 MSG_OPENDS = 0x0401;
constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
constexpr TW_UINT16 MSG_ENDXFER = 0x0701;
constexpr TW_UINT16 MSG_INVOKE_CALLBACK = 0x0903;
// The source's own messages.
constexpr TW_UINT16 MSG_DS_GETIDENTITY = 0x8001;  // DAT_IDENTITY with a null origin: fill the source's identity
constexpr TW_UINT16 MSG_DS_USER2 = 0x8002;        // DAT_USERINTERFACE, data passed through
constexpr TW_UINT16 MSG_DS_USER3 = 0x8003;        // DAT_USERINTERFACE, data passed through
constexpr TW_UINT16 MSG_DS_NETWAIT = 0x8004;      // DAT_USERINTERFACE, no data

// ---- Return codes.
constexpr TW_UINT16 TWRC_SUCCESS = 0;
constexpr TW_UINT16 TWRC_FAILURE = 1;
constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
constexpr TW_UINT16 TWRC_CANCEL = 3;
constexpr TW_UINT16 TWRC_DSEVENT = 4;
constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
constexpr TW_UINT16 TWRC_XFERDONE = 6;
// Answers of one entry of the extended image information (TW_INFO.ReturnCode).
constexpr TW_UINT16 TWRC_INFONOTSUPPORTED = 8;
constexpr TW_UINT16 TWRC_DATANOTAVAILABLE = 9;

// ---- Condition codes (TW_STATUS). 0x8000 and above are the source's own.
constexpr TW_UINT16 TWCC_SUCCESS = 0;
constexpr TW_UINT16 TWCC_BUMMER = 1;
constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
constexpr TW_UINT16 TWCC_NODS = 3;
constexpr TW_UINT16 TWCC_MAXCONNECTIONS = 4;
constexpr TW_UINT16 TWCC_BADVALUE = 10;
constexpr TW_UINT16 TWCC_SEQERROR = 11;
constexpr TW_UINT16 TWCC_CAPUNSUPPORTED = 13;
constexpr TW_UINT16 TWCC_CAPSEQERROR = 15;
constexpr TW_UINT16 TWCC_PAPERJAM = 20;
constexpr TW_UINT16 TWCC_PAPERDOUBLEFEED = 21;
constexpr TW_UINT16 TWCC_CHECKDEVICEONLINE = 23;
constexpr TW_UINT16 TWCC_INTERLOCK = 24;
constexpr TW_UINT16 TWCC_NOMEDIA = 29;
constexpr TW_UINT16 TWCC_DS_DOCSKEW = 0x8000;
constexpr TW_UINT16 TWCC_DS_SHIPLOCK = 0x8001;
constexpr TW_UINT16 TWCC_DS_BLANKPAGE = 0x8002;

// ---- Container kinds (TW_CAPABILITY.ConType).
constexpr TW_UINT16 TWON_ARRAY = 3;
constexpr TW_UINT16 TWON_ENUMERATION = 4;
constexpr TW_UINT16 TWON_ONEVALUE = 5;
constexpr TW_UINT16 TWON_RANGE = 6;
constexpr TW_UINT16 TWON_DONTCARE16 = 0xFFFF;

// ---- Item types.
constexpr TW_UINT16 TWTY_INT8 = 0;
constexpr TW_UINT16 TWTY_INT16 = 1;
constexpr TW_UINT16 TWTY_INT32 = 2;
constexpr TW_UINT16 TWTY_UINT8 = 3;
constexpr TW_UINT16 TWTY_UINT16 = 4;
constexpr TW_UINT16 TWTY_UINT32 = 5;
constexpr TW_UINT16 TWTY_BOOL = 6;
constexpr TW_UINT16 TWTY_FIX32 = 7;
constexpr TW_UINT16 TWTY_FRAME = 8;
constexpr TW_UINT16 TWTY_STR32 = 9;
constexpr TW_UINT16 TWTY_STR64 = 10;
constexpr TW_UINT16 TWTY_STR128 = 11;
constexpr TW_UINT16 TWTY_STR255 = 12;
constexpr TW_UINT16 TWTY_HANDLE = 15;  // an entry of the extended image information holding a handle

// Bytes one item of `itemType` takes in an item list; 0 for an unknown type (and for TWTY_HANDLE,
// which no capability container carries).
constexpr size_t TwainItemSize(TW_UINT16 itemType) {
  switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8: return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL: return 2;
    case TWTY_INT32:
    case TWTY_UINT32:
    case TWTY_FIX32: return 4;
    case TWTY_FRAME: return sizeof(TW_FRAME);
    case TWTY_STR32: return sizeof(TW_STR32);
    case TWTY_STR64: return sizeof(TW_STR64);
    case TWTY_STR128: return sizeof(TW_STR128);
    case TWTY_STR255: return sizeof(TW_STR255);
    default: return 0;
  }
}

// ---- Memory flags (TW_MEMORY.Flags).
constexpr TW_UINT32 TWMF_APPOWNS = 0x0001;
constexpr TW_UINT32 TWMF_POINTER = 0x0008;

// ---- Capability ids.
constexpr TW_UINT16 CAP_XFERCOUNT = 0x0001;
constexpr TW_UINT16 ICAP_COMPRESSION = 0x0100;
constexpr TW_UINT16 ICAP_PIXELTYPE = 0x0101;
constexpr TW_UINT16 ICAP_UNITS = 0x0102;
constexpr TW_UINT16 ICAP_XFERMECH = 0x0103;
constexpr TW_UINT16 CAP_FEEDERENABLED = 0x1002;
constexpr TW_UINT16 CAP_FEEDERLOADED = 0x1003;
constexpr TW_UINT16 CAP_AUTOFEED = 0x1007;
constexpr TW_UINT16 CAP_INDICATORS = 0x100B;
constexpr TW_UINT16 CAP_DUPLEXENABLED = 0x1013;
constexpr TW_UINT16 CAP_CAMERAENABLED = 0x1036;
constexpr TW_UINT16 CAP_AUTOMATICSENSEMEDIUM = 0x103B;
constexpr TW_UINT16 CAP_DOUBLEFEEDDETECTION = 0x103F;
constexpr TW_UINT16 CAP_DOUBLEFEEDDETECTIONRESPONSE = 0x1042;
constexpr TW_UINT16 ICAP_BRIGHTNESS = 0x1101;
constexpr TW_UINT16 ICAP_CONTRAST = 0x1103;
constexpr TW_UINT16 ICAP_FILTER = 0x1106;
constexpr TW_UINT16 ICAP_HALFTONES = 0x1109;
constexpr TW_UINT16 ICAP_ORIENTATION = 0x1110;
constexpr TW_UINT16 ICAP_PHYSICALWIDTH = 0x1111;
constexpr TW_UINT16 ICAP_PHYSICALHEIGHT = 0x1112;
constexpr TW_UINT16 ICAP_XNATIVERESOLUTION = 0x1116;
constexpr TW_UINT16 ICAP_YNATIVERESOLUTION = 0x1117;
constexpr TW_UINT16 ICAP_XRESOLUTION = 0x1118;
constexpr TW_UINT16 ICAP_YRESOLUTION = 0x1119;
constexpr TW_UINT16 ICAP_ROTATION = 0x1121;
constexpr TW_UINT16 ICAP_SUPPORTEDSIZES = 0x1122;
constexpr TW_UINT16 ICAP_THRESHOLD = 0x1123;
constexpr TW_UINT16 ICAP_BITDEPTHREDUCTION = 0x112C;
constexpr TW_UINT16 ICAP_MINIMUMHEIGHT = 0x1130;
constexpr TW_UINT16 ICAP_MINIMUMWIDTH = 0x1131;
constexpr TW_UINT16 ICAP_AUTODISCARDBLANKPAGES = 0x1134;
constexpr TW_UINT16 ICAP_NOISEFILTER = 0x1148;
constexpr TW_UINT16 ICAP_OVERSCAN = 0x1149;
constexpr TW_UINT16 ICAP_AUTOMATICBORDERDETECTION = 0x1150;
constexpr TW_UINT16 ICAP_AUTOMATICDESKEW = 0x1151;
constexpr TW_UINT16 ICAP_AUTOMATICROTATE = 0x1152;
constexpr TW_UINT16 ICAP_JPEGQUALITY = 0x1153;
constexpr TW_UINT16 ICAP_AUTOMATICLENGTHDETECTION = 0x1158;
constexpr TW_UINT16 ICAP_AUTOMATICCOLORENABLED = 0x1159;
constexpr TW_UINT16 ICAP_AUTOMATICCOLORNONCOLORPIXELTYPE = 0x115A;

// ---- The data source's own capabilities the wrapper sends (their meaning is the source's; the
// ids and the values sent are fixed by the wrapper).
constexpr TW_UINT16 kCapDsSourceName = 0x8021;       // the source's string of scan sources
constexpr TW_UINT16 kCapDsMirror = 0x8035;
constexpr TW_UINT16 kCapDsEdgeCleanup = 0x8036;
constexpr TW_UINT16 kCapDsLongDocument = 0x8046;
constexpr TW_UINT16 kCapDsRotationInfo = 0x8050;
constexpr TW_UINT16 kCapDsEndorser = 0x8062;
constexpr TW_UINT16 kCapDsPageRecord = 0x8065;
constexpr TW_UINT16 kCapDsVrsMode = 0x8067;
constexpr TW_UINT16 kCapDsJpeg = 0x806C;
constexpr TW_UINT16 kCapDsFlipBackSide = 0x807B;
constexpr TW_UINT16 kCapDsColourCorrection = 0x8086;
constexpr TW_UINT16 kCapDsLengthCheck = 0x8087;
constexpr TW_UINT16 kCapDsVrsGamma = 0x808B;
constexpr TW_UINT16 kCapDsCustomData = 0x809D;       // set TRUE at initialisation

// ---- Capability values.
// ICAP_UNITS
constexpr TW_UINT16 TWUN_INCHES = 0;
constexpr TW_UINT16 TWUN_CENTIMETERS = 1;
constexpr TW_UINT16 TWUN_PICAS = 2;
constexpr TW_UINT16 TWUN_POINTS = 3;
constexpr TW_UINT16 TWUN_TWIPS = 4;
constexpr TW_UINT16 TWUN_PIXELS = 5;
constexpr TW_UINT16 TWUN_MILLIMETERS = 6;
// ICAP_PIXELTYPE
constexpr TW_UINT16 TWPT_BW = 0;
constexpr TW_UINT16 TWPT_GRAY = 1;
constexpr TW_UINT16 TWPT_RGB = 2;
// ICAP_COMPRESSION
constexpr TW_UINT16 TWCP_NONE = 0;
constexpr TW_UINT16 TWCP_JPEG = 6;
// ICAP_XFERMECH
constexpr TW_UINT16 TWSX_NATIVE = 0;
constexpr TW_UINT16 TWSX_MEMORY = 2;
// ICAP_BITDEPTHREDUCTION
constexpr TW_UINT16 TWBR_THRESHOLD = 0;
constexpr TW_UINT16 TWBR_HALFTONE = 1;
constexpr TW_UINT16 TWBR_DIFFUSION = 3;
constexpr TW_UINT16 TWBR_DYNAMICTHRESHOLD = 4;
// ICAP_FILTER
constexpr TW_UINT16 TWFT_RED = 0;
constexpr TW_UINT16 TWFT_GREEN = 1;
constexpr TW_UINT16 TWFT_BLUE = 2;
constexpr TW_UINT16 TWFT_NONE = 3;
// ICAP_NOISEFILTER
constexpr TW_UINT16 TWNF_NONE = 0;
constexpr TW_UINT16 TWNF_AUTO = 1;
// ICAP_OVERSCAN
constexpr TW_UINT16 TWOV_NONE = 0;
constexpr TW_UINT16 TWOV_AUTO = 1;
constexpr TW_UINT16 TWOV_TOPBOTTOM = 2;
constexpr TW_UINT16 TWOV_LEFTRIGHT = 3;
constexpr TW_UINT16 TWOV_ALL = 4;
// ICAP_AUTODISCARDBLANKPAGES (TW_INT32)
constexpr TW_INT32 TWBP_DISABLE = -2;
constexpr TW_INT32 TWBP_AUTO = -1;
// CAP_DOUBLEFEEDDETECTION and CAP_DOUBLEFEEDDETECTIONRESPONSE
constexpr TW_UINT16 TWDF_ULTRASONIC = 0;
constexpr TW_UINT16 TWDP_STOPANDWAIT = 1;
// The side of TWEI_PAGESIDE
constexpr TW_UINT16 TWCS_TOP = 1;
constexpr TW_UINT16 TWCS_BOTTOM = 2;

// ---- Extended image information entries (TW_INFO.InfoID).
constexpr TW_UINT16 TWEI_PATCHCODE = 0x1212;
constexpr TW_UINT16 TWEI_BARCODECOUNT = 0x1219;
constexpr TW_UINT16 TWEI_CHAPTERNUMBER = 0x1239;
constexpr TW_UINT16 TWEI_DOCUMENTNUMBER = 0x123A;
constexpr TW_UINT16 TWEI_PAGENUMBER = 0x123B;
constexpr TW_UINT16 TWEI_FRAMENUMBER = 0x123D;
constexpr TW_UINT16 TWEI_PIXELFLAVOR = 0x123F;
constexpr TW_UINT16 TWEI_PAGESIDE = 0x1245;
constexpr TW_UINT16 TWEI_PAPERCOUNT = 0x1249;
constexpr TW_UINT16 TWEI_PRINTERTEXT = 0x124A;

// ---- Languages and countries of TW_VERSION.
constexpr TW_UINT16 TWLG_USA = 13;
constexpr TW_UINT16 TWCY_USA = 1;

// ---- Static checks of the layouts, for 4- and 8-byte pointers.
namespace twain_layout {
constexpr size_t kPtr = sizeof(void*);
static_assert(kPtr == 4 || kPtr == 8);
static_assert(sizeof(TW_FIX32) == 4 && offsetof(TW_FIX32, Frac) == 2);
static_assert(sizeof(TW_FRAME) == 16 && offsetof(TW_FRAME, Bottom) == 12);
static_assert(sizeof(TW_STR32) == 34 && sizeof(TW_STR64) == 66 && sizeof(TW_STR128) == 130 &&
              sizeof(TW_STR255) == 256);
static_assert(sizeof(TW_VERSION) == 42 && offsetof(TW_VERSION, Info) == 8);
static_assert(sizeof(TW_IDENTITY) == 156);
static_assert(offsetof(TW_IDENTITY, Version) == 4 && offsetof(TW_IDENTITY, ProtocolMajor) == 46 &&
              offsetof(TW_IDENTITY, ProtocolMinor) == 48 && offsetof(TW_IDENTITY, SupportedGroups) == 50 &&
              offsetof(TW_IDENTITY, Manufacturer) == 54 && offsetof(TW_IDENTITY, ProductFamily) == 88 &&
              offsetof(TW_IDENTITY, ProductName) == 122);
static_assert(sizeof(TW_CAPABILITY) == 4 + kPtr && offsetof(TW_CAPABILITY, hContainer) == 4);
static_assert(sizeof(TW_ONEVALUE) == 6 && offsetof(TW_ONEVALUE, Item) == 2);
static_assert(offsetof(TW_ENUMERATION, NumItems) == 2 && offsetof(TW_ENUMERATION, CurrentIndex) == 6 &&
              offsetof(TW_ENUMERATION, DefaultIndex) == 10 && offsetof(TW_ENUMERATION, ItemList) == 14);
static_assert(offsetof(TW_ARRAY, NumItems) == 2 && offsetof(TW_ARRAY, ItemList) == 6);
static_assert(sizeof(TW_RANGE) == 22 && offsetof(TW_RANGE, MinValue) == 2 && offsetof(TW_RANGE, MaxValue) == 6 &&
              offsetof(TW_RANGE, StepSize) == 10 && offsetof(TW_RANGE, DefaultValue) == 14 &&
              offsetof(TW_RANGE, CurrentValue) == 18);
static_assert(sizeof(TW_STATUS) == 4);
static_assert(sizeof(TW_USERINTERFACE) == 4 + kPtr && offsetof(TW_USERINTERFACE, hParent) == 4);
static_assert(sizeof(TW_EVENT) == kPtr + 2 && offsetof(TW_EVENT, TWMessage) == kPtr);
static_assert(sizeof(TW_PENDINGXFERS) == 6 && offsetof(TW_PENDINGXFERS, Extra) == 2);
static_assert(sizeof(TW_SETUPMEMXFER) == 12);
static_assert(sizeof(TW_MEMORY) == 8 + kPtr && offsetof(TW_MEMORY, TheMem) == 8);
static_assert(sizeof(TW_IMAGEMEMXFER) == 26 + sizeof(TW_MEMORY) && offsetof(TW_IMAGEMEMXFER, BytesPerRow) == 2 &&
              offsetof(TW_IMAGEMEMXFER, BytesWritten) == 22 && offsetof(TW_IMAGEMEMXFER, Memory) == 26);
static_assert(sizeof(TW_IMAGEINFO) == 42 && offsetof(TW_IMAGEINFO, ImageWidth) == 8 &&
              offsetof(TW_IMAGEINFO, ImageLength) == 12 && offsetof(TW_IMAGEINFO, SamplesPerPixel) == 16 &&
              offsetof(TW_IMAGEINFO, BitsPerSample) == 18 && offsetof(TW_IMAGEINFO, BitsPerPixel) == 34 &&
              offsetof(TW_IMAGEINFO, Planar) == 36 && offsetof(TW_IMAGEINFO, PixelType) == 38 &&
              offsetof(TW_IMAGEINFO, Compression) == 40);
static_assert(sizeof(TW_IMAGELAYOUT) == 28 && offsetof(TW_IMAGELAYOUT, DocumentNumber) == 16 &&
              offsetof(TW_IMAGELAYOUT, FrameNumber) == 24);
static_assert(sizeof(TW_CUSTOMDSDATA) == 4 + kPtr && offsetof(TW_CUSTOMDSDATA, hData) == 4);
static_assert(sizeof(TW_ELEMENT8) == 4 && sizeof(TW_RESPONSETABLE) == 1024);
static_assert(sizeof(TW_CALLBACK) == kPtr + 6 && offsetof(TW_CALLBACK, RefCon) == kPtr &&
              offsetof(TW_CALLBACK, Message) == kPtr + 4);
static_assert(sizeof(TW_INFO) == 8 + kPtr && offsetof(TW_INFO, Item) == 8);
static_assert(offsetof(TW_EXTIMAGEINFO, Info) == 4);
static_assert(sizeof(TW_ENTRYPOINT) == 4 + 5 * kPtr && offsetof(TW_ENTRYPOINT, DSM_Entry) == 4 &&
              offsetof(TW_ENTRYPOINT, DSM_MemUnlock) == 4 + 4 * kPtr);
}  // namespace twain_layout
