// Engine command execution in both command sets over scripted pipes: phases, check condition
// and automatic sense, result codes, and readiness.
#include "engine_script.h"
#include "lowdrv/engine/command_blocks.h"
#include "lowdrv/engine/command_lock.h"
#include "lowdrv/engine/reduzid_interface.h"
#include "value_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace rzd::lowdrv {
namespace {

using test::ClassicSense;
using test::EngineScript;
using test::NewSense;
using test::Reply;
using test::ScriptedPipes;
using test::SenseData;

std::vector<uint8_t> Filled(size_t n, uint8_t v) { return std::vector<uint8_t>(n, v); }

class CommandTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    pipes_ = std::make_unique<ScriptedPipes>(NewSet());
    script_.Attach(*pipes_);
    iface_.m_bNewCommandSet = NewSet() ? 1 : 0;
    ASSERT_TRUE(iface_.SetDevice(pipes_.get(), kDeviceKindUsb));
  }
  bool NewSet() const { return GetParam(); }
  uint8_t ReadOp() const { return NewSet() ? op::kNewRead : op::kRead10; }
  uint8_t SenseOp() const { return NewSet() ? op::kNewRequestSense : op::kRequestSense; }
  // A generic read of one data type through the set's READ.
  BOOL ReadSomething(uint8_t* buffer, uint32_t length) {
    const Cdb cdb = NewSet() ? NewReadCdb(0x60, length) : ClassicReadCdb(0x60, length);
    return iface_.DoSCSICommandLogged(cdb.data(), static_cast<uint32_t>(cdb.length), buffer, length, kDataIn);
  }

  std::unique_ptr<ScriptedPipes> pipes_;
  EngineScript script_;
  CReduzidInterface iface_;
};

INSTANTIATE_TEST_SUITE_P(BothSets, CommandTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "NewSet" : "ClassicSet"; });

TEST_P(CommandTest, SuccessfulReadWritesOnlyWhatArrived) {
  script_.On(ReadOp(), Reply{Filled(40, 0xAB)});
  uint8_t buffer[100];
  std::fill(std::begin(buffer), std::end(buffer), 0x11);
  EXPECT_TRUE(ReadSomething(buffer, sizeof buffer));  // a short data phase is no failure
  EXPECT_EQ(iface_.m_ulLastError, 0u);
  EXPECT_EQ(iface_.m_byStatus, 0);
  EXPECT_EQ(iface_.m_ulDataTransferred, 40u);
  EXPECT_EQ(buffer[39], 0xAB);
  EXPECT_EQ(buffer[40], 0x11);
  ASSERT_EQ(pipes_->commands.size(), 1u);
  EXPECT_EQ(pipes_->commands[0].timeoutMs, 5000u);  // the command time-out went to the device
  if (!NewSet()) {
    EXPECT_EQ(pipes_->commands[0].cdb.size(), 10u);
  }
}

TEST_P(CommandTest, CheckConditionRunsTheAutomaticSenseAndKeepsTheDataCount) {
  script_.On(ReadOp(), Reply{Filled(20, 1), 2});
  script_.Sense({0x02, 0x04, 0x01});  // not ready, an unlisted pair: the key's default
  uint8_t buffer[64] = {};
  EXPECT_FALSE(ReadSomething(buffer, sizeof buffer));
  EXPECT_EQ(iface_.m_ulLastError, 3u);
  EXPECT_EQ(iface_.m_byStatus, 2);
  EXPECT_EQ(Copy(iface_.m_Sense.CommandInfo), 20u);
  EXPECT_EQ(iface_.m_Sense.ASC, 0x04);
  EXPECT_EQ(iface_.m_ulDataTransferred, 20u);
  EXPECT_EQ(iface_.m_bInRequestSense, 0);
  ASSERT_EQ(pipes_->Opcodes(), std::vector<uint8_t>({ReadOp(), SenseOp()}));
  const std::vector<uint8_t>& sense = pipes_->commands[1].cdb;
  if (NewSet()) {
    EXPECT_EQ(sense[10], 44);
    EXPECT_EQ(sense[11], 0);  // the form sent after a check condition
  } else {
    EXPECT_EQ(sense[4], 22);
  }
}

TEST_P(CommandTest, CommandWithoutDataChecksConditionWithCountZero) {
  script_.On(NewSet() ? op::kNewReserveUnit : op::kReserveUnit, Reply{{}, 2});
  script_.Sense({0x0B, 0x00, 0x00});
  EXPECT_FALSE(iface_.ReserveUnit(0));
  EXPECT_EQ(iface_.m_ulLastError, 31u);  // aborted command: cancelled
  EXPECT_EQ(Copy(iface_.m_Sense.CommandInfo), 0u);
}

TEST_P(CommandTest, LongSenseAsksForThirtyTwoBytes) {
  iface_.m_bLongSense = 1;
  script_.On(ReadOp(), Reply{Filled(4, 1), 2});
  script_.Sense({0x03, 0x3A, 0x00});
  uint8_t buffer[8];
  EXPECT_FALSE(ReadSomething(buffer, sizeof buffer));
  EXPECT_EQ(iface_.m_ulLastError, 2u);
  if (!NewSet()) {
    EXPECT_EQ(pipes_->commands[1].cdb[4], 32);
  }
}

TEST_P(CommandTest, UnitAttentionNeverEndsAFailedCommandWithSuccess) {
  script_.On(ReadOp(), Reply{Filled(4, 1), 2});
  script_.Sense({0x06, 0x28, 0x00});
  uint8_t buffer[8];
  EXPECT_FALSE(ReadSomething(buffer, sizeof buffer));
  EXPECT_EQ(iface_.m_ulLastError, lld::kDeviceReset);
}

TEST_P(CommandTest, AnEarlierCheckConditionDoesNotTriggerSenseForALaterFailedPhase) {
  script_.On(ReadOp(), Reply{Filled(4, 1), 2});
  script_.On(ReadOp(), Reply{{}, 0, 0, ERROR_DEVICE_NOT_CONNECTED});  // data phase fails
  script_.On(ReadOp(), Reply{{}, 0, WAIT_TIMEOUT});                   // command phase fails
  script_.Sense({0x02, 0x04, 0x00});
  uint8_t buffer[8];
  EXPECT_FALSE(ReadSomething(buffer, sizeof buffer));
  ASSERT_EQ(iface_.m_byStatus, 2);
  pipes_->pipeOps.clear();

  EXPECT_FALSE(ReadSomething(buffer, sizeof buffer));
  EXPECT_EQ(iface_.m_ulLastError, lld::kUnreachable);
  EXPECT_EQ(iface_.m_byStatus, 0);
  EXPECT_EQ(pipes_->pipeOps, std::vector<std::string>({"cancel 1", "reset 1", "cancel 2", "reset 2"}));

  pipes_->pipeOps.clear();
  EXPECT_FALSE(ReadSomething(buffer, sizeof buffer));
  EXPECT_EQ(iface_.m_ulLastError, lld::kTimeout);
  EXPECT_EQ(pipes_->pipeOps, std::vector<std::string>({"cancel 2"}));
  // One sense only: the one of the first command.
  const std::vector<uint8_t> ops = pipes_->Opcodes();
  EXPECT_EQ(std::count(ops.begin(), ops.end(), SenseOp()), 1);
}

TEST_P(CommandTest, WriteDataPhaseFailureCancelsAndResetsBothPipes) {
  const uint8_t op = NewSet() ? op::kNewSend : op::kSend10;
  script_.On(op, Reply{{}, 0, 0, ERROR_GEN_FAILURE});
  const uint16_t value = 5;
  EXPECT_FALSE(iface_.SendPowerSavingTime(value));
  EXPECT_EQ(iface_.m_ulLastError, lld::kUnreachable);
  EXPECT_EQ(pipes_->pipeOps, std::vector<std::string>({"cancel 2", "reset 2", "cancel 1", "reset 1"}));
}

TEST_P(CommandTest, StatusPhaseFailure) {
  script_.On(ReadOp(), Reply{Filled(4, 1), 2, 0, 0, WAIT_TIMEOUT});
  uint8_t buffer[8];
  EXPECT_FALSE(ReadSomething(buffer, sizeof buffer));
  EXPECT_EQ(iface_.m_ulLastError, lld::kTimeout);
  EXPECT_EQ(iface_.m_byStatus, 0);  // a status that did not arrive is no check condition
  EXPECT_EQ(pipes_->commands.size(), 1u);
}

TEST_P(CommandTest, FailedSenseLeavesItsOwnTransportCode) {
  script_.On(ReadOp(), Reply{Filled(4, 1), 2});
  script_.On(SenseOp(), Reply{{}, 0, 0, WAIT_TIMEOUT});
  uint8_t buffer[8];
  EXPECT_FALSE(ReadSomething(buffer, sizeof buffer));
  EXPECT_EQ(iface_.m_ulLastError, lld::kTimeout);
  EXPECT_EQ(iface_.m_byStatus, 2);
}

TEST_P(CommandTest, DirectionWithoutDataIsCorrected) {
  const Cdb cdb = NewSet() ? NewResetCdb() : ClassicTestUnitReadyCdb();
  EXPECT_TRUE(iface_.DoSCSICommandLogged(cdb.data(), static_cast<uint32_t>(cdb.length), nullptr, 0, kDataIn));
  EXPECT_EQ(pipes_->commands.size(), 1u);
  EXPECT_TRUE(pipes_->commands[0].dataOut.empty());
  uint8_t buffer[4];
  EXPECT_TRUE(iface_.DoSCSICommandLogged(cdb.data(), static_cast<uint32_t>(cdb.length), buffer, 0, kDataOut));
  EXPECT_EQ(iface_.m_ulDataTransferred, 0u);
}

TEST_P(CommandTest, WaitForUnitReadyPollsUntilReadyAndRestoresTheTimeOut) {
  iface_.m_ulCmdTimeout = 7000;
  if (NewSet()) {
    script_.On(op::kNewRequestSense, Reply{NewSense({0x02, 0x04, 0x01})});
    script_.On(op::kNewRequestSense, Reply{NewSense({0x02, 0x04, 0x01})});
    script_.On(op::kNewRequestSense, Reply{NewSense({0x00, 0x00, 0x00})});
  } else {
    script_.On(op::kTestUnitReady, Reply{{}, 2});
    script_.On(op::kTestUnitReady, Reply{{}, 2});
    script_.On(op::kTestUnitReady, Reply{{}, 0});
    script_.Sense({0x02, 0x04, 0x01});
  }
  EXPECT_EQ(iface_.WaitForUnitReady(), 0u);
  EXPECT_EQ(iface_.m_ulCmdTimeout, 7000u);
  for (const auto& c : pipes_->commands) EXPECT_EQ(c.timeoutMs, 3000u);
  const std::vector<uint8_t> ops = pipes_->Opcodes();
  if (NewSet()) {
    EXPECT_EQ(ops, std::vector<uint8_t>(3, op::kNewRequestSense));
    for (const auto& c : pipes_->commands) EXPECT_EQ(c.cdb[11], 1);  // the polling form
  } else {
    EXPECT_EQ(ops, std::vector<uint8_t>({0x00, 0x03, 0x00, 0x03, 0x00}));
  }
}

TEST_P(CommandTest, WaitForUnitReadyGivesUpAfterTenAttempts) {
  if (NewSet()) {
    script_.On(op::kNewRequestSense, Reply{NewSense({0x02, 0x04, 0x01})});
  } else {
    script_.On(op::kTestUnitReady, Reply{{}, 2});
    script_.Sense({0x02, 0x04, 0x01});
  }
  EXPECT_EQ(iface_.WaitForUnitReady(), 3u);
  EXPECT_EQ(pipes_->commands.size(), NewSet() ? 10u : 20u);
  EXPECT_EQ(iface_.m_ulCmdTimeout, 5000u);
}

TEST_P(CommandTest, WaitForUnitReadyStopsAtOnceOnATimeOut) {
  script_.On(NewSet() ? op::kNewRequestSense : op::kTestUnitReady, Reply{{}, 0, WAIT_TIMEOUT});
  EXPECT_EQ(iface_.WaitForUnitReady(), lld::kTimeout);
  EXPECT_EQ(pipes_->commands.size(), 1u);
  EXPECT_EQ(iface_.m_ulCmdTimeout, 5000u);
}

// A unit attention decodes to 0; a unit that keeps reporting it is not ready, and waiting for it
// must not end with 0 (which would read as "ready").
TEST_P(CommandTest, UnitAttentionIsNeverReportedAsReady) {
  if (NewSet()) {
    script_.On(op::kNewRequestSense, Reply{NewSense({0x06, 0x29, 0x01})});
  } else {
    script_.On(op::kTestUnitReady, Reply{{}, 2});
    script_.Sense({0x06, 0x29, 0x01});
  }
  EXPECT_FALSE(iface_.TestUnitReady());
  EXPECT_EQ(iface_.m_ulLastError, lld::kDeviceReset);
  pipes_->commands.clear();
  EXPECT_EQ(iface_.WaitForUnitReady(), lld::kDeviceReset);
  EXPECT_EQ(pipes_->commands.size(), NewSet() ? 10u : 20u);  // all ten attempts ran
}

TEST_P(CommandTest, TestUnitReadyOfAnUnreachableUnit) {
  script_.On(NewSet() ? op::kNewRequestSense : op::kTestUnitReady, Reply{{}, 0, ERROR_DEVICE_NOT_CONNECTED});
  EXPECT_FALSE(iface_.TestUnitReady());
  EXPECT_EQ(iface_.m_ulLastError, lld::kUnreachable);
}

TEST(ClassicCommandTest, RequestSenseAfterACheckConditionIsAnsweredFromTheStoredSense) {
  ScriptedPipes pipes(false);
  EngineScript script;
  script.Attach(pipes);
  CReduzidInterface iface;
  iface.SetDevice(&pipes, kDeviceKindUsb);
  script.On(op::kRead10, Reply{Filled(4, 1), 2});
  script.Sense({0x03, 0x80, 0x01, 0x01020304});
  uint8_t buffer[8];
  const Cdb read = ClassicReadCdb(0x60, 8);
  EXPECT_FALSE(iface.DoSCSICommandLogged(read.data(), 10, buffer, 8, kDataIn));
  EXPECT_EQ(iface.m_ulLastError, 8u);
  ASSERT_EQ(pipes.commands.size(), 2u);

  const Cdb sense = ClassicRequestSenseCdb(false);
  uint8_t wire[22] = {};
  EXPECT_FALSE(iface.DoSCSICommandLogged(sense.data(), 6, wire, sizeof wire, kDataIn));
  EXPECT_EQ(pipes.commands.size(), 2u);  // nothing sent
  EXPECT_EQ(iface.m_byStatus, 0);
  EXPECT_EQ(iface.m_ulLastError, 8u);
  const std::vector<uint8_t> expected = ClassicSense({0x03, 0x80, 0x01, 0x01020304});
  EXPECT_EQ(std::vector<uint8_t>(wire, wire + 8), std::vector<uint8_t>(expected.begin(), expected.begin() + 8));
  EXPECT_EQ(wire[12], 0x80);
  EXPECT_EQ(Copy(iface.m_Sense.InfoBytes), 0x01020304u);  // the stored record is back in host order

  EXPECT_TRUE(iface.DoSCSICommandLogged(sense.data(), 6, wire, sizeof wire, kDataIn));
  EXPECT_EQ(pipes.commands.size(), 3u);  // the second one goes to the unit
}

TEST(CommandLockTest, OneLockForTheLibrarysLifetime) {
  CriticalSection* first = &EngineCommandLock();
  {
    CReduzidInterface a;
    CReduzidInterface b;
  }
  EXPECT_EQ(&EngineCommandLock(), first);
  // Usable with no interface alive, and recursive.
  std::lock_guard outer(EngineCommandLock());
  std::lock_guard inner(EngineCommandLock());
}

TEST(CommandLockTest, CommandsOfTwoUnitsNeverInterleaveAndTheSenseStaysInside) {
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  auto make = [&](ScriptedPipes& pipes, EngineScript& script) {
    script.On(op::kNewRead, Reply{Filled(8, 1), 2});
    script.Sense({0x02, 0x04, 0x01});
    script.Attach(pipes);
    auto inner = pipes.engine;
    pipes.engine = [&, inner](const std::vector<uint8_t>& cdb) {
      // A command block of this unit while one of the other unit is between its phases.
      if (cdb[0] == op::kNewRead && inside.fetch_add(1) != 0) overlapped = true;
      if (cdb[0] == op::kNewRequestSense) inside.fetch_sub(1);
      return inner(cdb);
    };
    pipes.onDataPhase = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  };
  ScriptedPipes pipesA(true), pipesB(true);
  EngineScript scriptA, scriptB;
  make(pipesA, scriptA);
  make(pipesB, scriptB);
  auto run = [](ScriptedPipes& pipes) {
    CReduzidInterface iface;
    iface.m_bNewCommandSet = 1;
    iface.SetDevice(&pipes, kDeviceKindUsb);
    uint8_t buffer[8];
    for (int i = 0; i < 40; ++i) {
      const Cdb cdb = NewReadCdb(0x60, 8);
      iface.DoSCSICommandLogged(cdb.data(), 12, buffer, 8, kDataIn);
    }
  };
  std::thread a(run, std::ref(pipesA));
  std::thread b(run, std::ref(pipesB));
  a.join();
  b.join();
  EXPECT_FALSE(overlapped.load());
  EXPECT_EQ(pipesA.commands.size() + pipesB.commands.size(), 160u);
}

}  // namespace
}  // namespace rzd::lowdrv
