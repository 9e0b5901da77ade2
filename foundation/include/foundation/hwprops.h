// HWProps.ini: the one INI file of the system. The panel writes it; the driver, the service, the
// panel and the data sources read it, all through this header so every deliverable finds the
// same file and the same defaults.
//
// Location: <32-bit program files>/Corvanite/<model>/HWProps.ini, where <model> is the unit's
// HAL_MODEL value ("M48tz" for this model). The file is UTF-16LE with the byte-order mark FF FE:
// before a write to a missing or empty file, the file is created holding only the mark (and the
// model folder is created when missing); a file with content is left as it is before the write.
//
// Sections and keys (integers unless said; defaults when the file or the key is missing):
//   [HAL]      UpdateCountersInRegistry 0
//   [TWAIN]    HWIP_ACD, HWIP_BDR, HWIP_Filter, HWIP_CropDeskew, HWIP_Despeckle, HWIP_IE, HWIP_RB,
//              HWIP_Rotate, HWIP_BPD, HWIP_BPD_MODE2, HWIP_SB, HWIP_ColorDropout, HWIP_WFP,
//              HWIP_TextBrightness, HWIP_TextEnhancement, HWIP_Autobrightness, HWIP_Moire: 1;
//              MaintenanceWarning 1; EMULATE_WIA_1_0, DEFAULT_WIA_UI, TWAIN_AutoXfer,
//              TWAIN_AutoClose, TWAIN_ForceUILess, TWAIN_ProfileOverrides,
//              TWAIN_EndUserCompression, TWAIN_RememberCompression, TWAIN_FailOpenNotPresent,
//              TWAIN_Topmost, DriversSettingsLock, TWAIN_Seq_Unsupport,
//              TWAIN_SuppressEnableDSFailure: 0; DriversProfile (text) "@Last@used@"
//   [Counters] MaxFrictionRollerCount 80000, MaxRollerCount 200000, MaxCleanCount 5000
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace rzd {

inline constexpr char16_t kHwPropsFileName[] = u"HWProps.ini";
inline constexpr char16_t kHwPropsMakerFolder[] = u"Corvanite";
inline constexpr char16_t kHwPropsSectionHal[] = u"HAL";
inline constexpr char16_t kHwPropsSectionTwain[] = u"TWAIN";
inline constexpr char16_t kHwPropsSectionCounters[] = u"Counters";
// Values of DriversProfile besides a preset's name.
inline constexpr char16_t kDriversProfileDefaultSettings[] = u"_";
inline constexpr char16_t kDriversProfileLastUsed[] = u"@Last@used@";
// ReadString reads at most this many characters (a 1024-character buffer with its terminator).
inline constexpr size_t kHwPropsMaxText = 1023;

enum class HwProp : uint32_t {
  UpdateCountersInRegistry,
  HWIP_ACD,
  HWIP_BDR,
  HWIP_Filter,
  HWIP_CropDeskew,
  HWIP_Despeckle,
  HWIP_IE,
  HWIP_RB,
  HWIP_Rotate,
  HWIP_BPD,
  HWIP_BPD_MODE2,
  HWIP_SB,
  HWIP_ColorDropout,
  HWIP_WFP,
  HWIP_TextBrightness,
  HWIP_TextEnhancement,
  HWIP_Autobrightness,
  HWIP_Moire,
  MaintenanceWarning,
  EMULATE_WIA_1_0,
  DEFAULT_WIA_UI,
  TWAIN_AutoXfer,
  TWAIN_AutoClose,
  TWAIN_ForceUILess,
  TWAIN_ProfileOverrides,
  TWAIN_EndUserCompression,
  TWAIN_RememberCompression,
  TWAIN_FailOpenNotPresent,
  TWAIN_Topmost,
  DriversSettingsLock,
  TWAIN_Seq_Unsupport,
  TWAIN_SuppressEnableDSFailure,
  DriversProfile,
  MaxFrictionRollerCount,
  MaxRollerCount,
  MaxCleanCount,
};

struct HwPropInfo {
  HwProp prop;
  const char16_t* section;
  const char16_t* key;
  int32_t defaultInt;           // the default of an integer key (0 for the text key)
  const char16_t* defaultText;  // the default of a text key; null for integer keys
};

// Every key, in the order of the enumeration.
std::span<const HwPropInfo> AllHwProps();
const HwPropInfo& GetHwPropInfo(HwProp prop);

class HwPropsFile {
 public:
  // The file of the model named `modelName` (the unit's HAL_MODEL value). A name that is not a
  // single plain folder name (empty, ".", "..", holding "/" or "\\") gives no file: reads answer
  // the defaults and writes fail.
  explicit HwPropsFile(std::u16string_view modelName);
  // A file at an explicit path.
  static HwPropsFile AtPath(std::filesystem::path file);

  // Empty when the model name was refused.
  const std::filesystem::path& Path() const { return path_; }

  // GetPrivateProfileInt with the key's default.
  int32_t ReadInt(HwProp prop) const;
  int32_t ReadInt(std::u16string_view section, std::u16string_view key, int32_t defaultValue) const;
  // GetPrivateProfileString into 1024 characters; an empty result gives the default.
  std::u16string ReadString(HwProp prop) const;
  std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                            std::u16string_view defaultValue) const;
  // A switch's state: non-zero is on, except MaintenanceWarning, which is on only with 1.
  bool IsOn(HwProp prop) const;

  // Creates the model folder when missing and the file holding only FF FE when it is missing or
  // has 0 bytes.
  bool EnsureMarked() const;
  // EnsureMarked, then WritePrivateProfileString; whether the write worked.
  bool Write(std::u16string_view section, std::u16string_view key, std::u16string_view value) const;
  // The value as "%d" (switches as "1" or "0"), in the key's section.
  bool WriteInt(HwProp prop, int32_t value) const;
  bool WriteString(HwProp prop, std::u16string_view value) const;

  // The per-user redirected copy of the file: `localAppData`/VirtualStore/ followed by the
  // file's path below the system root (the root plays the drive). Empty when the file does not
  // lie under the root.
  std::filesystem::path VirtualStoreCopy(const std::filesystem::path& localAppData) const;
  // Deletes that copy, so the file in the program folder wins; a missing copy is no error.
  bool DeleteVirtualStoreCopy(const std::filesystem::path& localAppData) const;

 private:
  HwPropsFile() = default;
  std::filesystem::path path_;
};

}  // namespace rzd
