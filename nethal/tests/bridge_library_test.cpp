// libnethal.so itself: its registration per machine and per user, the class it serves with its
// four interfaces, the panel's library beside it, unloading, and its diagnostics under the
// product name "M48tzIPHAL".
#include "bridge_fixture.h"
#include "diag_test_support.h"

#include "nethal/bridge.h"
#include "platform/registry.h"

namespace rzd::nethal::test {
namespace {

using Entry = HRESULT (*)();
using InstallEntry = HRESULT (*)(BOOL, const OLECHAR*);

const std::u16string kClassKey = u"CLSID\\{F6F06ED7-3332-4E7E-81A5-16A5DE2A56D6}";

std::u16string Value(Hive hive, const std::u16string& key, const std::u16string& name = u"") {
  RegKey opened;
  std::u16string value;
  if (RegKey::Open(hive, key, &opened) != ERROR_SUCCESS || opened.GetString(name, &value) != ERROR_SUCCESS)
    return u"(missing)";
  return value;
}

bool Exists(Hive hive, const std::u16string& key) {
  RegKey opened;
  return RegKey::Open(hive, key, &opened) == ERROR_SUCCESS;
}

class BridgeLibraryTest : public BridgeTest {
 protected:
  void SetUp() override {
    BridgeTest::SetUp();
    library_ = Module::Load(RZD_NETHAL_LIBRARY);
    ASSERT_TRUE(library_);
  }
  void TearDown() override {
    BridgeTest::TearDown();
    CoFreeUnusedLibraries();
  }
  template <typename F>
  F Export(const char* name) const {
    return library_->Bind<F>(name);
  }
  std::unique_ptr<Module> library_;
};

TEST_F(BridgeLibraryTest, RegistersTheClassItsProgramIdsAndItsApplicationId) {
  ASSERT_EQ(Export<Entry>("DllRegisterServer")(), S_OK);
  const std::u16string versioned = u"RZDHALM48tzInProc.RZDHALM48tzInProc.1";
  const std::u16string plain = u"RZDHALM48tzInProc.RZDHALM48tzInProc";
  const std::u16string cls = u"SOFTWARE\\Classes\\" + kClassKey;
  const Hive m = Hive::LocalMachine;
  EXPECT_EQ(Value(m, cls), u"RZDHALM48tzInProc Class");
  EXPECT_EQ(Value(m, cls + u"\\ProgID"), versioned);
  EXPECT_EQ(Value(m, u"SOFTWARE\\Classes\\" + plain + u"\\CurVer"), versioned);
  EXPECT_EQ(Value(m, cls + u"\\VersionIndependentProgID"), plain);
  EXPECT_EQ(Value(m, u"SOFTWARE\\Classes\\" + versioned + u"\\CLSID"), FormatGuid(CLSID_RZDHALM48tzInProc));
  EXPECT_EQ(Value(m, u"SOFTWARE\\Classes\\" + plain + u"\\CLSID"), FormatGuid(CLSID_RZDHALM48tzInProc));
  EXPECT_TRUE(Exists(m, cls + u"\\Programmable"));
  EXPECT_EQ(std::filesystem::path(ToUtf8(Value(m, cls + u"\\InprocServer32"))), std::filesystem::path(RZD_NETHAL_LIBRARY));
  EXPECT_EQ(Value(m, cls + u"\\InprocServer32", u"ThreadingModel"), u"Both");
  EXPECT_EQ(Value(m, cls + u"\\TypeLib"), u"{7013228D-6F76-460B-968F-3320A3D31360}");
  EXPECT_TRUE(Exists(m, cls + u"\\Implemented Categories\\{8457C2BA-C251-4067-96A9-020BBA31B91B}"));
  EXPECT_EQ(Value(m, u"SOFTWARE\\Classes\\AppID\\{DFD6D017-14D1-4EE8-A714-2F1E77C836A9}"), u"nethal");
  EXPECT_EQ(Value(m, u"SOFTWARE\\Classes\\AppID\\nethal.DLL", u"AppID"), u"{DFD6D017-14D1-4EE8-A714-2F1E77C836A9}");

  ASSERT_EQ(Export<Entry>("DllUnregisterServer")(), S_OK);
  EXPECT_FALSE(Exists(m, cls));
  EXPECT_FALSE(Exists(m, u"SOFTWARE\\Classes\\" + versioned));
  EXPECT_FALSE(Exists(m, u"SOFTWARE\\Classes\\AppID\\nethal.DLL"));
}

TEST_F(BridgeLibraryTest, DllInstallRegistersPerUserOnlyForTheCommandLineUser) {
  const struct {
    const char16_t* commandLine;
    bool perUser;
  } kCases[] = {{nullptr, false}, {u"USER", true}, {u"user", true}, {u"users", false}, {u"", false}, {u"use", false}};
  auto install = Export<InstallEntry>("DllInstall");
  const std::u16string machine = u"SOFTWARE\\Classes\\" + kClassKey;
  const std::u16string user = u"Software\\Classes\\" + kClassKey;
  for (const auto& c : kCases) {
    const std::string label = c.commandLine ? ToUtf8(c.commandLine) : "(null)";
    ASSERT_EQ(install(TRUE, c.commandLine), S_OK) << label;
    EXPECT_EQ(Exists(Hive::LocalMachine, machine), !c.perUser) << label;
    EXPECT_EQ(Exists(Hive::CurrentUser, user), c.perUser) << label;
    ASSERT_EQ(install(FALSE, c.commandLine), S_OK) << label;
    EXPECT_FALSE(Exists(Hive::LocalMachine, machine)) << label;
    EXPECT_FALSE(Exists(Hive::CurrentUser, user)) << label;
  }
}

TEST_F(BridgeLibraryTest, TheRegisteredClassServesItsInterfacesAndNamesThePanelBesideIt) {
  ASSERT_EQ(Export<Entry>("DllRegisterServer")(), S_OK);
  auto canUnload = Export<Entry>("DllCanUnloadNow");
  {
    ComPtr<IRZDHAL> hal;
    ASSERT_EQ(CoCreateInstance(CLSID_RZDHALM48tzInProc, nullptr, CLSCTX_INPROC_SERVER, IID_IRZDHAL, hal.OutVoid()), S_OK);
    ComPtr<IDispatch> dispatch;
    ComPtr<IRZDModule> module;
    ComPtr<IRZDMemMgr> memory;
    ComPtr<IRZDUIModule> ui;
    ASSERT_EQ(hal.As(IID_IDispatch, &dispatch), S_OK);
    EXPECT_EQ(static_cast<IDispatch*>(hal.Get()), dispatch.Get());
    ASSERT_EQ(hal.As(IID_IRZDModule, &module), S_OK);
    ASSERT_EQ(hal.As(IID_IRZDMemMgr, &memory), S_OK);
    ASSERT_EQ(hal.As(IID_IRZDUIModule, &ui), S_OK);
    Bstr path;
    ASSERT_EQ(ui->DLLPath(path.Out()), S_OK);
    EXPECT_EQ(std::filesystem::path(ToUtf8(path.View())),
              std::filesystem::path(RZD_NETHAL_LIBRARY).parent_path() / "setpanel.so");
    EXPECT_EQ(ui->DLLPath(nullptr), E_FAIL);
    // Both Controls are one: code 0 through IRZDModule.
    Bstr list;
    VARIANT in;
    VARIANT out;
    VariantInit(&in);
    VariantInit(&out);
    ASSERT_EQ(module->Control(0, nullptr, list.Out(), &in, &out), S_OK);
    EXPECT_EQ(list.View().substr(0, 32), std::u16string_view(u"<HALIDList ScannerModel=\"M48tz\">"));
    EXPECT_EQ(canUnload(), S_FALSE);
  }
  EXPECT_EQ(canUnload(), S_OK);
}

TEST_F(BridgeLibraryTest, DllPathFailsWhereTheLibraryIsNotTheBridgesOwn) {
  // Built into this test program, the code is not in libnethal.so: no path rather than a wrong one.
  Bstr path;
  EXPECT_EQ(bridge_->DLLPath(path.Out()), E_FAIL);
  EXPECT_FALSE(path);
  EXPECT_EQ(bridge_->DLLPath(nullptr), E_FAIL);
}

// ---- Diagnostics.

class BridgeDiagnosticsTest : public rzd::test::DiagSinkTest {
 protected:
  ComInit com_{COINIT_MULTITHREADED};
};

TEST_F(BridgeDiagnosticsTest, TheBridgeLogsAsM48tzIPHALUntilItMayUnload) {
  Configure();
  ASSERT_EQ(rzd::test::DiagConfig({"level", "M48tzIPHAL", "CRZDHALScannerInProc Interface", "7"}), 0);
  ASSERT_EQ(rzd::test::DiagConfig({"level", "M48tzIPHAL", "CRZDHALScannerInProc Interface.Data", "7"}), 0);
  auto library = Module::Load(RZD_NETHAL_LIBRARY);
  ASSERT_TRUE(library);
  ASSERT_EQ(library->Bind<Entry>("DllRegisterServer")(), S_OK);
  auto canUnload = library->Bind<Entry>("DllCanUnloadNow");
  {
    ComPtr<IRZDHAL> hal;
    ASSERT_EQ(CoCreateInstance(CLSID_RZDHALM48tzInProc, nullptr, CLSCTX_INPROC_SERVER, IID_IRZDHAL, hal.OutVoid()), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);  // diagnostics go on while the object lives
    Bstr list;
    VARIANT in;
    VARIANT out;
    VariantInit(&in);
    VariantInit(&out);
    ASSERT_EQ(hal->Control(0x100, nullptr, list.Out(), &in, &out), S_OK);
  }
  EXPECT_EQ(canUnload(), S_OK);  // stops the diagnostics thread
  const auto records = Records();
  auto has = [&](const std::string& part) {
    return std::any_of(records.begin(), records.end(), [&](const auto& r) {
      return r.source.rfind("M48tzIPHAL.CRZDHALScannerInProc Interface", 0) == 0 && r.text.find(part) != std::string::npos;
    });
  };
  EXPECT_TRUE(has("ctor<ScannerIP> Entered."));
  EXPECT_TRUE(has("STANDARD CONTROL CODE: CC = 0x00, Flags = 0x00, Value = 0x0001"));
  EXPECT_TRUE(has("~ctor(ScannerIP)"));
  for (const auto& r : records) EXPECT_EQ(r.source.rfind("M48tzIPHAL.", 0), 0u) << r.source;
}

}  // namespace
}  // namespace rzd::nethal::test
