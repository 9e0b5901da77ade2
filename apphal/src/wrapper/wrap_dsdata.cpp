// CTWAINwrap::ConfigureDSData: the data source keeps its own settings, and the scan record is
// filled from them.
#include "apphal/twain_wrap.h"

#include <cmath>

namespace rzd::apphal {

namespace {

constexpr intptr_t kKeepSettings = 0x4477;          // the source's settings as they are
constexpr intptr_t kKeepSettingsWithDuplex = 0x4478;  // the same, with the record's duplex choice

bool ReadBool(CTwainSession& session, TW_UINT16 capability, bool* value) {
  TwainNumber number;
  TW_UINT16 itemType = 0;
  if (session.GetCapability(capability, &number, &itemType) != 0 || itemType != TWTY_BOOL) return false;
  *value = number.Raw() != 0;
  return true;
}

bool ReadUint16(CTwainSession& session, TW_UINT16 capability, int32_t* value) {
  TwainNumber number;
  TW_UINT16 itemType = 0;
  if (session.GetCapability(capability, &number, &itemType) != 0 || itemType != TWTY_UINT16) return false;
  *value = static_cast<int32_t>(number.ToInteger());
  return true;
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

uint32_t CTWAINwrap::ConfigureDSData(ZQSCANINFO* pinfo) {
  std::shared_ptr<CTwainSession> session = Session();
  if (!session || pinfo == nullptr) return ZQHARDWARE_STATUS_FAIL;
  CTwainSession& s = *session;
  m_batchOver = false;

  pinfo->Endorser = 0;
  const intptr_t request = pinfo->Value;
  if (request == kKeepSettings || request == kKeepSettingsWithDuplex) {
    pinfo->Value = 0;
    if (pinfo->Mirror != 0 && pinfo->Negative != 0) {
      // Mirror carries the application's handle whole (it is pointer-sized in the record).
      TW_CUSTOMDSDATA data{static_cast<TW_UINT32>(pinfo->Negative), reinterpret_cast<TW_HANDLE>(pinfo->Mirror)};
      if (uint32_t r = MapTwainStatus(s.SetCustomDSData(&data)); IsZqFailure(r)) return r;
    }
  }

  if (uint32_t r = MapTwainStatus(s.SetCapability(CAP_INDICATORS, TWTY_BOOL, TWON_ONEVALUE, TwainNumber::Integer(0)));
      IsZqFailure(r)) {
    return r;
  }
  if (uint32_t r = MapTwainStatus(
          s.SetCapability(ICAP_XFERMECH, TWTY_UINT16, TWON_ONEVALUE, TwainNumber::Integer(TWSX_MEMORY)));
      IsZqFailure(r)) {
    return r;
  }
  if (uint32_t r = MapTwainStatus(s.SetCapability(CAP_XFERCOUNT, TWTY_INT16, TWON_ONEVALUE, TwainNumber::Integer(-1)));
      IsZqFailure(r)) {
    return r;
  }

  // Which source feeds the paper.
  if (pinfo->ADF != 0 || pinfo->Sheetfed != 0) {
    const uint32_t found = [&]() -> uint32_t {
      bool senseMedium = false;
      if (pinfo->Flatbed != 0) {
        bool sensing = false;
        if (ReadBool(s, CAP_AUTOMATICSENSEMEDIUM, &sensing) && sensing) {
          s.SetCapability(CAP_FEEDERENABLED, TWTY_BOOL, TWON_ONEVALUE, TwainNumber::Integer(TW_TRUE));
          senseMedium = true;
        }
      } else {
        bool feeder = false;
        if (!ReadBool(s, CAP_FEEDERENABLED, &feeder) || !feeder) return ZQHARDWARE_STATUS_OK;
      }
      // A flatbed source is left for the first other one whose camera is enabled; when none is,
      // the flatbed stays selected rather than the last one tried.
      std::vector<std::string> names;
      uint32_t current = 0;
      TW_UINT16 nameType = 0;
      if (s.GetCapabilityStrings(kCapDsSourceName, &names, &current, &nameType) == 0 && nameType == TWTY_STR255 &&
          current < names.size() && Contains(names[current], "Flatbed")) {
        bool selected = false;
        bool tried = false;
        for (const std::string& name : names) {
          if (Contains(name, "Flatbed")) continue;
          s.SetCapabilityString(kCapDsSourceName, TWTY_STR255, name);
          tried = true;
          bool camera = false;
          if (ReadBool(s, CAP_CAMERAENABLED, &camera) && camera) {
            selected = true;
            break;
          }
        }
        if (tried && !selected) s.SetCapabilityString(kCapDsSourceName, TWTY_STR255, names[current]);
      }
      bool loaded = false;
      if (ReadBool(s, CAP_FEEDERLOADED, &loaded) && loaded) {
        pinfo->ScanHardware = pinfo->Sheetfed != 0 ? ZQSCANHRDW_SHEETFED : ZQSCANHRDW_ADF;
        return ZQHARDWARE_STATUS_OK;
      }
      bool manual = false;
      bool autoFeed = true;
      if (ReadBool(s, CAP_AUTOFEED, &autoFeed) && !autoFeed) {
        manual = true;
        int32_t endorser = 0;
        if (ReadUint16(s, kCapDsEndorser, &endorser)) pinfo->Endorser = endorser;
      }
      if (pinfo->Flatbed != 0 && senseMedium) {
        if (!manual) pinfo->ScanHardware = ZQSCANHRDW_FLATBED;
        return ZQHARDWARE_STATUS_OK;
      }
      return manual ? ZQHARDWARE_STATUS_OK : ZQHARDWARE_STATUS_ADF_EMPTY;
    }();
    if (IsZqFailure(found)) return found;
  }

  const bool feeder = pinfo->ScanHardware == ZQSCANHRDW_ADF || pinfo->ScanHardware == ZQSCANHRDW_SHEETFED;
  if (request == kKeepSettingsWithDuplex && feeder) {
    bool duplex = false;
    if (ReadBool(s, CAP_DUPLEXENABLED, &duplex) && duplex != (pinfo->Duplex != 0)) {
      s.SetCapability(CAP_DUPLEXENABLED, TWTY_BOOL, TWON_ONEVALUE, TwainNumber::Integer(pinfo->Duplex != 0));
    }
  }
  if (pinfo->ADF > 1 || pinfo->Sheetfed > 1) {
    bool duplex = false;
    if (ReadBool(s, CAP_DUPLEXENABLED, &duplex)) pinfo->Duplex = duplex ? 1 : 0;
  } else {
    pinfo->Duplex = 0;
  }

  // Double feed detection as the source has it.
  pinfo->AutoBack &= ~(0x100 | 0x200);
  pinfo->ScanDirection = 0;
  if (pinfo->ScanHardware == ZQSCANHRDW_ADF) {
    int32_t detection = -1;
    if (ReadUint16(s, CAP_DOUBLEFEEDDETECTION, &detection) && detection == TWDF_ULTRASONIC) {
      pinfo->AutoBack |= 0x100;
      int32_t response = 0;
      if (ReadUint16(s, CAP_DOUBLEFEEDDETECTIONRESPONSE, &response) && response == TWDP_STOPANDWAIT) {
        pinfo->ScanDirection = 1;
      }
    }
  }

  // Compression on every source that is not a "Mono" one.
  {
    std::vector<std::string> names;
    uint32_t current = 0;
    if (s.GetCapabilityStrings(kCapDsSourceName, &names, &current) != 0) {
      pinfo->Compression &= ~1;
    } else {
      const bool jpeg = pinfo->Compression == 1 || (pinfo->Compression & 4) != 0;
      bool taken = false;
      for (const std::string& name : names) {
        if (Contains(name, "Mono")) continue;
        s.SetCapabilityString(kCapDsSourceName, TWTY_STR255, name);
        // A failure ends the operation with its mapping; a check status is the source taking it.
        uint32_t mapped = MapTwainStatus(s.SetCapability(
            ICAP_COMPRESSION, TWTY_UINT16, TWON_ONEVALUE, TwainNumber::Integer(pinfo->Compression == 1 ? TWCP_JPEG : TWCP_NONE)));
        if (!IsZqFailure(mapped) && jpeg) {
          const uint32_t r = s.SetCapability(kCapDsJpeg, TWTY_BOOL, TWON_ONEVALUE, TwainNumber::Integer(TW_TRUE));
          const auto condition = static_cast<TW_UINT16>(r >> 16);
          mapped = condition == TWCC_CAPUNSUPPORTED || condition == TWCC_CAPSEQERROR ? ZQHARDWARE_STATUS_OK : MapTwainStatus(r);
        }
        if (IsZqFailure(mapped)) return mapped;
        taken = true;
      }
      if (current < names.size()) s.SetCapabilityString(kCapDsSourceName, TWTY_STR255, names[current]);
      if (!taken) pinfo->Compression &= ~1;
    }
  }

  // The layout the source holds, in pixels of its resolution.
  TwainNumber resolution;
  TW_UINT16 itemType = 0;
  if (s.GetCapability(ICAP_XRESOLUTION, &resolution, &itemType) == 0 && itemType == TWTY_FIX32) {
    pinfo->Xresolution = pinfo->Yresolution = static_cast<int32_t>(resolution.ToInteger());
  }
  TwainLayout layout;
  if (s.GetImageLayout(&layout) == 0) {
    const double dpi = pinfo->Xresolution;
    auto pixels = [&](TwainNumber inches) { return static_cast<int32_t>(std::lround(inches.ToDouble() * dpi)); };
    pinfo->Window.xPos = pixels(layout.left);
    pinfo->Window.yPos = pixels(layout.top);
    pinfo->Window.xExtent = pixels(layout.right);
    pinfo->Window.yExtent = pixels(layout.bottom);
    pinfo->WidthPixels = pinfo->Window.xExtent - pinfo->Window.xPos;
    pinfo->Lines = pinfo->Window.yExtent - pinfo->Window.yPos;
  }
  int32_t pixelType = 0;
  ReadUint16(s, ICAP_PIXELTYPE, &pixelType);
  pinfo->PixelBits = pixelType == TWPT_GRAY ? 8 : pixelType == TWPT_RGB ? 24 : 1;
  pinfo->WidthBytes =
      static_cast<int32_t>(((static_cast<int64_t>(pinfo->PixelBits) * pinfo->WidthPixels + 7) / 8 + 3) / 4 * 4);

  int32_t rotation = 0;
  if (ReadUint16(s, kCapDsRotationInfo, &rotation) && (rotation == 1 || rotation == 3)) pinfo->AutoBack |= 0x4000;
  return ZQHARDWARE_STATUS_OK;
}

}  // namespace rzd::apphal
