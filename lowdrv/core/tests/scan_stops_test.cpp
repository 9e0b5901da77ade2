// A scan that stops early, through the exported Control and Read against rzd-engine, with the
// whole sequence of blocks the unit received: the cancel while no scan runs, in the middle of a
// page (the scan's release, the batch's release, the imprinter stopped), answered by the unit as
// cancelled (31), not answered at all, and after a double-feed wait (the double-feed selection
// reset only); and the page after a double-feed wait that finds the feeder empty (69).
#include "scan/scan_steps.h"
#include "scan_fixture.h"
#include "unit_commands.h"

namespace rzd::lowdrv::test {
namespace {

// The imprinter disabled (0x20C, action 0), then stopped (0x20D, action 2).
const std::vector<std::string> kImprinterStop = {unit::Send(0x20C, 8), "data 8: 00 00 01 00 00 00 08 00",
                                                 unit::Send(0x20D, 8), "data 8: 00 00 01 00 00 00 08 02"};
// The double-feed selection reset.
const std::vector<std::string> kDfdReset = {unit::Send(0xFF, 12), "data 12: 00 00 01 0C 01 00 00 00 00 00 00 00"};

class ScanStopsTest : public ScanTest {
 protected:
  // The cancel code through the exported Control; the result code of its error document.
  uint32_t Cancel() {
    BSTR error = nullptr;
    ::Control(handle_, cc::kCancel, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &error);
    const uint32_t result = ResultOf(std::u16string(BstrView(error)));
    SysFreeString(error);
    return result;
  }
  // Starts a scan with the imprinter option on and reads its first piece: the unit holds the
  // batch, the page and the sheet, and the imprinter runs.
  void ScanFirstPiece() {
    OpenAndLock({"load 2 duplex"});
    ASSERT_LE(Apply(EditsFor(Grey())), 0x800Cu);
    Driver().m_pSettings->m_ImprParam.bEnabled = 1;
    const ReadCall first = ReadOnce(64 * 1024);
    ASSERT_TRUE(first.ok) << ToUtf8(first.meta);
    ASSERT_EQ(first.boundary, 1u);
    ASSERT_EQ(Driver().m_ulStatus, state::kScanning);
    ASSERT_EQ(Driver().m_bUnitReserved, 1);
    ASSERT_EQ(Driver().m_bImprinterStarted, 1);
    ASSERT_NE(Control("state").find("page=1 reserved=batch,page"), std::string::npos) << Control("state");
    TakeUnitLog();
  }
  // Reads the first page of a scan whose first sheet is double fed, with the pause on a double
  // feed: the page ends (boundary 3) with the unit released and the double-feed wait set.
  void ScanToADoubleFeedWait(uint32_t sheets) {
    OpenAndLock({"load " + std::to_string(sheets) + " duplex", "multifeed 1 back"});
    ScanChoice choice = Grey();
    choice.dfdAction = u"StopAndContinue";
    ASSERT_LE(Apply(EditsFor(choice)), 0x800Cu);
    for (;;) {
      const ReadCall c = ReadOnce(1u << 20);
      ASSERT_TRUE(c.ok) << ToUtf8(c.meta);
      ASSERT_NE(c.boundary, 6u);
      if (c.boundary == 3) {
        EXPECT_EQ(PageDoc(c.meta).Int(u"/Result/ErrorCode"), 70);
        break;
      }
    }
    ASSERT_EQ(Driver().m_errDFDErrWait, 70u);
    ASSERT_EQ(Driver().m_bDFDResetPending, 1);
    ASSERT_EQ(Driver().m_bUnitReserved, 0);
    ASSERT_EQ(Driver().m_ulStatus, state::kScanning);
    TakeUnitLog();
  }
  // The driver is idle with no page open, and the next batch of `sheets` scans whole.
  void ExpectIdleAndTheNextBatchScans(uint32_t sheets) {
    EXPECT_EQ(Driver().m_ulStatus, state::kLocked);
    EXPECT_EQ(ScanSteps::BoundaryState(Driver()), 6u);
    const std::vector<ReadCall> calls = ReadBatch(1u << 20);
    ASSERT_FALSE(calls.empty());
    ASSERT_TRUE(calls.back().ok) << ToUtf8(calls.back().meta);
    EXPECT_EQ(calls.back().boundary, 6u);
    EXPECT_EQ(CollectSides(calls).size(), 2u * sheets);
  }
};

TEST_F(ScanStopsTest, ACancelWithoutAScanSendsNothing) {
  OpenAndLock({"load 1 duplex"});
  ASSERT_LE(Apply(EditsFor(Grey())), 0x800Cu);
  TakeUnitLog();
  EXPECT_EQ(Cancel(), 0u);
  EXPECT_TRUE(TakeUnitLog().empty());
  ExpectIdleAndTheNextBatchScans(1);
}

TEST_F(ScanStopsTest, ACancelInAPageReleasesTheScanThenTheBatchAndStopsTheImprinter) {
  ScanFirstPiece();
  std::vector<std::string> expected = {unit::Release(1), unit::Release(2), unit::Release(2)};
  unit::Append(expected, kImprinterStop);
  EXPECT_EQ(Cancel(), 0u);
  EXPECT_EQ(TakeUnitLog(), expected);
  EXPECT_EQ(Driver().m_ulSubState, 6u);
  EXPECT_EQ(Driver().m_bUnitReserved, 0);
  EXPECT_EQ(Driver().m_bImprinterStarted, 0);
  EXPECT_NE(Control("state").find("page=none reserved=-,-"), std::string::npos) << Control("state");
  ExpectIdleAndTheNextBatchScans(1);
}

// Without the imprinter option a started imprinter is not the cancel's business.
TEST_F(ScanStopsTest, ACancelLeavesTheImprinterAloneWithoutTheOption) {
  ScanFirstPiece();
  Driver().m_pSettings->m_ImprParam.bEnabled = 0;
  EXPECT_EQ(Cancel(), 0u);
  EXPECT_EQ(TakeUnitLog(), (std::vector<std::string>{unit::Release(1), unit::Release(2), unit::Release(2)}));
  EXPECT_EQ(Driver().m_bImprinterStarted, 0);
}

// The unit answers the scan's release as cancelled (31): the cancel goes on with the batch's
// release and the imprinter, and ends with 31.
TEST_F(ScanStopsTest, ACancelTheUnitAnswersWith31GoesOnAndEndsWith31) {
  ScanFirstPiece();
  ASSERT_EQ(Control("abort release 1 once"), "ok");
  std::vector<std::string> expected = {unit::Release(1), unit::SenseAfterCheck(), unit::Release(2)};
  unit::Append(expected, kImprinterStop);
  EXPECT_EQ(Cancel(), lld::kCancelled);
  EXPECT_EQ(TakeUnitLog(), expected);
  EXPECT_EQ(Driver().m_bUnitReserved, 0);
  EXPECT_EQ(Driver().m_bImprinterStarted, 0);
  ExpectIdleAndTheNextBatchScans(1);
}

// A scan's release the unit does not answer ends the cancel with that code: the batch stays
// reserved and the imprinter running, as the driver knows them. (The unit keeps no record of a
// block it did not take.)
TEST_F(ScanStopsTest, ACancelTheUnitDoesNotAnswerEndsWithTheTransportsCode) {
  ScanFirstPiece();
  ASSERT_EQ(Control("halt once").rfind("ok", 0), 0u);
  EXPECT_EQ(Cancel(), lld::kUnreachable);
  EXPECT_TRUE(TakeUnitLog().empty());
  EXPECT_EQ(Driver().m_ulStatus, state::kLocked);
  EXPECT_EQ(Driver().m_bUnitReserved, 1);
  EXPECT_EQ(Driver().m_bImprinterStarted, 1);
}

// After a double-feed wait the read loop has released the unit already: the cancel only resets
// the double-feed selection (when that option is on and a reset is pending).
TEST_F(ScanStopsTest, ACancelAfterADoubleFeedWaitResetsTheSelectionOnly) {
  ScanToADoubleFeedWait(2);
  EXPECT_EQ(Cancel(), 0u);
  EXPECT_EQ(TakeUnitLog(), kDfdReset);
  EXPECT_EQ(Driver().m_ulSubState, 6u);
  EXPECT_EQ(Driver().m_bDFDResetPending, 0);
  ExpectIdleAndTheNextBatchScans(1);
}

TEST_F(ScanStopsTest, ACancelAfterADoubleFeedWaitWithoutTheResetOptionSendsNothing) {
  ScanToADoubleFeedWait(2);
  Driver().m_pSettings->m_bDFDResetOption = 0;
  EXPECT_EQ(Cancel(), 0u);
  EXPECT_TRUE(TakeUnitLog().empty());
  EXPECT_EQ(Driver().m_bDFDResetPending, 1);
  ExpectIdleAndTheNextBatchScans(1);
}

// The next page after a double-feed wait: the selection reset (the model's option is on), the
// feeder check, and with the feeder empty 69 with boundary 6 and no data; the end of the scan
// gives the batch reservation back.
TEST_F(ScanStopsTest, AnEmptyFeederAfterADoubleFeedWaitEndsWith69) {
  ScanToADoubleFeedWait(1);
  const ReadCall call = ReadOnce(1u << 20);
  EXPECT_FALSE(call.ok);
  EXPECT_EQ(call.result, 69u);
  EXPECT_EQ(call.boundary, 6u);
  EXPECT_TRUE(call.data.empty());
  std::vector<std::string> expected = kDfdReset;
  unit::Append(expected, {unit::MediaCheck(), unit::SensePoll(), unit::Release(2)});
  EXPECT_EQ(TakeUnitLog(), expected);
  EXPECT_EQ(Driver().m_ulStatus, state::kLocked);
  EXPECT_EQ(Driver().m_bDFDResetPending, 0);
  EXPECT_NE(Control("state").find("reserved=-,-"), std::string::npos);
  ASSERT_EQ(Control("load 1 duplex").rfind("ok", 0), 0u);
  ExpectIdleAndTheNextBatchScans(1);
}

TEST_F(ScanStopsTest, AnEmptyFeederAfterADoubleFeedWaitWithoutTheResetOptionEndsWith69) {
  ScanToADoubleFeedWait(1);
  Driver().m_pSettings->m_bDFDResetOption = 0;
  const ReadCall call = ReadOnce(1u << 20);
  EXPECT_EQ(call.result, 69u);
  EXPECT_EQ(call.boundary, 6u);
  EXPECT_EQ(TakeUnitLog(), (std::vector<std::string>{unit::MediaCheck(), unit::SensePoll(), unit::Release(2)}));
}

}  // namespace
}  // namespace rzd::lowdrv::test
