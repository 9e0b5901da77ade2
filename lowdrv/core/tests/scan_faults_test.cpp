// A batch that meets trouble, through the exported Control and Read against rzd-engine: a clear
// result code with its text, boundary 6, the unit released and the driver idle, and the next
// batch scans. Also the reads that are refused before a scan and the double-feed pause. The pages
// are grey raw duplex ones: small and quick.
#include "scan_fixture.h"

namespace rzd::lowdrv::test {
namespace {

class ScanFaultsTest : public ScanTest {
 protected:
  // The driver's unit state through the status code.
  uint32_t Status() {
    uint32_t status = 0;
    uint32_t size = sizeof status;
    BSTR error = nullptr;
    EXPECT_TRUE(::Control(handle_, cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &size, &error));
    SysFreeString(error);
    return status;
  }
  // The unit holds no reservation and no sheet of a page in progress.
  void ExpectUnitReleased() {
    const std::string state = Control("state");
    EXPECT_NE(state.find("reserved=-,-"), std::string::npos) << state;
    EXPECT_EQ(Status(), state::kLocked);
  }
  // A whole batch of `sheets` scans after whatever happened before.
  void ExpectNextBatchScans(uint32_t sheets) {
    Control("faults clear");
    Control("empty");
    ASSERT_EQ(Control("load " + std::to_string(sheets) + " duplex").rfind("ok", 0), 0u);
    const std::vector<ReadCall> calls = ReadBatch(1u << 20);
    ASSERT_FALSE(calls.empty());
    EXPECT_TRUE(calls.back().ok) << ToUtf8(calls.back().meta);
    if (!calls.back().ok) return;
    EXPECT_EQ(calls.back().boundary, 6u);
    int pages = 0;
    for (const ReadCall& c : calls) pages += c.boundary >= 3 ? 1 : 0;
    EXPECT_EQ(pages, static_cast<int>(sheets));
  }
};

TEST_F(ScanFaultsTest, ReadBeforeTheUnitIsLockedIsRefused) {
  StartUnit();
  ObjectResult<Event> online = Event::Create(u"Global\\RZD_VID_2E5A_PID_0148#QM48TZ000001_ON", true, true);
  ASSERT_TRUE(online);
  uint32_t size = sizeof handle_;
  BSTR error = nullptr;
  ASSERT_TRUE(::Control(nullptr, cc::kOpen, path_.c_str(), nullptr, nullptr, 0, &handle_, &size, &error));
  SysFreeString(error);
  TakeUnitLog();
  const ReadCall call = ReadOnce(4096);
  EXPECT_FALSE(call.ok);
  EXPECT_EQ(call.result, lld::kWrongSequence);
  EXPECT_EQ(call.boundary, 6u);
  EXPECT_TRUE(TakeUnitLog().empty()) << "nothing may reach a unit that is not locked";
}

TEST_F(ScanFaultsTest, AnEmptyFeederEndsTheScanAtOnce) {
  OpenAndLock();
  ASSERT_LE(Apply(EditsFor(Grey())), 0x800Cu);
  const ReadCall call = ReadOnce(1u << 20);
  EXPECT_FALSE(call.ok);
  EXPECT_EQ(call.result, lld::kNoPaper);
  EXPECT_NE(call.meta.find(u"<Description>"), std::u16string::npos);
  EXPECT_EQ(call.boundary, 6u);
  ExpectUnitReleased();
  ExpectNextBatchScans(1);
}

struct Fault {
  const char* name;
  std::string setup;       // control line before the batch
  std::string midBatch;    // control line after the first page
  uint32_t code;
  std::string after;       // control line that clears the condition
  bool reopen = false;     // the client opens the unit again (its handle went with the unit)
};

void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

class ScanFaultTable : public ScanFaultsTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(ScanFaultTable, EndsTheBatchCleanly) {
  const Fault& fault = GetParam();
  OpenAndLock({"load 3 duplex"});
  ScanChoice choice = Grey();
  choice.dfdAction = u"Stop";
  ASSERT_LE(Apply(EditsFor(choice)), 0x800Cu);
  if (!fault.setup.empty()) {
    ASSERT_EQ(Control(fault.setup).rfind("ok", 0), 0u);
  }

  std::vector<ReadCall> calls;
  bool afterFirstPage = false;
  while (calls.size() < 10000) {
    calls.push_back(ReadOnce(64 * 1024));
    const ReadCall& c = calls.back();
    if (!c.ok || c.boundary == 6) break;
    if (c.boundary == 3 && !afterFirstPage && !fault.midBatch.empty()) {
      afterFirstPage = true;
      ASSERT_EQ(Control(fault.midBatch).rfind("ok", 0), 0u);
    }
  }
  const ReadCall& last = calls.back();
  ASSERT_FALSE(last.ok);
  EXPECT_EQ(last.result, fault.code) << ToUtf8(last.meta);
  PageDoc doc(last.meta);
  EXPECT_FALSE(doc.Text(u"/Result/Description").empty());
  EXPECT_EQ(last.boundary, 6u);
  if (!fault.after.empty()) {
    ASSERT_EQ(Control(fault.after).rfind("ok", 0), 0u);
  }
  if (fault.reopen) {
    BSTR error = nullptr;
    EXPECT_TRUE(::Control(handle_, cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &error));
    SysFreeString(error);
    handle_ = nullptr;
    uint32_t size = sizeof handle_;
    ASSERT_TRUE(::Control(nullptr, cc::kOpen, path_.c_str(), nullptr, nullptr, 0, &handle_, &size, &error));
    SysFreeString(error);
    ASSERT_EQ(Call(cc::kLock, 5000), 0u);
    ASSERT_LE(Apply(EditsFor(choice)), 0x800Cu);
  }
  ExpectUnitReleased();
  ExpectNextBatchScans(2);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ScanFaultTable,
    ::testing::Values(Fault{"Jam", "jam 2", "", lld::kItemJammed, ""},
                      Fault{"Multifeed", "multifeed 2 back", "", lld::kMultifeed, ""},
                      Fault{"Staple", "staple 3", "", 73, ""},
                      Fault{"CoverOpen", "", "cover open", lld::kCoverOpen, "cover close"},
                      Fault{"Stall", "", "halt once", lld::kUnreachable, ""},
                      Fault{"Unplug", "", "unplug", lld::kUnreachable, "replug", true}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rzd::lowdrv::test
