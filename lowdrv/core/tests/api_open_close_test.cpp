// The open and close codes, the online test, the diagnostics thread that runs while units are
// open, and the library's load and unload.
#include "api/library_entry.h"
#include "api_fixture.h"

#include "foundation/folders.h"
#include "platform/process.h"

#include <array>
#include <cstring>

namespace rzd::lowdrv::test {
namespace {

class OpenCloseTest : public ApiTest {
 protected:
  struct OpenOutcome {
    LLDError result = 0;
    uint32_t size = 0;
    std::array<uint8_t, 16> buffer{};
    BSTR error = nullptr;
  };
  OpenOutcome TryOpen(const std::u16string& path, uint32_t size) {
    OpenOutcome o;
    o.buffer.fill(0xCC);
    o.size = size;
    o.result = api::ControlCall(nullptr, cc::kOpen, path.c_str(), nullptr, nullptr, 0, o.buffer.data(), &o.size,
                                &o.error);
    return o;
  }
};

TEST_F(OpenCloseTest, OpenWritesOnePointerAndNothingBeyond) {
  SetOnline(UnitPath());
  OpenOutcome o = TryOpen(UnitPath(), 16);
  ASSERT_EQ(o.result, 0u);
  EXPECT_EQ(o.size, sizeof(void*));
  void* handle = nullptr;
  std::memcpy(&handle, o.buffer.data(), sizeof handle);
  EXPECT_NE(handle, nullptr);
  for (size_t i = sizeof(void*); i < o.buffer.size(); ++i) EXPECT_EQ(o.buffer[i], 0xCC) << i;
  // The new object's document for success; the object is in the list, idle.
  EXPECT_EQ(ErrorCodeOf(BstrView(o.error)), 0);
  SysFreeString(o.error);
  EXPECT_EQ(state_->opens.load(), 1);
  EXPECT_EQ(state_->paths, std::vector<std::u16string>{UnitPath()});
  EXPECT_EQ(api::DeviceTable::Instance().Count(), 1u);
  EXPECT_FALSE(api::DeviceTable::Instance().IsMarkedInUse(handle));
  EXPECT_EQ(api::DeviceTable::Instance().CallsInFlight(handle), 0u);
}

TEST_F(OpenCloseTest, OpenChecksTheSizeBeforeWritingAnything) {
  SetOnline(UnitPath());
  for (const uint32_t size : {1u, 3u, 4u, 7u}) {
    SCOPED_TRACE(size);
    OpenOutcome o = TryOpen(UnitPath(), size);
    EXPECT_EQ(o.result, lld::kInvalidParameter);
    EXPECT_EQ(o.size, 0u);
    for (uint8_t b : o.buffer) EXPECT_EQ(b, 0xCC);
    EXPECT_EQ(o.error, nullptr);
  }
  EXPECT_EQ(state_->made.load(), 0);
  OpenOutcome exact = TryOpen(UnitPath(), sizeof(void*));
  EXPECT_EQ(exact.result, 0u);
  EXPECT_EQ(exact.size, sizeof(void*));
  SysFreeString(exact.error);
}

TEST_F(OpenCloseTest, OnlineEventNames) {
  struct Case {
    std::u16string path;
    std::optional<std::u16string> name;
  };
  const Case cases[] = {
      {UnitPath(), u"Global\\RZD_VID_2E5A_PID_0148#QM48TZ000001_ON"},
      {u"\\\\?\\USB#VID_2E5A&PID_0148&MI_00#7&1a2b&0&0000#{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\global",
       u"Global\\RZD_VID_2E5A_PID_0148_MI_00#7_1A2B_0_0000_ON"},
      {u"\\\\?\\usb#vid_2e5a&pid_0148#sn\u00e9#{6bdd1fc6-810f-11d0-bec7-08002be2092f}",
       u"Global\\RZD_VID_2E5A_PID_0148#SN\u00e9_ON"},  // only a to z change case
      {u"\\\\?\\usb#pid_0148#x#{6bdd1fc6-810f-11d0-bec7-08002be2092f}", std::nullopt},  // no "VID_"
      {u"\\\\?\\usb#vid_2e5a&pid_0148#x#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", std::nullopt},  // other class
      {u"{6bdd1fc6-810f-11d0-bec7-08002be2092f}#vid_2e5a", std::nullopt},  // class before "VID_"
      {u"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.path));
    EXPECT_EQ(DeviceOnlineEventName(c.path), c.name);
  }
}

TEST_F(OpenCloseTest, OpenNeedsTheUnitAnnouncedOnline) {
  // No event at all.
  OpenOutcome missing = TryOpen(UnitPath(), 8);
  EXPECT_EQ(missing.result, lld::kUnreachable);
  // The event exists but is reset (the unit was removed).
  SetOnline(UnitPath(), false);
  OpenOutcome offline = TryOpen(UnitPath(), 8);
  EXPECT_EQ(offline.result, lld::kUnreachable);
  EXPECT_EQ(offline.size, 0u);
  for (size_t i = 0; i < sizeof(void*); ++i) EXPECT_EQ(offline.buffer[i], 0) << i;  // the handle slot is cleared
  EXPECT_EQ(offline.error, nullptr);
  // A path without "VID_" cannot be opened, whatever event exists.
  ASSERT_TRUE(Event::Create(u"Global\\RZD__ON", true, true));
  EXPECT_EQ(TryOpen(u"\\\\?\\usb#{6bdd1fc6-810f-11d0-bec7-08002be2092f}", 8).result, lld::kUnreachable);
  EXPECT_EQ(state_->made.load(), 0);
  // Set again: the open passes.
  SetOnline(UnitPath(), true);
  OpenOutcome online = TryOpen(UnitPath(), 8);
  EXPECT_EQ(online.result, 0u);
  SysFreeString(online.error);
}

TEST_F(OpenCloseTest, FailedOpenScannerDestroysTheObjectAndWritesNoDocument) {
  SetOnline(UnitPath());
  state_->openResult = lld::kInUse;
  OpenOutcome o = TryOpen(UnitPath(), 8);
  EXPECT_EQ(o.result, lld::kInUse);
  EXPECT_EQ(o.error, nullptr);
  EXPECT_EQ(o.size, 0u);
  for (size_t i = 0; i < sizeof(void*); ++i) EXPECT_EQ(o.buffer[i], 0);
  EXPECT_EQ(state_->made.load(), 1);
  EXPECT_EQ(state_->destroyed.load(), 1);
  EXPECT_EQ(state_->closes.load(), 0);
  EXPECT_EQ(api::DeviceTable::Instance().Count(), 0u);
}

TEST_F(OpenCloseTest, DriverObjectThatCannotBeMadeGives0x8009) {
  SetOnline(UnitPath());
  api::SetDriverFactory([](const std::u16string&) { return std::unique_ptr<IDriverObject>(); });
  OpenOutcome o = TryOpen(UnitPath(), 8);
  EXPECT_EQ(o.result, lld::kNoMemory);
  EXPECT_EQ(o.error, nullptr);
  api::SetDriverFactory([](const std::u16string&) -> std::unique_ptr<IDriverObject> { throw std::bad_alloc(); });
  EXPECT_EQ(TryOpen(UnitPath(), 8).result, lld::kNoMemory);
  EXPECT_EQ(api::DeviceTable::Instance().Count(), 0u);
}

TEST_F(OpenCloseTest, EveryOpenMakesANewObjectAppendedToTheList) {
  void* first = Open();
  void* second = Open();
  EXPECT_NE(first, second);
  EXPECT_EQ(state_->made.load(), 2);
  EXPECT_EQ(api::DeviceTable::Instance().Count(), 2u);
  EXPECT_EQ(Close(first), 0u);
  // The other one still answers.
  BSTR error = nullptr;
  uint32_t status = 0;
  uint32_t size = sizeof status;
  EXPECT_TRUE(Control(second, cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &size, &error));
  SysFreeString(error);
}

TEST_F(OpenCloseTest, DiagnosticsRunFromTheFirstOpenToTheLastClose) {
  EXPECT_FALSE(DiagnosticsStarted());
  void* first = Open(UnitPath(u"qm48tz000001"));
  EXPECT_TRUE(DiagnosticsStarted());
  void* second = Open(UnitPath(u"qm48tz000002"));
  EXPECT_EQ(Close(first), 0u);
  EXPECT_TRUE(DiagnosticsStarted());
  EXPECT_EQ(Close(second), 0u);
  EXPECT_FALSE(DiagnosticsStarted());
  // Opening again starts them again.
  void* again = Open();
  EXPECT_TRUE(DiagnosticsStarted());
  EXPECT_EQ(Close(again), 0u);
  EXPECT_FALSE(DiagnosticsStarted());
  // Other local codes do not start them.
  BSTR list = nullptr;
  BSTR error = nullptr;
  EXPECT_TRUE(Control(nullptr, cc::kNamespaceList, nullptr, &list, nullptr, 0, nullptr, nullptr, &error));
  SysFreeString(list);
  EXPECT_FALSE(DiagnosticsStarted());
}

TEST_F(OpenCloseTest, UnloadClosesAndDestroysEveryOpenObjectAndStopsDiagnostics) {
  Open(UnitPath(u"qm48tz000001"));
  Open(UnitPath(u"qm48tz000002"));
  ASSERT_TRUE(DiagnosticsStarted());
  api::OnLibraryUnload();
  EXPECT_EQ(state_->closes.load(), 2);
  EXPECT_EQ(state_->destroyed.load(), 2);
  EXPECT_EQ(api::DeviceTable::Instance().Count(), 0u);
  EXPECT_FALSE(DiagnosticsStarted());
}

TEST_F(OpenCloseTest, LoadPutsTheCommonFolderInFrontOfThePathOnce) {
  UnsetEnv("Corvanite2010_32");
  SetEnv("PATH", "/usr/bin:/bin");
  std::filesystem::path common;
  ASSERT_TRUE(GetCommonFilesFolder(&common));
  const char anchor = 0;
  api::OnLibraryLoad(&anchor);
  EXPECT_EQ(GetEnv("PATH"), common.string() + ":/usr/bin:/bin");
  EXPECT_EQ(GetEnv("Corvanite2010_32"), "true");
  api::OnLibraryLoad(&anchor);  // a second load in the process adds nothing
  EXPECT_EQ(GetEnv("PATH"), common.string() + ":/usr/bin:/bin");
}

}  // namespace
}  // namespace rzd::lowdrv::test
