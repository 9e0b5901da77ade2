// The command phases, the sense rules, the inquiry and the port-level switches of the unit. The
// tables on UnitBench run three times: on the unit in this process, on rzd-engine in its own, and
// on the unit on a mocked USB port over libusb.
#include "engine/sim_unit.h"
#include "host_link.h"
#include "lowdrv/engine/engine_caps.h"
#include "unit_bench.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace rzd::engine {
namespace {

using test::Await;
using test::HostLink;
using test::Reply;
namespace caps = rzd::lowdrv::caps;

class UnitInquiry : public test::EitherLink {};
class UnitSense : public test::EitherLink {};
class UnitPhases : public test::EitherLink {};
class UnitStall : public test::EitherLink {};
INSTANTIATE_TEST_SUITE_P(Links, UnitInquiry, test::AllLinks(), test::LinkName());
INSTANTIATE_TEST_SUITE_P(Links, UnitSense, test::AllLinks(), test::LinkName());
INSTANTIATE_TEST_SUITE_P(Links, UnitPhases, test::AllLinks(), test::LinkName());
INSTANTIATE_TEST_SUITE_P(Links, UnitStall, test::AllLinks(), test::LinkName());

std::vector<uint8_t> InquiryCdb(uint8_t allocation) {
  std::vector<uint8_t> c = HostLink::Cdb(0xE2);
  c[10] = allocation;
  return c;
}

std::string Text(const std::vector<uint8_t>& a, size_t at, size_t n) {
  return std::string(reinterpret_cast<const char*>(&a[at]), n);
}

TEST_P(UnitInquiry, TwoStepsGiveTheSizeThenTheAnswer) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  const Reply first = host.New(InquiryCdb(5), {}, 5);
  ASSERT_TRUE(first.Good());
  ASSERT_EQ(first.data.size(), 5u);
  const uint16_t size = test::Get16(&first.data[3]);
  ASSERT_GT(size, 5);
  ASSERT_LE(size, 255);
  const Reply full = host.New(InquiryCdb(static_cast<uint8_t>(size)), {}, size);
  ASSERT_TRUE(full.Good());
  const std::vector<uint8_t>& a = full.data;
  ASSERT_EQ(a.size(), size);
  EXPECT_EQ(a[5], 0x06);  // a scanner
  EXPECT_EQ(test::Get16(&a[8]), 128);  // where the vendor text starts
  EXPECT_EQ(Text(a, test::Get16(&a[8]), 5), "QUARX");
  EXPECT_EQ(Text(a, test::Get16(&a[10]), 13), "M48tz Scanner");
  EXPECT_EQ(Text(a, test::Get16(&a[12]), 4), "1.00");
  EXPECT_EQ(test::Get16(&a[58]), 600);  // optical resolution
  EXPECT_EQ(a[96] & caps::kAnswerEngineJpegHeaders.mask, 0);  // the host writes JPEG headers
}

TEST(UnitInquiry, CapabilityBitsFollowTheUnitsOptions) {
  struct Case {
    SimUnitOptions options;
    bool imprinter, lcd, ultrasonic, tray;
  };
  SimUnitOptions none;
  none.imprinter = none.lcd = none.ultrasonic = none.inputTray = false;
  SimUnitOptions onlyLcd = none;
  onlyLcd.lcd = true;
  const Case cases[] = {{SimUnitOptions{}, true, true, true, true},
                        {none, false, false, false, false},
                        {onlyLcd, false, true, false, false}};
  for (const Case& c : cases) {
    SimUnit unit(c.options);
    HostLink host(unit);
    const Reply r = host.New(InquiryCdb(255), {}, 255);
    ASSERT_TRUE(r.Good());
    const uint8_t* a = r.data.data();
    const size_t n = r.data.size();
    EXPECT_EQ(caps::IsSet(a, n, caps::kAnswerImprinter), c.imprinter);
    EXPECT_EQ(caps::IsSet(a, n, caps::kAnswerLcd), c.lcd);
    EXPECT_EQ(caps::IsSet(a, n, caps::kAnswerUltrasonic), c.ultrasonic);
    EXPECT_EQ(caps::IsSet(a, n, caps::kAnswerUltrasonicOption), c.ultrasonic);
    EXPECT_EQ(caps::IsSet(a, n, caps::kAnswerInputTray), c.tray);
    EXPECT_TRUE(caps::IsSet(a, n, caps::kAnswerDfdButtons));
    EXPECT_TRUE(caps::IsSet(a, n, caps::kAnswerTruncation));
  }
}

TEST_P(UnitInquiry, ClassicInquiryInTwoStepsCarriesTheSameFacts) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  std::vector<uint8_t> c = {0x12, 0, 0, 0, 5, 0};
  const Reply first = host.Classic(c, {}, 5);
  ASSERT_TRUE(first.Good());
  ASSERT_EQ(first.data.size(), 5u);
  EXPECT_EQ(first.data[0], 6);
  const size_t size = std::min<size_t>(first.data[4] + 5, 159);
  c[4] = static_cast<uint8_t>(size);
  const Reply full = host.Classic(c, {}, size);
  ASSERT_TRUE(full.Good());
  ASSERT_EQ(full.data.size(), 159u);
  EXPECT_EQ(Text(full.data, 8, 8), "QUARX   ");
  EXPECT_EQ(Text(full.data, 16, 16), "M48tz Scanner   ");
  EXPECT_EQ(Text(full.data, 32, 4), "1.00");
  EXPECT_EQ(full.data[37], 6);                         // optical resolution / 100
  EXPECT_EQ(test::Get16(&full.data[85]), 2700);        // feeder width, 1/300 inch
  EXPECT_TRUE(caps::IsSet(full.data.data(), full.data.size(), caps::kInqLcd));
  EXPECT_TRUE(caps::IsSet(full.data.data(), full.data.size(), caps::kInqDfdButtons));
  EXPECT_TRUE(caps::IsSet(full.data.data(), full.data.size(), caps::kInqButtons));
  EXPECT_TRUE(caps::IsSet(full.data.data(), full.data.size(), caps::kInqFrontPostImprinter));
  EXPECT_EQ(full.data[62], 0x02);  // the scanner type, with a capability word of 0
}

TEST(UnitInquiry, ClassicScannerTypeAddsTheCapabilityWordsTypeBit) {
  struct Case {
    uint16_t word;
    uint8_t type;
  };
  for (const Case c : {Case{0x0000, 0x02}, Case{0x0002, 0x04}, Case{0x0FF2, 0x04}, Case{0x0FFD, 0x02}}) {
    SCOPED_TRACE(c.word);
    SimUnitOptions options;
    options.capabilityWord = c.word;
    SimUnit unit(options);
    HostLink host(unit);
    const Reply answer = host.New(InquiryCdb(255), {}, 255);
    ASSERT_TRUE(answer.Good());
    EXPECT_EQ(test::Get16(&answer.data[56]), c.word);
    const Reply record = host.Classic({0x12, 0, 0, 0, 159, 0}, {}, 159);
    ASSERT_TRUE(record.Good());
    EXPECT_EQ(record.data[62], c.type);
  }
}

TEST_P(UnitSense, CheckConditionSenseIsReturnedOnceByEitherForm) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  // New set: an unknown operation code.
  ASSERT_TRUE(host.New(HostLink::Cdb(0x55)).CheckCondition());
  // Other commands in between do not clear it.
  ASSERT_TRUE(host.New(InquiryCdb(5), {}, 5).Good());
  test::SenseView s = host.RequestSense(false);
  EXPECT_EQ(s.key, 5);
  EXPECT_EQ(s.asc, 0x20);
  EXPECT_EQ(s.ascq, 0x00);
  s = host.RequestSense(true);
  EXPECT_EQ(s.key, 0);
  EXPECT_EQ(s.asc, 0);

  // Classic set, 22-byte sense: the polling form of the new set returns it too.
  ASSERT_TRUE(host.Classic({0x77}).CheckCondition());
  s = host.RequestSense(true);
  EXPECT_EQ(s.key, 5);
  EXPECT_EQ(s.asc, 0x20);
  ASSERT_TRUE(host.Classic({0x77}).CheckCondition());
  Reply r = host.Classic({0x03, 0, 0, 0, 22, 0}, {}, 22);
  ASSERT_TRUE(r.Good());
  ASSERT_EQ(r.data.size(), 22u);
  EXPECT_EQ(r.data[0], 0x70);
  EXPECT_EQ(r.data[2] & 0x0F, 5);
  EXPECT_EQ(r.data[12], 0x20);
  r = host.Classic({0x03, 0, 0, 0, 32, 0}, {}, 32);
  ASSERT_EQ(r.data.size(), 32u);
  EXPECT_EQ(r.data[2] & 0x0F, 0);
  EXPECT_EQ(r.data[12], 0);
}

TEST_P(UnitSense, StandingConditionFollowsTheCover) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  EXPECT_EQ(host.RequestSense(true).key, 0);
  EXPECT_TRUE(host.Classic({0x00}).Good());
  ASSERT_EQ(unit.Control("cover open").rfind("ok", 0), 0u);
  for (int i = 0; i < 2; ++i) {  // a standing condition is not used up
    const test::SenseView s = host.RequestSense(true);
    EXPECT_EQ(s.key, 2);
    EXPECT_EQ(s.asc, 0x80);
    EXPECT_EQ(s.ascq, 0x02);
  }
  EXPECT_TRUE(host.Classic({0x00}).CheckCondition());
  unit.Control("cover close");
  EXPECT_EQ(host.RequestSense(false).key, 2);  // the TEST UNIT READY's own sense, once
  EXPECT_EQ(host.RequestSense(false).key, 0);
  EXPECT_TRUE(host.Classic({0x00}).Good());
}

TEST_P(UnitPhases, DataInIsNeverLongerThanAskedAndShortReadsAreGood) {
  test::UnitBench& unit = NewUnit();
  test::Link& link = unit.Host();
  // The host reads fewer bytes than the command block names: only those arrive.
  ASSERT_EQ(link.VendorOut(HostLink::Block(HostLink::ReadCdb(0x69, 172))), PortStatus::Ok);
  std::vector<uint8_t> data;
  ASSERT_EQ(link.BulkIn(10, data), PortStatus::Ok);
  ASSERT_EQ(data.size(), 10u);
  EXPECT_EQ(data[2], 2);                     // the head of the record's answer,
  EXPECT_EQ(test::Get16(&data[3]), 172);     // whose size still names the whole answer
  std::vector<uint8_t> status;
  ASSERT_EQ(link.BulkIn(3, status), PortStatus::Ok);
  EXPECT_EQ(status, (std::vector<uint8_t>{0, 0, 0}));
  // Nothing further is queued.
  EXPECT_EQ(link.BulkIn(64, data, Await::Silence), PortStatus::NoAnswer);

  // A longer transfer length than the answer: a short read with good status.
  HostLink host(link);
  const Reply r = host.Read(0x60, 400);
  EXPECT_TRUE(r.Good());
  EXPECT_EQ(r.data.size(), 36u);
}

TEST_P(UnitPhases, AFailedReadEndsItsDataPhaseWithOnePaddingByteOrNone) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  // The default: one padding byte.
  Reply r = host.Read(0x77, 16);
  EXPECT_EQ(r.data.size(), 1u);
  EXPECT_TRUE(r.CheckCondition());
  test::SenseView s = host.RequestSense();
  EXPECT_EQ(s.key, 5);
  EXPECT_EQ(s.asc, 0x24);
  // Asked so, a zero-length data phase; the status and the sense are the same.
  EXPECT_EQ(unit.Control("failedreads empty"), "ok failedreads empty");
  r = host.Read(0x77, 16);
  EXPECT_TRUE(r.data.empty());
  EXPECT_TRUE(r.CheckCondition());
  s = host.RequestSense();
  EXPECT_EQ(s.key, 5);
  EXPECT_EQ(s.asc, 0x24);
  // A good read still brings its data.
  EXPECT_TRUE(host.New(InquiryCdb(5), {}, 5).Good());
  EXPECT_EQ(unit.Control("failedreads padded"), "ok failedreads padded");
  EXPECT_EQ(host.Read(0x77, 16).data.size(), 1u);
  EXPECT_EQ(unit.Control("failedreads"), "error usage: failedreads empty|padded");
}

TEST_P(UnitPhases, PipeResetDropsWhatIsQueuedForTheCommand) {
  test::UnitBench& unit = NewUnit();
  test::Link& link = unit.Host();
  // A data-in command: resetting the read pipe drops it.
  ASSERT_EQ(link.VendorOut(HostLink::Block(InquiryCdb(5))), PortStatus::Ok);
  link.ResetPipe(1);
  std::vector<uint8_t> data;
  EXPECT_EQ(link.BulkIn(5, data, Await::Silence), PortStatus::NoAnswer);
  // A queued status: dropped as well.
  ASSERT_EQ(link.VendorOut(HostLink::Block(HostLink::Cdb(0xE6))), PortStatus::Ok);
  link.ResetPipe(1);
  EXPECT_EQ(link.BulkIn(3, data, Await::Silence), PortStatus::NoAnswer);
  // A data-out command: resetting the write pipe abandons it; nothing is written.
  const auto before = unit.Nvram();
  ASSERT_EQ(link.VendorOut(HostLink::Block(HostLink::SendCdb(0x85, 174))), PortStatus::Ok);
  link.ResetPipe(2);
  EXPECT_EQ(link.BulkIn(3, data, Await::Silence), PortStatus::NoAnswer);
  EXPECT_EQ(unit.Nvram(), before);
  // The next command runs normally.
  HostLink host(link);
  EXPECT_TRUE(host.New(InquiryCdb(5), {}, 5).Good());
}

TEST_P(UnitPhases, ShortOrLongDataOutIsAParameterListLengthError) {
  test::UnitBench& unit = NewUnit();
  test::Link& link = unit.Host();
  const VendorRequest request = HostLink::Block(HostLink::SendCdb(0x83, 22));
  ASSERT_EQ(link.VendorOut(request), PortStatus::Ok);
  const std::vector<uint8_t> part(10, 0);
  ASSERT_EQ(link.BulkOut(part.data(), part.size()), PortStatus::Ok);
  std::vector<uint8_t> status;
  ASSERT_EQ(link.BulkIn(3, status), PortStatus::Ok);  // the host reads the status early
  EXPECT_EQ(status[2], 2);
  HostLink host(link);
  EXPECT_EQ(host.RequestSense().asc, 0x1A);

  const std::vector<uint8_t> tooLong(23, 0);
  EXPECT_TRUE(host.New(HostLink::SendCdb(0x83, 22), tooLong).CheckCondition());
  EXPECT_EQ(host.RequestSense().asc, 0x1A);
  // A data-out block split over two transfers is put together.
  ASSERT_EQ(link.VendorOut(request), PortStatus::Ok);
  const std::vector<uint8_t> head(12, 0), tail(10, 0);
  ASSERT_EQ(link.BulkOut(head.data(), head.size()), PortStatus::Ok);
  ASSERT_EQ(link.BulkOut(tail.data(), tail.size()), PortStatus::Ok);
  ASSERT_EQ(link.BulkIn(3, status), PortStatus::Ok);
  EXPECT_EQ(status[2], 0);
}

TEST_P(UnitPhases, ANewCommandBlockReplacesAnUnreadAnswer) {
  test::UnitBench& unit = NewUnit();
  test::Link& link = unit.Host();
  // Fails; its status is left unread.
  ASSERT_EQ(link.VendorOut(HostLink::Block(HostLink::Cdb(0x55))), PortStatus::Ok);
  HostLink host(link);
  const Reply r = host.New(InquiryCdb(5), {}, 5);
  EXPECT_TRUE(r.Good());
  EXPECT_EQ(r.data.size(), 5u);
}

TEST(UnitPhases, UnknownVendorRequestsAndStrayBlocksStallThePipe) {
  SimUnit unit;
  VendorRequest request = HostLink::Block(InquiryCdb(5));
  request.requestType = 0xC0;  // device to host
  EXPECT_EQ(unit.VendorOut(request), PortStatus::Stall);
  const uint8_t two[2] = {0, 0};
  EXPECT_EQ(unit.BulkOut(two, 2), PortStatus::Stall);
}

TEST_P(UnitStall, StalledUnitAnswersNothingUntilResumed) {
  test::UnitBench& unit = NewUnit();
  test::Link& link = unit.Host();
  HostLink host(link);
  ASSERT_EQ(unit.Control("stall").rfind("ok", 0), 0u);
  EXPECT_EQ(host.New(InquiryCdb(5), {}, 5, Await::Silence).command, PortStatus::NoAnswer);
  std::vector<uint8_t> data;
  EXPECT_EQ(link.BulkIn(3, data, Await::Silence), PortStatus::NoAnswer);
  EXPECT_EQ(host.New(InquiryCdb(5), {}, 5, Await::Silence).command, PortStatus::NoAnswer);
  EXPECT_EQ(unit.Control("unanswered"), "ok 3");  // two command blocks and a read
  ASSERT_EQ(unit.Control("resume").rfind("ok", 0), 0u);
  EXPECT_TRUE(host.New(InquiryCdb(5), {}, 5).Good());

  // Once: only the next transfer goes unanswered (here the status phase).
  ASSERT_EQ(link.VendorOut(HostLink::Block(HostLink::Cdb(0xE6))), PortStatus::Ok);
  ASSERT_EQ(unit.Control("stall once").rfind("ok", 0), 0u);
  EXPECT_EQ(link.BulkIn(3, data, Await::Silence), PortStatus::NoAnswer);
  EXPECT_EQ(link.BulkIn(3, data), PortStatus::Ok);

  // A halted pipe answers with a stall until a pipe reset.
  ASSERT_EQ(unit.Control("halt").rfind("ok", 0), 0u);
  EXPECT_EQ(host.New(InquiryCdb(5), {}, 5).command, PortStatus::Stall);
  link.ResetPipe(2);
  link.ResetPipe(1);
  EXPECT_TRUE(host.New(InquiryCdb(5), {}, 5).Good());
}

TEST(UnitLog, EveryCommandAndDataBlockIsRecorded) {
  SimUnit unit;
  HostLink host(unit);
  const std::vector<uint8_t> matrix(22, 0x11);
  host.New(InquiryCdb(5), {}, 5);
  host.New(HostLink::SendCdb(0x83, 22), matrix);
  host.Classic({0x00});
  const std::vector<ReceivedBlock> log = unit.Received();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].kind, ReceivedBlock::Kind::NewCommand);
  EXPECT_EQ(log[0].bytes, InquiryCdb(5));
  EXPECT_EQ(log[1].kind, ReceivedBlock::Kind::NewCommand);
  EXPECT_EQ(log[2].kind, ReceivedBlock::Kind::Data);
  EXPECT_EQ(log[2].bytes, matrix);
  EXPECT_EQ(log[3].kind, ReceivedBlock::Kind::ClassicCommand);
  EXPECT_EQ(log[3].bytes.size(), 10u);
  EXPECT_LT(log[0].sequence, log[3].sequence);

  const std::string dump = unit.Control("log");
  EXPECT_EQ(dump.rfind("ok 4\n", 0), 0u);
  EXPECT_NE(dump.find(" new 12: E2 00 00 00 00 00 00 00 00 00 05 00"), std::string::npos);
  EXPECT_NE(dump.find(" data 22: 11 11"), std::string::npos);
  EXPECT_NE(dump.find(" classic 10: 00 00"), std::string::npos);
  unit.Control("log clear");
  EXPECT_TRUE(unit.Received().empty());
}

TEST(UnitControl, HelpListsTheCommandsAndUnknownWordsAreErrors) {
  SimUnit unit;
  const std::string help = unit.ControlHelp();
  for (const char* word : {"load", "empty", "cover", "jam", "multifeed", "misfeed", "staple",
                           "blank", "lamp", "press", "dfd", "duplexmode", "stall", "log"})
    EXPECT_NE(help.find(word), std::string::npos) << word;
  EXPECT_EQ(unit.Control("fly away").rfind("error", 0), 0u);
  EXPECT_EQ(unit.Control("load zero").rfind("error", 0), 0u);
  EXPECT_EQ(unit.Control("jam 0").rfind("error", 0), 0u);
  EXPECT_EQ(unit.Control("unplug").rfind("ok", 0), 0u);  // the transport's business
  EXPECT_EQ(unit.Control("load 3").rfind("ok sheets 1-3", 0), 0u);
  EXPECT_EQ(unit.Control("load 2 simplex").rfind("ok sheets 4-5", 0), 0u);
  EXPECT_EQ(unit.SheetsInFeeder(), 5u);
}

TEST(UnitThreads, ControlAndInspectionRunBesideCommands) {
  SimUnit unit;
  std::atomic<bool> stop{false};
  std::thread controller([&] {
    while (!stop) {
      unit.Control("load 1");
      unit.Control("state");
      unit.Control("empty");
      (void)unit.Nvram();
      (void)unit.Received();
    }
  });
  HostLink host(unit);
  for (int i = 0; i < 300; ++i) {
    const Reply r = host.New(InquiryCdb(5), {}, 5);
    ASSERT_TRUE(r.Good());
    ASSERT_EQ(r.data.size(), 5u);
    const std::vector<uint8_t> media = [&] {
      std::vector<uint8_t> c = HostLink::Cdb(0xE8);
      c[10] = 5;
      return host.New(c, {}, 5).data;
    }();
    ASSERT_EQ(media.size(), 5u);
    ASSERT_LE(media[4], 1);
  }
  stop = true;
  controller.join();
}

}  // namespace
}  // namespace rzd::engine
