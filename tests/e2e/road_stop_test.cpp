// The service's stop right after a client was killed: its object is still ending on a server
// thread (its read returning, its connection's final release, its unit's unlock and close) when
// the stop arrives, and the process still ends cleanly, with exit status 0 and nothing on its
// standard error (where a sanitizer reports).
#include "road_fixture.h"

#include "forged_reader.h"

#include "platform/process.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "platform/text.h"
#include "testsupport/file_bytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace rzd::test {
namespace {

namespace fs = std::filesystem;

class RoadStopTest : public RoadTest {
 protected:
  void SetUp() override {
    RoadTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(StartAndInstall(kLongBatch));
    RecordServiceEnd();
  }

  // The service's start runs the installed program under a shell that records how it ended:
  // its exit status and its standard error, which a service's start otherwise sends to
  // /dev/null.
  void RecordServiceEnd() {
    ServiceConfig config;
    ASSERT_EQ(QueryServiceRecordConfig(kServiceName, &config), ERROR_SUCCESS);
    const std::vector<std::string> command = SplitCommandLine(config.imagePath);
    ASSERT_EQ(command.size(), 1u) << ToUtf8(config.imagePath);
    const fs::path script = RootPath() / "service-run.sh";
    WriteBytes(script, "\"" + command[0] + "\" 2>\"" + ErrFile().string() + "\"\necho $? >\"" + ExitFile().string() +
                           ".part\"\nmv \"" + ExitFile().string() + ".part\" \"" + ExitFile().string() + "\"\n");
    RegKey key;
    ASSERT_EQ(RegKey::Open(Hive::LocalMachine, ServiceKeyPath(kServiceName), &key), ERROR_SUCCESS);
    ASSERT_EQ(key.SetExpandString(u"ImagePath", u"/bin/sh \"" + script.u16string() + u"\""), ERROR_SUCCESS);
  }
  fs::path ExitFile() const { return RootPath() / "service.exit"; }
  fs::path ErrFile() const { return RootPath() / "service.err"; }

  // Kills the client, stops the service at once, and waits for the service's process to end:
  // it ended by itself, with exit status 0 and an empty standard error.
  void KillAndStopAtOnce(ChildProcess& client) {
    const uint32_t service = ServiceProcessId();
    ASSERT_NE(service, 0u);
    client.Kill();
    ASSERT_EQ(ControlServiceByName(kServiceName, SERVICE_CONTROL_STOP), ERROR_SUCCESS);
    ASSERT_EQ(WaitForServiceState(kServiceName, SERVICE_STOPPED, 60000), ERROR_SUCCESS) << "the stop waited";
    ASSERT_TRUE(Eventually([&] { return fs::exists(ExitFile()); })) << "the service's process did not end";
    EXPECT_FALSE(IsProcessAlive(service));
    EXPECT_EQ(ReadBytes(ExitFile()), "0\n");
    const std::string err = ReadBytes(ErrFile());
    EXPECT_TRUE(err.empty()) << err;
  }
};

// rzd-scan is killed while its batch runs (its Read runs in the service).
TEST_F(RoadStopTest, AStopRightAfterAClientWasKilledMidBatchEndsTheServiceCleanly) {
  std::optional<RunningScan> killed = StartLongBatch(RootPath() / "killed");
  ASSERT_TRUE(killed);
  KillAndStopAtOnce(*killed->process);
}

// The client is killed while its Read waits in the service for a block it never gives back; the
// Read returns once the service sees its caller gone, shortly after the stop came.
TEST_F(RoadStopTest, AStopRightAfterAClientWasKilledWhileItsCallRanEndsTheServiceCleanly) {
  const fs::path steps = RootPath() / "client.out";
  std::optional<ChildProcess> client = StartStalledForgedReader(steps);
  ASSERT_TRUE(client);
  KillAndStopAtOnce(*client);
}

}  // namespace
}  // namespace rzd::test
