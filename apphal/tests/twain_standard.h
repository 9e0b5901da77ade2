// TWAIN 2 numbers for the tests, written here by hand from the published standard (and, for the
// data source's own values of 0x8000 and above, from what the wrapper sends), never taken from
// apphal/twain_protocol.h. The scripted data source logs every triplet it receives by number;
// the tests compare those numbers with these, so a wrong value in the header that the session
// and the source share cannot pass unseen behind a name both sides spell alike. The pinning
// table of twain_protocol_test.cpp holds the header's constants to these same numbers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace rzd::apphal::test::standard {

// A triplet as the source logs it: "0x0001/0x0003/0x0401".
inline std::string Triplet(uint32_t dataGroup, uint16_t dataArgumentType, uint16_t message) {
  char text[40];
  std::snprintf(text, sizeof(text), "0x%04X/0x%04X/0x%04X", dataGroup, dataArgumentType, message);
  return text;
}

// Data groups.
constexpr uint32_t kControl = 0x0001;
constexpr uint32_t kImage = 0x0002;
// Data argument types.
constexpr uint16_t kDatNull = 0x0000;
constexpr uint16_t kDatCapability = 0x0001;
constexpr uint16_t kDatEvent = 0x0002;
constexpr uint16_t kDatIdentity = 0x0003;
constexpr uint16_t kDatPendingXfers = 0x0005;
constexpr uint16_t kDatSetupMemXfer = 0x0006;
constexpr uint16_t kDatStatus = 0x0008;
constexpr uint16_t kDatUserInterface = 0x0009;
constexpr uint16_t kDatCustomDsData = 0x000C;
constexpr uint16_t kDatCallback = 0x0010;
constexpr uint16_t kDatImageInfo = 0x0101;
constexpr uint16_t kDatImageLayout = 0x0102;
constexpr uint16_t kDatImageMemXfer = 0x0103;
constexpr uint16_t kDatGrayResponse = 0x0107;
constexpr uint16_t kDatRgbResponse = 0x0108;
constexpr uint16_t kDatEntryPoint = 0x0403;
constexpr uint16_t kDatExtImageInfoDs = 0x8001;  // the source's own extended image information
// Messages.
constexpr uint16_t kGet = 0x0001;
constexpr uint16_t kGetCurrent = 0x0002;
constexpr uint16_t kSet = 0x0006;
constexpr uint16_t kReset = 0x0007;
constexpr uint16_t kXferReady = 0x0101;
constexpr uint16_t kCloseDsReq = 0x0102;
constexpr uint16_t kOpenDs = 0x0401;
constexpr uint16_t kCloseDs = 0x0402;
constexpr uint16_t kDisableDs = 0x0501;
constexpr uint16_t kEnableDs = 0x0502;
constexpr uint16_t kProcessEvent = 0x0601;
constexpr uint16_t kEndXfer = 0x0701;
constexpr uint16_t kInvokeCallback = 0x0903;
constexpr uint16_t kDsGetIdentity = 0x8001;  // the source's own messages
constexpr uint16_t kDsUser2 = 0x8002;
constexpr uint16_t kDsUser3 = 0x8003;
constexpr uint16_t kDsNetWait = 0x8004;

// The triplets the tests look for.
inline const std::string kGetIdentityTriplet = Triplet(kControl, kDatIdentity, kDsGetIdentity);
inline const std::string kEntryPointSetTriplet = Triplet(kControl, kDatEntryPoint, kSet);
inline const std::string kOpenDsTriplet = Triplet(kControl, kDatIdentity, kOpenDs);
inline const std::string kCloseDsTriplet = Triplet(kControl, kDatIdentity, kCloseDs);
inline const std::string kStatusTriplet = Triplet(kControl, kDatStatus, kGet);
inline const std::string kEnableDsTriplet = Triplet(kControl, kDatUserInterface, kEnableDs);
inline const std::string kDisableDsTriplet = Triplet(kControl, kDatUserInterface, kDisableDs);
inline const std::string kUser2Triplet = Triplet(kControl, kDatUserInterface, kDsUser2);
inline const std::string kUser3Triplet = Triplet(kControl, kDatUserInterface, kDsUser3);
inline const std::string kNetWaitTriplet = Triplet(kControl, kDatUserInterface, kDsNetWait);
inline const std::string kProcessEventTriplet = Triplet(kControl, kDatEvent, kProcessEvent);
inline const std::string kEndXferTriplet = Triplet(kControl, kDatPendingXfers, kEndXfer);
inline const std::string kSetupMemXferTriplet = Triplet(kControl, kDatSetupMemXfer, kGet);
inline const std::string kCustomDsDataTriplet = Triplet(kControl, kDatCustomDsData, kSet);
inline const std::string kImageInfoTriplet = Triplet(kImage, kDatImageInfo, kGet);
inline const std::string kImageLayoutSetTriplet = Triplet(kImage, kDatImageLayout, kSet);
inline const std::string kImageMemXferTriplet = Triplet(kImage, kDatImageMemXfer, kGet);
inline const std::string kGrayResponseTriplet = Triplet(kImage, kDatGrayResponse, kSet);
inline const std::string kRgbResponseTriplet = Triplet(kImage, kDatRgbResponse, kSet);
inline const std::string kExtImageInfoTriplet = Triplet(kImage, kDatExtImageInfoDs, kGet);
// The source's callback.
inline const std::string kXferReadyCallback = Triplet(kControl, kDatNull, kXferReady);

// Capabilities.
constexpr uint16_t kXferCount = 0x0001;
constexpr uint16_t kCompression = 0x0100;
constexpr uint16_t kPixelType = 0x0101;
constexpr uint16_t kUnits = 0x0102;
constexpr uint16_t kXferMech = 0x0103;
constexpr uint16_t kFeederEnabled = 0x1002;
constexpr uint16_t kFeederLoaded = 0x1003;
constexpr uint16_t kAutoFeed = 0x1007;
constexpr uint16_t kIndicators = 0x100B;
constexpr uint16_t kDuplexEnabled = 0x1013;
constexpr uint16_t kCameraEnabled = 0x1036;
constexpr uint16_t kAutomaticSenseMedium = 0x103B;
constexpr uint16_t kDoubleFeedDetection = 0x103F;
constexpr uint16_t kDoubleFeedDetectionResponse = 0x1042;
constexpr uint16_t kBrightness = 0x1101;
constexpr uint16_t kContrast = 0x1103;
constexpr uint16_t kFilter = 0x1106;
constexpr uint16_t kOrientation = 0x1110;
constexpr uint16_t kPhysicalHeight = 0x1112;
constexpr uint16_t kXResolution = 0x1118;
constexpr uint16_t kRotation = 0x1121;
constexpr uint16_t kSupportedSizes = 0x1122;
constexpr uint16_t kThreshold = 0x1123;
constexpr uint16_t kMinimumHeight = 0x1130;
constexpr uint16_t kMinimumWidth = 0x1131;
constexpr uint16_t kAutoDiscardBlankPages = 0x1134;
constexpr uint16_t kOverscan = 0x1149;
constexpr uint16_t kAutomaticBorderDetection = 0x1150;
constexpr uint16_t kAutomaticDeskew = 0x1151;
constexpr uint16_t kJpegQuality = 0x1153;
constexpr uint16_t kAutomaticLengthDetection = 0x1158;
constexpr uint16_t kAutomaticColorEnabled = 0x1159;
// The source's own capabilities the wrapper sends.
constexpr uint16_t kDsSourceName = 0x8021;
constexpr uint16_t kDsMirror = 0x8035;
constexpr uint16_t kDsRotationInfo = 0x8050;
constexpr uint16_t kDsPageRecord = 0x8065;
constexpr uint16_t kDsVrsMode = 0x8067;
constexpr uint16_t kDsJpeg = 0x806C;
constexpr uint16_t kDsFlipBackSide = 0x807B;
constexpr uint16_t kDsCustomData = 0x809D;

// A capability triplet as the source logs it: "0x0001/0x0001/0x0006#0x1118".
inline std::string CapTriplet(uint16_t message, uint16_t capability) {
  char text[12];
  std::snprintf(text, sizeof(text), "#0x%04X", capability);
  return Triplet(kControl, kDatCapability, message) + text;
}

// TWOV_ (ICAP_OVERSCAN) values.
constexpr uint16_t kOverscanNone = 0;
constexpr uint16_t kOverscanAll = 4;
// Item types.
constexpr uint16_t kTypeUint16 = 4;
constexpr uint16_t kTypeBool = 6;
constexpr uint16_t kTypeStr32 = 9;
constexpr uint16_t kTypeStr255 = 12;

}  // namespace rzd::apphal::test::standard
