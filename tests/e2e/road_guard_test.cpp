// What other processes of the user, and other users, cannot do to a scan or to the service: the
// service refuses device events whose record is not whole and scans on; a client that names
// another live process as its buffers' reader and dies leaves neither the unit locked nor the
// service waiting; a client killed mid-batch does not make the next scan busy; while a scan
// runs, nothing the stack made in the root or in /dev/shm is open to another user, and what it
// made in the root is its user's alone in itself (folders 0700, files and sockets owner-only).
#include "road_fixture.h"

#include "device_event_records.h"
#include "forged_reader.h"

#include "scanhost/instance_ids.h"

#include "engine/engine_main.h"
#include "engine/unit_server.h"
#include "interfaces/rzdhal.h"
#include "interfaces/rzdhal_codes.h"
#include "platform/com.h"
#include "platform/devices.h"
#include "platform/root.h"
#include "platform/service_host.h"
#include "platform/text.h"
#include "service/device_event_record.h"
#include "service/service_protocol.h"
#include "testsupport/file_bytes.h"
#include "testsupport/file_modes.h"

#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace rzd::test {
namespace {

namespace fs = std::filesystem;
namespace si = service_internal;

using RoadGuardTest = RoadTest;

TEST_F(RoadGuardTest, DeviceEventsWhoseRecordIsCutLyingOrEmptyAreRefusedAndTheServiceScansAfter) {
  ASSERT_NO_FATAL_FAILURE(StartAndInstall(kLongBatch));
  const Outcome first = ScanOnePage(RootPath() / "first");
  ASSERT_EQ(first.exit, 0) << first.err;
  const uint32_t service = ServiceProcessId();
  ASSERT_NE(service, 0u);

  // The own unit's path (the one rzd-engine serves for instance 0), so that a record read as a
  // whole one would be taken for its arrival.
  const std::u16string unit =
      engine::ModelUnitOptions(0, engine::EngineOptions().serialNumber, u"").entry.interfacePath;
  std::vector<uint8_t> cutHeader = DeviceRecord(unit);
  cutHeader.resize(10);
  const struct {
    const char* label;
    std::vector<uint8_t> record;
  } refused[] = {
      {"empty", {}},
      {"cut inside its header", cutHeader},
      {"claims 4000 bytes", DeviceRecord(unit, true, 4000)},
      {"claims the most a size can say", DeviceRecord(unit, true, 0xFFFFFFFF)},
      {"cut by a character", DeviceRecord(unit, true, std::nullopt, 2)},
      // All of its 20 bytes arrive, and its size says 20: it ends before its class.
      {"cut inside its class", DeviceRecord(u"", false, 20, 8)},
      {"names a size below its header", DeviceRecord(unit, true, 4)},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.label);
    for (uint32_t type : {0x8000u, 0x8004u}) {
      si::ControlRequest request;
      request.control = SERVICE_CONTROL_DEVICEEVENT;
      request.eventType = type;
      request.data = c.record;
      si::ControlReply reply;
      ASSERT_EQ(si::SendControl(kServiceName, request, &reply, 10000), ERROR_SUCCESS);
      EXPECT_EQ(reply.error, static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
      EXPECT_EQ(reply.status.dwCurrentState, static_cast<uint32_t>(SERVICE_RUNNING));
    }
  }
  // A whole record of another device is taken.
  si::ControlRequest other;
  other.control = SERVICE_CONTROL_DEVICEEVENT;
  other.eventType = 0x8000;
  other.data = DeviceRecord(u"\\\\?\\usb#vid_1234&pid_0001#other#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  si::ControlReply reply;
  ASSERT_EQ(si::SendControl(kServiceName, other, &reply, 10000), ERROR_SUCCESS);
  EXPECT_EQ(reply.error, static_cast<uint32_t>(ERROR_SUCCESS));

  EXPECT_EQ(ServiceProcessId(), service) << "the service still runs";
  const Outcome after = ScanOnePage(RootPath() / "after");
  ASSERT_EQ(after.exit, 0) << after.err;
  EXPECT_TRUE(fs::exists(RootPath() / "after" / "page-001-back.png"));
  EXPECT_EQ(ServiceProcessId(), service);
}

// The client's header names this (live) test process as the reader of its blocks; the client
// takes one block, never gives it back, and is killed. The service's Read ends (the client that
// called it is gone, whatever its header says), the unit is unlocked for the next scan, and the
// service stops when asked.
TEST_F(RoadGuardTest, AClientNamingAnotherLiveProcessAsItsReaderLeavesNeitherTheUnitLockedNorTheServiceWaiting) {
  ASSERT_NO_FATAL_FAILURE(StartAndInstall(kLongBatch));
  const fs::path steps = RootPath() / "client.out";
  std::optional<ChildProcess> client = StartStalledForgedReader(steps);
  ASSERT_TRUE(client);
  EXPECT_EQ(ReadBytes(steps), "create 00000000\npid 00000000\nconnect 00000000\nlock 00000000\nstalled 00000000\n");
  client->Kill();

  const Outcome next = ScanOnePage(RootPath() / "next");
  ASSERT_EQ(next.exit, 0) << next.err;
  EXPECT_TRUE(fs::exists(RootPath() / "next" / "page-001-back.png"));
  EXPECT_TRUE(StopService()) << "the service's stop waited";
  EXPECT_EQ(ServiceProcessId(), 0u);
}

// A person who reruns a crashed scan at once is not told that another program uses the unit. Right
// after a client is killed mid-batch its object is still ending its read (until the service sees
// the reader gone); the first connect then waits for that end instead of answering busy: the
// first rzd-scan started at once scans, and so does a connect made at once from this process
// (well inside the time the ending takes).
TEST_F(RoadGuardTest, TheFirstScanStartedAtOnceAfterAClientWasKilledMidBatchScans) {
  ASSERT_NO_FATAL_FAILURE(StartAndInstall(kLongBatch));
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    if (round > 0) {
      ASSERT_EQ(UnitControl(std::string("load ") + kLongBatch).rfind("ok", 0), 0u);
    }
    const fs::path killedOut = RootPath() / ("killed-" + std::to_string(round));
    std::optional<RunningScan> killed = StartLongBatch(killedOut);
    ASSERT_TRUE(killed);
    killed->process->Kill();
    UnitControl("empty");
    const Outcome next = ScanOnePage(RootPath() / ("next-" + std::to_string(round)));
    ASSERT_EQ(next.exit, 0) << next.err;
    EXPECT_TRUE(fs::exists(RootPath() / ("next-" + std::to_string(round)) / "page-001-back.png"));
  }

  // Then clients killed while the unit is in the middle of a sheet (a read runs in their object),
  // and a connect from this process at once.
  ComInit com(COINIT_MULTITHREADED);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(UnitControl(std::string("load ") + kLongBatch).rfind("ok", 0), 0u);
    const fs::path killedOut = RootPath() / ("killed-mid-sheet-" + std::to_string(round));
    std::optional<RunningScan> killed = StartLongBatch(killedOut);
    ASSERT_TRUE(killed);
    ComPtr<IRZDHAL> hal;
    ASSERT_EQ(CoCreateInstance(scanhost::kInstanceClasses[0], nullptr, CLSCTX_LOCAL_SERVER, IID_IRZDHAL, hal.OutVoid()),
              S_OK);
    auto control = [&](LONG code, uint32_t value) {
      LocalVariant in;
      LocalVariant out;
      in.value.vt = VT_UI4;
      in.value.ulVal = value;
      Bstr text;
      return hal->Control(code, nullptr, text.Out(), &in.value, &out.value);
    };
    ASSERT_EQ(control(RZDHAL_CC_SET_PROCESS_ID, CurrentProcessId()), S_OK);
    ASSERT_TRUE(Eventually([] {
      const std::string state = UnitState();
      return state.find(" page=") != std::string::npos && state.find(" page=none") == std::string::npos &&
             state.find("(done)") == std::string::npos;
    })) << "no sheet in the middle of its transfer";
    killed->process->Kill();
    EXPECT_EQ(control(RZDHAL_CC_CONNECT, 0), S_OK) << "not busy";
    LONG status = 0;
    EXPECT_EQ(hal->LockScanner(static_cast<LONG>(CurrentProcessId()), &status, 5000), S_OK) << "the unit is free";
    EXPECT_EQ(hal->UnlockScanner(&status), S_OK);
    EXPECT_EQ(control(RZDHAL_CC_DISCONNECT, 0), S_OK);
    UnitControl("empty");
  }
}

// What the test itself makes in the root, and what is a person's rather than the system's: the
// scan's output files (the shell's redirections), and the folder of pages rzd-scan writes where
// it is told, which follows the person's umask as any document they save does.
bool TheTestsOrAPersons(const fs::path& relative) {
  const std::string first = relative.begin()->string();
  return first == "pages" || (first.rfind("scan-", 0) == 0 && relative.begin() == std::prev(relative.end()));
}

TEST_F(RoadGuardTest, WhileAScanRunsNothingTheStackMadeInTheRootOrInSharedMemoryIsOpenToOtherUsers) {
  // A root as a user with a common umask would make it, and that umask in every process of the
  // system (they inherit it from the test).
  const ScopedUmask commonMask(022);
  ASSERT_EQ(chmod(RootPath().c_str(), 0755), 0);
  ASSERT_NO_FATAL_FAILURE(StartAndInstall(kLongBatch));
  std::optional<RunningScan> scan = StartLongBatch(RootPath() / "pages");
  ASSERT_TRUE(scan);

  // No other user gets through the root to anything in it.
  EXPECT_EQ(ModeOf(RootPath()), 0700u) << "the root is its user's";
  size_t entries = 0;
  std::set<std::string> sockets;
  for (auto it = fs::recursive_directory_iterator(RootPath(), fs::directory_options::skip_permission_denied);
       it != fs::recursive_directory_iterator(); ++it) {
    ++entries;
    const fs::path& path = it->path();
    const fs::path relative = path.lexically_relative(RootPath());
    if (TheTestsOrAPersons(relative)) continue;
    // Not even reachable through a wider root: what the system made is its user's in itself.
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0) << path;
    if (S_ISDIR(info.st_mode)) {
      EXPECT_EQ(info.st_mode & 07777, 0700u) << path << " mode " << std::oct << (info.st_mode & 07777);
    } else {
      EXPECT_TRUE(S_ISREG(info.st_mode) || S_ISSOCK(info.st_mode)) << path << " is neither a file nor a socket";
      EXPECT_EQ(info.st_mode & 077, 0u) << path << " mode " << std::oct << (info.st_mode & 07777);
      if (S_ISSOCK(info.st_mode)) sockets.insert(relative.parent_path().string());
    }
  }
  EXPECT_GT(entries, 20u);
  // Among them the registry with its log and index, the device table, and the sockets of the unit,
  // of the service's controls and of the service's local server.
  for (const char* file : {"registry.db", "registry.db-wal", "registry.db-shm", "devices/.lock"}) {
    EXPECT_TRUE(fs::exists(RootPath() / file)) << file;
  }
  EXPECT_EQ(sockets, (std::set<std::string>{"com", "engine", "services"}));
  // The named objects' bookkeeping is private in itself.
  const fs::path kernel = RootPath() / "kernel";
  EXPECT_EQ(ModeOf(kernel), 0700u);
  size_t lockFiles = 0;
  for (const auto& entry : fs::directory_iterator(kernel)) {
    ++lockFiles;
    EXPECT_EQ(ModeOf(entry.path()), 0600u) << entry.path();
  }
  EXPECT_GT(lockFiles, 0u);
  // /dev/shm is every user's: the segments of this root, the scan's pages and the unit's
  // device-online event among them, are the user's alone.
  const std::string prefix = "rzd." + RootNamespaceToken() + ".";
  bool rasterBuffer = false;
  bool metadataBuffer = false;
  bool onlineEvent = false;
  for (const auto& entry : fs::directory_iterator("/dev/shm")) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    struct stat info {};
    ASSERT_EQ(lstat(entry.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, geteuid()) << name;
    EXPECT_EQ(info.st_mode & 07777, 0600u) << name;
    rasterBuffer = rasterBuffer || name.find("g_RASTERBLOCKS-") != std::string::npos;
    metadataBuffer = metadataBuffer || name.find("g_META-") != std::string::npos;
    onlineEvent = onlineEvent || name.ends_with("_ON");
  }
  EXPECT_TRUE(rasterBuffer);
  EXPECT_TRUE(metadataBuffer);
  EXPECT_TRUE(onlineEvent);

  const Outcome run = scan->Finish();
  ASSERT_EQ(run.exit, 0) << run.err;
  EXPECT_NE(run.out.find("scanned 10 pages"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace rzd::test
