// How the pages call the unit: the locked pattern of a counter reset (process id, lock, control,
// unlock) with the box each answer shows, and a panel without a service object.
#include "panel_fixture.h"

#include "platform/process.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace rzd::test {
namespace {

class ServiceCallsTest : public PanelTest {
 protected:
  // Presses the feed roller's reset with the scripted answers; the calls after the refresh.
  std::vector<std::string> Reset(QWidget* panel, const std::string& answers) {
    ClearCalls();
    SetAnswers(answers);
    Child<QPushButton>(panel, "m_btnScnrCfgRollerCtReset")->click();
    std::vector<std::string> calls;
    for (const std::string& call : Calls()) {
      // The refresh after a reset reads the documents again; the table is about the pattern.
      if (call.rfind("control 6 ", 0) == 0 || call.rfind("control 4 ", 0) == 0) continue;
      calls.push_back(call);
    }
    return calls;
  }
};

const QString kBusy = QStringLiteral("The scanner is in use by another application.");
const QString kNoConnection = QStringLiteral("No connection with device");

TEST_F(ServiceCallsTest, LockControlUnlockTable) {
  const std::string pid = std::to_string(CurrentProcessId());
  const std::string processId = "control 35 " + pid + " null";
  const std::string lock = "lock " + pid + " 5000";
  const std::string reset = "control 19 0 /RZDScanner/RollerScanCount";
  struct Case {
    const char* name;
    std::string answers;
    std::vector<std::string> calls;
    std::vector<QString> boxes;
  };
  const Case cases[] = {
      {"lock busy: no control, no unlock", "lock 170\n", {processId, lock}, {kBusy}},
      {"lock fails", "lock -2147467259\n", {processId, lock}, {kNoConnection}},
      {"control refused by the driver (12): box and unlock", "control 19 12\n", {processId, lock, reset, "unlock"},
       {kNoConnection}},
      {"control busy: box and unlock", "control 19 170\n", {processId, lock, reset, "unlock"}, {kBusy}},
      {"control fails as a call: box and unlock", "control 19 -2147417848\n", {processId, lock, reset, "unlock"},
       {kNoConnection}},
      {"unlock fails", "unlock -2147467259\n", {processId, lock, reset, "unlock"}, {kNoConnection}},
      {"success: unlock, no box", "", {processId, lock, reset, "unlock"}, {}},
  };
  // One panel and one service object for the whole table: only the pattern's calls are logged.
  QWidget* panel = OpenPluginPanel();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BoxWatcher boxes;
    WriteDocument("info.xml", DefaultInfoDocument());
    EXPECT_EQ(Reset(panel, c.answers), c.calls);
    EXPECT_EQ(boxes.Texts(), c.boxes);
    for (const SeenBox& box : boxes.Seen()) {
      EXPECT_EQ(box.title, QStringLiteral("Error Occurred"));
      EXPECT_EQ(box.icon, QMessageBox::Critical);
    }
  }
}

// A reset the unit took shows the new count at once; each button sends its own counter.
TEST_F(ServiceCallsTest, EachResetSendsItsCounterAndTheCountShowsZero) {
  QWidget* panel = OpenPluginPanel();
  struct Case {
    const char* button;
    const char* counter;
    const char* box;
  };
  const Case cases[] = {{"m_btnScnrCfgRollerCtReset", "RollerScanCount", "m_txtRollerCt"},
                        {"m_btnScnrCfgSeparationCtReset", "FrictionRollerCount", "m_txtSeparationCt"},
                        {"m_btnScnrCfgCleanedCtReset", "CleanCounter", "m_txtCleanedCt"},
                        {"m_btnScnrCfgJamCtReset", "ADFJamCount", "m_txtJamCt"},
                        {"m_btnScnrCfgMultifeedCtReset", "ADFMultifeedCount", "m_txtMultifeedCt"},
                        {"m_btnScnrCfgScanHistorySimplexReset", "ADFSimplexCount", "m_txtScanHistorySimplex"},
                        {"m_btnScnrCfgScanHistoryDuplexReset", "ADFDuplexCount", "m_txtScanHistoryDuplex"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.counter);
    ClearCalls();
    EXPECT_NE(Child<QLineEdit>(panel, c.box)->text(), QStringLiteral("0"));
    Child<QPushButton>(panel, c.button)->click();
    const std::vector<std::string> calls = Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), std::string("control 19 0 /RZDScanner/") + c.counter), calls.end());
    EXPECT_EQ(Child<QLineEdit>(panel, c.box)->text(), QStringLiteral("0"));
  }
}

TEST_F(ServiceCallsTest, WithoutAServiceObjectEveryButtonSaysNoConnection) {
  auto* base = As<ICorModuleBase>();
  base->setGuid(QString::fromStdU16String(PanelDevice()));
  base->setModule_Instance(nullptr);
  QWidget* panel = As<ICorModuleCfgPanel>()->getCfgPanelUI(0);
  BoxWatcher boxes;
  for (const char* button : {"m_btnScnrCfgRollerCtReset", "m_btnScnrCfgTimeoutSet", "m_btnScnrCfgOffTimeoutReset"}) {
    Child<QPushButton>(panel, button)->click();
  }
  EXPECT_EQ(boxes.Texts(), (std::vector<QString>{kNoConnection, kNoConnection, kNoConnection}));
  EXPECT_TRUE(Calls().empty());
}

}  // namespace
}  // namespace rzd::test
