// The profile screens through the driver library to the simulated unit in its own process, which
// writes every screen it receives as a picture: what a person sees on the front panel.
#include "scanhost/lcd/lcd_profiles.h"
#include "scanhost/testing/desktop_profiles.h"
#include "scanhost/testing/lcd_pictures.h"
#include "scanhost/testing/unit_with_driver.h"
#include "testsupport/pictures.h"
#include "testsupport/temp_root.h"

#include "platform/kernel.h"
#include "platform/root.h"
#include "platform/picture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

namespace rzd::scanhost::lcd {
namespace {

constexpr char16_t kFriendly[] = u"Quarx M48tz Scanner";

class UnitScreensTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    ResetLcdStateForTests();
    lcdDir_ = RootPath() / "front-panel";
    unit_ = std::make_unique<test::UnitWithDriver>(RZD_LOWDRV_LIBRARY, kFriendly, lcdDir_);
    ASSERT_TRUE(unit_->Open());
  }
  void TearDown() override {
    unit_.reset();
    ResetLcdStateForTests();
  }

  std::map<std::string, std::vector<char>> Pictures() const { return test::LcdPictures(lcdDir_); }
  static std::set<std::string> Names(const std::map<std::string, std::vector<char>>& pictures) {
    return test::PictureNames(pictures);
  }
  void WritePictures(const std::string& prefix) const { test::WriteLcdPictures(lcdDir_, prefix); }

  std::filesystem::path lcdDir_;
  std::unique_ptr<test::UnitWithDriver> unit_;
};

using test::kNineSlots;

TEST_F(UnitScreensTest, NineProfilesAppearAsNineScreensOnTheUnit) {
  test::WriteNineProfiles(kFriendly);
  RefreshLcdOperation(*unit_, kFriendly);
  const auto pictures = Pictures();
  EXPECT_EQ(Names(pictures), kNineSlots);
  EXPECT_NE(LastLcdSummary().find(u"Everything"), std::u16string::npos);
  WritePictures("lcd-unit-");
  // Every screen differs from the others.
  std::set<std::vector<char>> distinct;
  for (const auto& [name, bytes] : pictures) distinct.insert(bytes);
  EXPECT_EQ(distinct.size(), 9u);
}

TEST_F(UnitScreensTest, WithoutProfilesTheNineDefaultScreens) {
  test::SetConsoleUser(test::kTestUserSid);
  RefreshLcdOperation(*unit_, kFriendly);
  const auto pictures = Pictures();
  EXPECT_EQ(Names(pictures), kNineSlots);
  for (const auto& [name, bytes] : pictures) EXPECT_EQ(bytes, pictures.begin()->second) << name;
  const std::shared_ptr<gdi::Bitmap> screen = gdi::ReadPngFile(lcdDir_ / "F1N33.png");
  ASSERT_TRUE(screen);
  EXPECT_TRUE(gdi::WritePngFile(rzd::test::PicturesDir() / "lcd-unit-default.png", *screen, 3));
}

TEST_F(UnitScreensTest, AProfileChangeAndTheUpdateEventRedrawTheScreens) {
  test::WriteNineProfiles(kFriendly);
  RefreshLcdOperation(*unit_, kFriendly);
  const auto before = Pictures();
  ASSERT_EQ(Names(before), kNineSlots);
  test::WriteEventProfile(kFriendly, {u"F4", u"Tickets", 0x800, u"Mail{Outlook}", u"Small"});
  RefreshLcdProfiles(*unit_, kFriendly);
  EXPECT_EQ(Pictures(), before) << "no redraw without the event";
  ObjectResult<Event> update = Event::Create(ProfilesUpdateEventName(kFriendly), true, true);
  ASSERT_TRUE(update);
  RefreshLcdProfiles(*unit_, kFriendly);
  const auto after = Pictures();
  for (const auto& [name, bytes] : after) {
    if (name == "F4N33.png") {
      EXPECT_NE(bytes, before.at(name));
    } else {
      EXPECT_EQ(bytes, before.at(name)) << name;
    }
  }
  const std::shared_ptr<gdi::Bitmap> changed = gdi::ReadPngFile(lcdDir_ / "F4N33.png");
  ASSERT_TRUE(changed);
  EXPECT_TRUE(gdi::WritePngFile(rzd::test::PicturesDir() / "lcd-unit-F4N33-changed.png", *changed, 3));
}

}  // namespace
}  // namespace rzd::scanhost::lcd
