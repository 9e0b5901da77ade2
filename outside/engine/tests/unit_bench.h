// A simulated unit under test and the host's link to it: in this process (SimUnit through
// PortLink); as the program rzd-engine in a process of its own, reached only through
// platform/devices and platform/usb and steered through its control socket; or as a unit on a USB
// port of a umockdev testbed, found by udev and driven by libusb through platform/devices and
// platform/usb, its usbfs requests answered by the SimUnit. A test written against UnitBench and
// parameterised by LinkKind runs its table against all three, so the same assertions prove the
// unit in-process, across the process boundary and over real USB host code.
#pragma once

#include "engine/mocked_usb.h"
#include "engine/sim_unit.h"
#include "host_link.h"
#include "platform/devices.h"
#include "platform/process.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace rzd::engine::test {

enum class LinkKind : uint8_t { InProcess, CrossProcess, MockedUsb };

// Whether a control line's reply says it was done.
inline bool Ok(const std::string& reply) { return reply.rfind("ok", 0) == 0; }

class UnitBench {
 public:
  virtual ~UnitBench() = default;
  // The host's link to the unit's pipes.
  virtual Link& Host() = 0;
  // One control line of the unit (load paper, press buttons, jam, stall...): the reply, whose
  // first word is "ok" or "error".
  virtual std::string Control(const std::string& line) = 0;
  // Facts of the unit's state. In-process they are read from the unit; across processes from
  // its "state" control line, and the NVRAM record with a READ (data type 0x69) over the link.
  virtual size_t SheetsInFeeder() = 0;
  virtual std::string Revision() = 0;
  virtual std::array<uint8_t, kNvramSize> Nvram() = 0;
};

class InProcessUnit final : public UnitBench {
 public:
  explicit InProcessUnit(SimUnitOptions options = {}) : unit_(std::move(options)), link_(unit_) {}
  Link& Host() override { return link_; }
  std::string Control(const std::string& line) override { return unit_.Control(line); }
  size_t SheetsInFeeder() override { return unit_.SheetsInFeeder(); }
  std::string Revision() override { return unit_.Revision(); }
  std::array<uint8_t, kNvramSize> Nvram() override { return unit_.Nvram(); }
  SimUnit& Unit() { return unit_; }

 private:
  SimUnit unit_;
  PortLink link_;
};

struct EngineStart {
  uint32_t instance = 0;
  std::string serial = "QM48TZ000001";
  std::vector<std::string> moreArgs;  // further command-line arguments
};

// rzd-engine in its own process, in the current system root.
class EngineProcess final : public UnitBench {
 public:
  // Deadline for the program to announce itself or to end after SIGTERM.
  static constexpr uint32_t kProcessDeadlineMs = 60000;

  // Starts the program from the build's program folder, waits for its device-table entry (found
  // through EnumerateDevices) and opens a USB handle on it. Throws std::runtime_error when the
  // program does not start, ends, or does not announce itself in time.
  explicit EngineProcess(EngineStart start = {});
  // Closes the handle and stops the program (SIGTERM); a program that does not end cleanly
  // fails the current test.
  ~EngineProcess() override;
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  Link& Host() override { return *link_; }
  std::string Control(const std::string& line) override;
  size_t SheetsInFeeder() override;
  std::string Revision() override;
  std::array<uint8_t, kNvramSize> Nvram() override;

  UsbLink& Usb() { return *link_; }
  const DeviceEntry& Entry() const { return entry_; }
  uint32_t Instance() const { return start_.instance; }
  // Stops the program now: SIGTERM, then waits; its exit code, nullopt when it had to be killed.
  std::optional<int> Stop();

 private:
  EngineStart start_;
  std::optional<ChildProcess> child_;
  DeviceEntry entry_;
  std::unique_ptr<UsbLink> link_;
};

// The unit on a USB port of a umockdev testbed in this process, reached through platform/devices
// (udev) and platform/usb (libusb). Needs umockdev's preload: without it the constructor throws.
class MockedUsbBench final : public UnitBench {
 public:
  explicit MockedUsbBench(SimUnitOptions options = {}, MockedUsbOptions usb = {});
  ~MockedUsbBench() override;  // closes the handle, then removes the testbed
  MockedUsbBench(const MockedUsbBench&) = delete;
  MockedUsbBench& operator=(const MockedUsbBench&) = delete;

  Link& Host() override { return *link_; }
  // "unplug" and "replug" move the unit off and onto its port; any other line goes to the unit.
  std::string Control(const std::string& line) override;
  size_t SheetsInFeeder() override { return unit_.SheetsInFeeder(); }
  std::string Revision() override { return unit_.Revision(); }
  std::array<uint8_t, kNvramSize> Nvram() override { return unit_.Nvram(); }

  SimUnit& Unit() { return unit_; }
  MockedUsbUnit& Port() { return *port_; }
  UsbLink& Usb() { return *link_; }
  const DeviceEntry& Entry() const { return entry_; }

 private:
  SimUnit unit_;
  std::unique_ptr<MockedUsbUnit> port_;
  DeviceEntry entry_;
  std::unique_ptr<UsbLink> link_;
};

// The real unit's entry of a mocked port, as discovery lists it; nullopt when it is not listed.
std::optional<DeviceEntry> ListedEntryOf(const MockedUsbUnit& port);

// Where the build put rzd-engine (beside the test programs).
std::filesystem::path EnginePath();

// The value of `name=` in a "state" control reply ("ok feeder=2 page=none ..."), empty when absent.
std::string StateField(const std::string& state, const std::string& name);

std::string LinkKindName(LinkKind kind);
// How the test framework prints a LinkKind parameter.
inline void PrintTo(LinkKind kind, std::ostream* out) { *out << LinkKindName(kind); }
inline auto AllLinks() {
  return ::testing::Values(LinkKind::InProcess, LinkKind::CrossProcess, LinkKind::MockedUsb);
}
struct LinkName {
  std::string operator()(const ::testing::TestParamInfo<LinkKind>& info) const {
    return LinkKindName(info.param);
  }
};

// Fixture of the tables that run on both links. `Param` is LinkKind, or a tuple whose first
// element is the LinkKind (the table's own parameter follows). Every test has its own system
// root, so units in other processes of parallel tests never meet.
template <typename Param = LinkKind>
class OnLink : public rzd::test::TempRoot, public ::testing::WithParamInterface<Param> {
 protected:
  LinkKind Kind() const {
    if constexpr (std::is_same_v<Param, LinkKind>) {
      return this->GetParam();
    } else {
      return std::get<0>(this->GetParam());
    }
  }

  // A fresh unit on this test's link; the unit made before is stopped first. Across processes
  // each unit gets its own device instance; on a mocked port each gets a testbed of its own.
  UnitBench& NewUnit() {
    unit_.reset();
    if (Kind() == LinkKind::InProcess) {
      unit_ = std::make_unique<InProcessUnit>();
    } else if (Kind() == LinkKind::MockedUsb) {
      unit_ = std::make_unique<MockedUsbBench>();
    } else {
      EngineStart start;
      start.instance = nextInstance_++;
      unit_ = std::make_unique<EngineProcess>(start);
    }
    return *unit_;
  }

  void TearDown() override { unit_.reset(); }

 private:
  std::unique_ptr<UnitBench> unit_;
  uint32_t nextInstance_ = 0;
};

using EitherLink = OnLink<LinkKind>;

}  // namespace rzd::engine::test
