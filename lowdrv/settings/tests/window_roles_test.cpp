// Roles of the set document sources: primary, alternate and third window descriptions.
#include "window/source_roles.h"
#include "window_test_support.h"

namespace rzd::lowdrv::wintest {
namespace {

using window::AssignSourceRoles;
using window::DocumentSourceInfo;

struct RoleCase {
  const char* what;
  std::vector<DocumentSourceInfo> sources;
  int primary, alternate, third;  // -1: none
};

int Index(const std::optional<size_t>& v) { return v ? static_cast<int>(*v) : -1; }

TEST(WindowRolesTest, RoleTable) {
  const DocumentSourceInfo adf{u"ADF", u"ADF"}, flatbed{u"Flatbed", u"FB"}, feeder{u"Feeder", u"Tray"},
      rear{u"Feeder", u"RearTray"}, rearFlatbed{u"Flatbed", u"RearTray"};
  const RoleCase cases[] = {
      {"none", {}, -1, -1, -1},
      {"one", {adf}, 0, -1, -1},
      {"two, second not a feeder", {adf, flatbed}, 0, 1, -1},
      {"two, second a feeder", {flatbed, feeder}, 1, 0, -1},
      {"three, third not a feeder, second RearTray", {adf, rearFlatbed, flatbed}, 0, 1, 2},
      {"three, third not a feeder, otherwise", {adf, feeder, flatbed}, 1, 0, 2},
      {"three, third a feeder, second not, third RearTray", {adf, flatbed, rear}, 0, 2, 1},
      {"three, third a feeder, second not, otherwise", {adf, flatbed, feeder}, 2, 0, 1},
      {"three, both feeders, second RearTray", {adf, rear, feeder}, 2, 1, 0},
      {"three, both feeders, otherwise", {adf, feeder, rear}, 1, 2, 0},
      {"four: only the first three count", {adf, flatbed, feeder, rear}, 2, 0, 1},
  };
  for (const RoleCase& c : cases) {
    const window::SourceRoles roles = AssignSourceRoles(c.sources);
    EXPECT_EQ(Index(roles.primary), c.primary) << c.what;
    EXPECT_EQ(Index(roles.alternate), c.alternate) << c.what;
    EXPECT_EQ(Index(roles.third), c.third) << c.what;
  }
}

// ---- Several document sources through the conversion.
class WindowRolesConversionTest : public ModelSettingsTest {
 protected:
  // The ADF source item of the current document as another source: its ID, type and, to tell
  // the descriptions apart, its resolution.
  std::u16string SourceXml(const std::u16string& id, const std::u16string& type, const std::u16string& dpi) {
    MSXML6StoreSTL store;
    EXPECT_TRUE(store.LoadFromString(Edited(current_, {SetCurrent(kColor1, u"Resolutions", dpi)})));
    EXPECT_TRUE(store.SelectNode(kSource));
    EXPECT_TRUE(store.SetAttribute(u"ID", id));
    EXPECT_TRUE(store.SetAttribute(u"Type", type));
    std::u16string xml;
    EXPECT_TRUE(store.GetNodeXML(xml));
    return xml;
  }
  Edit AddSource(const std::u16string& id, const std::u16string& type, const std::u16string& dpi) {
    return AppendXml(u"//DocumentSources/List", SourceXml(id, type, dpi));
  }
};

TEST_F(WindowRolesConversionTest, TwoSourcesSecondFeederIsPrimary) {
  // S1 = the ADF at 300 dpi; S2 a feeder "Tray" at 200 dpi.
  ASSERT_TRUE(Convert({AddSource(u"Tray", u"Feeder", u"200")}));
  EXPECT_EQ(settings_->m_Primary.ImageSourceID, u"Tray");
  EXPECT_EQ(+settings_->m_Primary.Desc.XRes, 200);
  EXPECT_TRUE(settings_->m_bAlternateDefined);
  EXPECT_EQ(settings_->m_Alternate.ImageSourceID, u"ADF");
  EXPECT_EQ(+settings_->m_Alternate.Desc.XRes, 300);
  EXPECT_FALSE(settings_->m_bThirdDefined);

  settings_->m_bAlternateSelected = 1;
  EXPECT_EQ(settings_->GetWindowDescription(), &settings_->m_Alternate.Desc);
  EXPECT_EQ(settings_->GetImageSourceID(), u"ADF");
}

TEST_F(WindowRolesConversionTest, ThreeSources) {
  // S1 ADF (300), S2 flatbed "FB" (200), S3 feeder "RearTray" (150): third a feeder, second not,
  // third RearTray -> primary S1, alternate S3, third S2.
  ASSERT_TRUE(Convert({AddSource(u"FB", u"Flatbed", u"200"), AddSource(u"RearTray", u"Feeder", u"150")}));
  EXPECT_EQ(settings_->m_Primary.ImageSourceID, u"ADF");
  EXPECT_EQ(settings_->m_Alternate.ImageSourceID, u"RearTray");
  EXPECT_EQ(+settings_->m_Alternate.Desc.XRes, 150);
  EXPECT_EQ(settings_->m_Third.ImageSourceID, u"FB");
  EXPECT_EQ(+settings_->m_Third.Desc.XRes, 200);
  EXPECT_TRUE(settings_->m_bAlternateDefined);
  EXPECT_TRUE(settings_->m_bThirdDefined);
  // The flatbed's window: no feeder bit.
  EXPECT_EQ(settings_->m_Third.Desc.ADF & 0x80, 0);
  EXPECT_EQ(settings_->m_Primary.Desc.ADF & 0x80, 0x80);

  // Back to one source: the alternate and third are no longer defined.
  ASSERT_TRUE(Convert({}));
  EXPECT_FALSE(settings_->m_bAlternateDefined);
  EXPECT_FALSE(settings_->m_bThirdDefined);
}

TEST_F(WindowRolesConversionTest, ASourceWithoutTypeOrIdFails) {
  LogCapture log;
  EXPECT_FALSE(Convert({AddSource(u"FB", u"Flatbed", u"200"), AddSource(u"Third", u"Feeder", u"150"),
                        RemoveAttr(u"//Item[@Name='DocumentSource'][@ID='Third']", u"ID")}));
  EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings cannot find DocumentSource type")) << log.All();
  log.Clear();
  EXPECT_FALSE(Convert({RemoveAttr(kSource, u"ID")}));
  EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings cannot find second image source type")) << log.All();
  log.Clear();
  EXPECT_FALSE(Convert({RemoveAttr(kSource, u"Type")}));
  EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings cannot find DocumentSource type")) << log.All();
  log.Clear();
  EXPECT_FALSE(Convert({SetAttr(kSource, u"IsSet", u"false")}));
  EXPECT_TRUE(log.Contains(u"ConvertXmlToSettings cannot find current DocumentSource")) << log.All();
}

}  // namespace
}  // namespace rzd::lowdrv::wintest
