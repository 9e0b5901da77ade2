// The unit's buttons thread: one per unit across processes, run by the process that opened the
// unit while the button-thread event was free, ended by that process's last close (or by itself
// when the unit goes away) and then taken over by the next opener. And the polls of what it
// recorded: the Buttons document, one button, the double-feed decision buttons.
#include "driver_unit_fixture.h"

#include "buttons/button_table.h"
#include "lowdrv/core/driver_codes.h"
#include "lowdrv/core/driver_process.h"

#include <atomic>
#include <thread>

namespace rzd::lowdrv::test {
namespace {

const std::u16string kOldDriverName =
    u"RORuz2006OZIDODusbvid2e5apid0148qm48tz0000016bdd1fc6810f11d0bec708002be2092f";
const std::u16string kButtonEventName =
    u"Global\\usbvid2e5apid0148qm48tz0000016bdd1fc6810f11d0bec708002be2092f_ButtonThreadEvent";

using DriverButtonsTest = DriverUnitTest;

using rzd::test::Eventually;

// The unit's report with this function byte has been recorded.
bool Recorded(uint8_t function) {
  return Eventually([function] { return buttons::FunctionByte() == function; });
}

LLDError Lock(CRZDREduzidLLD& driver) {
  uint32_t timeoutMs = 5000;
  return driver.LockScanner(&timeoutMs, sizeof timeoutMs);
}

std::u16string PollButtons(CRZDREduzidLLD& driver, LLDError* result = nullptr) {
  Bstr out;
  const LLDError r = driver.PollButtons(out.Out());
  if (result) *result = r;
  return out.Str();
}

std::u16string ButtonEntry(int number, int function, const char16_t* press) {
  return FormatW(u"<Button ID=\"%d\">\r\n<Event Function=\"%d\">%s</Event>\r\n"
                 u"<XPath><![CDATA[/Scanner/Buttons/List/Item[@ID=\"Button%d\"]]]></XPath>\r\n</Button>\r\n",
                 number, function, press, number);
}

constexpr char16_t kNoButtons[] = u"<Buttons>\r\n</Buttons>";

// The model driver with a last pass over its supported document that adds the button items a
// device description could carry: one numbered past the table, one with an ID of another form,
// and a double-feed stop button without the three-button subtype.
class DriverWithMoreButtons : public CScannerLLD {
 public:
  using CScannerLLD::CScannerLLD;
  void LLDHookA(MSXML6StoreBSTR& store) override {
    CScannerLLD::LLDHookA(store);
    const std::pair<const char16_t*, const char16_t*> items[] = {
        {u"Button16", u"Simplex"}, {u"Knob4", u"Simplex"}, {u"Button10", u"DFDStop"}, {u"Button11", u"DFDIgnore"}};
    for (const auto& [id, type] : items) {
      ASSERT_TRUE(store.SelectNode(u"//Buttons/List"));
      ASSERT_TRUE(store.AddElement(u"Item"));
      store.SetAttribute(u"Name", u"Button");
      store.SetAttribute(u"ID", id);
      store.SetAttribute(u"Type", type);
    }
  }
};

std::u16string ItemPath(const char16_t* id) { return FormatW(u"//Item[@ID=\"%s\"]", id); }

uint32_t PollButton(CRZDREduzidLLD& driver, const char16_t* id, LLDError* result = nullptr) {
  uint32_t state = 99;
  const LLDError r = driver.PollButton(&state, ItemPath(id).c_str());
  if (result) *result = r;
  return state;
}

TEST_F(DriverButtonsTest, TheProcessRunsTheThreadUntilItsLastCloseWhicheverObjectStartedIt) {
  StartUnit();
  auto starter = std::make_unique<CScannerLLD>(path_);
  ASSERT_EQ(starter->OpenScanner(), 0u);
  EXPECT_TRUE(ButtonsThreadRunsHere());
  auto other = std::make_unique<CScannerLLD>(path_);
  ASSERT_EQ(other->OpenScanner(), 0u);
  EXPECT_TRUE(ButtonsThreadRunsHere());

  ObjectResult<Event> buttonEvent = Event::Open(kButtonEventName);
  ASSERT_TRUE(buttonEvent);
  // The object that started the thread goes; the thread stays with the process.
  starter.reset();
  EXPECT_TRUE(ButtonsThreadRunsHere());
  EXPECT_EQ(buttonEvent.handle.Wait(0), WAIT_TIMEOUT);

  // The last close ends it and gives the unit's event back for another process.
  ASSERT_EQ(other->CloseScanner(), 0u);
  EXPECT_FALSE(ButtonsThreadRunsHere());
  EXPECT_EQ(buttonEvent.handle.Wait(0), WAIT_OBJECT_0);
  buttonEvent.handle.Set();

  // The next open of the process starts it again.
  ASSERT_EQ(other->OpenScanner(), 0u);
  EXPECT_TRUE(ButtonsThreadRunsHere());
  EXPECT_EQ(DriverOpenCount(), 1u);
}

TEST_F(DriverButtonsTest, OneThreadPerUnitAcrossProcessesHandedOverWhenItsProcessCloses) {
  StartUnit();
  Event opened = NamedEvent("a_opened");
  NamedEvent("a_close");
  Event closed = NamedEvent("a_closed");
  NamedEvent("a_end");
  const auto outA = StartProbe(
      {"open", "buttons", "signal", "a_opened", "wait", "a_close", "close", "buttons", "signal", "a_closed", "wait", "a_end"});
  ASSERT_TRUE(WaitFor(opened));

  // Process A runs it: this process and a third one do not.
  CScannerLLD first(path_);
  ASSERT_EQ(first.OpenScanner(), 0u);
  EXPECT_FALSE(ButtonsThreadRunsHere());
  const auto outB = StartProbe({"open", "buttons", "close"});
  ASSERT_EQ(WaitProbe(1), 0);
  EXPECT_EQ(ReadLines(outB), (std::vector<std::string>{"open 0", "buttons 0", "close 0"}));

  // A closes: the thread ends there and the next opener here takes it over.
  Event(events_[1]).Set();
  ASSERT_TRUE(WaitFor(closed));
  EXPECT_FALSE(ButtonsThreadRunsHere());
  CScannerLLD second(path_);
  ASSERT_EQ(second.OpenScanner(), 0u);
  EXPECT_TRUE(ButtonsThreadRunsHere());

  Event(events_[3]).Set();
  ASSERT_EQ(WaitProbe(0), 0);
  EXPECT_EQ(ReadLines(outA), (std::vector<std::string>{"open 0", "buttons 1", "close 0", "buttons 0"}));
}

TEST_F(DriverButtonsTest, AThreadWhoseProcessWasKilledIsTakenOverByTheNextOpener) {
  StartUnit();
  Event opened = NamedEvent("k_opened");
  NamedEvent("k_end");
  StartProbe({"open", "buttons", "signal", "k_opened", "wait", "k_end"});
  ASSERT_TRUE(WaitFor(opened));

  // The probe runs the thread; this process keeps the unit open all along.
  CScannerLLD keeper(path_);
  ASSERT_EQ(keeper.OpenScanner(), 0u);
  EXPECT_FALSE(ButtonsThreadRunsHere());
  probes_[0].Kill();  // killed while it runs the unit's buttons thread

  // Its take of the unit's event came back with it: the next open here starts the thread.
  CScannerLLD next(path_);
  ASSERT_EQ(next.OpenScanner(), 0u);
  EXPECT_TRUE(ButtonsThreadRunsHere());
  EXPECT_EQ(next.CloseScanner(), 0u);
  EXPECT_EQ(keeper.CloseScanner(), 0u);
}

TEST_F(DriverButtonsTest, OpensAndClosesOnManyThreadsKeepTheCountAndTheThreadTogether) {
  StartUnit();
  // Held by the test so that they outlive the driver objects.
  ObjectResult<Event> buttonEvent = Event::Create(kButtonEventName, false, true);
  ASSERT_TRUE(buttonEvent);
  ObjectResult<Event> oldDriver = Event::Create(kOldDriverName, false, true);
  ASSERT_TRUE(oldDriver);
  ObjectResult<Semaphore> semaphore = Semaphore::Create(u"Global\\M48tzLLD_qm48tz000001", 1, 1);
  ASSERT_TRUE(semaphore);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 3; ++i) {
        CScannerLLD driver(path_);
        if (driver.OpenScanner() != 0) ++failures;
        // While any object of the process is open, the process runs the thread.
        if (!ButtonsThreadRunsHere() || DriverOpenCount() == 0) ++failures;
        if (driver.CloseScanner() != 0) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(DriverOpenCount(), 0u);
  EXPECT_FALSE(ButtonsThreadRunsHere());
  // Everything the opens took was given back.
  EXPECT_EQ(buttonEvent.handle.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(oldDriver.handle.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(semaphore.handle.Wait(0), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace rzd::lowdrv::test

namespace rzd::lowdrv::test {
namespace {

TEST_F(DriverButtonsTest, PressesAreListedOnceAndAReportOfUnknownButtonsOnlyClears) {
  StartUnit();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  LLDError result = 0;
  PollButtons(driver, &result);
  EXPECT_EQ(result, lld::kWrongSequence) << "polled before the lock";
  ASSERT_EQ(Lock(driver), 0u);

  ASSERT_EQ(Control("press 3,5 function=4"), "ok");
  ASSERT_TRUE(Recorded(4));
  EXPECT_EQ(PollButtons(driver, &result),
            u"<Buttons>\r\n" + ButtonEntry(3, 4, u"Short") + ButtonEntry(5, 4, u"Short") + u"</Buttons>");
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(PollButtons(driver), kNoButtons) << "each press is listed once";

  // A long press of button 20 (no such entry) replaces the table: the unpolled 7 is gone.
  ASSERT_EQ(Control("press 7 long function=5"), "ok");
  ASSERT_TRUE(Recorded(5));
  ASSERT_EQ(Control("event C1 14 00 00 00 00 09"), "ok");
  ASSERT_TRUE(Recorded(9));
  EXPECT_EQ(PollButtons(driver), kNoButtons);

  ASSERT_EQ(Control("press 2 long function=6"), "ok");
  ASSERT_TRUE(Recorded(6));
  EXPECT_EQ(PollButtons(driver), u"<Buttons>\r\n" + ButtonEntry(2, 6, u"Long") + u"</Buttons>");
}

TEST_F(DriverButtonsTest, ShortReportsNeverTurnBytesOfAnEarlierReportIntoPresses) {
  StartUnit();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  ASSERT_EQ(Lock(driver), 0u);
  // A whole report that presses nothing but carries bytes 7-10.
  ASSERT_EQ(Control("event 80 00 00 00 00 00 01 02 04 06 08"), "ok");
  ASSERT_TRUE(Recorded(1));
  // Seven bytes announcing fifteen buttons: only the numbers that arrived count (byte 6, 0x20,
  // is no button), never 2, 4, 6 and 8 from the report before.
  ASSERT_EQ(Control("event 8F 10 10 10 10 10 20"), "ok");
  ASSERT_TRUE(Recorded(0x20));
  EXPECT_EQ(PollButtons(driver), kNoButtons);
  // One byte: the table is cleared and the function byte kept.
  ASSERT_EQ(Control("press 9 function=3"), "ok");
  ASSERT_TRUE(Recorded(3));
  ASSERT_EQ(Control("event 82"), "ok");
  ASSERT_EQ(Control("event 80 00 00 00 00 00 0B"), "ok");
  ASSERT_TRUE(Recorded(0x0B));
  EXPECT_EQ(PollButtons(driver), kNoButtons);
}

TEST_F(DriverButtonsTest, OneButtonIsReadAndClearedAndBadIdsAreRefused) {
  StartUnit();
  DriverWithMoreButtons driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  LLDError result = 0;
  PollButton(driver, u"Button3", &result);
  EXPECT_EQ(result, lld::kWrongSequence) << "a front-panel button is read only while locked";
  ASSERT_EQ(Lock(driver), 0u);

  ASSERT_EQ(Control("press 3 function=2"), "ok");
  ASSERT_TRUE(Recorded(2));
  EXPECT_EQ(PollButton(driver, u"Button3", &result), 1u);
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(PollButton(driver, u"Button3", &result), 0u);

  struct Case {
    std::u16string xpath;
    LLDError expected;
  };
  const Case cases[] = {
      {ItemPath(u"Button16"), lld::kInvalidXmlValue},  // past the 16 entries
      {ItemPath(u"Knob4"), lld::kInternal},            // not Button and a number
      {u"//Item[@ID=\"Nothing\"]", lld::kInvalidXmlValue},
      {u"//Buttons/List", lld::kInternal},              // an element without an ID
  };
  for (const Case& c : cases) {
    uint32_t state = 99;
    EXPECT_EQ(driver.PollButton(&state, c.xpath.c_str()), c.expected) << ToUtf8(c.xpath);
    EXPECT_EQ(state, 0u) << ToUtf8(c.xpath);
  }
  // Through the control code: a bad ID is 0x8002 with no bytes written.
  uint32_t out = 99, size = sizeof out;
  const std::u16string knob = ItemPath(u"Knob4");
  EXPECT_EQ(driver.DoControlCode(cc::kPollButton, knob.c_str(), nullptr, nullptr, 0, &out, &size), lld::kInternal);
  EXPECT_EQ(size, 0u);
}

TEST_F(DriverButtonsTest, DoubleFeedButtonsFromThePanelAndFromTheEngine) {
  StartUnit();
  DriverWithMoreButtons driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  // The decision buttons answer in any state.
  ASSERT_EQ(Control("press 4 long function=7"), "ok");
  ASSERT_TRUE(Recorded(7));
  EXPECT_EQ(PollButton(driver, u"Button11"), 0u) << "ignore takes a short press";
  EXPECT_EQ(PollButton(driver, u"Button10"), 1u) << "stop takes the long press";
  EXPECT_EQ(PollButton(driver, u"Button10"), 0u) << "once";

  // The three-button unit: the engine's decision is read, reset on the unit, and kept until the
  // button it names is polled.
  TakeUnitLog();
  ASSERT_EQ(Control("dfd stop"), "ok dfd 3");
  EXPECT_EQ(PollButton(driver, u"Button7"), 0u) << "ignore";
  EXPECT_EQ(PollButton(driver, u"Button9"), 0u) << "retry";
  const std::vector<std::string> log = TakeUnitLog();
  EXPECT_EQ(std::count(log.begin(), log.end(), "data 12: 00 00 01 0C 01 00 00 00 00 00 00 00"), 1)
      << "the decision is reset once";
  EXPECT_EQ(PollButton(driver, u"Button8"), 1u) << "stop";
  EXPECT_EQ(PollButton(driver, u"Button8"), 0u) << "the engine, asked again, has no decision";
  const std::vector<std::string> last = TakeUnitLog();
  EXPECT_FALSE(last.empty());
  EXPECT_EQ(std::count(last.begin(), last.end(), "data 12: 00 00 01 0C 01 00 00 00 00 00 00 00"), 0);
}

TEST_F(DriverButtonsTest, UnplugEndsTheThreadAndAnotherProcessTakesItOver) {
  StartUnit();
  CScannerLLD runner(path_);
  ASSERT_EQ(runner.OpenScanner(), 0u);
  ObjectResult<Event> buttonEvent = Event::Open(kButtonEventName);
  ASSERT_TRUE(buttonEvent);
  ASSERT_TRUE(ButtonsThreadRunsHere());
  Event opened = NamedEvent("b_opened");
  NamedEvent("b_open_again");
  Event reopened = NamedEvent("b_reopened");
  NamedEvent("b_end");
  // Process B has the unit open the whole time; its first open cannot take the thread.
  const auto outB = StartProbe({"open", "buttons", "signal", "b_opened", "wait", "b_open_again", "open", "buttons",
                                "signal", "b_reopened", "wait", "b_end", "close"});
  ASSERT_TRUE(WaitFor(opened));

  ASSERT_EQ(Control("unplug"), "ok");
  // Without its unit the thread ends by itself and gives the thread up once.
  ASSERT_TRUE(Eventually([] { return !ButtonsThreadRunsHere(); }));
  ASSERT_EQ(Control("replug"), "ok");
  Event(events_[1]).Set();
  ASSERT_TRUE(WaitFor(reopened));
  // B took it over: the event is taken again, and this process's last close gives nothing back.
  EXPECT_EQ(buttonEvent.handle.Wait(0), WAIT_TIMEOUT);
  ASSERT_EQ(runner.CloseScanner(), 0u);
  EXPECT_EQ(buttonEvent.handle.Wait(0), WAIT_TIMEOUT) << "given back exactly once, not again at the close";
  Event(events_[3]).Set();
  ASSERT_EQ(WaitProbe(0), 0);
  EXPECT_EQ(ReadLines(outB), (std::vector<std::string>{"open 0", "buttons 0", "open 0", "buttons 1", "close 0"}));
}

}  // namespace
}  // namespace rzd::lowdrv::test

// ---- The head of the Buttons document.
namespace rzd::lowdrv::test {
namespace {

// The document names the flatbed as its source while the settings' flatbed flag is set (the last
// source the settings converted was a flatbed), with or without presses; otherwise it has no
// attribute.
TEST_F(DriverButtonsTest, TheButtonsDocumentNamesTheFlatbedWhileTheSettingsSourceIsOne) {
  StartUnit();
  CScannerLLD driver(path_);
  ASSERT_EQ(driver.OpenScanner(), 0u);
  ASSERT_EQ(Lock(driver), 0u);
  driver.m_pSettings->m_bFlatbedSource = 1;
  EXPECT_EQ(PollButtons(driver), u"<Buttons DocumentSource='Flatbed'>\r\n</Buttons>");
  ASSERT_EQ(Control("press 4 long function=3"), "ok");
  ASSERT_TRUE(Recorded(3));
  EXPECT_EQ(PollButtons(driver),
            u"<Buttons DocumentSource='Flatbed'>\r\n" + ButtonEntry(4, 3, u"Long") + u"</Buttons>");
  driver.m_pSettings->m_bFlatbedSource = 0;
  ASSERT_EQ(Control("press 6 function=7"), "ok");
  ASSERT_TRUE(Recorded(7));
  EXPECT_EQ(PollButtons(driver), u"<Buttons>\r\n" + ButtonEntry(6, 7, u"Short") + u"</Buttons>");
}

}  // namespace
}  // namespace rzd::lowdrv::test
