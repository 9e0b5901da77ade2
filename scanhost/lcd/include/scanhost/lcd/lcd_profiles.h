// The LCD profile screens of the console user: one screen per event profile of the desktop
// application (keys F1 to F9), drawn and uploaded to the unit's slots F1N33 to F9N33; nine
// default screens when the user has none; the summary text of what was drawn; and the refresh,
// which the scanner object's LCD-refresh operation and the button-poll thread run.
//
// The last summary and the force flag are kept for the process, behind one lock: a refresh runs
// whole before the next one starts, whichever thread asks.
#pragma once

#include "scanhost/lcd/scanner_driver.h"
#include "scanhost/lcd/lcd_texts.h"

#include "platform/gdi.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::scanhost::lcd {

// The last summary after the default screens were uploaded.
inline constexpr std::u16string_view kDefaultScreensSentinel = u"!@#$TWAIN$%^&*";
// The summary's name of a screen without a scan profile.
inline constexpr std::u16string_view kNoScanProfileName = u"Ready";
// Most screens of one user.
inline constexpr int kMaxProfileScreens = 9;

// The event that asks for a redraw: "Global\LCDProfilesUpdate " followed by the friendly name.
std::u16string ProfilesUpdateEventName(std::u16string_view friendlyName);
// "<sid>\Software\Corvanite\Quickarc 4.0\<friendly name>\EventProfiles" of the users' registry.
std::u16string EventProfilesKey(std::u16string_view userSid, std::u16string_view friendlyName);

// The console user's security identifier: the local machine's CurrentUserSID (under
// SOFTWARE\Corvanite\RZD); when that is empty and the console user's shell runs, what the user
// session launcher answers for "UserSID". Empty when neither knows.
std::u16string GetCurrentUserSid();

// The console user's language: the value Locale under "<sid>\Control Panel\International", read
// as hexadecimal; 0 when missing.
uint16_t UserLanguage(std::u16string_view userSid);

// What one profile key says, with its defaults filled in.
struct ProfileScreen {
  std::u16string key;                        // "F1" to "F9"
  std::u16string name;                       // at most 255 characters
  std::optional<uint32_t> transfer;
  std::optional<std::u16string> link;
  std::optional<std::u16string> scanConfig;  // the scan profile's key name
  std::u16string scanProfileName;            // its Name value, else the key name
  ColourMode colourMode = ColourMode::BlackAndWhite;
  uint32_t resolution = 300;
  bool autoSize = false;
  int64_t pageWidth = 0;                     // thousandths of an inch
  int64_t pageHeight = 0;
};

// The screens of the user's profile key in registry order: keys "F" and one digit 1 to 9 with a
// readable Name. Empty when the key cannot be opened.
std::vector<ProfileScreen> ReadProfileScreens(std::u16string_view userSid, std::u16string_view friendlyName);

// A screen's texts in a language: the link text ("Unknown" without a link, "?" for a link without
// "{", else what lies between its last "{" and its last character), the format text (BMP without
// Transfer), the resolution line ("%d DPI") and the paper text.
std::u16string LinkText(const ProfileScreen& screen);
std::u16string FormatText(const ProfileScreen& screen);
std::u16string PaperText(const ProfileScreen& screen, int language);

// The summary of the screens for a user language (Chinese and Korean without bold codes).
std::u16string SummaryText(const std::vector<ProfileScreen>& screens, uint16_t languageId);

// Draws and uploads the user's profile screens, in registry order, up to the ninth uploaded one;
// the summary of the uploaded screens (empty without a user, a profile key or a profile that
// could be drawn). A profile whose screen cannot be drawn is left out: it takes no slot and is
// not in the summary. `language` receives the user's language (0 without a user); `glyphs` draws
// the texts.
std::u16string BuildLcdProfileScreens(ScannerDriver& driver, std::u16string_view friendlyName, uint16_t* language,
                                      const std::shared_ptr<gdi::GlyphSource>& glyphs = gdi::SystemGlyphSource());
// Uploads the default screen to F1N33 ... F9N33; the sentinel.
std::u16string WriteDefaultLcdScreens(ScannerDriver& driver);

// The refresh: redraws when the update event is signalled or the last summary is empty (also when
// the user or the profile key went), then keeps the new summary.
void RefreshLcdProfiles(ScannerDriver& driver, std::u16string_view friendlyName);
// The scanner object's LCD-refresh operation: forgets the last summary once the first refresh
// has completed, then refreshes.
void RefreshLcdOperation(ScannerDriver& driver, std::u16string_view friendlyName);
// True once the LCD-refresh operation has run in this process: from then on each poll of the
// button thread refreshes.
bool LcdRefreshStarted();

// The process-wide state, for tests.
std::u16string LastLcdSummary();
bool LcdForceFlag();
void ResetLcdStateForTests();

}  // namespace rzd::scanhost::lcd
