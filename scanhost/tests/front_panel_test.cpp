// The unit's front panel as the service drives it: the console user's profile screens on the LCD
// and the button presses told to the desktop application, from the service's own scanner object,
// against the real driver library and the simulated unit (which writes every screen it receives
// as a picture).
#include "scanner_fixture.h"
#include "service_fixture.h"

#include "scanhost/lcd/lcd_profiles.h"
#include "scanhost/testing/application_objects.h"
#include "scanhost/testing/desktop_profiles.h"
#include "scanhost/testing/lcd_pictures.h"

#include "lowdrv/engine/model_ids.h"
#include "lowdrv/engine/unit_names.h"
#include "platform/kernel.h"
#include "platform/root.h"
#include "platform/service.h"

#include <filesystem>
#include <set>

namespace rzd::scanhost::test {
namespace {

constexpr char16_t kFriendly[] = u"Quarx M48tz Scanner";
static_assert(std::u16string_view(kFriendly) == lowdrv::kModelFriendlyNameW);

// A copy of the service for unit 0003 (instance 7) with the real driver, its unit writing its
// LCD screens into a folder of the root.
class FrontPanelServiceTest : public ServiceFixture {
 protected:
  void StartService() {
    StartUnit(kSerial, 3, lcdDir_);
    WriteClassKey("0003", UnitPath());
    ASSERT_EQ(Run(InstallCopy("0003", 7, false), {"-Service"}), 0);
    ASSERT_EQ(Sc({"start", "scanhost_0003_7"}), 0);
  }
  void StopService() { EXPECT_EQ(Sc({"stop", "scanhost_0003_7"}), 0); }
  // Waits until the unit has received all nine screens.
  std::map<std::string, std::vector<char>> NineScreens() const {
    EXPECT_TRUE(Eventually([&] { return PictureNames(LcdPictures(lcdDir_)) == kNineSlots; }));
    return LcdPictures(lcdDir_);
  }

  const std::filesystem::path lcdDir_ = RootPath() / "front-panel";
};

TEST_F(FrontPanelServiceTest, TheUsersNineProfilesAppearOnTheUnitAndARedrawFollowsTheUpdateEvent) {
  WriteNineProfiles(kFriendly);
  StartService();
  const auto before = NineScreens();
  std::set<std::vector<char>> distinct;
  for (const auto& [name, bytes] : before) distinct.insert(bytes);
  EXPECT_EQ(distinct.size(), 9u) << "nine profile screens, not the default one";
  WriteLcdPictures(lcdDir_, "service-lcd-");

  // The application changes a profile and signals the update event: the next poll redraws.
  WriteEventProfile(kFriendly, {u"F4", u"Tickets", 0x800, u"Mail{Outlook}", u"Small"});
  ObjectResult<Event> update = Event::Create(lcd::ProfilesUpdateEventName(kFriendly), true, true);
  ASSERT_TRUE(update);
  ASSERT_TRUE(Eventually([&] { return LcdPictures(lcdDir_).at("F4N33.png") != before.at("F4N33.png"); }));
  update.handle.Reset();
  const auto after = LcdPictures(lcdDir_);
  for (const auto& [name, bytes] : after) {
    if (name != "F4N33.png") {
      EXPECT_EQ(bytes, before.at(name)) << name;
    }
  }
  const std::shared_ptr<gdi::Bitmap> changed = gdi::ReadPngFile(lcdDir_ / "F4N33.png");
  ASSERT_TRUE(changed);
  EXPECT_TRUE(gdi::WritePngFile(rzd::test::PicturesDir() / "service-lcd-F4N33-changed.png", *changed, 3));
  StopService();
}

TEST_F(FrontPanelServiceTest, WithoutProfilesTheUnitShowsTheNineDefaultScreens) {
  SetConsoleUser(kTestUserSid);
  StartService();
  const auto screens = NineScreens();
  for (const auto& [name, bytes] : screens) EXPECT_EQ(bytes, screens.begin()->second) << name;
  StopService();
}

TEST_F(FrontPanelServiceTest, PressesOnTheUnitReachTheApplicationsObjects) {
  ApplicationObjects app(kFriendly);
  StartService();
  ASSERT_EQ(UnitControl(3, "press 2 short function=4"), "ok");
  ASSERT_EQ(app.simplex.Wait(60000), WAIT_OBJECT_0);
  EXPECT_EQ(app.Count(), 4) << "CHANNELMUX released by the function number";
  EXPECT_FALSE(ApplicationObjects::Signalled(app.longPress));
  EXPECT_FALSE(ApplicationObjects::Signalled(app.duplex));

  ASSERT_EQ(UnitControl(3, "press 3 long function=7"), "ok");
  ASSERT_EQ(app.duplex.Wait(60000), WAIT_OBJECT_0);
  EXPECT_TRUE(ApplicationObjects::Signalled(app.longPress));
  EXPECT_EQ(app.Count(), 7);
  StopService();
}

// The service's own object in this process, with the real driver and the simulated unit.
class OwnObjectThreadTest : public ScannerTest {
 protected:
  void SetUp() override {
    ScannerTest::SetUp();
    lcd::ResetLcdStateForTests();
    StartUnit(kSerial, 3);
    WriteClassKey("0003", UnitPath());
    parent_.classKey = std::u16string(lowdrv::kImageClassKey) + u"\\0003";
    // The unit is announced online, as the service announces it.
    online_ = Event::Create(*lowdrv::DeviceOnlineEventName(UnitPath()), true, true).handle;
  }
  static size_t OpenDescriptors() {
    size_t count = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd"); it != std::filesystem::directory_iterator(); ++it)
      ++count;
    return count;
  }
  Event online_;
};

TEST_F(OwnObjectThreadTest, FiveArrivalsAndRemovalsLeaveNoHandleBehindAndEachThreadTakesPresses) {
  ApplicationObjects app(kFriendly);
  auto scanner = MakeScanner(true, RZD_REAL_DRIVER);
  // The first start makes what stays for the object's life (the user-settings event).
  ASSERT_EQ(scanner->SessionStateChanged(0x8000), 0u);
  ASSERT_TRUE(scanner->IsThreadRunning());
  EXPECT_EQ(ClassDword("0003", u"DFD_Skip"), 1u) << "the thread's start looked at the model's buttons";
  const Event userSettings = scanner->ButtonPoll().UserSettingsEvent();
  ASSERT_TRUE(userSettings);
  ASSERT_EQ(scanner->SessionStateChanged(0x8004), 0u);
  ASSERT_FALSE(scanner->IsThreadRunning());
  const size_t descriptors = OpenDescriptors();

  for (int round = 1; round <= 5; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(scanner->SessionStateChanged(0x8000), 0u);
    ASSERT_TRUE(scanner->IsThreadRunning());
    ASSERT_EQ(UnitControl(3, "press 2 short function=" + std::to_string(round)), "ok");
    ASSERT_EQ(app.simplex.Wait(60000), WAIT_OBJECT_0);
    EXPECT_EQ(app.Count(), round);
    ASSERT_EQ(scanner->SessionStateChanged(0x8004), 0u);
    EXPECT_FALSE(scanner->IsThreadRunning());
    EXPECT_FALSE(scanner->IsOpened());
    EXPECT_TRUE(scanner->ButtonPoll().UserSettingsEvent().SameObject(userSettings)) << "made once for the object";
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

}  // namespace
}  // namespace rzd::scanhost::test
