// The console user's profile screens through a recording driver: what is drawn and uploaded, the
// summary text, the default screens and the refresh.
#include "scanhost/testing/desktop_profiles.h"
#include "scanhost/testing/recording_driver.h"
#include "scanhost/lcd/lcd_profiles.h"
#include "scanhost/lcd/lcd_screen.h"
#include "scanhost/lcd/link_cache.h"
#include "testsupport/fixed_glyphs.h"
#include "testsupport/pictures.h"
#include "testsupport/temp_root.h"

#include "foundation/folders.h"
#include "platform/kernel.h"
#include "platform/picture.h"

#include <gtest/gtest.h>

#include <fstream>

namespace rzd::scanhost::lcd {
namespace {

using test::EventProfile;
using test::RecordingDriver;
using test::ScanProfile;

constexpr char16_t kFriendly[] = u"Quarx M48tz Scanner";

class LcdProfilesTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override { ResetLcdStateForTests(); }
  void TearDown() override { ResetLcdStateForTests(); }

  // Two profiles: one with everything, one with nothing but its name.
  static void WriteTwoProfiles(const std::u16string& firstName = u"Invoices") {
    test::WriteEventProfile(kFriendly, {u"F1", firstName, 0x400, u"Mail{Outlook}", u"Office"});
    test::WriteScanProfile(kFriendly, {u"Office", 4, 300, 8500, 11000, u"Office Color", std::nullopt});
    test::WriteEventProfile(kFriendly, {u"F2", u"Back\\up", std::nullopt, std::nullopt, std::nullopt});
  }

  static std::shared_ptr<gdi::Bitmap> Screen(const RecordingDriver::Upload& upload) {
    EXPECT_EQ(upload.bytes.size(), kUploadBufferBytes);
    return ReadBitmapFile(upload.bytes);
  }

  RecordingDriver driver_;
};

TEST_F(LcdProfilesTest, TheSummaryInEnglish) {
  test::SetConsoleUser(test::kTestUserSid, u"00000409");
  WriteTwoProfiles();
  uint16_t language = 0;
  const std::u16string summary = BuildLcdProfileScreens(driver_, kFriendly, &language);
  EXPECT_EQ(language, 0x409);
  EXPECT_EQ(summary,
            u"\\c\\bInvoices\\b\\rsPDF\\r\n\\c\\b Outlook\n Office Color\\b\n -Color 300dpi\n -Letter"
            u"\\c\\bBack\\\\up\\b\\rBMP\\r\n\\c\\b Unknown\n Ready\\b\n -Black&White 300dpi\n -Custom");
  EXPECT_EQ(RecordingDriver::Slots(driver_.Take()), (std::vector<std::u16string>{u"F1N33", u"F2N33"}));
}

TEST_F(LcdProfilesTest, TheSummaryInChineseHasNoBoldCodes) {
  test::SetConsoleUser(test::kTestUserSid, u"00000804");
  WriteTwoProfiles(u"发票");
  uint16_t language = 0;
  const std::u16string summary = BuildLcdProfileScreens(driver_, kFriendly, &language);
  EXPECT_EQ(language, 0x804);
  // Chinese has no texts of its own: the French ones, in the Chinese face.
  EXPECT_EQ(summary,
            u"\\c发票\\rsPDF\\r\n\\c Outlook\n Office Color\n -Couleur 300ppp\n -Lettre"
            u"\\cBack\\\\up\\rBMP\\r\n\\c Unknown\n Ready\n -Noir&blanc 300ppp\n -Taille personnal.");
  const std::vector<RecordingDriver::Upload> uploads = driver_.Take();
  ASSERT_EQ(uploads.size(), 2u);
  EXPECT_FALSE(rzd::test::WritePicture("lcd-chinese-F1N33", *Screen(uploads[0]), 4).empty());
}

TEST_F(LcdProfilesTest, NineProfilesBecomeNineScreensAndOtherKeysNone) {
  test::SetConsoleUser(test::kTestUserSid);
  for (int i = 1; i <= 9; ++i) {
    test::WriteEventProfile(kFriendly, {FormatW(u"F%d", i), FormatW(u"Profile %d", i), 0x10u << (i % 8), std::nullopt,
                                        std::nullopt});
  }
  // Keys that are no screens: two digits, another letter, lower case, no Name, a Name too long.
  test::WriteEventProfile(kFriendly, {u"F10", u"Ten", std::nullopt, std::nullopt, std::nullopt});
  test::WriteEventProfile(kFriendly, {u"G1", u"Gee", std::nullopt, std::nullopt, std::nullopt});
  test::WriteEventProfile(kFriendly, {u"F0", u"Zero", std::nullopt, std::nullopt, std::nullopt});
  const std::vector<ProfileScreen> screens = ReadProfileScreens(test::kTestUserSid, kFriendly);
  ASSERT_EQ(screens.size(), 9u);
  const std::u16string summary = BuildLcdProfileScreens(driver_, kFriendly, nullptr);
  EXPECT_EQ(summary.find(u"Ten"), std::u16string::npos);
  EXPECT_EQ(summary.find(u"Gee"), std::u16string::npos);
  const std::vector<RecordingDriver::Upload> uploads = driver_.Take();
  ASSERT_EQ(RecordingDriver::Slots(uploads), (std::vector<std::u16string>{u"F1N33", u"F2N33", u"F3N33", u"F4N33",
                                                                          u"F5N33", u"F6N33", u"F7N33", u"F8N33",
                                                                          u"F9N33"}));
  for (const RecordingDriver::Upload& upload : uploads) ASSERT_TRUE(Screen(upload));

  test::DeleteEventProfiles(kFriendly);
  test::WriteEventProfile(kFriendly, {u"F3", std::nullopt, 0x10, std::nullopt, std::nullopt});  // no Name
  test::WriteEventProfile(kFriendly, {u"F4", std::u16string(261, u'x'), std::nullopt, std::nullopt, std::nullopt});
  test::WriteEventProfile(kFriendly, {u"F5", std::u16string(300, u'y').substr(0, 260), std::nullopt, std::nullopt,
                                      std::nullopt});
  const std::vector<ProfileScreen> few = ReadProfileScreens(test::kTestUserSid, kFriendly);
  ASSERT_EQ(few.size(), 1u);
  EXPECT_EQ(few[0].key, u"F5");
  EXPECT_EQ(few[0].name.size(), 255u) << "a name is cut to 255 characters";
}

// Draws every text but that of the format label (the only font of height 10): a profile with an
// output format cannot be drawn.
class NoLabelFont final : public gdi::GlyphSource {
 public:
  std::shared_ptr<gdi::FontFace> Open(const gdi::LogFont& font) override {
    return font.height == 10 ? nullptr : glyphs_.Open(font);
  }

 private:
  rzd::test::FixedGlyphSource glyphs_;
};

TEST_F(LcdProfilesTest, AProfileThatCannotBeDrawnTakesNoSlotAndIsNotInTheSummary) {
  test::SetConsoleUser(test::kTestUserSid, u"00000409");
  test::WriteEventProfile(kFriendly, {u"F1", u"First", std::nullopt, std::nullopt, std::nullopt});
  test::WriteEventProfile(kFriendly, {u"F2", u"Undrawable", 0x400, std::nullopt, std::nullopt});
  test::WriteEventProfile(kFriendly, {u"F3", u"Third", std::nullopt, std::nullopt, std::nullopt});
  const std::u16string summary =
      BuildLcdProfileScreens(driver_, kFriendly, nullptr, std::make_shared<NoLabelFont>());
  EXPECT_EQ(summary,
            u"\\c\\bFirst\\b\\rBMP\\r\n\\c\\b Unknown\n Ready\\b\n -Black&White 300dpi\n -Custom"
            u"\\c\\bThird\\b\\rBMP\\r\n\\c\\b Unknown\n Ready\\b\n -Black&White 300dpi\n -Custom");
  EXPECT_EQ(RecordingDriver::Slots(driver_.Take()), (std::vector<std::u16string>{u"F1N33", u"F3N33"}));

  // Nothing that can be drawn: no screen and an empty summary (the default screens follow).
  test::DeleteEventProfiles(kFriendly);
  test::WriteEventProfile(kFriendly, {u"F5", u"Undrawable", 0x20002, std::nullopt, std::nullopt});
  EXPECT_EQ(BuildLcdProfileScreens(driver_, kFriendly, nullptr, std::make_shared<NoLabelFont>()), u"");
  EXPECT_TRUE(driver_.Take().empty());
}

TEST_F(LcdProfilesTest, WhatTheLinesShow) {
  test::SetConsoleUser(test::kTestUserSid, u"0407");
  test::WriteEventProfile(kFriendly, {u"F1", u"A", std::nullopt, u"NoBraces", u"Zero"});
  test::WriteScanProfile(kFriendly, {u"Zero", 2, 0, 8268, 11693, std::nullopt, std::nullopt});
  test::WriteEventProfile(kFriendly, {u"F2", u"B", std::nullopt, u"Copy {Printer}", u"Missing"});
  test::WriteEventProfile(kFriendly, {u"F3", u"C", std::nullopt, u"Open{", u"Auto"});
  test::WriteScanProfile(kFriendly, {u"Auto", 4, 600, 8500, 14000, u"Auto", u"AutoColorDetect=1;AutoCrop=1"});
  const std::vector<ProfileScreen> screens = ReadProfileScreens(test::kTestUserSid, kFriendly);
  ASSERT_EQ(screens.size(), 3u);
  EXPECT_EQ(LinkText(screens[0]), u"?");
  EXPECT_EQ(screens[0].resolution, 300u) << "an Xresolution of 0";
  EXPECT_EQ(screens[0].colourMode, ColourMode::Gray);
  EXPECT_EQ(PaperText(screens[0], kGerman), u"A4");
  EXPECT_EQ(LinkText(screens[1]), u"Printer");
  EXPECT_EQ(screens[1].scanProfileName, u"Missing") << "a scan profile without its key keeps its name";
  EXPECT_EQ(screens[1].colourMode, ColourMode::BlackAndWhite);
  EXPECT_EQ(PaperText(screens[1], kGerman), u"Angepasste Größe");
  EXPECT_EQ(LinkText(screens[2]), u"");
  // Without the image-processing add-on its choices do not count.
  EXPECT_EQ(screens[2].colourMode, ColourMode::Colour);
  EXPECT_FALSE(screens[2].autoSize);
  std::filesystem::path common;
  ASSERT_TRUE(GetCommonFilesX86Folder(&common));
  std::filesystem::create_directories(common);
  std::ofstream(common / "Vantix.dll") << "add-on";
  const std::vector<ProfileScreen> withAddOn = ReadProfileScreens(test::kTestUserSid, kFriendly);
  EXPECT_EQ(withAddOn[2].colourMode, ColourMode::AutoColour);
  EXPECT_TRUE(withAddOn[2].autoSize);
  EXPECT_EQ(PaperText(withAddOn[2], kGerman), u"Auto-Größe");
  EXPECT_EQ(SummaryText({withAddOn[0]}, 0x407),
            u"\\c\\bA\\b\\rBMP\\r\n\\c\\b ?\n Zero\\b\n -Graustufen 300dpi\n -A4");
}

TEST_F(LcdProfilesTest, ATransferWithHighBitsDrawsTheFormatOfItsLowBits) {
  test::SetConsoleUser(test::kTestUserSid);
  test::WriteEventProfile(kFriendly, {u"F1", u"Searchable", 0x100000 | 0x400, std::nullopt, std::nullopt});
  BuildLcdProfileScreens(driver_, kFriendly, nullptr);
  const std::vector<RecordingDriver::Upload> uploads = driver_.Take();
  ASSERT_EQ(uploads.size(), 1u);
  const std::shared_ptr<gdi::Bitmap> screen = Screen(uploads[0]);
  const std::shared_ptr<gdi::Bitmap> icon = LoadScreenBitmap(bitmap::kIconPdf);
  for (int32_t y = 0; y < 28; ++y) {
    for (int32_t x = 0; x < 28; ++x) ASSERT_EQ(screen->GetPixel(98 + x, 48 + y), icon->GetPixel(x, y)) << x << "," << y;
  }
}

TEST_F(LcdProfilesTest, TheLinksIconComesFromTheLinkCache) {
  test::SetConsoleUser(test::kTestUserSid);
  test::WriteLinkCache(RootPath() / "AppData", {"Mail{Outlook}", "Copy{Printer}", std::string(kLinkWithoutIcon)});
  const ImageList icons = test::LinkIcons(3);
  struct Case {
    std::u16string link;
    int32_t icon;  // -1: none
  } cases[] = {{u"Copy{Printer}", 1}, {u"Mail{Outlook}", 0}, {u"QUICKARC4_INTERNAL:STICLIENT", -1}, {u"Fax{Other}", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.link));
    const std::shared_ptr<gdi::Bitmap> found = ReadLinkCacheIcons(test::kTestUserSid, c.link);
    if (c.icon < 0) {
      EXPECT_FALSE(found);
      continue;
    }
    ASSERT_TRUE(found);
    std::shared_ptr<gdi::Bitmap> expected = gdi::CreateDibSection(32, 32, 32);
    expected->Fill(gdi::kWhite);
    icons.Draw(c.icon, *expected, 0, 0);
    for (int32_t y = 0; y < 32; ++y)
      for (int32_t x = 0; x < 32; ++x) ASSERT_EQ(found->GetPixel(x, y), expected->GetPixel(x, y)) << x << "," << y;
  }
  // The icon lands at x 5, centred on y 21.
  test::WriteEventProfile(kFriendly, {u"F1", u"Print", 0x2000, u"Copy{Printer}", std::nullopt});
  BuildLcdProfileScreens(driver_, kFriendly, nullptr);
  const std::vector<RecordingDriver::Upload> uploads = driver_.Take();
  ASSERT_EQ(uploads.size(), 1u);
  const std::shared_ptr<gdi::Bitmap> screen = Screen(uploads[0]);
  const std::shared_ptr<gdi::Bitmap> printer = ReadLinkCacheIcons(test::kTestUserSid, u"Copy{Printer}");
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) ASSERT_EQ(screen->GetPixel(5 + x, 5 + y), printer->GetPixel(x, y)) << x << "," << y;
  // A cache that went away, or one whose LINKS end in a piece of a record, gives no icon for it.
  test::WriteLinkCache(RootPath() / "AppData", {"Mail{Outlook}"});
  EXPECT_FALSE(ReadLinkCacheIcons(test::kTestUserSid, u"Copy{Printer}"));
  std::vector<uint8_t> links = test::LinkRecords({"Mail{Outlook}", "Copy{Printer}"});
  links.resize(396 + 200);
  EXPECT_EQ(FindLinkRecord(links, "Mail{Outlook}"), 0);
  EXPECT_FALSE(FindLinkRecord(links, "Copy{Printer}"));
  std::filesystem::remove(RootPath() / "AppData" / "LinkCache.dat");
  EXPECT_FALSE(ReadLinkCacheIcons(test::kTestUserSid, u"Mail{Outlook}"));
}

TEST_F(LcdProfilesTest, AUserWithoutProfilesGetsTheDefaultScreensOnce) {
  test::SetConsoleUser(test::kTestUserSid);
  RefreshLcdOperation(driver_, kFriendly);
  const std::vector<RecordingDriver::Upload> first = driver_.Take();
  ASSERT_EQ(first.size(), 9u);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(first[i].slot, FormatW(u"F%dN33", i + 1));
    EXPECT_EQ(first[i].bytes, first[0].bytes);
  }
  const std::shared_ptr<gdi::Bitmap> defaults = LoadScreenBitmap(bitmap::kDefaultScreen);
  EXPECT_EQ(first[0].bytes, UploadBuffer(*defaults));
  EXPECT_EQ(LastLcdSummary(), kDefaultScreensSentinel);
  EXPECT_FALSE(LcdForceFlag());
  // Later polls do nothing.
  for (int i = 0; i < 3; ++i) RefreshLcdProfiles(driver_, kFriendly);
  EXPECT_TRUE(driver_.Take().empty());
  // The update event: the redraw finds no profile and leaves the summary empty, so the next poll
  // uploads the default screens again (the sentinel's stickiness).
  ObjectResult<Event> update = Event::Create(ProfilesUpdateEventName(kFriendly), false, true);
  ASSERT_TRUE(update);
  RefreshLcdProfiles(driver_, kFriendly);
  EXPECT_TRUE(driver_.Take().empty());
  EXPECT_EQ(LastLcdSummary(), u"");
  RefreshLcdProfiles(driver_, kFriendly);
  EXPECT_EQ(driver_.Take().size(), 9u);
  EXPECT_EQ(LastLcdSummary(), kDefaultScreensSentinel);
}

TEST_F(LcdProfilesTest, AProfileChangeAndTheUpdateEventRedraw) {
  test::SetConsoleUser(test::kTestUserSid);
  WriteTwoProfiles();
  RefreshLcdOperation(driver_, kFriendly);
  EXPECT_EQ(driver_.Take().size(), 2u);
  const std::u16string before = LastLcdSummary();
  EXPECT_NE(before.find(u"Invoices"), std::u16string::npos);
  // A change alone is not seen...
  test::WriteEventProfile(kFriendly, {u"F1", u"Receipts", 0x2000, std::nullopt, std::nullopt});
  RefreshLcdProfiles(driver_, kFriendly);
  EXPECT_TRUE(driver_.Take().empty());
  EXPECT_EQ(LastLcdSummary(), before);
  // ...until the update event is signalled (it is tested, never reset).
  ObjectResult<Event> update = Event::Create(ProfilesUpdateEventName(kFriendly), true, false);
  ASSERT_TRUE(update);
  update.handle.Set();
  RefreshLcdProfiles(driver_, kFriendly);
  EXPECT_EQ(RecordingDriver::Slots(driver_.Take()), (std::vector<std::u16string>{u"F1N33", u"F2N33"}));
  EXPECT_NE(LastLcdSummary().find(u"Receipts"), std::u16string::npos);
  EXPECT_EQ(update.handle.Wait(0), WAIT_OBJECT_0);
  update.handle.Reset();
  // The LCD-refresh operation after the first refresh forgets the summary and redraws.
  RefreshLcdOperation(driver_, kFriendly);
  EXPECT_EQ(driver_.Take().size(), 2u);
}

TEST_F(LcdProfilesTest, WhenTheUserOrTheProfilesGoTheDefaultScreensCome) {
  test::SetConsoleUser(test::kTestUserSid);
  WriteTwoProfiles();
  RefreshLcdOperation(driver_, kFriendly);
  EXPECT_EQ(driver_.Take().size(), 2u);
  test::DeleteEventProfiles(kFriendly);
  RefreshLcdProfiles(driver_, kFriendly);
  EXPECT_EQ(driver_.Take().size(), 9u);
  EXPECT_EQ(LastLcdSummary(), kDefaultScreensSentinel);

  ResetLcdStateForTests();
  WriteTwoProfiles();
  RefreshLcdOperation(driver_, kFriendly);
  EXPECT_EQ(driver_.Take().size(), 2u);
  test::SetConsoleUser(u"");
  RefreshLcdProfiles(driver_, kFriendly);
  EXPECT_EQ(driver_.Take().size(), 9u) << "no user at the console";
}

TEST_F(LcdProfilesTest, TheFirstRefreshKeepsAnEqualSummaryUntilOneDiffers) {
  // No user: the first refresh uploads the default screens and keeps the sentinel.
  RefreshLcdProfiles(driver_, kFriendly);
  EXPECT_EQ(driver_.Take().size(), 9u);
  EXPECT_EQ(LastLcdSummary(), kDefaultScreensSentinel);
  EXPECT_FALSE(LcdForceFlag());
  EXPECT_FALSE(LcdRefreshStarted()) << "only the LCD-refresh operation starts the polls' refreshes";
  RefreshLcdOperation(driver_, kFriendly);
  EXPECT_TRUE(LcdRefreshStarted());
}

TEST_F(LcdProfilesTest, TheDrawingsFontFilesAreAddedOnlyWhileItLasts) {
  test::SetConsoleUser(test::kTestUserSid);
  WriteTwoProfiles();
  std::filesystem::path folder;
  ASSERT_TRUE(GetProgramFilesX86Folder(u"M48tz", &folder));
  std::filesystem::create_directories(folder / "Fonts");
  const std::optional<gdi::FontFile> carlito = gdi::FindFontFile(u"Carlito", false);
  ASSERT_TRUE(carlito);
  std::filesystem::copy_file(carlito->path, folder / "Fonts" / "CALIBRI.TTF");
  BuildLcdProfileScreens(driver_, kFriendly, nullptr);
  EXPECT_EQ(driver_.Take().size(), 2u);
  EXPECT_EQ(gdi::FindFontFile(u"Carlito", false)->path, carlito->path) << "the added file is gone again";
  EXPECT_FALSE(gdi::RemovePrivateFont(folder / "Fonts" / "CALIBRI.TTF"));
}

}  // namespace
}  // namespace rzd::scanhost::lcd
