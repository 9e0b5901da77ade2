// The profile screens through the driver library to the simulated unit in its own process, which
// writes every screen it receives as a picture: what a person sees on the front panel.
#include "scanhost/lcd/lcd_profiles.h"
#include "scanhost/testing/desktop_profiles.h"
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

  // The pictures in the unit's LCD folder, by name, and their bytes.
  std::map<std::string, std::vector<char>> Pictures() const {
    std::map<std::string, std::vector<char>> pictures;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(lcdDir_, ec)) {
      std::ifstream in(entry.path(), std::ios::binary);
      pictures[entry.path().filename().string()] = std::vector<char>(std::istreambuf_iterator<char>(in), {});
    }
    return pictures;
  }
  static std::set<std::string> Names(const std::map<std::string, std::vector<char>>& pictures) {
    std::set<std::string> names;
    for (const auto& [name, bytes] : pictures) names.insert(name);
    return names;
  }
  // The unit's screens as a person looks at them: each one as it is, and all on one sheet, three
  // in a row, enlarged.
  void WritePictures(const std::string& prefix) const {
    constexpr int32_t kScale = 3, kGap = 8;
    const std::shared_ptr<gdi::Bitmap> sheet =
        gdi::CreateDibSection(3 * 128 * kScale + 4 * kGap, 3 * 92 * kScale + 4 * kGap, 24);
    sheet->Fill(gdi::Rgb{70, 78, 88});
    for (int slot = 1; slot <= 9; ++slot) {
      const std::string name = "F" + std::to_string(slot) + "N33.png";
      const std::shared_ptr<gdi::Bitmap> screen = gdi::ReadPngFile(lcdDir_ / name);
      ASSERT_TRUE(screen) << name;
      ASSERT_TRUE(gdi::WritePngFile(rzd::test::PicturesDir() / (prefix + name), *screen));
      const int32_t left = kGap + ((slot - 1) % 3) * (128 * kScale + kGap);
      const int32_t top = kGap + ((slot - 1) / 3) * (92 * kScale + kGap);
      for (int32_t y = 0; y < 92 * kScale; ++y)
        for (int32_t x = 0; x < 128 * kScale; ++x) sheet->SetPixel(left + x, top + y, screen->GetPixel(x / kScale, y / kScale));
    }
    ASSERT_TRUE(gdi::WritePngFile(rzd::test::PicturesDir() / (prefix + "sheet.png"), *sheet));
  }

  std::filesystem::path lcdDir_;
  std::unique_ptr<test::UnitWithDriver> unit_;
};

const std::set<std::string> kNineSlots = {"F1N33.png", "F2N33.png", "F3N33.png", "F4N33.png", "F5N33.png",
                                          "F6N33.png", "F7N33.png", "F8N33.png", "F9N33.png"};

// Nine profiles as the desktop application writes them, with scan profiles and a link cache.
void WriteNineProfiles() {
  test::SetConsoleUser(test::kTestUserSid, u"00000409");
  const std::vector<std::string> links = {"Mail{Outlook}", "Save{Documents}", "Print{Office printer}"};
  test::WriteLinkCache(SystemRoot() / "Users" / "AppData", links);
  struct Profile {
    const char16_t* name;
    uint32_t transfer;
    const char16_t* link;
    test::ScanProfile scan;
  } profiles[] = {
      {u"Invoices", 0x400, u"Mail{Outlook}", {u"Office", 4, 300, 8500, 11000, u"Office", std::nullopt}},
      {u"Contracts", 0x8000, u"Save{Documents}", {u"Legal", 1, 200, 8500, 14000, u"Legal", std::nullopt}},
      {u"Photos", 0x20002, u"Save{Documents}", {u"Photo", 4, 600, 4000, 6000, u"Photo", std::nullopt}},
      {u"Receipts", 0x2000, u"Mail{Outlook}", {u"Small", 2, 150, 3500, 2000, u"Small", std::nullopt}},
      {u"Archive", 0x30004, u"Print{Office printer}", {u"A4", 2, 300, 8268, 11693, u"A4", std::nullopt}},
      {u"Letters", 0x40, u"Print{Office printer}", {u"Text", 1, 300, 8268, 11693, u"Text", std::nullopt}},
      {u"Drawings", 0x1000, u"Save{Documents}", {u"Big", 4, 400, 11693, 16535, u"Big", std::nullopt}},
      {u"Cards", 0x10, u"Mail{Outlook}", {u"Cards", 2, 300, 3375, 2125, u"Cards", std::nullopt}},
      {u"Everything", 0x10008, u"QUICKARC4_INTERNAL:STICLIENT", {u"Any", 4, 0, 0, 0, u"Any", std::nullopt}},
  };
  int n = 0;
  for (const Profile& p : profiles) {
    const std::u16string key = FormatW(u"F%d", ++n);
    test::WriteEventProfile(kFriendly, {key, p.name, p.transfer, p.link, p.scan.key});
    test::WriteScanProfile(kFriendly, p.scan);
  }
}

TEST_F(UnitScreensTest, NineProfilesAppearAsNineScreensOnTheUnit) {
  WriteNineProfiles();
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
  WriteNineProfiles();
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
