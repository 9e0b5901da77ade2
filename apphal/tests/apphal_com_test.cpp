// libapphal.so as the desktop application meets it: registered in a fresh root, found through
// the unit's device entry and class values, created through COM, and scanning a batch through
// IHardwareInterface against the scripted data source.
#include "apphal/hardware_interface.h"
#include "apphal/twain_wrap.h"
#include "platform/com.h"
#include "platform/messages.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "testsupport/temp_root.h"
#include "twain_standard.h"
#include "twainds/script.h"
#include "unit_fixture.h"
#include "wrap_fixture.h"

#include <algorithm>

namespace rzd::apphal::test {
namespace {


const std::filesystem::path kLibrary = RZD_APPHAL_LIBRARY;
constexpr char16_t kClsidText[] = u"{B347F188-417F-40D7-97B6-B4DA1CB8FE5E}";

using RegisterFunction = HRESULT (*)();
using InstallFunction = HRESULT (*)(BOOL, const OLECHAR*);

std::u16string ReadText(Hive hive, std::u16string_view path, std::u16string_view name = u"") {
  RegKey key;
  std::u16string text;
  if (RegKey::Open(hive, path, &key) != ERROR_SUCCESS || key.GetString(name, &text) != ERROR_SUCCESS) {
    return u"<missing>";
  }
  return text;
}

bool KeyExists(Hive hive, std::u16string_view path) {
  RegKey key;
  return RegKey::Open(hive, path, &key) == ERROR_SUCCESS;
}

class ApphalComTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    EnsureMessageQueue();
    module_ = Module::Load(kLibrary);
    ASSERT_TRUE(module_);
  }
  template <typename Fn>
  Fn Export(const char* name) {
    Fn function = module_->Bind<Fn>(name);
    EXPECT_NE(function, nullptr) << name;
    return function;
  }
  std::unique_ptr<Module> module_;
};

TEST_F(ApphalComTest, RegistrationWritesTheClassItsIdsAndTheTypeLibrary) {
  ASSERT_EQ(Export<RegisterFunction>("DllRegisterServer")(), S_OK);
  const std::u16string clsid = std::u16string(u"CLSID\\") + kClsidText;
  const Hive root = Hive::ClassesRoot;
  EXPECT_EQ(ReadText(root, clsid), u"Scanner_M48tz Class");
  EXPECT_EQ(ReadText(root, clsid + u"\\InprocServer32"), module_->Path().u16string());
  EXPECT_EQ(ReadText(root, clsid + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
  EXPECT_EQ(ReadText(root, clsid + u"\\ProgID"), u"CorZQ4.Hardware.M48tz.1");
  EXPECT_EQ(ReadText(root, clsid + u"\\VersionIndependentProgID"), u"CorZQ4.Hardware.M48tz");
  EXPECT_EQ(ReadText(root, clsid + u"\\TypeLib"), u"{78A24A74-A616-4B7B-B98D-99C80D75EF6F}");
  EXPECT_TRUE(KeyExists(root, clsid + u"\\Implemented Categories\\{7E8EE208-5384-4BCF-8DA0-5F4ECA43D2A0}"));
  EXPECT_EQ(ReadText(root, u"CorZQ4.Hardware.M48tz.1"), u"Scanner_M48tz Class");
  EXPECT_EQ(ReadText(root, u"CorZQ4.Hardware.M48tz.1\\CLSID"), kClsidText);
  EXPECT_EQ(ReadText(root, u"CorZQ4.Hardware.M48tz\\CurVer"), u"CorZQ4.Hardware.M48tz.1");
  EXPECT_EQ(ReadText(root, u"AppID\\{904B3B21-9D05-4558-932A-E3AA93585FCD}"), u"apphal");
  EXPECT_EQ(ReadText(root, u"AppID\\apphal.DLL", u"AppID"), u"{904B3B21-9D05-4558-932A-E3AA93585FCD}");
  EXPECT_EQ(ReadText(root, u"TypeLib\\{78A24A74-A616-4B7B-B98D-99C80D75EF6F}\\1.0"), u"M48tzZQ4HALLib");
  EXPECT_TRUE(KeyExists(Hive::LocalMachine, std::u16string(u"SOFTWARE\\Classes\\") + clsid));

  ASSERT_EQ(Export<RegisterFunction>("DllUnregisterServer")(), S_OK);
  EXPECT_FALSE(KeyExists(root, clsid));
  EXPECT_FALSE(KeyExists(root, u"CorZQ4.Hardware.M48tz.1"));
  EXPECT_FALSE(KeyExists(root, u"AppID\\apphal.DLL"));
  EXPECT_FALSE(KeyExists(root, u"TypeLib\\{78A24A74-A616-4B7B-B98D-99C80D75EF6F}"));
  EXPECT_TRUE(KeyExists(root, u"CLSID"));  // the shared keys stay
  EXPECT_TRUE(KeyExists(root, u"AppID"));

  // "user" registers in the current user's classes only.
  auto install = Export<InstallFunction>("DllInstall");
  ASSERT_EQ(install(TRUE, u"USER"), S_OK);
  EXPECT_TRUE(KeyExists(Hive::CurrentUser, std::u16string(u"Software\\Classes\\") + clsid + u"\\InprocServer32"));
  EXPECT_TRUE(KeyExists(Hive::CurrentUser, u"Software\\Classes\\TypeLib\\{78A24A74-A616-4B7B-B98D-99C80D75EF6F}"));
  EXPECT_FALSE(KeyExists(Hive::LocalMachine, std::u16string(u"SOFTWARE\\Classes\\") + clsid));
  ASSERT_EQ(install(FALSE, u"user"), S_OK);
  EXPECT_FALSE(KeyExists(Hive::CurrentUser, std::u16string(u"Software\\Classes\\") + clsid));
  ASSERT_EQ(install(TRUE, nullptr), S_OK);
  EXPECT_TRUE(KeyExists(Hive::LocalMachine, std::u16string(u"SOFTWARE\\Classes\\") + clsid));
}

TEST_F(ApphalComTest, TheLibraryExportsItsEntryPointsOnly) {
  for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer",
                           "DllInstall"}) {
    EXPECT_NE(module_->Symbol(name), nullptr) << name;
  }
  for (const char* name : {"DS_Entry", "_ZN3rzd6apphal10CTWAINwrapC2Ev", "_ZN3rzd6apphal12ApphalModuleEv",
                           "_ZN3rzd10CLogClientD2Ev", "rzd_resource_apphal_hal_TYPELIB_1"}) {
    EXPECT_EQ(module_->Symbol(name), nullptr) << name;
  }
}

std::string Set(TW_UINT16 capability) { return standard::CapTriplet(standard::kSet, capability); }
std::string Get(TW_UINT16 capability) { return standard::CapTriplet(standard::kGetCurrent, capability); }

// What the source hears from initialisation to uninitialisation of a batch of `pages` colour
// pages with the record's defaults and no options.
std::vector<std::string> ExpectedConversation(size_t pages) {
  std::vector<std::string> lines;
  auto add = [&](std::initializer_list<std::string> more) { lines.insert(lines.end(), more); };
  const std::string status = standard::kStatusTriplet;
  // The source's page values it does not offer: each refusal is followed by its condition.
  auto pageValues = [&] {
    add({Get(standard::kDsPageRecord), status, Get(standard::kSupportedSizes), status, Get(standard::kOrientation), status});
  };
  // Initialize: open with the first capabilities, then the feeder.
  add({standard::kGetIdentityTriplet, standard::kEntryPointSetTriplet,
       standard::kOpenDsTriplet, Set(standard::kIndicators), Get(standard::kIndicators), Set(standard::kXferMech),
       Get(standard::kXferMech), Set(standard::kUnits), Get(standard::kUnits), Set(standard::kFeederEnabled), Set(standard::kAutomaticSenseMedium),
       Set(standard::kDsCustomData)});
  // GETADFSTATUS.
  add({Get(standard::kFeederEnabled), Get(standard::kFeederLoaded)});
  // CONFIG.
  add({Set(standard::kIndicators), Set(standard::kXferMech), Set(standard::kAutomaticSenseMedium), Set(standard::kFeederEnabled),
       Set(standard::kXferCount), Set(standard::kDuplexEnabled), Set(standard::kPixelType), Set(standard::kCompression), Set(standard::kXResolution),
       Get(standard::kPhysicalHeight), Get(standard::kMinimumWidth), Get(standard::kMinimumHeight), standard::kImageLayoutSetTriplet,
       Set(standard::kDsMirror), Set(standard::kDoubleFeedDetection), Set(standard::kAutomaticBorderDetection),
       Set(standard::kAutomaticLengthDetection), Set(standard::kAutomaticDeskew), Set(standard::kAutomaticColorEnabled),
       Set(standard::kAutoDiscardBlankPages), Set(standard::kFilter), Set(standard::kRotation), Set(standard::kDsFlipBackSide),
       Set(standard::kBrightness), Set(standard::kContrast), Set(standard::kFeederEnabled)});
  // The first START enables the source and waits for it.
  add({standard::kUser2Triplet});
  pageValues();
  add({standard::kEnableDsTriplet, standard::kProcessEventTriplet,
       standard::kSetupMemXferTriplet});
  // Every page: its information, the transfers, the page values at its end, FINISH.
  for (size_t page = 0; page < pages; ++page) {
    add({standard::kImageInfoTriplet, standard::kExtImageInfoTriplet, Get(standard::kDuplexEnabled),
         standard::kImageMemXferTriplet});
    pageValues();
    add({standard::kExtImageInfoTriplet, standard::kEndXferTriplet});
  }
  // The last FINISH disables the source; UNINITIALIZE closes it.
  add({standard::kDisableDsTriplet, standard::kCloseDsTriplet});
  return lines;
}

// The batch's pages: sheet and side, front then back.
struct Side {
  uint32_t sheet, side;
};

TEST_F(ApphalComTest, AThreeSheetDuplexColourBatchThroughCom) {
  ASSERT_EQ(Export<RegisterFunction>("DllRegisterServer")(), S_OK);
  UnitSetup unit;
  unit.dataSourcePath = std::filesystem::path(RZD_TWAINDS_LIBRARY).u16string();
  InstallUnit(unit);
  ASSERT_TRUE(twainds::ScriptBuilder().Source("Sheets", "3").Source("Duplex", "1").Source("PixelType", "2").Write());

  ComInit com(COINIT_APARTMENTTHREADED);
  ASSERT_TRUE(com.Ok());
  ComPtr<IHardwareInterface> hw;
  ASSERT_EQ(CoCreateInstance(CLSID_Scanner_M48tz, nullptr, CLSCTX_INPROC_SERVER, IID_IHardwareInterface, hw.OutVoid()),
            S_OK);
  auto canUnload = Export<RegisterFunction>("DllCanUnloadNow");
  EXPECT_EQ(canUnload(), S_FALSE);

  LONG installed = 0;
  ASSERT_EQ(hw->IsInstalled(&installed), S_OK);
  EXPECT_EQ(installed, 1);

  ZQSCANINFO info = ZqScanInfoDefaults();
  _ZQSTATUS status = ZQHARDWARE_STATUS_FAIL;
  info.Value = 0;  // the friendly number of the first unit
  ASSERT_EQ(hw->ScanCommand(ZQSCAN_SET_FRIENDLY_NUMBER, &info, &status), S_OK);
  EXPECT_EQ(status, ZQHARDWARE_STATUS_OK);
  ASSERT_EQ(hw->ScanCommand(ZQSCAN_INITIALIZE, &info, &status), S_OK);
  ASSERT_EQ(status, ZQHARDWARE_STATUS_OK);
  ASSERT_EQ(hw->ScanCommand(ZQSCAN_GETADFSTATUS, &info, &status), S_OK);
  EXPECT_EQ(status, ZQHARDWARE_STATUS_ADF_PAGE);

  // Colour, 2 x 1.5 inches at 100 dpi, duplex from the feeder.
  info.Xresolution = info.Yresolution = 100;
  info.Window = {0, 0, 200, 150};
  info.DataType = ZQSCANMODE_COLOR;
  info.Duplex = 1;
  LONG written = -1;
  ASSERT_EQ(hw->Scan(ZQSCAN_CONFIG, &info, 0, nullptr, &written), S_OK);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(info.WidthBytes, 600);

  const Side sides[] = {{1, 0}, {1, 1}, {2, 0}, {2, 1}, {3, 0}, {3, 1}};
  std::vector<uint8_t> buffer(4000);
  for (size_t page = 0; page < std::size(sides); ++page) {
    SCOPED_TRACE(page);
    std::vector<uint8_t> image;
    written = -1;
    ASSERT_EQ(hw->Scan(ZQSCAN_START, &info, static_cast<LONG>(buffer.size()), buffer.data(), &written), S_OK);
    int reads = 0;
    while (written > 0 && reads < 1000) {
      image.insert(image.end(), buffer.begin(), buffer.begin() + written);
      ASSERT_EQ(hw->Scan(ZQSCAN_SCAN, &info, static_cast<LONG>(buffer.size()), buffer.data(), &written), S_OK);
      ++reads;
    }
    EXPECT_EQ(written, 0);  // the page ends with a read of no bytes
    EXPECT_EQ(info.PagesScanned, static_cast<int32_t>(sides[page].sheet));
    EXPECT_EQ(info.ActiveSide, static_cast<int32_t>(sides[page].side));
    EXPECT_EQ(info.LinesScanned, 150);
    // The pattern's bytes in red, green, blue order.
    ASSERT_EQ(image.size(), 600u * 150);
    EXPECT_TRUE(image == PatternPage(sides[page].sheet, sides[page].side, 150, 600));
    ASSERT_EQ(hw->Scan(ZQSCAN_FINISH, &info, 0, nullptr, &written), S_OK);
    EXPECT_EQ(info.LinesScanned, 0);
    EXPECT_EQ(static_cast<intptr_t>(info.Value), page + 1 == std::size(sides) ? 1 : 0);  // the last finish ends the batch
  }
  ASSERT_EQ(hw->ScanCommand(ZQSCAN_GETADFSTATUS, &info, &status), S_OK);
  EXPECT_EQ(status, ZQHARDWARE_STATUS_ADF_EMPTY);
  ASSERT_EQ(hw->ScanCommand(ZQSCAN_UNINITIALIZE, &info, &status), S_OK);
  EXPECT_EQ(status, ZQHARDWARE_STATUS_OK);
  LONG error = -1;
  BSTR message = nullptr;
  ASSERT_EQ(hw->GetLastError(&error, &message), S_OK);
  EXPECT_EQ(error, 0);

  // The conversation with the source, in order (the memory transfers of one page counted once).
  std::vector<std::string> received;
  for (const twainds::LoggedTriplet& entry : twainds::ReadTripletLog()) {
    if (!entry.callback && (received.empty() || received.back() != entry.triplet)) received.push_back(entry.triplet);
  }
  EXPECT_EQ(received, ExpectedConversation(std::size(sides)));

  hw.Reset();
  EXPECT_EQ(canUnload(), S_OK);
}

}  // namespace
}  // namespace rzd::apphal::test
