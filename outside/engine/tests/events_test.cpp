// Button presses: device-event reports through the listener, the button status read and the
// double-feed decision buttons. The tables on UnitBench run three times: on the unit in this
// process, on rzd-engine in its own, and on the unit on a mocked USB port over libusb.
#include "engine/sim_unit.h"
#include "host_link.h"
#include "unit_bench.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace rzd::engine {
namespace {

using test::HostLink;
using test::Ok;

class UnitButtons : public test::EitherLink {};
INSTANTIATE_TEST_SUITE_P(Links, UnitButtons, test::AllLinks(), test::LinkName());

class Listener {
 public:
  UnitPort::EventListener Callback() {
    return [this](std::span<const uint8_t> bytes) {
      std::array<uint8_t, 16> report{};
      std::copy(bytes.begin(), bytes.end(), report.begin());
      std::lock_guard lock(mutex_);
      reports_.push_back(report);
      sizes_.push_back(bytes.size());
    };
  }
  std::vector<std::array<uint8_t, 16>> Reports() {
    std::lock_guard lock(mutex_);
    return reports_;
  }
  std::vector<size_t> Sizes() {
    std::lock_guard lock(mutex_);
    return sizes_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::array<uint8_t, 16>> reports_;
  std::vector<size_t> sizes_;
};

TEST(UnitButtons, PressesReachTheEventListener) {
  SimUnit unit;
  Listener listener;
  unit.SetEventListener(listener.Callback());
  ASSERT_EQ(unit.Control("function 4"), "ok");
  ASSERT_EQ(unit.Control("press 3,5"), "ok");
  ASSERT_EQ(unit.Control("press 2 long function=7"), "ok");
  const auto reports = listener.Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0][0], 0x82);  // buttons reported, short press, two numbers
  EXPECT_EQ(reports[0][1], 3);
  EXPECT_EQ(reports[0][2], 5);
  EXPECT_EQ(reports[0][6], 4);  // the function number
  EXPECT_EQ(reports[1][0], 0xC1);  // long press, one number
  EXPECT_EQ(reports[1][1], 2);
  EXPECT_EQ(reports[1][6], 7);
  for (size_t i = 7; i < 16; ++i) EXPECT_EQ(reports[1][i], 0);
}

TEST(UnitButtons, RawEventsGoOutAsGivenShortOnesIncluded) {
  SimUnit unit;
  Listener listener;
  unit.SetEventListener(listener.Callback());
  ASSERT_EQ(unit.Control("event C1 14"), "ok");  // a long press of a button the unit does not have
  ASSERT_EQ(unit.Control("event 82"), "ok");     // announces two buttons, sends none
  for (const char* bad : {"event", "event 100", "event zz", "event 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17"}) {
    EXPECT_EQ(unit.Control(bad).rfind("error", 0), 0u) << bad;
  }
  EXPECT_EQ(listener.Sizes(), (std::vector<size_t>{2, 1}));
  const auto reports = listener.Reports();
  EXPECT_EQ(reports[0][0], 0xC1);
  EXPECT_EQ(reports[0][1], 0x14);
  EXPECT_EQ(reports[1][0], 0x82);
}

TEST_P(UnitButtons, ButtonStatusShowsTheLastPressOnceAndTheFunctionAlways) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  // The host sets the function number shown on the panel (SEND 0xA4).
  std::vector<uint8_t> led(12, 0);
  led[2] = 2;
  led[3] = 12;
  led[4] = 6;
  ASSERT_TRUE(host.Send(0xA4, led).Good());
  // In-process nobody listens; across processes nobody waits for an event. Either way the
  // button status keeps the press.
  ASSERT_TRUE(Ok(unit.Control("press 9 long")));
  auto status = host.Read(0xA1, 20).data;
  ASSERT_EQ(status.size(), 20u);
  EXPECT_EQ(status[4], 0xC1);
  EXPECT_EQ(status[5], 9);
  EXPECT_EQ(status[10], 6);
  status = host.Read(0xA1, 20).data;
  EXPECT_EQ(status[4], 0);
  EXPECT_EQ(status[10], 6);
}

TEST_P(UnitButtons, DoubleFeedChoiceIsReadUntilReset) {
  test::UnitBench& unit = NewUnit();
  HostLink host(unit.Host());
  std::vector<uint8_t> dfd = HostLink::Cdb(0xE8);
  dfd[9] = 0x03;
  dfd[10] = 36;
  EXPECT_EQ(host.New(dfd, {}, 36).data[4], 0);
  for (const auto& [word, code] : {std::pair{"ignore", 1}, {"retry", 2}, {"stop", 3}}) {
    ASSERT_TRUE(Ok(unit.Control(std::string("dfd ") + word)));
    EXPECT_EQ(host.New(dfd, {}, 36).data[4], code);
    EXPECT_EQ(host.New(dfd, {}, 36).data[4], code);  // reading does not clear it
    ASSERT_TRUE(host.Send(0xFF, {0, 0, 1, 0x0C, 1, 0, 0, 0, 0, 0, 0, 0}).Good());
    EXPECT_EQ(host.New(dfd, {}, 36).data[4], 0);
  }
}

TEST(UnitButtons, BadPressesAreRefusedAndMissingListenersNamed) {
  SimUnit unit;
  EXPECT_EQ(unit.Control("press").rfind("error", 0), 0u);
  EXPECT_EQ(unit.Control("press 16").rfind("error", 0), 0u);
  EXPECT_EQ(unit.Control("press 1,2,3,4,5,6").rfind("error", 0), 0u);
  EXPECT_EQ(unit.Control("press 1 sideways").rfind("error", 0), 0u);
  EXPECT_NE(unit.Control("press 1").find("no event listener"), std::string::npos);
  // A listener may call back into the unit.
  unit.SetEventListener([&](std::span<const uint8_t>) { (void)unit.Control("state"); });
  EXPECT_EQ(unit.Control("press 1"), "ok");
}

}  // namespace
}  // namespace rzd::engine
