// ApplyNvData: writes the unit's own facts into the device description being adapted by Reset:
// power time-out limits and values, counters, identity, versions and dates from the engine
// records; removes the image-processing settings HWProps.ini switches off; lists the model
// folder's colour-correction files; then lets the engine driver make its last pass.
#include "documents/saved_context.h"
#include "foundation/func_trace.h"
#include "lowdrv/settings/settings_av.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <vector>

namespace rzd::lowdrv {
namespace {

std::u16string Decimal(uint32_t value) { return FormatW(u"%u", value); }

std::u16string DateText(uint16_t year, uint16_t month, uint16_t day) {
  return FormatW(u"%4.4d %2.2d %2.2d", static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
}

// Up to `width` bytes, one character per byte (ANSI), ended by a zero byte.
std::u16string ByteText(const char* bytes, size_t width) {
  size_t n = 0;
  while (n < width && bytes[n] != '\0') ++n;
  return FromAnsi(std::string_view(bytes, n));
}

// Sets the text of `path` below the current element (creating a missing child); the store
// stands on the element again afterwards.
bool SetChildText(MSXML6StoreBSTR& store, SavedContext& at, std::u16string_view path, std::u16string_view text) {
  at.Restore();
  const bool ok = store.SetNodeText(path, text);
  at.Restore();
  return ok;
}

// Sets the text of an existing child only; false when it is missing or cannot be set.
bool SetExistingChildText(MSXML6StoreBSTR& store, SavedContext& at, std::u16string_view path,
                          std::u16string_view text, bool* present) {
  at.Restore();
  *present = store.SelectNode(path);
  const bool ok = *present && store.SetText(text);
  at.Restore();
  return ok;
}

bool EndsWithNoCase(std::u16string_view text, std::u16string_view tail) {
  return text.size() >= tail.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view head) {
  return text.size() >= head.size() && EqualsNoCase(text.substr(0, head.size()), head);
}

// The switches and the settings each one removes when it is off.
struct SwitchRemoval {
  HwipSwitch which;
  const char16_t* names[2];
};
constexpr SwitchRemoval kNodeRemovals[] = {
    {kHWIP_ACD, {u"AutoColor", nullptr}},
    {kHWIP_BPD, {u"DiscardBlankPages", nullptr}},
    {kHWIP_BPD_MODE2, {u"TransferBlankPages", nullptr}},
    {kHWIP_CropDeskew, {u"AutoCrop", u"Straighten"}},
    {kHWIP_Despeckle, {u"Despeckle", nullptr}},
    {kHWIP_IE, {u"ImageEmphasis", nullptr}},
    {kHWIP_RB, {u"BackgroundRemoval", nullptr}},
    {kHWIP_SB, {u"SmoothBackground", nullptr}},
    {kHWIP_WFP, {u"WhiteFromPaper", nullptr}},
    {kHWIP_TextBrightness, {u"AutoSeparationCharBrightness", nullptr}},
    {kHWIP_TextEnhancement, {u"TextEnhanced", nullptr}},
    {kHWIP_Autobrightness, {u"AutoBrightness", nullptr}},
    {kHWIP_Moire, {u"Blur", nullptr}},
    {kHWIP_Rotate, {u"Rotations", u"AlternateSides"}},
};

struct SwitchEnumeration {
  HwipSwitch which;
  const char16_t* name;
  const char16_t* keep;
};
constexpr SwitchEnumeration kEnumReductions[] = {
    {kHWIP_BDR, u"BitDepthReductions", u"Threshold"},
    {kHWIP_Filter, u"ImageFilters", u"None"},
    {kHWIP_ColorDropout, u"Filters", u"None"},
};

// In every enumeration setting `name`, keeps only the value `keep`, current and default. A
// setting without that value gets it, so the enumeration keeps exactly one current value.
void ReduceEnumeration(MSXML6StoreBSTR& store, std::u16string_view name, std::u16string_view keep) {
  if (!store.SelectNode(u"/.//" + std::u16string(name))) return;
  do {
    SavedContext setting(store);
    const std::u16string others = u"Enum/Value[. !='" + std::u16string(keep) + u"']";
    const std::u16string kept = u"Enum/Value[.='" + std::u16string(keep) + u"']";
    for (;;) {
      setting.Restore();
      if (!store.SelectNode(others) || !store.RemoveContextNode()) break;
    }
    setting.Restore();
    if (!store.SelectNode(kept)) {
      setting.Restore();
      if (!store.SelectNode(u"Enum")) {
        setting.Restore();
        if (!store.AddElement(u"Enum")) continue;
      }
      if (!store.AddElement(u"Value") || !store.SetText(keep)) continue;
    }
    store.SetAttribute(u"IsCurrent", u"true");
    store.SetAttribute(u"IsDefault", u"true");
    setting.Restore();
  } while (store.MoveToNextNode());
}

// The ColorQA*.xml files of the model folder, by name.
std::vector<std::u16string> ColourFiles(const std::filesystem::path& folder) {
  std::vector<std::u16string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    const std::u16string name = FromUtf8(it->path().filename().string());
    if (StartsWithNoCase(name, u"ColorQA") && EndsWithNoCase(name, u".xml")) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

BOOL CScannerSettings_AV::ApplyNvData(MSXML6StoreBSTR& store) {
  BOOL result = FALSE;
  RZD_FUNC_TRACE_OF(m_AVLog, u"ApplyNvData");
  RZD_TRACE_INT(&result);

  const ReduzidInq inq = InquiryCopy();
  const ReduzidNVMData nvm = NVMDataCopy();
  const uint8_t* inqBytes = InqBytes(inq);

  m_bDFD3Button = store.SelectNode(u"//Item[@SubType=\"DFD3Button\"]") ? 1 : 0;

  RZDPowerTimeoutLimits limits;
  if (m_pEngineLink == nullptr || !m_pEngineLink->GetPowerTimeoutLimits(&limits)) limits.found = 0;

  if (store.SelectNode(u"//HardwareSettings")) {
    do {
      SavedContext node(store);

      // Power time-outs: the engine driver's limits, then the unit's own value.
      struct TimeOut {
        const char16_t* path;
        uint32_t bit;
        uint16_t minimum, maximum, defaultValue, value;
        const char16_t* failure;
      };
      const TimeOut timeOuts[] = {
          {u"SleepTimeout/Range/Value", kPowerLimitsSleep, limits.sleepMin, limits.sleepMax, limits.sleepDefault,
           nvm.PowerSavingTime, u"ApplyNvData failed to set PowerSavingTime = %d"},
          {u"OffTimeout/Range/Value", kPowerLimitsOff, limits.offMin, limits.offMax, limits.offDefault,
           nvm.PowerOffTime, u"ApplyNvData failed to set PowerOffTime = %d"},
          {u"ERPTimeout/Range/Value", kPowerLimitsERP, limits.erpMin, limits.erpMax, limits.erpDefault, nvm.ERPTime,
           u"ApplyNvData failed to set ERPTime = %d"},
      };
      for (const TimeOut& t : timeOuts) {
        node.Restore();
        bool ok = false;
        if (store.SelectNode(t.path)) {
          if ((limits.found & t.bit) != 0) {
            store.SetAttribute(u"Minimum", Decimal(t.minimum));
            store.SetAttribute(u"Maximum", Decimal(t.maximum));
            store.SetAttribute(u"Default", Decimal(t.defaultValue));
          }
          ok = store.SetText(Decimal(t.value));
        }
        if (!ok) RZD_LOG_ERROR_OF(m_AVLog, t.failure, static_cast<int>(t.value));
      }

      // Counters, each only where the description has it.
      struct Counter {
        const char16_t* name;
        uint32_t value;
        const char16_t* failure;
      };
      const Counter counters[] = {
          {u"PadScanCount", nvm.PadScanCount, u"ApplyNvData failed to set PadScanCount = %d"},
          {u"SeparationRollerScanCount", nvm.PadScanCount, u"ApplyNvData failed to set SeparationRollerScanCount = %d"},
          {u"RollerScanCount", nvm.RollerCount, u"ApplyNvData failed to set RollerCount = %d"},
          {u"ADFCount", nvm.ADFSingleModeScanCount + nvm.ADFDuplexModeScanCount,
           u"ApplyNvData failed to set ADFCount = %d"},
          {u"ADFSimplexCount", nvm.ADFSingleModeScanCount, u"ApplyNvData failed to set ADFSingleModeScanCount = %d"},
          {u"ADFDuplexCount", nvm.ADFDuplexModeScanCount, u"ApplyNvData failed to set ADFDuplexModeScanCount = %d"},
          {u"ADFMultifeedCount", nvm.MultifeedCount, u"ApplyNvData failed to set MultifeedCount = %d"},
          {u"ADFJamCount", nvm.JamCount, u"ApplyNvData failed to set JamCount = %d"},
          {u"FlatbedScanCount", nvm.FlatbedScanCount, u"ApplyNvData failed to set FlatbedScanCount = %d"},
      };
      for (const Counter& c : counters) {
        bool present = false;
        if (!SetExistingChildText(store, node, c.name, Decimal(c.value), &present) && present) {
          RZD_LOG_ERROR_OF(m_AVLog, c.failure, static_cast<int>(c.value));
        }
      }

      // Identity.
      if (!SetChildText(store, node, u"ProductName", m_strProductName))
        RZD_LOG_ERROR_OF(m_AVLog, u"ApplyNvData failed to set ProductName = %s", m_strProductName.c_str());
      if (!SetChildText(store, node, u"VendorName", m_strVendorName))
        RZD_LOG_ERROR_OF(m_AVLog, u"ApplyNvData failed to set VendorName = %s", m_strVendorName.c_str());
      const std::u16string modelId = FormatW(u"%.4X", static_cast<unsigned>(m_wModelID));
      if (!SetChildText(store, node, u"ModelID", modelId))
        RZD_LOG_ERROR_OF(m_AVLog, u"ApplyNvData failed to set ModelID = %s", modelId.c_str());
      const std::u16string vendorId = FormatW(u"%.4X", static_cast<unsigned>(m_wVendorID));
      if (!SetChildText(store, node, u"VendorID", vendorId))
        RZD_LOG_ERROR_OF(m_AVLog, u"ApplyNvData failed to set VendorID = %s", vendorId.c_str());
      if (!SetChildText(store, node, u"ScannerModel", m_strModelName))
        RZD_LOG_ERROR_OF(m_AVLog, u"ApplyNvData failed to set ModelName = %s", m_strModelName.c_str());

      // Serial number, versions and dates: each one required.
      const std::u16string serial = ByteText(nvm.SerialNumber, sizeof nvm.SerialNumber);
      if (!SetChildText(store, node, u"SerialNumber", serial)) {
        RZD_LOG_ERROR_OF(m_AVLog, u"ApplyNvData failed to set SerialNumber = %s", serial.c_str());
        return result;
      }
      uint32_t revision = 0;
      std::memcpy(&revision, inqBytes + 32, sizeof revision);
      RZD_LOG_INFO_OF(m_AVLog, u"ApplyNvData kFIRMWARE_VERSION %X ", revision);
      const std::u16string firmware = ByteText(inq.ProductReversion, sizeof inq.ProductReversion);
      if (!SetChildText(store, node, u"FirmwareVersion", firmware)) {
        RZD_LOG_ERROR_OF(m_AVLog, u"ApplyNvData failed to set FirmwareVersion = %s", firmware.c_str());
        return result;
      }
      if (!SetChildText(store, node, u"DriverVersion", m_strDriverVersion)) {
        RZD_LOG_ERROR_OF(m_AVLog, u"ApplyNvData failed to set DriverVersion = %s", m_strDriverVersion.c_str());
        return result;
      }
      if (!SetChildText(store, node, u"TWAINDSVersion", m_strTwainDSVersion)) {
        RZD_LOG_ERROR_OF(m_AVLog, u"ApplyNvData failed to set TWAINDSVersion = %s", m_strTwainDSVersion.c_str());
        return result;
      }
      const std::u16string born = DateText(nvm.BornYear, nvm.BornMonth, nvm.BornDay);
      if (!SetChildText(store, node, u"DateOfManufacture", born)) {
        RZD_LOG_ERROR_OF(m_AVLog, u"ApplyNvData failed to set DateOfManufacture = %s", born.c_str());
        return result;
      }
      const std::u16string firstScan = DateText(nvm.FirstScanYear, nvm.FirstScanMonth, nvm.FirstScanDay);
      if (!SetChildText(store, node, u"DateOfFirstScan", firstScan)) {
        RZD_LOG_ERROR_OF(m_AVLog, u"ApplyNvData failed to set DateOfFirstScan = %s", firstScan.c_str());
        return result;
      }

      // Firmware: the description's default version, whether it may be updated, the imprinter.
      m_strDefaultFirmwareVersion.clear();
      node.Restore();
      Bstr defaultFirmware;
      if (store.GetNodeText(u"DefaultFirmwareVersion", defaultFirmware) && defaultFirmware.Length() > 0)
        m_strDefaultFirmwareVersion = defaultFirmware.Str();
      SetChildText(store, node, u"CanUpdateFirmware", m_bCanUpdateFirmware ? u"1" : u"0");
      if ((inqBytes[156] & 0x08) != 0) {
        bool present = false;
        SetExistingChildText(store, node, u"FrontPostImprinter", u"1", &present);
      }
      node.Restore();
    } while (store.MoveToNextNode());
  }

  // Image-processing settings switched off in HWProps.ini.
  for (const SwitchRemoval& r : kNodeRemovals) {
    if (HwipOn(r.which)) continue;
    for (const char16_t* name : r.names) {
      if (name != nullptr) RemoveAll(store, u"/.//" + std::u16string(name));
    }
  }
  if (!HwipOn(kHWIP_CropDeskew) && store.SelectNode(u"//*[@OverScan='On' or @OverScan='Auto']")) {
    do {
      store.RemoveAttribute(u"OverScan");
    } while (store.MoveToNextNode());
  }
  for (const SwitchEnumeration& e : kEnumReductions) {
    if (!HwipOn(e.which)) ReduceEnumeration(store, e.name, e.keep);
  }

  // Colour-correction files of the model folder.
  std::error_code ec;
  if (!m_ModelFolder.empty() && std::filesystem::is_directory(m_ModelFolder, ec)) {
    bool ready = store.SelectNode(u"/Scanner/ColorCorrection/Enum");
    if (!ready) {
      if (!store.SelectNode(u"/Scanner/ColorCorrection")) ready = store.SelectNode(u"/Scanner") && store.AddElement(u"ColorCorrection");
      else ready = true;
      ready = ready && store.AddElement(u"Enum");
    }
    if (ready) {
      SavedContext enumeration(store);
      for (const std::u16string& file : ColourFiles(m_ModelFolder)) {
        enumeration.Restore();
        if (store.AddElement(u"Value")) store.SetText(std::u16string_view(file).substr(0, file.size() - 4));
      }
      // An enumeration made here has no current value yet: its first value becomes current.
      enumeration.Restore();
      if (!store.SelectNode(u"Value[@IsCurrent='true']")) {
        enumeration.Restore();
        if (store.SelectNode(u"Value")) {
          store.SetAttribute(u"IsCurrent", u"true");
          store.SetAttribute(u"IsDefault", u"true");
        }
      }
    }
  }

  // The engine driver's last pass.
  if (m_pEngineLink != nullptr) m_pEngineLink->AdaptSupportedSettings(store);
  result = TRUE;
  return result;
}

}  // namespace rzd::lowdrv
