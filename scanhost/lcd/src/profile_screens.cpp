// The user's event profiles read, drawn and uploaded; the default screens.
#include "profile_values.h"
#include "scanhost/lcd/lcd_profiles.h"
#include "scanhost/lcd/lcd_screen.h"
#include "scanhost/lcd/link_cache.h"
#include "scanhost/lcd/scanner_log.h"

#include "foundation/folders.h"
#include "lowdrv/core/driver_codes.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <filesystem>

namespace rzd::scanhost::lcd {

namespace {

constexpr uint16_t kChineseSimplified = 0x0804;
constexpr size_t kMaxNameLength = 255;

// The desktop application's keys of a user.
std::u16string ApplicationKey(std::u16string_view userSid, std::u16string_view friendlyName) {
  return std::u16string(userSid) + u"\\Software\\Corvanite\\Quickarc 4.0\\" + std::u16string(friendlyName);
}

bool IsScreenKey(std::u16string_view name) { return name.size() == 2 && name[0] == u'F' && name[1] >= u'1' && name[1] <= u'9'; }

// The scan profile's values: colour mode, resolution, page and the auto choices of the image
// processing add-on, when it is installed.
void ReadScanProfile(std::u16string_view userSid, std::u16string_view friendlyName, ProfileScreen& screen) {
  screen.scanProfileName = *screen.scanConfig;
  RegKey key;
  if (RegKey::Open(Hive::Users, ApplicationKey(userSid, friendlyName) + u"\\ScanProfiles\\" + *screen.scanConfig, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  switch (ReadProfileNumber(key, u"DataType").value_or(0)) {
    case 2: screen.colourMode = ColourMode::Gray; break;
    case 4: screen.colourMode = ColourMode::Colour; break;
    default: screen.colourMode = ColourMode::BlackAndWhite; break;
  }
  const uint32_t resolution = ReadProfileNumber(key, u"Xresolution").value_or(0);
  screen.resolution = resolution == 0 ? 300 : resolution;
  screen.pageHeight = ReadProfileNumber(key, u"PageHeight").value_or(0);
  screen.pageWidth = ReadProfileNumber(key, u"PageWidth").value_or(0);
  if (const std::optional<std::u16string> name = ReadProfileString(key, u"Name")) screen.scanProfileName = *name;
  const std::optional<std::u16string> vantix = ReadProfileString(key, u"VantixConfig");
  std::filesystem::path common;
  std::error_code ec;
  if (vantix && GetCommonFilesX86Folder(&common) && std::filesystem::exists(common / "Vantix.dll", ec)) {
    if (vantix->find(u"AutoColorDetect=1") != std::u16string::npos) screen.colourMode = ColourMode::AutoColour;
    if (vantix->find(u"AutoCrop=1") != std::u16string::npos) screen.autoSize = true;
  }
}

// The font files of the drawing, added for the process while it lasts.
class DrawingFonts {
 public:
  explicit DrawingFonts(uint16_t language) {
    std::filesystem::path folder;
    if (!GetProgramFilesX86Folder(u"M48tz", &folder)) return;
    folder_ = folder / "Fonts";
    const auto files = language == kChineseSimplified ? std::vector<const char*>{"SIMSUN.TTC"}
                                                       : std::vector<const char*>{"CALIBRI.TTF", "CALIBRIB.TTF"};
    for (const char* file : files) gdi::AddPrivateFont(folder_ / file);
  }
  ~DrawingFonts() {
    if (folder_.empty()) return;
    for (const char* file : {"SIMSUN.TTC", "CALIBRI.TTF", "CALIBRIB.TTF"}) gdi::RemovePrivateFont(folder_ / file);
  }
  DrawingFonts(const DrawingFonts&) = delete;
  DrawingFonts& operator=(const DrawingFonts&) = delete;

 private:
  std::filesystem::path folder_;
};

void Upload(ScannerDriver& driver, std::u16string_view slot, const std::vector<uint8_t>& buffer) {
  const std::u16string name(slot);
  if (!driver.Control(lowdrv::cc::kWriteLcdScreen, name.c_str(), nullptr, buffer.data(),
                      static_cast<uint32_t>(buffer.size()), nullptr, nullptr)) {
    RZD_LOG_ERROR_OF(ScannerObjectLog(), u"WriteLcdScreen of %s Failed", name.c_str());
  }
}

}  // namespace

std::u16string EventProfilesKey(std::u16string_view userSid, std::u16string_view friendlyName) {
  return ApplicationKey(userSid, friendlyName) + u"\\EventProfiles";
}

std::vector<ProfileScreen> ReadProfileScreens(std::u16string_view userSid, std::u16string_view friendlyName) {
  std::vector<ProfileScreen> screens;
  RegKey profiles;
  if (RegKey::Open(Hive::Users, EventProfilesKey(userSid, friendlyName), &profiles) != ERROR_SUCCESS) return screens;
  std::vector<std::u16string> keys;
  profiles.EnumKeys(&keys);
  for (const std::u16string& keyName : keys) {
    RegKey key;
    if (!IsScreenKey(keyName) || profiles.OpenSubKey(keyName, &key) != ERROR_SUCCESS) continue;
    const std::optional<std::u16string> name = ReadProfileString(key, u"Name");
    if (!name) continue;
    ProfileScreen screen;
    screen.key = keyName;
    screen.name = name->substr(0, kMaxNameLength);
    screen.transfer = ReadProfileNumber(key, u"Transfer");
    screen.link = ReadProfileString(key, u"Link");
    screen.scanConfig = ReadProfileString(key, u"ScanConfig");
    if (screen.scanConfig) ReadScanProfile(userSid, friendlyName, screen);
    screens.push_back(std::move(screen));
  }
  return screens;
}

std::u16string LinkText(const ProfileScreen& screen) {
  if (!screen.link) return u"Unknown";
  const std::u16string& link = *screen.link;
  const size_t open = link.rfind(u'{');
  if (open == std::u16string::npos) return u"?";
  // Between the last "{" and the value's last character (its closing brace).
  const size_t from = open + 1, to = link.size() - 1;
  return from < to ? link.substr(from, to - from) : std::u16string();
}

std::u16string FormatText(const ProfileScreen& screen) {
  return std::u16string(screen.transfer ? FormatOfTransfer(*screen.transfer).text : u"BMP");
}

std::u16string PaperText(const ProfileScreen& screen, int language) {
  return std::u16string(screen.autoSize ? PaperName(language, kAutoSize)
                                        : PaperSizeName(screen.pageWidth, screen.pageHeight, language));
}

std::u16string BuildLcdProfileScreens(ScannerDriver& driver, std::u16string_view friendlyName, uint16_t* language,
                                      const std::shared_ptr<gdi::GlyphSource>& glyphs) {
  if (language) *language = 0;
  const std::u16string sid = GetCurrentUserSid();
  if (sid.empty()) return {};
  const uint16_t languageId = UserLanguage(sid);
  if (language) *language = languageId;
  const int texts = LanguageIndex(languageId);
  const ScreenFont font = languageId == kChineseSimplified ? ScreenFont{u"simsun", 12} : ScreenFont{u"Arial", 14};
  const DrawingFonts fonts(languageId);

  // Only the screens that were drawn and uploaded are in the summary; a profile that cannot be
  // drawn takes no slot. The ninth uploaded screen is the last.
  std::vector<ProfileScreen> uploaded;
  for (ProfileScreen& screen : ReadProfileScreens(sid, friendlyName)) {
    ScreenContent content;
    content.name = screen.name;
    if (screen.transfer) content.format = FormatOfTransfer(*screen.transfer);
    if (screen.link) content.linkIcon = ReadLinkCacheIcons(sid, *screen.link);
    content.colourMode = ColourModeName(texts, screen.colourMode);
    content.resolution = FormatW(u"%d DPI", static_cast<int>(screen.resolution));
    content.paper = PaperText(screen, texts);
    const std::optional<DrawnScreen> drawn = DrawProfileScreen(content, font, glyphs);
    if (!drawn) {
      RZD_LOG_ERROR_OF(ScannerObjectLog(), u"BuildLcdProfileScreens Failed: cannot draw %s", screen.key.c_str());
      continue;
    }
    // The upload's answer is not looked at: a screen sent to the unit counts as uploaded.
    Upload(driver, SlotName(screen.key), UploadBuffer(*drawn->screen));
    uploaded.push_back(std::move(screen));
    if (uploaded.size() == kMaxProfileScreens) break;
  }
  return SummaryText(uploaded, languageId);
}

std::u16string WriteDefaultLcdScreens(ScannerDriver& driver) {
  const std::shared_ptr<gdi::Bitmap> screen = LoadScreenBitmap(bitmap::kDefaultScreen);
  if (screen) {
    const std::vector<uint8_t> buffer = UploadBuffer(*screen);
    for (int function = 1; function <= kMaxProfileScreens; ++function) Upload(driver, SlotName(FormatW(u"F%d", function)), buffer);
  }
  return std::u16string(kDefaultScreensSentinel);
}

}  // namespace rzd::scanhost::lcd
