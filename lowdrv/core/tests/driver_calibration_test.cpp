// Calibration against the simulated unit: the thread's progress, a failing step, a calibration
// without steps, closes while it runs, and the maintenance documents.
#include "driver/calibration.h"
#include "maintenance_fixture.h"

#include <chrono>
#include <thread>

namespace rzd::lowdrv::test {
namespace {

using DriverCalibrationTest = MaintenanceTest;

struct Status {
  LLDError result = 0;
  uint32_t code = 0;
  std::u16string document;
};

Status Query(CRZDREduzidLLD& driver) {
  Status s;
  const uint32_t in = 0;
  uint32_t out = 0xEEEEEEEE;
  uint32_t size = sizeof out;
  Bstr document;
  s.result = driver.DoControlCode(cc::kCalibrationStatus, nullptr, document.Out(), const_cast<uint32_t*>(&in),
                                  sizeof in, &out, &size);
  s.code = out;
  s.document = document.Str();
  return s;
}

LLDError Start(CRZDREduzidLLD& driver, std::u16string* document = nullptr) {
  Bstr start;
  const LLDError result = driver.DoControlCode(cc::kStartCalibration, nullptr, start.Out(), nullptr, 0, nullptr, nullptr);
  if (document) *document = start.Str();
  return result;
}

// Queries until the calibration has ended (status 5, 6 or 7); the progress values seen while it
// ran, each once, in order.
std::vector<uint32_t> FollowToTheEnd(CRZDREduzidLLD& driver, Status& last) {
  std::vector<uint32_t> seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    last = Query(driver);
    if (last.result != 0 || last.code >= calibration::status::kComplete) break;
    if (last.code == calibration::status::kInProgress) {
      const std::optional<std::u16string> progress = TextAt(last.document, u"/RZDMaintenanceStatus/Progress");
      EXPECT_TRUE(progress);
      const uint32_t value = progress ? static_cast<uint32_t>(WToI(*progress)) : 0;
      if (seen.empty() || seen.back() != value) seen.push_back(value);
    }
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the calibration did not end";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return seen;
}

TEST(CalibrationDocuments, StatusAndStartForms) {
  EXPECT_EQ(calibration::StatusDocument(4, 66, 0, u"OK"),
            u"<RZDMaintenanceStatus Code=\"4\">\n<Status>Calibration In Progress</Status>\n<Progress>66</Progress>\n"
            u"<StatusText>Waiting for scanner calibration to complete ...</StatusText>\n</RZDMaintenanceStatus>");
  EXPECT_EQ(calibration::StatusDocument(6, 33, 37, u"Target <Failure> & more"),
            u"<RZDMaintenanceStatus Code=\"6\">\n<Status>Calibration Complete With Error</Status>\n"
            u"<ErrorCode>37</ErrorCode>\n<ErrorDescription>Target &lt;Failure&gt; &amp; more</ErrorDescription>\n"
            u"<StatusText>An error occurred during the calibration.\nPlease run the calibration again.</StatusText>\n"
            u"</RZDMaintenanceStatus>");
  EXPECT_EQ(calibration::StatusDocument(0, 0, 0, u""),
            u"<RZDMaintenanceStatus Code=\"0\">\n<Status>Not Calibrated</Status>\n<StatusText>Not Calibrated</StatusText>\n"
            u"</RZDMaintenanceStatus>");
  EXPECT_EQ(TextAt(calibration::StatusDocument(9, 0, 0, u""), u"/RZDMaintenanceStatus/Status"), u"Undefined");
  EXPECT_EQ(calibration::StartDocument(u"Quarx <M48tz>"),
            u"<RZDMaintenanceStatus Code=\"2\"><CancelAbility>Off</CancelAbility>\n"
            u"<ScannerName>Quarx &lt;M48tz&gt;</ScannerName>\n<OperationText>Scanner Calibration</OperationText>\n"
            u"<MaintenanceText>The scanner needs to be calibrated.\nThe calibration process has started automatically.\n"
            u"Calibration is finished when the status light is blue.</MaintenanceText>\n"
            u"<StatusText>Waiting for scanner initialization to complete ...</StatusText>\n</RZDMaintenanceStatus>");
}

TEST_F(DriverCalibrationTest, ThreeStepsReadThirdsThenCompleteAtAHundred) {
  StartUnit();
  Control("calib steps 3");
  CScannerLLD driver(path_);
  OpenAndLock(driver);
  // Before any calibration: "Not Calibrated", with its document.
  Status before = Query(driver);
  EXPECT_EQ(before.result, 0u);
  EXPECT_EQ(before.code, 0u);
  EXPECT_EQ(TextAt(before.document, u"/RZDMaintenanceStatus/Status"), u"Not Calibrated");
  EXPECT_FALSE(driver.IsCalibrationRunning());

  std::u16string start;
  ASSERT_EQ(Start(driver, &start), 0u);
  EXPECT_EQ(TextAt(start, u"/RZDMaintenanceStatus/ScannerName"), u"Quarx M48tz Scanner");
  EXPECT_EQ(driver.m_ulStatus, state::kCalibrating);
  EXPECT_EQ(Start(driver), lld::kWrongSequence);  // a second start
  EXPECT_EQ(driver.DoControlCode(cc::kResetCounter, u"/RZDScanner/CleanCounter", nullptr, &before.code, 4, nullptr,
                                 nullptr),
            lld::kWrongSequence);  // nothing else talks to the unit meanwhile

  Status last;
  std::vector<uint32_t> seen = FollowToTheEnd(driver, last);
  if (!seen.empty() && seen.front() == 0) seen.erase(seen.begin());  // asked before the first step
  EXPECT_EQ(seen, (std::vector<uint32_t>{33, 66, 99}));
  ASSERT_EQ(last.result, 0u);
  EXPECT_EQ(last.code, calibration::status::kComplete);
  EXPECT_EQ(TextAt(last.document, u"/RZDMaintenanceStatus/StatusText"), u"Calibration completed successfully");
  EXPECT_FALSE(TextAt(last.document, u"/RZDMaintenanceStatus/Progress"));
  ASSERT_TRUE(driver.m_pCalibration);
  EXPECT_EQ(driver.m_pCalibration->progress.load(), 100u);
  EXPECT_TRUE(driver.IsCalibrationRunning());  // operation 67: calibration data were read
  EXPECT_TRUE(driver.IsCalibrationTimeUp());   // operation 68
  EXPECT_EQ(driver.m_ulStatus, state::kLocked);
  // The unit got the start and one step poll per step.
  const std::vector<std::string> log = TakeUnitLog();
  EXPECT_EQ(CountBlocks(log, ReadBlockOf(0x6F)), 1u);
  EXPECT_EQ(CountBlocks(log, SendBlockOf(0x60)), 1u);
  EXPECT_EQ(CountBlocks(log, ReadBlockOf(0x6D)), 3u);
  // Back in state 2 a query reports "Not Calibrated" again.
  EXPECT_EQ(Query(driver).code, 0u);
}

TEST_F(DriverCalibrationTest, AFailingStepEndsWithItsError) {
  StartUnit();
  CScannerLLD driver(path_);
  OpenAndLock(driver);
  Control("calib steps 3");
  Control("calib fail 2");
  ASSERT_EQ(Start(driver), 0u);
  Status last;
  FollowToTheEnd(driver, last);
  ASSERT_EQ(last.result, 0u);
  EXPECT_EQ(last.code, calibration::status::kCompleteWithError);
  EXPECT_EQ(TextAt(last.document, u"/RZDMaintenanceStatus/ErrorCode"), u"37");
  EXPECT_EQ(TextAt(last.document, u"/RZDMaintenanceStatus/ErrorDescription"), u"Target Failure");
  EXPECT_EQ(driver.m_ulStatus, state::kLocked);
  EXPECT_TRUE(driver.IsCalibrationRunning());  // the first step had succeeded
  EXPECT_FALSE(driver.IsCalibrationTimeUp());
  EXPECT_EQ(Query(driver).code, 0u);

  // A calibration whose first step fails has no data: the next query in state 2 reports the error.
  Control("calib fail 1");
  ASSERT_EQ(Start(driver), 0u);
  FollowToTheEnd(driver, last);
  EXPECT_EQ(last.code, calibration::status::kCompleteWithError);
  EXPECT_EQ(Query(driver).result, 37u);
}

TEST_F(DriverCalibrationTest, ACalibrationWithoutStepsEndsAtOnceAndTheCloseReturns) {
  StartUnit();
  Control("calib steps 0");
  CScannerLLD driver(path_);
  OpenAndLock(driver);
  ASSERT_EQ(Start(driver), 0u);
  Status last;
  EXPECT_TRUE(FollowToTheEnd(driver, last).empty());
  EXPECT_EQ(last.code, calibration::status::kComplete);
  EXPECT_EQ(driver.m_pCalibration->progress.load(), 100u);
  EXPECT_EQ(CountBlocks(TakeUnitLog(), ReadBlockOf(0x6D)), 0u);

  // Closed while in state 5 (the end not yet asked for): the close returns.
  ASSERT_EQ(Start(driver), 0u);
  EXPECT_EQ(driver.CloseScanner(), 0u);
  EXPECT_FALSE(driver.m_hCalibThread);
  EXPECT_EQ(driver.m_ulStatus, state::kClosed);
}

TEST_F(DriverCalibrationTest, ACloseOrAnUnlockEndsARunningCalibrationAtOnce) {
  StartUnit();
  Control("calib steps 50");
  for (int how = 0; how < 3; ++how) {
    SCOPED_TRACE(how == 0 ? "unlock" : how == 1 ? "close" : "destruction");
    auto driver = std::make_unique<CScannerLLD>(path_);
    driver->m_ulCalibStepWait = 600000;  // only a stop ends the wait after a step
    OpenAndLock(*driver);
    ASSERT_EQ(Start(*driver), 0u);
    const std::shared_ptr<calibration::Run> run = driver->m_pCalibration;
    while (!run->dataRead.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (how == 0) {
      EXPECT_EQ(driver->UnlockScanner(), 0u);
      EXPECT_EQ(driver->m_ulStatus, state::kOpen);
      EXPECT_FALSE(driver->HoldsSemaphore());
    } else if (how == 1) {
      EXPECT_EQ(driver->CloseScanner(), 0u);
    }
    driver.reset();
    EXPECT_EQ(run->status.load(), calibration::status::kCanceled);
  }
}

TEST_F(DriverCalibrationTest, StatesAndArguments) {
  StartUnit();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  EXPECT_EQ(Start(driver), lld::kWrongSequence);  // not locked
  EXPECT_EQ(Query(driver).result, lld::kWrongSequence);
  const uint32_t timeout = 5000;
  ASSERT_EQ(driver.LockScanner(&timeout, sizeof timeout), 0u);
  uint32_t out = 0;
  Bstr document;
  EXPECT_EQ(driver.GetCalibrationStatus(nullptr, nullptr, 4, document.Out()), lld::kInvalidParameter);
  EXPECT_EQ(driver.GetCalibrationStatus(nullptr, &out, 3, document.Out()), lld::kInvalidParameter);
  EXPECT_EQ(driver.GetCalibrationStatus(nullptr, &out, 4, nullptr), lld::kInvalidParameter);
  EXPECT_FALSE(document);
  EXPECT_EQ(driver.GetCalibrationStatus(nullptr, &out, 4, document.Out()), 0u);
  EXPECT_TRUE(document);
}

}  // namespace
}  // namespace rzd::lowdrv::test

// ---- A calibration thread that does not report its start.
namespace rzd::lowdrv::test {
namespace {

// The start waits the calibration-thread wait for the thread's started event; a thread that is
// still running without having set it is told to stop and the start fails with 0x8009, in state
// 2, without a start document and with nothing sent to the unit. The next start works.
TEST_F(DriverCalibrationTest, AThreadThatDoesNotReportItsStartFailsTheStartWith8009) {
  StartUnit();
  CScannerLLD driver(path_);
  OpenAndLock(driver);
  driver.m_ulCalibThreadWait = 50;
  auto ended = std::make_shared<std::atomic<bool>>(false);
  driver.m_CalibrationBody = [ended](calibration::Run& run) {
    run.stop.Wait(INFINITE);  // never sets run.started
    ended->store(true);
    return 0u;
  };
  TakeUnitLog();
  std::u16string document = u"untouched";
  Bstr start;
  EXPECT_EQ(driver.DoControlCode(cc::kStartCalibration, nullptr, start.Out(), nullptr, 0, nullptr, nullptr),
            lld::kNoMemory);
  EXPECT_FALSE(start);
  EXPECT_EQ(driver.m_ulStatus, state::kLocked);
  EXPECT_FALSE(driver.m_hCalibThread);
  EXPECT_TRUE(rzd::test::Eventually([&] { return ended->load(); })) << "the thread was not told to stop";
  EXPECT_TRUE(TakeUnitLog().empty());
  EXPECT_EQ(Query(driver).code, calibration::status::kNotCalibrated);

  driver.m_CalibrationBody = nullptr;
  Control("calib steps 0");
  ASSERT_EQ(Start(driver, &document), 0u);
  EXPECT_EQ(TextAt(document, u"/RZDMaintenanceStatus/ScannerName"), u"Quarx M48tz Scanner");
  EXPECT_EQ(driver.m_ulStatus, state::kCalibrating);
  Status last;
  FollowToTheEnd(driver, last);
  EXPECT_EQ(last.code, calibration::status::kComplete);
  EXPECT_EQ(driver.m_ulStatus, state::kLocked);
}

}  // namespace
}  // namespace rzd::lowdrv::test
