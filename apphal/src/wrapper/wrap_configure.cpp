// CTWAINwrap::Configure: the scan record and the application's option text as capability
// settings of the data source.
#include "apphal/twain_wrap.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

namespace rzd::apphal {

namespace {

// A fault inside the source ends the configuration at the step that met it.
struct SourceFault {};

// The options the application may pass as text in Value: "Name=<decimal>" anywhere in it.
struct Options {
  std::string_view text;
  std::optional<long> Find(std::string_view name) const {
    const size_t at = text.find(name);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string digits(text.substr(at + name.size(), 12));
    return std::strtol(digits.c_str(), nullptr, 10);
  }
};

// The longest option text read through Value.
constexpr size_t kMaxOptionText = 4096;

std::string_view OptionText(intptr_t value) {
  if (value == 0) return {};
  const char* text = reinterpret_cast<const char*>(value);
  return std::string_view(text, strnlen(text, kMaxOptionText));
}

class Settings {
 public:
  explicit Settings(CTwainSession& session) : session_(session) {}

  // Sets a one-value; a fault inside the source stops the configuration.
  uint32_t Set(TW_UINT16 capability, TW_UINT16 itemType, TwainNumber value, TW_UINT16 conType = TWON_ONEVALUE) {
    return Checked(session_.SetCapability(capability, itemType, conType, value));
  }
  uint32_t Set(TW_UINT16 capability, TW_UINT16 itemType, int64_t value) {
    return Set(capability, itemType, TwainNumber::Integer(value));
  }
  uint32_t SetBool(TW_UINT16 capability, bool value) { return Set(capability, TWTY_BOOL, value ? 1 : 0); }
  uint32_t SetFix(TW_UINT16 capability, int64_t value) { return Set(capability, TWTY_FIX32, value); }
  uint32_t SetText(TW_UINT16 capability, TW_UINT16 itemType, std::string_view text) {
    return Checked(session_.SetCapabilityString(capability, itemType, text));
  }
  uint32_t Get(TW_UINT16 capability, TwainNumber* value, TW_UINT16* itemType = nullptr) {
    TW_UINT16 type = 0;
    const uint32_t result = Checked(session_.GetCapability(capability, value, &type));
    if (itemType != nullptr) *itemType = type;
    return result;
  }
  uint32_t Checked(uint32_t result) {
    if (result == kTwainBummer) throw SourceFault{};
    return result;
  }
  CTwainSession& Session() { return session_; }

 private:
  CTwainSession& session_;
};

constexpr int32_t RoundUp4(int64_t bytes) { return static_cast<int32_t>((bytes + 3) / 4 * 4); }

// The requested change b' of a source value b by r per mille of the way to the end of its range.
int64_t Scaled(int64_t current, int64_t requested) {
  if (current == 0 || requested == 0) return current == 0 ? requested : current;
  if (requested > 0) return current + (1000 - current) * requested / 1000;
  return current + (1000 + current) * requested / 1000;
}

}  // namespace

uint32_t CTWAINwrap::Configure(ZQSCANINFO* pinfo) {
  std::shared_ptr<CTwainSession> session = Session();
  if (!session || pinfo == nullptr) return ZQHARDWARE_STATUS_FAIL;
  // A new batch: the feeder is read again rather than reported empty from the last one.
  m_batchOver = false;
  // The frame is the window divided by the resolutions.
  if (pinfo->Xresolution <= 0 || pinfo->Yresolution <= 0) {
    RZD_LOG_ERROR(u"Configure failed because the resolution is %d x %d", pinfo->Xresolution, pinfo->Yresolution);
    return ZQHARDWARE_STATUS_FAIL;
  }
  Settings s(*session);
  try {
    const Options options{OptionText(pinfo->Value)};
    const bool vrsGamma = (static_cast<uint32_t>(pinfo->SupportedDataTypes) & ZQSCANMODE_USE_VRS_GAMMA) != 0;
    const bool autoColour = options.Find("AutoColorDetect=").value_or(0) != 0;

    int32_t pixelClass = 0;
    switch (pinfo->DataType) {
      case ZQSCANMODE_GREY:
      case ZQSCANMODE_GREY16: pixelClass = TWPT_GRAY; break;
      case ZQSCANMODE_COLOR:
      case ZQSCANMODE_COLOR48: pixelClass = TWPT_RGB; break;
      default: pixelClass = TWPT_BW; break;
    }

    std::optional<int32_t> reduction;
    const char* halftone = nullptr;
    bool dynamicThreshold = false;
    if (std::optional<long> bdr = options.Find("BDR=")) {
      switch (*bdr) {
        case 1: reduction = TWBR_DIFFUSION; break;
        case 2: reduction = TWBR_DYNAMICTHRESHOLD; dynamicThreshold = true; break;
        case 3: reduction = TWBR_HALFTONE; halftone = "Bayer"; break;
        case 4: reduction = TWBR_HALFTONE; halftone = "Halftone"; break;
        default: reduction = TWBR_THRESHOLD; break;
      }
    }

    int32_t filter = TWFT_NONE;
    switch (pinfo->ColorDropOut) {
      case 0xFF: filter = TWFT_RED; break;
      case 0xFF00: filter = TWFT_GREEN; break;
      case 0xFF0000: filter = TWFT_BLUE; break;
      default: filter = TWFT_NONE; break;
    }
    if (std::optional<long> dropout = options.Find("ColorDropout="); dropout && *dropout != 0) {
      filter = *dropout == 1 ? TWFT_RED : *dropout == 2 ? TWFT_GREEN : *dropout == 3 ? TWFT_BLUE : TWFT_NONE;
    }

    // A failure ends the configuration with its mapping; an answer that maps to success (a
    // source that took the value with a check status) goes on to the next setting.
    if (uint32_t r = MapTwainStatus(s.SetBool(CAP_INDICATORS, false)); IsZqFailure(r)) return r;
    if (uint32_t r = MapTwainStatus(s.Set(ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY)); IsZqFailure(r)) return r;
    s.SetBool(CAP_AUTOMATICSENSEMEDIUM, !(pinfo->Flatbed != 0 && pinfo->ADF == 0));
    s.SetBool(CAP_FEEDERENABLED, pinfo->ScanHardware == ZQSCANHRDW_ADF);
    if (uint32_t r = MapTwainStatus(s.Set(CAP_XFERCOUNT, TWTY_INT16, -1)); IsZqFailure(r)) return r;

    if (pinfo->ScanHardware != ZQSCANHRDW_ADF && pinfo->ScanHardware != ZQSCANHRDW_SHEETFED) {
      pinfo->Duplex = 0;
    } else if (pinfo->ADF > 1 || pinfo->Sheetfed > 1) {
      s.SetBool(CAP_DUPLEXENABLED, pinfo->Duplex != 0);
    }

    // Black and white thresholding.
    bool dynamicAlone = false;
    if (!vrsGamma && !(pixelClass != TWPT_BW && !autoColour)) {
      s.Set(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW);
      if (dynamicThreshold) {
        dynamicAlone = true;
        s.Set(ICAP_BITDEPTHREDUCTION, TWTY_UINT16, TWBR_DYNAMICTHRESHOLD);
        TwainNumber brightness, contrast;
        s.Get(ICAP_BRIGHTNESS, &brightness);
        s.Get(ICAP_CONTRAST, &contrast);
        s.SetFix(ICAP_BRIGHTNESS, Scaled(brightness.ToInteger(), (pinfo->Intensity - 50) * 20));
        s.SetFix(ICAP_CONTRAST, Scaled(contrast.ToInteger(), (pinfo->Contrast - 50) * 20));
      } else {
        if (reduction) s.Set(ICAP_BITDEPTHREDUCTION, TWTY_UINT16, *reduction);
        if (halftone != nullptr) s.SetText(ICAP_HALFTONES, TWTY_STR32, halftone);
      }
      if (!options.text.empty()) {
        s.Set(ICAP_NOISEFILTER, TWTY_UINT16, options.Find("Despeckle=").value_or(0) != 0 ? TWNF_AUTO : TWNF_NONE);
      }
      s.Set(ICAP_FILTER, TWTY_UINT16, filter);
      if (!dynamicThreshold) s.SetFix(ICAP_THRESHOLD, static_cast<int64_t>(pinfo->Threshold) * 255 / 100);
    }

    s.Set(ICAP_PIXELTYPE, TWTY_UINT16, autoColour ? TWPT_RGB : pixelClass);

    const bool jpeg = (pinfo->Compression & 0xFFFF) == 1;
    s.Set(ICAP_COMPRESSION, TWTY_UINT16, jpeg ? TWCP_JPEG : TWCP_NONE);
    if ((pinfo->Compression & 4) != 0 || jpeg) {
      s.SetBool(kCapDsJpeg, true);
      int64_t quality = std::min<int64_t>((static_cast<uint32_t>(pinfo->Compression) >> 16), 100);
      if (vrsGamma && quality == 0) quality = 80;
      s.Set(ICAP_JPEGQUALITY, TWTY_INT16, quality);
    }

    // The resolution, or the nearest the source offers: the first above, else the last below.
    if (s.SetFix(ICAP_XRESOLUTION, pinfo->Xresolution) == kTwainBadValue) {
      std::vector<TwainNumber> offered;
      if (s.Checked(session->GetCapabilityList(ICAP_XRESOLUTION, &offered)) == 0) {
        const TwainNumber wanted = TwainNumber::Integer(pinfo->Xresolution);
        const TwainNumber* choice = nullptr;
        for (const TwainNumber& value : offered) {
          if (value > wanted) {
            choice = &value;
            break;
          }
        }
        for (auto it = offered.rbegin(); choice == nullptr && it != offered.rend(); ++it) {
          if (*it < wanted) choice = &*it;
        }
        if (choice != nullptr) s.Set(ICAP_XRESOLUTION, TWTY_FIX32, *choice);
      }
    }

    if (vrsGamma) {
      s.Set(kCapDsVrsMode, TWTY_UINT16, 2);
      s.SetBool(kCapDsVrsGamma, true);
    }

    TwainNumber physicalHeight;
    if (s.Get(ICAP_PHYSICALHEIGHT, &physicalHeight) == 0 &&
        static_cast<double>(pinfo->Window.yExtent) / pinfo->Yresolution > physicalHeight.ToDouble()) {
      s.SetBool(kCapDsLongDocument, true);
      s.SetBool(kCapDsLengthCheck, false);
    }

    // Whole lines of four-byte multiples, and at least the source's smallest window.
    pinfo->WidthBytes = RoundUp4(pinfo->WidthBytes);
    TwainNumber minimumWidth, minimumHeight;
    if (s.Get(ICAP_MINIMUMWIDTH, &minimumWidth) == 0) {
      const auto pixels = static_cast<int32_t>(minimumWidth.ToDouble() * pinfo->Xresolution + 0.5);
      if (pinfo->WidthPixels < pixels) {
        pinfo->WidthPixels = pixels;
        pinfo->Window.xExtent = pinfo->Window.xPos + pixels;
        pinfo->WidthBytes = RoundUp4((static_cast<int64_t>(pixels) * pinfo->PixelBits + 7) / 8);
      }
    }
    if (s.Get(ICAP_MINIMUMHEIGHT, &minimumHeight) == 0) {
      const auto lines = static_cast<int32_t>(minimumHeight.ToDouble() * pinfo->Yresolution + 0.5);
      if (pinfo->Lines < lines) {
        pinfo->Lines = lines;
        pinfo->Window.yExtent = pinfo->Window.yPos + lines;
      }
    }

    TwainLayout layout;
    layout.left = TwainNumber::Integer(0);
    layout.top = TwainNumber::Integer(0);
    layout.right = TwainNumber::FromDouble(static_cast<double>(pinfo->WidthPixels) / pinfo->Xresolution);
    layout.bottom = TwainNumber::FromDouble(static_cast<double>(pinfo->Lines) / pinfo->Yresolution);
    layout.documentNumber = layout.pageNumber = layout.frameNumber = 1;
    s.Checked(session->SetImageLayout(layout));
    pinfo->Window.xExtent -= pinfo->Window.xPos;
    pinfo->Window.yExtent -= pinfo->Window.yPos;
    pinfo->Window.xPos = 0;
    pinfo->Window.yPos = 0;

    s.SetBool(kCapDsMirror, pinfo->Mirror != 0);

    if ((pinfo->AutoBack & (0x100 | 0x200)) != 0) {
      s.Set(CAP_DOUBLEFEEDDETECTION, TWTY_UINT16, TWDF_ULTRASONIC);
      s.Set(CAP_DOUBLEFEEDDETECTIONRESPONSE, TWTY_UINT16, pinfo->ScanDirection);
    } else {
      s.Set(CAP_DOUBLEFEEDDETECTION, TWTY_UINT16, TwainNumber::Integer(TWDF_ULTRASONIC), TWON_ARRAY);
    }

    if (pinfo->Endorser != 0) {
      s.SetBool(CAP_AUTOFEED, false);
      s.Set(kCapDsEndorser, TWTY_UINT16, pinfo->Endorser);
    }

    // Automatic processing: each from its option when given, else from a bit of AutoBack.
    auto choice = [&](std::string_view name, int32_t bit) {
      std::optional<long> option = options.Find(name);
      return option ? *option != 0 : (pinfo->AutoBack & bit) != 0;
    };
    const bool border = choice("AutoCrop=", 0x2);
    s.SetBool(ICAP_AUTOMATICBORDERDETECTION, border);
    s.SetBool(ICAP_AUTOMATICLENGTHDETECTION, vrsGamma ? true : border);
    s.SetBool(ICAP_AUTOMATICDESKEW, choice("AutoDeskew=", 0x4));
    s.SetBool(ICAP_AUTOMATICCOLORENABLED, autoColour);
    if (autoColour) s.Set(ICAP_AUTOMATICCOLORNONCOLORPIXELTYPE, TWTY_UINT16, pixelClass == TWPT_GRAY ? TWPT_GRAY : TWPT_BW);
    s.Set(ICAP_AUTODISCARDBLANKPAGES, TWTY_INT32, choice("BlankPageRemoval=", 0x1000) ? TWBP_AUTO : TWBP_DISABLE);
    if (std::optional<long> edge = options.Find("EdgeCleanup=")) s.Set(kCapDsEdgeCleanup, TWTY_UINT16, *edge);
    s.Set(ICAP_FILTER, TWTY_UINT16, filter);
    const std::optional<long> rotate = options.Find("RotateImage=");
    if (rotate && *rotate == 4) {
      s.SetBool(ICAP_AUTOMATICROTATE, true);
    } else {
      int64_t degrees = 0;
      if (rotate) {
        degrees = *rotate == 1 ? 90 : *rotate == 2 ? 180 : *rotate == 3 ? 270 : 0;
      } else if ((pinfo->AutoBack & 0x4000) != 0) {
        degrees = 90;
      }
      s.SetFix(ICAP_ROTATION, degrees);
      const std::optional<long> flip = options.Find("FlipBackSide=");
      if (!flip || *flip >= 0) s.SetBool(kCapDsFlipBackSide, flip ? *flip != 0 : (pinfo->AutoBack & 0x4000) != 0);
    }

    if (!dynamicAlone) {
      s.SetFix(ICAP_BRIGHTNESS, (static_cast<int64_t>(pinfo->Intensity) - 50) * 20);
      s.SetFix(ICAP_CONTRAST, (static_cast<int64_t>(pinfo->Contrast) - 50) * 20);
    }

    if (vrsGamma) {
      // The overscan is a TW_UINT16 of the TWOV_ values: all four sides, or none. A source that
      // refuses it ends the configuration, as the transfer settings above do; one that does not
      // know the capability at all scans without overscan when none was asked for.
      const bool overscan = (pinfo->AutoBack & 0x800) != 0;
      const uint32_t r = s.Set(ICAP_OVERSCAN, TWTY_UINT16, overscan ? TWOV_ALL : TWOV_NONE);
      if (const uint32_t mapped = MapTwainStatus(r); IsZqFailure(mapped) && (overscan || r != kTwainCapUnsupported)) {
        RZD_LOG_ERROR(u"Configure failed because the data source refused the overscan (0x%08X)", r);
        return mapped;
      }
      const bool tune = GammaTuningEnabled();
      TW_RESPONSETABLE response{};
      uint8_t curves[3][256];
      const int channels = pixelClass == TWPT_GRAY ? 1 : pixelClass == TWPT_RGB ? 3 : 0;
      for (int c = 0; c < channels; ++c) {
        BuildToneCurve(pinfo, channels == 1 ? 0 : c + 1, curves[c], sizeof(curves[c]));
        if (tune) TuneGammaTable(curves[c], pinfo->Intensity, pinfo->Contrast);
      }
      for (int i = 0; i < 256 && channels != 0; ++i) {
        const auto index = static_cast<TW_UINT8>(i);
        response.Response[i] = channels == 1 ? TW_ELEMENT8{index, curves[0][i], curves[0][i], curves[0][i]}
                                             : TW_ELEMENT8{index, curves[0][i], curves[1][i], curves[2][i]};
      }
      if (channels == 1) s.Checked(session->SetGrayResponse(&response));
      if (channels == 3) s.Checked(session->SetRGBResponse(&response));
    }

    s.SetBool(CAP_FEEDERENABLED, pinfo->ScanHardware == ZQSCANHRDW_ADF);
  } catch (const SourceFault&) {
    RZD_LOG_ERROR(u"Configure failed because the data source raised an exception");
    return ZQHARDWARE_STATUS_FAIL;
  }
  return ZQHARDWARE_STATUS_OK;
}

}  // namespace rzd::apphal
