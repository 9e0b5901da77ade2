// Every constant of apphal/twain_protocol.h against its number from the published TWAIN 2
// standard (the data source's own values, 0x8000 and above, from what the wrapper sends). The
// numbers the other tests use are written once, in twain_standard.h, and taken from there (S::);
// the others are written out here. The header is read as text too: a constant it declares that
// this table does not pin fails the test, so a value added later cannot go unchecked.
#include "apphal/twain_protocol.h"
#include "apphal/twain_wrap.h"
#include "twain_standard.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace rzd::apphal {
namespace {

namespace S = test::standard;

struct Pinned {
  const char* name;
  int64_t header;    // the header's value
  int64_t standard;  // the standard's number
};

#define PIN(name, number) Pinned{#name, static_cast<int64_t>(name), static_cast<int64_t>(number)}

const Pinned kPinned[] = {
    // Booleans.
    PIN(TW_FALSE, 0), PIN(TW_TRUE, 1),
    // Data groups and the flags of SupportedGroups.
    PIN(DG_CONTROL, S::kControl), PIN(DG_IMAGE, S::kImage), PIN(DF_APP2, 0x20000000), PIN(DF_DS2, 0x40000000),
    // Data argument types.
    PIN(DAT_NULL, S::kDatNull), PIN(DAT_CAPABILITY, S::kDatCapability), PIN(DAT_EVENT, S::kDatEvent),
    PIN(DAT_IDENTITY, S::kDatIdentity), PIN(DAT_PENDINGXFERS, S::kDatPendingXfers),
    PIN(DAT_SETUPMEMXFER, S::kDatSetupMemXfer), PIN(DAT_STATUS, S::kDatStatus),
    PIN(DAT_USERINTERFACE, S::kDatUserInterface), PIN(DAT_CUSTOMDSDATA, S::kDatCustomDsData),
    PIN(DAT_CALLBACK, S::kDatCallback), PIN(DAT_ENTRYPOINT, S::kDatEntryPoint), PIN(DAT_IMAGEINFO, S::kDatImageInfo),
    PIN(DAT_IMAGELAYOUT, S::kDatImageLayout), PIN(DAT_IMAGEMEMXFER, S::kDatImageMemXfer),
    PIN(DAT_GRAYRESPONSE, S::kDatGrayResponse), PIN(DAT_RGBRESPONSE, S::kDatRgbResponse),
    PIN(DAT_EXTIMAGEINFO_DS, S::kDatExtImageInfoDs),  // the source's own
    // Messages.
    PIN(MSG_NULL, 0x0000), PIN(MSG_GET, S::kGet), PIN(MSG_GETCURRENT, S::kGetCurrent), PIN(MSG_GETDEFAULT, 0x0003),
    PIN(MSG_SET, S::kSet), PIN(MSG_RESET, S::kReset), PIN(MSG_XFERREADY, S::kXferReady),
    PIN(MSG_CLOSEDSREQ, S::kCloseDsReq), PIN(MSG_CLOSEDSOK, 0x0103), PIN(MSG_OPENDS, S::kOpenDs),
    PIN(MSG_CLOSEDS, S::kCloseDs), PIN(MSG_DISABLEDS, S::kDisableDs), PIN(MSG_ENABLEDS, S::kEnableDs),
    PIN(MSG_PROCESSEVENT, S::kProcessEvent), PIN(MSG_ENDXFER, S::kEndXfer),
    PIN(MSG_INVOKE_CALLBACK, S::kInvokeCallback),
    PIN(MSG_DS_GETIDENTITY, S::kDsGetIdentity), PIN(MSG_DS_USER2, S::kDsUser2), PIN(MSG_DS_USER3, S::kDsUser3),
    PIN(MSG_DS_NETWAIT, S::kDsNetWait),  // the source's own
    // Return codes.
    PIN(TWRC_SUCCESS, 0), PIN(TWRC_FAILURE, 1), PIN(TWRC_CHECKSTATUS, 2), PIN(TWRC_CANCEL, 3),
    PIN(TWRC_DSEVENT, 4), PIN(TWRC_NOTDSEVENT, 5), PIN(TWRC_XFERDONE, 6), PIN(TWRC_INFONOTSUPPORTED, 8),
    PIN(TWRC_DATANOTAVAILABLE, 9),
    // Condition codes.
    PIN(TWCC_SUCCESS, 0), PIN(TWCC_BUMMER, 1), PIN(TWCC_LOWMEMORY, 2), PIN(TWCC_NODS, 3),
    PIN(TWCC_MAXCONNECTIONS, 4), PIN(TWCC_BADVALUE, 10), PIN(TWCC_SEQERROR, 11), PIN(TWCC_CAPUNSUPPORTED, 13),
    PIN(TWCC_CAPSEQERROR, 15), PIN(TWCC_PAPERJAM, 20), PIN(TWCC_PAPERDOUBLEFEED, 21),
    PIN(TWCC_CHECKDEVICEONLINE, 23), PIN(TWCC_INTERLOCK, 24), PIN(TWCC_NOMEDIA, 29),
    PIN(TWCC_DS_DOCSKEW, 0x8000), PIN(TWCC_DS_SHIPLOCK, 0x8001), PIN(TWCC_DS_BLANKPAGE, 0x8002),  // the source's own
    // Container kinds.
    PIN(TWON_ARRAY, 3), PIN(TWON_ENUMERATION, 4), PIN(TWON_ONEVALUE, 5), PIN(TWON_RANGE, 6),
    PIN(TWON_DONTCARE16, 0xFFFF),
    // Item types.
    PIN(TWTY_INT8, 0x0000), PIN(TWTY_INT16, 0x0001), PIN(TWTY_INT32, 0x0002), PIN(TWTY_UINT8, 0x0003),
    PIN(TWTY_UINT16, S::kTypeUint16), PIN(TWTY_UINT32, 0x0005), PIN(TWTY_BOOL, S::kTypeBool), PIN(TWTY_FIX32, 0x0007),
    PIN(TWTY_FRAME, 0x0008), PIN(TWTY_STR32, S::kTypeStr32), PIN(TWTY_STR64, 0x000A), PIN(TWTY_STR128, 0x000B),
    PIN(TWTY_STR255, S::kTypeStr255), PIN(TWTY_HANDLE, 0x000F),
    // Memory flags.
    PIN(TWMF_APPOWNS, 0x0001), PIN(TWMF_POINTER, 0x0008),
    // Capabilities.
    PIN(CAP_XFERCOUNT, S::kXferCount), PIN(ICAP_COMPRESSION, S::kCompression), PIN(ICAP_PIXELTYPE, S::kPixelType),
    PIN(ICAP_UNITS, S::kUnits), PIN(ICAP_XFERMECH, S::kXferMech), PIN(CAP_FEEDERENABLED, S::kFeederEnabled),
    PIN(CAP_FEEDERLOADED, S::kFeederLoaded), PIN(CAP_AUTOFEED, S::kAutoFeed), PIN(CAP_INDICATORS, S::kIndicators),
    PIN(CAP_DUPLEXENABLED, S::kDuplexEnabled), PIN(CAP_CAMERAENABLED, S::kCameraEnabled),
    PIN(CAP_AUTOMATICSENSEMEDIUM, S::kAutomaticSenseMedium), PIN(CAP_DOUBLEFEEDDETECTION, S::kDoubleFeedDetection),
    PIN(CAP_DOUBLEFEEDDETECTIONRESPONSE, S::kDoubleFeedDetectionResponse), PIN(ICAP_BRIGHTNESS, S::kBrightness),
    PIN(ICAP_CONTRAST, S::kContrast), PIN(ICAP_FILTER, S::kFilter), PIN(ICAP_HALFTONES, 0x1109),
    PIN(ICAP_ORIENTATION, S::kOrientation), PIN(ICAP_PHYSICALWIDTH, 0x1111),
    PIN(ICAP_PHYSICALHEIGHT, S::kPhysicalHeight), PIN(ICAP_XNATIVERESOLUTION, 0x1116),
    PIN(ICAP_YNATIVERESOLUTION, 0x1117), PIN(ICAP_XRESOLUTION, S::kXResolution), PIN(ICAP_YRESOLUTION, 0x1119),
    PIN(ICAP_ROTATION, S::kRotation), PIN(ICAP_SUPPORTEDSIZES, S::kSupportedSizes), PIN(ICAP_THRESHOLD, S::kThreshold),
    PIN(ICAP_BITDEPTHREDUCTION, 0x112C), PIN(ICAP_MINIMUMHEIGHT, S::kMinimumHeight),
    PIN(ICAP_MINIMUMWIDTH, S::kMinimumWidth), PIN(ICAP_AUTODISCARDBLANKPAGES, S::kAutoDiscardBlankPages),
    PIN(ICAP_NOISEFILTER, 0x1148), PIN(ICAP_OVERSCAN, S::kOverscan),
    PIN(ICAP_AUTOMATICBORDERDETECTION, S::kAutomaticBorderDetection), PIN(ICAP_AUTOMATICDESKEW, S::kAutomaticDeskew),
    PIN(ICAP_AUTOMATICROTATE, 0x1152), PIN(ICAP_JPEGQUALITY, S::kJpegQuality),
    PIN(ICAP_AUTOMATICLENGTHDETECTION, S::kAutomaticLengthDetection),
    PIN(ICAP_AUTOMATICCOLORENABLED, S::kAutomaticColorEnabled), PIN(ICAP_AUTOMATICCOLORNONCOLORPIXELTYPE, 0x115A),
    // The source's own capabilities the wrapper sends.
    PIN(kCapDsSourceName, S::kDsSourceName), PIN(kCapDsMirror, S::kDsMirror), PIN(kCapDsEdgeCleanup, 0x8036),
    PIN(kCapDsLongDocument, 0x8046), PIN(kCapDsRotationInfo, S::kDsRotationInfo), PIN(kCapDsEndorser, 0x8062),
    PIN(kCapDsPageRecord, S::kDsPageRecord), PIN(kCapDsVrsMode, S::kDsVrsMode), PIN(kCapDsJpeg, S::kDsJpeg),
    PIN(kCapDsFlipBackSide, S::kDsFlipBackSide), PIN(kCapDsColourCorrection, 0x8086), PIN(kCapDsLengthCheck, 0x8087),
    PIN(kCapDsVrsGamma, 0x808B), PIN(kCapDsCustomData, S::kDsCustomData),
    // Capability values.
    PIN(TWUN_INCHES, 0), PIN(TWUN_CENTIMETERS, 1), PIN(TWUN_PICAS, 2), PIN(TWUN_POINTS, 3), PIN(TWUN_TWIPS, 4),
    PIN(TWUN_PIXELS, 5), PIN(TWUN_MILLIMETERS, 6),
    PIN(TWPT_BW, 0), PIN(TWPT_GRAY, 1), PIN(TWPT_RGB, 2),
    PIN(TWCP_NONE, 0), PIN(TWCP_JPEG, 6),
    PIN(TWSX_NATIVE, 0), PIN(TWSX_MEMORY, 2),
    PIN(TWBR_THRESHOLD, 0), PIN(TWBR_HALFTONE, 1), PIN(TWBR_DIFFUSION, 3), PIN(TWBR_DYNAMICTHRESHOLD, 4),
    PIN(TWFT_RED, 0), PIN(TWFT_GREEN, 1), PIN(TWFT_BLUE, 2), PIN(TWFT_NONE, 3),
    PIN(TWNF_NONE, 0), PIN(TWNF_AUTO, 1),
    PIN(TWOV_NONE, S::kOverscanNone), PIN(TWOV_AUTO, 1), PIN(TWOV_TOPBOTTOM, 2), PIN(TWOV_LEFTRIGHT, 3),
    PIN(TWOV_ALL, S::kOverscanAll),
    PIN(TWBP_DISABLE, -2), PIN(TWBP_AUTO, -1),
    PIN(TWDF_ULTRASONIC, 0), PIN(TWDP_STOPANDWAIT, 1),
    PIN(TWCS_TOP, 1), PIN(TWCS_BOTTOM, 2),
    // Extended image information.
    PIN(TWEI_PATCHCODE, 0x1212), PIN(TWEI_BARCODECOUNT, 0x1219), PIN(TWEI_CHAPTERNUMBER, 0x1239),
    PIN(TWEI_DOCUMENTNUMBER, 0x123A), PIN(TWEI_PAGENUMBER, 0x123B), PIN(TWEI_FRAMENUMBER, 0x123D),
    PIN(TWEI_PIXELFLAVOR, 0x123F), PIN(TWEI_PAGESIDE, 0x1245), PIN(TWEI_PAPERCOUNT, 0x1249),
    PIN(TWEI_PRINTERTEXT, 0x124A),
    // Language and country.
    PIN(TWLG_USA, 13), PIN(TWCY_USA, 1),
};

#undef PIN

TEST(TwainProtocol, EveryValueIsTheStandards) {
  for (const Pinned& p : kPinned) EXPECT_EQ(p.header, p.standard) << p.name;
}

TEST(TwainProtocol, EveryConstantOfTheHeaderIsPinned) {
  std::ifstream file(RZD_TWAIN_PROTOCOL_HEADER);
  ASSERT_TRUE(file) << RZD_TWAIN_PROTOCOL_HEADER;
  std::stringstream text;
  text << file.rdbuf();
  const std::string header = text.str();
  std::set<std::string> pinned;
  for (const Pinned& p : kPinned) EXPECT_TRUE(pinned.insert(p.name).second) << p.name << " twice";
  // "constexpr TW_UINT16 NAME = ..." at the start of a line; the layout checks' kPtr is no value.
  const std::regex declaration(R"(^constexpr\s+\w+\s+(\w+)\s*=)", std::regex::multiline);
  size_t declared = 0;
  for (auto it = std::sregex_iterator(header.begin(), header.end(), declaration); it != std::sregex_iterator();
       ++it) {
    const std::string name = (*it)[1];
    if (name == "kPtr") continue;
    ++declared;
    EXPECT_EQ(pinned.count(name), 1u) << name << " is declared but not pinned";
  }
  EXPECT_EQ(declared, pinned.size());
}

TEST(TwainProtocol, TextFieldsAndItemSizes) {
  // Texts hold N characters and a terminator, rounded up to an even size.
  EXPECT_EQ(sizeof(TW_STR32), 34u);
  EXPECT_EQ(sizeof(TW_STR64), 66u);
  EXPECT_EQ(sizeof(TW_STR128), 130u);
  EXPECT_EQ(sizeof(TW_STR255), 256u);
  const std::pair<TW_UINT16, size_t> sizes[] = {{0, 1}, {1, 2}, {2, 4},   {3, 1},   {4, 2},   {5, 4},  {6, 2},
                                                {7, 4}, {8, 16}, {9, 34}, {10, 66}, {11, 130}, {12, 256}};
  for (auto [itemType, size] : sizes) EXPECT_EQ(TwainItemSize(itemType), size) << itemType;
  // The extended page information the wrapper asks for, in its order.
  const TW_UINT16 ids[] = {0x123A, 0x1249, 0x123B, 0x1245, 0x123D, 0x123F, 0x1212,
                           0x1239, 0x8001, 0x124A, 0x1219, 0x8005, 0x8004};
  ASSERT_EQ(std::size(kExtendedInfoIds), std::size(ids));
  for (size_t i = 0; i < std::size(ids); ++i) EXPECT_EQ(kExtendedInfoIds[i], ids[i]) << i;
}

}  // namespace
}  // namespace rzd::apphal
