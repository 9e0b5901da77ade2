// The keys of HWProps.ini with their sections and defaults.
#include "foundation/hwprops.h"

#include <array>

namespace rzd {

namespace {

constexpr const char16_t* kHal = kHwPropsSectionHal;
constexpr const char16_t* kTwain = kHwPropsSectionTwain;
constexpr const char16_t* kCounters = kHwPropsSectionCounters;

constexpr std::array<HwPropInfo, 36> kKeys = {{
    {HwProp::UpdateCountersInRegistry, kHal, u"UpdateCountersInRegistry", 0, nullptr},
    {HwProp::HWIP_ACD, kTwain, u"HWIP_ACD", 1, nullptr},
    {HwProp::HWIP_BDR, kTwain, u"HWIP_BDR", 1, nullptr},
    {HwProp::HWIP_Filter, kTwain, u"HWIP_Filter", 1, nullptr},
    {HwProp::HWIP_CropDeskew, kTwain, u"HWIP_CropDeskew", 1, nullptr},
    {HwProp::HWIP_Despeckle, kTwain, u"HWIP_Despeckle", 1, nullptr},
    {HwProp::HWIP_IE, kTwain, u"HWIP_IE", 1, nullptr},
    {HwProp::HWIP_RB, kTwain, u"HWIP_RB", 1, nullptr},
    {HwProp::HWIP_Rotate, kTwain, u"HWIP_Rotate", 1, nullptr},
    {HwProp::HWIP_BPD, kTwain, u"HWIP_BPD", 1, nullptr},
    {HwProp::HWIP_BPD_MODE2, kTwain, u"HWIP_BPD_MODE2", 1, nullptr},
    {HwProp::HWIP_SB, kTwain, u"HWIP_SB", 1, nullptr},
    {HwProp::HWIP_ColorDropout, kTwain, u"HWIP_ColorDropout", 1, nullptr},
    {HwProp::HWIP_WFP, kTwain, u"HWIP_WFP", 1, nullptr},
    {HwProp::HWIP_TextBrightness, kTwain, u"HWIP_TextBrightness", 1, nullptr},
    {HwProp::HWIP_TextEnhancement, kTwain, u"HWIP_TextEnhancement", 1, nullptr},
    {HwProp::HWIP_Autobrightness, kTwain, u"HWIP_Autobrightness", 1, nullptr},
    {HwProp::HWIP_Moire, kTwain, u"HWIP_Moire", 1, nullptr},
    {HwProp::MaintenanceWarning, kTwain, u"MaintenanceWarning", 1, nullptr},
    {HwProp::EMULATE_WIA_1_0, kTwain, u"EMULATE_WIA_1_0", 0, nullptr},
    {HwProp::DEFAULT_WIA_UI, kTwain, u"DEFAULT_WIA_UI", 0, nullptr},
    {HwProp::TWAIN_AutoXfer, kTwain, u"TWAIN_AutoXfer", 0, nullptr},
    {HwProp::TWAIN_AutoClose, kTwain, u"TWAIN_AutoClose", 0, nullptr},
    {HwProp::TWAIN_ForceUILess, kTwain, u"TWAIN_ForceUILess", 0, nullptr},
    {HwProp::TWAIN_ProfileOverrides, kTwain, u"TWAIN_ProfileOverrides", 0, nullptr},
    {HwProp::TWAIN_EndUserCompression, kTwain, u"TWAIN_EndUserCompression", 0, nullptr},
    {HwProp::TWAIN_RememberCompression, kTwain, u"TWAIN_RememberCompression", 0, nullptr},
    {HwProp::TWAIN_FailOpenNotPresent, kTwain, u"TWAIN_FailOpenNotPresent", 0, nullptr},
    {HwProp::TWAIN_Topmost, kTwain, u"TWAIN_Topmost", 0, nullptr},
    {HwProp::DriversSettingsLock, kTwain, u"DriversSettingsLock", 0, nullptr},
    {HwProp::TWAIN_Seq_Unsupport, kTwain, u"TWAIN_Seq_Unsupport", 0, nullptr},
    {HwProp::TWAIN_SuppressEnableDSFailure, kTwain, u"TWAIN_SuppressEnableDSFailure", 0, nullptr},
    {HwProp::DriversProfile, kTwain, u"DriversProfile", 0, kDriversProfileLastUsed},
    {HwProp::MaxFrictionRollerCount, kCounters, u"MaxFrictionRollerCount", 80000, nullptr},
    {HwProp::MaxRollerCount, kCounters, u"MaxRollerCount", 200000, nullptr},
    {HwProp::MaxCleanCount, kCounters, u"MaxCleanCount", 5000, nullptr},
}};

constexpr bool InEnumerationOrder() {
  for (size_t i = 0; i < kKeys.size(); ++i) {
    if (static_cast<size_t>(kKeys[i].prop) != i) return false;
  }
  return static_cast<size_t>(HwProp::MaxCleanCount) + 1 == kKeys.size();
}
static_assert(InEnumerationOrder(), "the key table follows the enumeration");

}  // namespace

std::span<const HwPropInfo> AllHwProps() { return kKeys; }

const HwPropInfo& GetHwPropInfo(HwProp prop) { return kKeys[static_cast<size_t>(prop)]; }

}  // namespace rzd
