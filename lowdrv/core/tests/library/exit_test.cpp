// A process ending with the driver library loaded: whatever it left open (a unit, a locked unit,
// the diagnostics thread of a failed open) is closed by the library's unload, at the end of the
// process or at an unload before it, and the process ends cleanly. The unit is free again
// afterwards.
#include "engine/sim_unit.h"
#include "engine/unit_server.h"
#include "lowdrv/core/api.h"
#include "lowdrv/core/driver_codes.h"
#include "testsupport/temp_root.h"

#include "platform/kernel.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/types.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {
namespace {

constexpr char kPresent[] = "QM48TZ000001";
constexpr char kAbsent[] = "QM48TZ000009";

std::u16string PathOf(const std::string& serial) {
  return u"\\\\?\\usb#vid_2e5a&pid_0148#" + FromUtf8(serial) + u"#{6bdd1fc6-810f-11d0-bec7-08002be2092f}";
}

struct ExitCase {
  const char* name;
  std::vector<std::string> steps;  // "open <serial>", "lock", "unload"
  std::vector<std::string> answers;
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

class LibraryExitTest : public rzd::test::TempRoot, public ::testing::WithParamInterface<ExitCase> {
 protected:
  void SetUp() override {
    ASSERT_EQ(server_.Start(), ERROR_SUCCESS);
    // The service's online events: the present unit's, and one of a unit that is not there.
    for (const char* serial : {kPresent, kAbsent}) {
      ObjectResult<Event> online = Event::Create(
          u"Global\\RZD_VID_2E5A_PID_0148#" + FromUtf8(serial) + u"_ON", true, true);
      ASSERT_TRUE(online);
      online_.push_back(online.handle);
    }
  }

  // Runs the probe with the steps (serials become device paths); its exit code and answers.
  std::pair<std::optional<int>, std::vector<std::string>> RunProbe(const std::vector<std::string>& steps) {
    const std::filesystem::path out = RootPath() / "probe.out";
    std::vector<std::string> args{"--out", out.string()};
    for (const std::string& step : steps) {
      if (step.starts_with("open ")) {
        args.push_back("open");
        args.push_back(ToUtf8(PathOf(step.substr(5))));
      } else {
        args.push_back(step);
      }
    }
    std::optional<ChildProcess> child = ChildProcess::Start(rzd::test::BinaryDir() / "lowdrv_exit_probe", args);
    EXPECT_TRUE(child);
    if (!child) return {};
    const std::optional<int> code = child->Wait(120000);
    std::vector<std::string> answers;
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);) answers.push_back(line);
    return {code, answers};
  }

  engine::SimUnit unit_;
  engine::UnitServer server_{unit_, engine::ModelUnitOptions(1, kPresent, u"Quarx M48tz Scanner")};
  std::vector<Event> online_;
};

TEST_P(LibraryExitTest, EndsCleanlyAndLeavesTheUnitFree) {
  const ExitCase& c = GetParam();
  const auto [code, answers] = RunProbe(c.steps);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(answers, c.answers);

  // The unit opens and locks at once from here: nothing of the ended process holds it.
  std::string error;
  std::unique_ptr<Module> library = Module::Load(RZD_LOWDRV_LIBRARY, &error);
  ASSERT_TRUE(library) << error;
  const auto control = library->Bind<ControlFunction>("Control");
  ASSERT_NE(control, nullptr);
  const std::u16string path = PathOf(kPresent);
  void* handle = nullptr;
  uint32_t size = sizeof handle;
  Bstr document;
  ASSERT_TRUE(control(nullptr, cc::kOpen, path.c_str(), nullptr, nullptr, 0, &handle, &size, document.Out()));
  uint32_t wait = 0;
  Bstr lockDocument;
  EXPECT_TRUE(control(handle, cc::kLock, nullptr, nullptr, &wait, sizeof wait, nullptr, nullptr, lockDocument.Out()))
      << ToUtf8(lockDocument.View());
  Bstr closeDocument;
  EXPECT_TRUE(control(handle, cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, closeDocument.Out()));
}

INSTANTIATE_TEST_SUITE_P(
    Ends, LibraryExitTest,
    ::testing::Values(ExitCase{"UnitOpen", {std::string("open ") + kPresent}, {"open ok"}},
                      ExitCase{"UnitLocked", {std::string("open ") + kPresent, "lock"}, {"open ok", "lock ok"}},
                      ExitCase{"OpenFailed", {std::string("open ") + kAbsent}, {"open failed"}},
                      ExitCase{"UnloadedWithTheUnitLocked",
                               {std::string("open ") + kPresent, "lock", "unload"},
                               {"open ok", "lock ok", "unload"}},
                      ExitCase{"UnloadedAfterAFailedOpen", {std::string("open ") + kAbsent, "unload"},
                               {"open failed", "unload"}}),
    [](const ::testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rzd::lowdrv::test
