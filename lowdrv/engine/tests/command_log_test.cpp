// What the command layer writes to the log around a command.
#include "engine_script.h"
#include "lowdrv/engine/command_blocks.h"
#include "lowdrv/engine/reduzid_interface.h"
#include "testsupport/log_capture.h"

#include <gtest/gtest.h>

namespace rzd::lowdrv {
namespace {

using test::EngineScript;
using rzd::test::LogCapture;
using test::Reply;
using test::ScriptedPipes;

TEST(CommandLogTest, FailuresNameTheirTextExceptNoSense) {
  ScriptedPipes pipes(true);
  EngineScript script;
  script.Attach(pipes);
  CReduzidInterface iface;
  iface.m_bNewCommandSet = 1;
  iface.SetDevice(&pipes, kDeviceKindUsb);
  LogCapture log(LogCapture::WithData({u"Reduzid Device"}));

  script.On(op::kNewReserveUnit, Reply{{}, 2});
  script.Sense({0x02, 0x80, 0x02});
  EXPECT_FALSE(iface.ReserveUnit(0));
  EXPECT_EQ(log.Count(u"Received a check condition status byte."), 1u);
  EXPECT_EQ(log.Count(u"Calling GetLastError(): The ADF cover is open."), 1u);
  EXPECT_EQ(log.Count(u"ReserveUnit Exit. [FALSE]"), 1u);

  log.Clear();
  EngineScript quiet;
  quiet.On(op::kNewReleaseUnit, Reply{{}, 2});
  quiet.Sense({0x00, 0x3A, 0x00});  // no sense: 29
  quiet.Attach(pipes);
  EXPECT_FALSE(iface.ReleaseUnit(0));
  EXPECT_EQ(iface.m_ulLastError, lld::kNoSense);
  EXPECT_FALSE(log.Contains(u"Calling GetLastError()"));
}

TEST(CommandLogTest, DirectionWithoutDataIsReportedAndDumpsFollowTheDataLevel) {
  ScriptedPipes pipes(true);
  CReduzidInterface iface;
  iface.m_bNewCommandSet = 1;
  iface.SetDevice(&pipes, kDeviceKindUsb);
  LogCapture log(LogCapture::WithData({u"Reduzid Device"}));
  EXPECT_TRUE(iface.ResetUnit());
  EXPECT_EQ(log.Count(u"Detected no data condition and incorrect direction flag, correcting"), 1u);
  EXPECT_EQ(log.Count(u"Before Sending Command:\n"), 1u);
  // The dump before the command shows the direction as asked; the correction comes after it.
  EXPECT_EQ(log.Count(u"(Write Data)\n"), 1u);
  EXPECT_EQ(log.Count(u"Cmd [12]: 0xFF,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00 (...)"), 1u);
  EXPECT_EQ(log.Count(u"DoSCSICommand Exit. [TRUE]"), 1u);
}

}  // namespace
}  // namespace rzd::lowdrv
