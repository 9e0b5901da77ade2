// The scan preparation and the end of a scan when the unit refuses a release: the unit runs in
// this process behind a port that can fail chosen commands, so a failure comes exactly where the
// test wants it.
#include "scan_fixture.h"

#include "engine/sim_unit.h"
#include "engine/unit_server.h"

#include <atomic>

namespace rzd::lowdrv::test {
namespace {

// The simulated unit, with a command block of the new set that the port refuses (stalls) while
// armed.
class FailingPort final : public engine::UnitPort {
 public:
  engine::PortStatus VendorOut(const engine::VendorRequest& request) override {
    if (armed_ && request.data.size() >= 12 && request.data[0] == opcode_ && request.data[11] == control_) {
      ++refused_;
      return engine::PortStatus::Stall;
    }
    return unit_.VendorOut(request);
  }
  engine::PortStatus BulkOut(const uint8_t* data, size_t size) override { return unit_.BulkOut(data, size); }
  engine::PortStatus BulkIn(size_t maxSize, std::vector<uint8_t>& out) override { return unit_.BulkIn(maxSize, out); }
  void ResetPipe(int pipeType) override { unit_.ResetPipe(pipeType); }
  void SetEventListener(EventListener listener) override { unit_.SetEventListener(std::move(listener)); }
  std::string Control(const std::string& line) override { return unit_.Control(line); }
  std::string ControlHelp() const override { return unit_.ControlHelp(); }

  // Refuses the command with this opcode and byte 11 from now on.
  void Refuse(uint8_t opcode, uint8_t control) {
    opcode_ = opcode;
    control_ = control;
    armed_ = true;
  }
  void Allow() { armed_ = false; }
  int Refused() const { return refused_; }

 private:
  engine::SimUnit unit_;
  std::atomic<bool> armed_{false};
  uint8_t opcode_ = 0;
  uint8_t control_ = 0;
  std::atomic<int> refused_{0};
};

constexpr uint8_t kRelease = 0xE7;

class ScanPrepareTest : public ScanTest {
 protected:
  void TearDown() override {
    ScanTest::TearDown();
    if (server_) server_->Stop();
  }
  void OpenInProcess() {
    server_ = std::make_unique<engine::UnitServer>(port_, engine::ModelUnitOptions(0, kSerial, kFriendlyName));
    ASSERT_EQ(server_->Start(), ERROR_SUCCESS);
    path_ = server_->Entry().interfacePath;
    RegisterClassKey(path_, 0, kFriendlyName);
    ObjectResult<Event> online = Event::Create(u"Global\\RZD_VID_2E5A_PID_0148#QM48TZ000001_ON", true, true);
    ASSERT_TRUE(online);
    online_ = online.handle;
    uint32_t size = sizeof handle_;
    BSTR error = nullptr;
    ASSERT_TRUE(::Control(nullptr, cc::kOpen, path_.c_str(), nullptr, nullptr, 0, &handle_, &size, &error));
    SysFreeString(error);
    ASSERT_EQ(Call(cc::kLock, 5000), 0u);
  }

  FailingPort port_;
  std::unique_ptr<engine::UnitServer> server_;
};

// A sheet of media kind A after a page whose window differs makes the preparation reset the unit
// and give back the batch reservation; when the unit refuses that, the preparation fails with the
// unit's code instead of going on as if the unit were ready.
TEST_F(ScanPrepareTest, ARefusedBatchReleaseBetweenPagesFailsThePreparation) {
  OpenInProcess();
  ASSERT_EQ(port_.Control("load 1 duplex kind=a").rfind("ok", 0), 0u);
  ASSERT_LE(Apply(EditsFor(ScanChoice{})), 0x800Cu);
  CScannerLLD& driver = Driver();
  // Between two pages of a batch: the unit reserved, one page since the last media check, and the
  // last window another one.
  driver.m_ulSubState = 3;
  driver.m_bUnitReserved = 1;
  driver.m_Scan.pagesSinceMediaCheck = 1;
  driver.m_Scan.previousXRes = 1;
  port_.Refuse(kRelease, 2);
  uint8_t media = 0x21;
  const LLDError result = driver.PrepareScan(&media);
  EXPECT_EQ(port_.Refused(), 1);
  EXPECT_EQ(result, lld::kUnreachable);
  EXPECT_EQ(driver.m_bUnitReserved, 0);
  port_.Allow();
  // Given the release, the same preparation goes through and starts the page afresh.
  driver.m_ulSubState = 3;
  driver.m_bUnitReserved = 1;
  driver.m_Scan.pagesSinceMediaCheck = 1;
  driver.m_Scan.previousXRes = 1;
  media = 0x21;
  EXPECT_EQ(driver.PrepareScan(&media), 0u);
  EXPECT_EQ(driver.m_ulSubState, 6u);
}

// The end of a scan gives back the batch reservation; a refusal is the call's result, and a scan
// afterwards works.
TEST_F(ScanPrepareTest, ARefusedBatchReleaseAtTheEndOfAScanIsItsResult) {
  OpenInProcess();
  ASSERT_EQ(port_.Control("load 2 duplex").rfind("ok", 0), 0u);
  ScanChoice choice;
  choice.kind = ScanChoice::Kind::Gray;
  choice.duplex = false;
  ASSERT_LE(Apply(EditsFor(choice)), 0x800Cu);
  std::vector<ReadCall> calls;
  for (;;) {
    calls.push_back(ReadOnce(1u << 20));
    if (calls.back().boundary == 3) port_.Refuse(kRelease, 2);  // the last page is under way
    if (!calls.back().ok || calls.back().boundary == 6) break;
  }
  EXPECT_FALSE(calls.back().ok);
  EXPECT_EQ(calls.back().result, lld::kUnreachable);
  EXPECT_EQ(calls.back().boundary, 6u);
  EXPECT_EQ(port_.Refused(), 1);
  EXPECT_EQ(Driver().m_bUnitReserved, 0);
  EXPECT_EQ(Driver().m_ulStatus, state::kLocked);
  port_.Allow();
  ASSERT_EQ(port_.Control("load 1 duplex").rfind("ok", 0), 0u);
  const std::vector<ReadCall> next = ReadBatch(1u << 20);
  EXPECT_TRUE(next.back().ok);
  EXPECT_EQ(next.back().boundary, 6u);
}

}  // namespace
}  // namespace rzd::lowdrv::test
