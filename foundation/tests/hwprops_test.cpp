#include "foundation/hwprops.h"

#include "platform/ini.h"
#include "platform/text.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace fs = std::filesystem;
using rzd::test::ReadBytes;
using rzd::test::Utf16LeWithMark;
using rzd::test::WriteBytes;
using rzd::HwProp;
using rzd::HwPropsFile;

class HwProps : public rzd::test::TempRoot {
 protected:
  fs::path ModelFolder() const { return RootPath() / "Program Files (x86)" / "Corvanite" / "M48tz"; }
};

TEST_F(HwProps, LiesInTheModelFolderOfThe32BitProgramFiles) {
  EXPECT_EQ(HwPropsFile(u"M48tz").Path(), ModelFolder() / "HWProps.ini");
  for (const char16_t* bad : {u"", u".", u"..", u"a/b", u"a\\b", u"../M48tz"}) {
    SCOPED_TRACE(rzd::ToUtf8(bad));
    HwPropsFile file(bad);
    EXPECT_TRUE(file.Path().empty());
    EXPECT_EQ(file.ReadInt(HwProp::HWIP_BDR), 1);
    EXPECT_FALSE(file.WriteInt(HwProp::HWIP_BDR, 0));
  }
}

TEST_F(HwProps, EveryKeyReadsItsDefaultWithoutAFile) {
  struct Case {
    const char16_t* section;
    const char16_t* key;
    const char16_t* def;
  };
  const Case cases[] = {
      {u"HAL", u"UpdateCountersInRegistry", u"0"},
      {u"TWAIN", u"HWIP_ACD", u"1"},
      {u"TWAIN", u"HWIP_BDR", u"1"},
      {u"TWAIN", u"HWIP_Filter", u"1"},
      {u"TWAIN", u"HWIP_CropDeskew", u"1"},
      {u"TWAIN", u"HWIP_Despeckle", u"1"},
      {u"TWAIN", u"HWIP_IE", u"1"},
      {u"TWAIN", u"HWIP_RB", u"1"},
      {u"TWAIN", u"HWIP_Rotate", u"1"},
      {u"TWAIN", u"HWIP_BPD", u"1"},
      {u"TWAIN", u"HWIP_BPD_MODE2", u"1"},
      {u"TWAIN", u"HWIP_SB", u"1"},
      {u"TWAIN", u"HWIP_ColorDropout", u"1"},
      {u"TWAIN", u"HWIP_WFP", u"1"},
      {u"TWAIN", u"HWIP_TextBrightness", u"1"},
      {u"TWAIN", u"HWIP_TextEnhancement", u"1"},
      {u"TWAIN", u"HWIP_Autobrightness", u"1"},
      {u"TWAIN", u"HWIP_Moire", u"1"},
      {u"TWAIN", u"MaintenanceWarning", u"1"},
      {u"TWAIN", u"EMULATE_WIA_1_0", u"0"},
      {u"TWAIN", u"DEFAULT_WIA_UI", u"0"},
      {u"TWAIN", u"TWAIN_AutoXfer", u"0"},
      {u"TWAIN", u"TWAIN_AutoClose", u"0"},
      {u"TWAIN", u"TWAIN_ForceUILess", u"0"},
      {u"TWAIN", u"TWAIN_ProfileOverrides", u"0"},
      {u"TWAIN", u"TWAIN_EndUserCompression", u"0"},
      {u"TWAIN", u"TWAIN_RememberCompression", u"0"},
      {u"TWAIN", u"TWAIN_FailOpenNotPresent", u"0"},
      {u"TWAIN", u"TWAIN_Topmost", u"0"},
      {u"TWAIN", u"DriversSettingsLock", u"0"},
      {u"TWAIN", u"TWAIN_Seq_Unsupport", u"0"},
      {u"TWAIN", u"TWAIN_SuppressEnableDSFailure", u"0"},
      {u"TWAIN", u"DriversProfile", u"@Last@used@"},
      {u"Counters", u"MaxFrictionRollerCount", u"80000"},
      {u"Counters", u"MaxRollerCount", u"200000"},
      {u"Counters", u"MaxCleanCount", u"5000"},
  };
  HwPropsFile file(u"M48tz");
  ASSERT_EQ(rzd::AllHwProps().size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const rzd::HwPropInfo& info = rzd::AllHwProps()[i];
    SCOPED_TRACE(rzd::ToUtf8(c.key));
    EXPECT_EQ(std::u16string(info.section), c.section);
    EXPECT_EQ(std::u16string(info.key), c.key);
    EXPECT_EQ(file.ReadString(info.prop), c.def);
    if (info.defaultText == nullptr) {
      EXPECT_EQ(file.ReadInt(info.prop), rzd::WToI(c.def));
    }
  }
  EXPECT_FALSE(fs::exists(file.Path()));  // reading creates nothing
}

TEST_F(HwProps, FirstWriteCreatesTheFileWithTheMark) {
  HwPropsFile file(u"M48tz");
  ASSERT_FALSE(fs::exists(ModelFolder()));
  ASSERT_TRUE(file.WriteInt(HwProp::MaintenanceWarning, 0));
  EXPECT_EQ(ReadBytes(file.Path()), Utf16LeWithMark(u"[TWAIN]\r\nMaintenanceWarning=0\r\n"));
  EXPECT_EQ(file.ReadInt(HwProp::MaintenanceWarning), 0);
  ASSERT_TRUE(file.WriteInt(HwProp::MaxCleanCount, 7000));  // lands in its own section
  EXPECT_EQ(rzd::GetPrivateProfileInt(u"Counters", u"MaxCleanCount", 0, file.Path()), 7000);

  // A file of 0 bytes gets the mark first; one with content is left as it is until the write.
  WriteBytes(file.Path(), "");
  ASSERT_TRUE(file.EnsureMarked());
  EXPECT_EQ(ReadBytes(file.Path()), "\xFF\xFE");
  ASSERT_TRUE(file.WriteInt(HwProp::HWIP_Moire, 0));
  EXPECT_EQ(ReadBytes(file.Path()), Utf16LeWithMark(u"[TWAIN]\r\nHWIP_Moire=0\r\n"));
  WriteBytes(file.Path(), "[TWAIN]\r\nHWIP_BDR=0\r\n");
  ASSERT_TRUE(file.EnsureMarked());
  EXPECT_EQ(ReadBytes(file.Path()), "[TWAIN]\r\nHWIP_BDR=0\r\n");
  ASSERT_TRUE(file.WriteInt(HwProp::HWIP_Rotate, 0));
  EXPECT_EQ(file.ReadInt(HwProp::HWIP_BDR), 0);  // the earlier content survives the rewrite
  EXPECT_EQ(ReadBytes(file.Path()), Utf16LeWithMark(u"[TWAIN]\r\nHWIP_BDR=0\r\nHWIP_Rotate=0\r\n"));
}

TEST_F(HwProps, SwitchesAndPresets) {
  HwPropsFile file(u"M48tz");
  struct Case {
    HwProp prop;
    int32_t value;
    bool on;
  };
  const Case cases[] = {
      {HwProp::MaintenanceWarning, 1, true},  {HwProp::MaintenanceWarning, 2, false},
      {HwProp::MaintenanceWarning, 0, false}, {HwProp::HWIP_Moire, 2, true},
      {HwProp::HWIP_Moire, 0, false},         {HwProp::UpdateCountersInRegistry, -1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rzd::ToUtf8(rzd::GetHwPropInfo(c.prop).key) + "=" + std::to_string(c.value));
    ASSERT_TRUE(file.WriteInt(c.prop, c.value));
    EXPECT_EQ(file.ReadInt(c.prop), c.value);
    EXPECT_EQ(file.IsOn(c.prop), c.on);
  }
  EXPECT_TRUE(HwPropsFile(u"Other").IsOn(HwProp::MaintenanceWarning));  // default 1: on

  const std::u16string preset = u"B\u00fcro \u65e5\u672c \U0001F600";
  ASSERT_TRUE(file.WriteString(HwProp::DriversProfile, preset));
  EXPECT_EQ(file.ReadString(HwProp::DriversProfile), preset);
  ASSERT_TRUE(file.WriteString(HwProp::DriversProfile, rzd::kDriversProfileDefaultSettings));
  EXPECT_EQ(file.ReadString(HwProp::DriversProfile), u"_");
  ASSERT_TRUE(file.WriteString(HwProp::DriversProfile, u""));
  EXPECT_EQ(file.ReadString(HwProp::DriversProfile), u"@Last@used@");  // empty gives the default
  ASSERT_TRUE(file.WriteString(HwProp::DriversProfile, std::u16string(2000, u'p')));
  EXPECT_EQ(file.ReadString(HwProp::DriversProfile), std::u16string(1023, u'p'));
}

TEST_F(HwProps, StaleVirtualStoreCopyIsDeleted) {
  HwPropsFile file(u"M48tz");
  fs::path localAppData = RootPath() / "Users" / "user" / "AppData" / "Local";
  fs::path copy = file.VirtualStoreCopy(localAppData);
  EXPECT_EQ(copy, localAppData / "VirtualStore" / "Program Files (x86)" / "Corvanite" / "M48tz" / "HWProps.ini");
  EXPECT_TRUE(file.DeleteVirtualStoreCopy(localAppData));  // no copy: no error
  fs::create_directories(copy.parent_path());
  WriteBytes(copy, Utf16LeWithMark(u"[TWAIN]\r\nHWIP_BDR=0\r\n"));
  ASSERT_TRUE(file.WriteInt(HwProp::HWIP_BDR, 1));
  EXPECT_TRUE(file.DeleteVirtualStoreCopy(localAppData));
  EXPECT_FALSE(fs::exists(copy));
  EXPECT_EQ(file.ReadInt(HwProp::HWIP_BDR), 1);
  EXPECT_TRUE(HwPropsFile::AtPath("/elsewhere/HWProps.ini").VirtualStoreCopy(localAppData).empty());
}

}  // namespace
