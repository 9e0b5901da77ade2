// The settings panel end to end: the simulated unit, the installation, the scanner service
// started by activation through the bridge, and rzd-confighost showing setpanel.so as a Qt
// plug-in, all in processes of their own. The information page shows what the unit holds, and a
// counter reset on the page resets the counter in the unit.
#include "road_fixture.h"

#include "platform/process.h"
#include "testsupport/file_bytes.h"
#include "testsupport/pictures.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace rzd::test {
namespace {

namespace fs = std::filesystem;

class PanelRoadTest : public RoadTest {
 protected:
  // rzd-confighost --plugin with these arguments, headless; its outcome.
  Outcome Host(const std::vector<std::string>& arguments) {
    const int n = ++hosts_;
    const fs::path out = RootPath() / ("host-" + std::to_string(n) + ".out");
    const fs::path err = RootPath() / ("host-" + std::to_string(n) + ".err");
    std::string line = "exec \"" + (BinaryDir() / "rzd-confighost").string() + "\" --plugin";
    for (const std::string& argument : arguments) line += " \"" + argument + "\"";
    line += " >\"" + out.string() + "\" 2>\"" + err.string() + "\"";
    std::optional<ChildProcess> child = ChildProcess::Start("/bin/sh", {"-c", line}, {"QT_QPA_PLATFORM=offscreen"});
    Outcome run;
    run.exit = child ? child->Wait(120000).value_or(-1000) : -1;
    run.out = ReadBytes(out);
    run.err = ReadBytes(err);
    return run;
  }
  // The "name<TAB>text" lines of --print (information fields and time-out boxes).
  static std::map<std::string, std::string> Fields(const std::string& out) {
    std::map<std::string, std::string> fields;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      const size_t tab = line.find('\t');
      if (tab != std::string::npos && (line.rfind("m_txt", 0) == 0 || line.rfind("m_spn", 0) == 0))
        fields[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return fields;
  }
  // The value of `name` in the unit's "counters" reply ("... roller=123 ...").
  static std::string UnitCounter(const std::string& name) {
    const std::string reply = UnitControl("counters");
    const size_t at = reply.find(" " + name + "=");
    if (at == std::string::npos) return {};
    const size_t begin = at + name.size() + 2;
    return reply.substr(begin, reply.find_first_of(" \n", begin) - begin);
  }

 private:
  int hosts_ = 0;
};

TEST_F(PanelRoadTest, TheInformationPageShowsTheUnitAndAResetReachesIt) {
  StartUnit("1");
  if (HasFatalFailure()) return;
  ASSERT_EQ(Install(), 0);
  ASSERT_EQ(UnitControl("counters roller=123456 friction=23456 clean=345 adfsimplex=4567 jam=7").rfind("ok", 0), 0u);

  const fs::path pictures = PicturesDir() / "panel_road";
  const Outcome shown = Host({"--print", "--grab", pictures.string()});
  ASSERT_EQ(shown.exit, 0) << shown.err;
  std::map<std::string, std::string> fields = Fields(shown.out);
  EXPECT_EQ(fields["m_txtRollerCt"], "123456");
  EXPECT_EQ(fields["m_txtSeparationCt"], "23456");
  EXPECT_EQ(fields["m_txtCleanedCt"], "345");
  EXPECT_EQ(fields["m_txtScanHistorySimplex"], "4567");
  EXPECT_EQ(fields["m_txtJamCt"], "7");
  // The unit's serial number (the simulated unit's default) as the unit gives it, and the file
  // versions of the driver library the service loaded and of the installed data source.
  EXPECT_EQ(fields["m_txtSerialNumber"], "QM48TZ000001");
  EXPECT_FALSE(fields["m_txtFirmwareVersion"].empty());
  EXPECT_EQ(fields["m_txtDriverVersion"], "1, 0, 0, 0");
  EXPECT_EQ(fields["m_txtLLDVersion"], "1, 0, 0, 0");
  EXPECT_TRUE(fs::exists(pictures / "plugin.png"));

  // The feed roller's reset on the page: no box, the page and the unit show 0.
  const Outcome reset = Host({"--press", "m_btnScnrCfgRollerCtReset", "--print"});
  ASSERT_EQ(reset.exit, 0) << reset.err;
  EXPECT_EQ(reset.out.find("box\t"), std::string::npos) << reset.out;
  EXPECT_EQ(Fields(reset.out)["m_txtRollerCt"], "0");
  EXPECT_EQ(UnitCounter("roller"), "0");
  EXPECT_EQ(UnitCounter("friction"), "23456");
  // The reset's lock went with it: a later host resets another counter without "in use".
  const Outcome again = Host({"--press", "m_btnScnrCfgCleanedCtReset", "--print"});
  ASSERT_EQ(again.exit, 0) << again.err;
  EXPECT_EQ(again.out.find("box\t"), std::string::npos) << again.out;
  EXPECT_EQ(UnitCounter("clean"), "0");
}

// The power time-outs page shows the unit's three times: the USB off row (the model's ERP timer)
// with the unit's ERP time beside the sleep and power-off times.
TEST_F(PanelRoadTest, ThePowerPageShowsTheUnitsERPTime) {
  StartUnit("1");
  if (HasFatalFailure()) return;
  ASSERT_EQ(UnitControl("counters sleep=20 off=300 erp=90").rfind("ok", 0), 0u);
  ASSERT_EQ(Install(), 0);

  const fs::path pictures = PicturesDir() / "panel_road_power";
  const Outcome shown = Host({"--print", "--grab", pictures.string()});
  ASSERT_EQ(shown.exit, 0) << shown.err;
  const std::map<std::string, std::string> fields = Fields(shown.out);
  ASSERT_TRUE(fields.count("m_spnScnrCfgERPTimeout")) << shown.out;
  EXPECT_EQ(fields.at("m_spnScnrCfgERPTimeout"), "90 minute(s)");
  EXPECT_EQ(fields.at("m_spnScnrCfgOffTimeout"), "300 minute(s)");
  // The sleep box is aligned with the others: its maximum (120) has one digit less than 4320.
  EXPECT_EQ(fields.at("m_spnScnrCfgTimeout"), "  20 minute(s)");
  EXPECT_TRUE(fs::exists(pictures / "plugin.png"));
  // The unit kept its times: each was within the model's limits when the service opened it.
  EXPECT_EQ(UnitCounter("erp"), "90");
}

}  // namespace
}  // namespace rzd::test
