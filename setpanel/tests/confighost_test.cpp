// rzd-confighost, the small configuration host, run as its own process against the scripted
// service: each road shows the panel for the unit of the device class key and closes the unit
// when it ends; a unit it cannot open is said and the host fails.
#include "panel_fixture.h"

#include "lowdrv/engine/model_ids.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/text.h"
#include "testsupport/pictures.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <tuple>

namespace fs = std::filesystem;

namespace rzd::test {
namespace {

class ConfigHostTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    RegKey unit;
    ASSERT_EQ(RegKey::Open(Hive::LocalMachine, std::u16string(lowdrv::kImageClassKey) + u"\\0000", &unit), 0u);
    unit.SetString(u"CONFIG_UI", u"setpanel.so");
  }
  // Runs the host; its exit code (-100 when it did not end in a minute).
  int Host(const std::vector<std::string>& args) {
    auto child = ChildProcess::Start(BinaryDir() / "rzd-confighost", args);
    if (!child) return -101;
    const std::optional<int> code = child->Wait(60000);
    return code.value_or(-100);
  }
  // Runs the host through a shell; its exit code and standard output (or standard error).
  std::pair<int, std::string> HostOutput(const std::string& arguments, bool errors = false) {
    const fs::path out = SystemRoot() / "host.out";
    auto child = ChildProcess::Start("/bin/sh", {"-c", "exec \"" + (BinaryDir() / "rzd-confighost").string() + "\" " +
                                                           arguments + (errors ? " 2>\"" : " >\"") + out.string() + "\""});
    const int code = child ? child->Wait(60000).value_or(-100) : -101;
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    return {code, text.str()};
  }
  bool Called(const std::string& call) {
    const std::vector<std::string> calls = Calls();
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }
  static size_t IndexOf(const std::vector<std::string>& calls, const std::string& prefix) {
    for (size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].rfind(prefix, 0) == 0) return i;
    }
    return calls.size();
  }
};

TEST_F(ConfigHostTest, EachRoadShowsTheUnitsPanelAndClosesTheUnit) {
  struct Case {
    const char* road;
    std::vector<const char*> pictures;
  };
  const Case cases[] = {{"--plugin", {"plugin"}}, {"--sheet", {"sheet_0", "sheet_1", "sheet_2"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.road);
    ClearCalls();
    const fs::path dir = PicturesDir() / "confighost";
    for (const char* name : c.pictures) fs::remove(dir / (std::string(name) + ".png"));
    ASSERT_EQ(Host({c.road, "--grab", dir.string()}), 0);
    for (const char* name : c.pictures) {
      const QImage picture(QString::fromStdString((dir / (std::string(name) + ".png")).string()));
      EXPECT_FALSE(picture.isNull()) << name;
      EXPECT_GT(picture.width(), 300) << name;
    }
    const std::vector<std::string> calls = Calls();
    // Opened for the unit, the information read, closed at the end.
    const size_t open = IndexOf(calls, "control 14 - <HAL_CLSID>||\t" + ToUtf8(PanelDevice()) + "||</HAL_CLSID>");
    const size_t info = IndexOf(calls, "control 4 ");
    const size_t close = IndexOf(calls, "control 15 ");
    EXPECT_LT(open, info);
    EXPECT_LT(info, close);
    EXPECT_LT(close, calls.size());
  }
}

TEST_F(ConfigHostTest, AUnitThatCannotBeOpenedFailsTheHost) {
  SetAnswers("control 14 170\n");
  for (const char* road : {"--plugin", "--sheet"}) {
    SCOPED_TRACE(road);
    ClearCalls();
    EXPECT_EQ(Host({road, "--grab", (SystemRoot() / "grab").string()}), 1);
    EXPECT_FALSE(Called("control 4 - null"));
    EXPECT_FALSE(fs::exists(SystemRoot() / "grab" / "plugin.png"));
  }
}

// An unattended run presses buttons, prints the fields and the boxes it closed.
TEST_F(ConfigHostTest, PressAndPrint) {
  auto [code, out] = HostOutput("--plugin --press m_btnScnrCfgRollerCtReset --print");
  EXPECT_EQ(code, 0);
  EXPECT_NE(out.find("m_txtRollerCt\t0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("m_txtSerialNumber\tQX48T-0012345\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("m_txtFirstScan"), std::string::npos) << out;  // hidden fields are not printed
  SetAnswers("lock 170\n");
  std::tie(code, out) = HostOutput("--plugin --press m_btnScnrCfgCleanedCtReset");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(out, "box\tError Occurred\tThe scanner is in use by another application.\n");
  std::tie(code, out) = HostOutput("--plugin --press m_btnNoSuchButton");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(Host({"--sheet", "--print"}), 2);
}

// The host's options are its own: Qt never reads them (it knows -plugin, and took --plugin and
// the word after it for a plug-in of its own to load).
TEST_F(ConfigHostTest, QtNeverReadsTheHostsOptions) {
  const std::string dir = (SystemRoot() / "grab").string();
  const std::string lines[] = {"--plugin --grab \"" + dir + "\"", "--plugin --print", "--sheet --grab \"" + dir + "\"",
                               "--unit 0000 --plugin --panel \"" + (BinaryDir() / ".." / "lib" / "setpanel.so").string() +
                                   "\" --grab \"" + dir + "\""};
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    const auto [code, errors] = HostOutput(line, true);
    EXPECT_EQ(code, 0) << errors;
    EXPECT_EQ(errors.find("No such plugin"), std::string::npos) << errors;
  }
  EXPECT_TRUE(fs::exists(SystemRoot() / "grab" / "plugin.png"));
  EXPECT_TRUE(fs::exists(SystemRoot() / "grab" / "sheet_2.png"));
  // Qt's own options are none of the host's.
  EXPECT_EQ(Host({"--plugin", "-plugin", "evdevkeyboard"}), 2);
  EXPECT_EQ(Host({"-platform", "offscreen", "--sheet"}), 2);
}

TEST_F(ConfigHostTest, BadArgumentsAndUnknownUnits) {
  EXPECT_EQ(Host({}), 2);
  EXPECT_EQ(Host({"--plugin", "--sheet"}), 2);
  EXPECT_EQ(Host({"--plugin", "--unit"}), 2);
  EXPECT_EQ(Host({"--plugin", "--unit", "0007"}), 1);
  EXPECT_EQ(Host({"--sheet", "--panel", (SystemRoot() / "missing.so").string()}), 1);
  EXPECT_TRUE(Calls().empty());
}

}  // namespace
}  // namespace rzd::test
