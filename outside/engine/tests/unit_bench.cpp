// rzd-engine as a unit under test: started, found in the device table, opened and stopped.
#include "unit_bench.h"

#include "engine/unit_server.h"
#include "platform/errors.h"
#include "platform/text.h"

#include <cstring>
#include <stdexcept>

namespace rzd::engine::test {

namespace {

constexpr uint32_t kPollMs = 10;

}  // namespace

std::filesystem::path EnginePath() { return rzd::test::BinaryDir() / "rzd-engine"; }

std::string StateField(const std::string& state, const std::string& name) {
  const std::string key = " " + name + "=";
  const size_t at = state.find(key);
  if (at == std::string::npos) return {};
  const size_t from = at + key.size();
  return state.substr(from, state.find(' ', from) - from);
}

std::string LinkKindName(LinkKind kind) {
  switch (kind) {
    case LinkKind::InProcess: return "InProcess";
    case LinkKind::CrossProcess: return "CrossProcess";
    case LinkKind::MockedUsb: return "MockedUsb";
  }
  return "Unknown";
}

std::optional<DeviceEntry> ListedEntryOf(const MockedUsbUnit& port) {
  for (const DeviceEntry& entry : EnumerateDevices(GUID_DEVINTERFACE_IMAGE)) {
    if (entry.backend == "libusb" && entry.address == port.SysPath()) return entry;
  }
  return std::nullopt;
}

MockedUsbBench::MockedUsbBench(SimUnitOptions options, MockedUsbOptions usb) : unit_(std::move(options)) {
  if (!MockedUsbUnit::PreloadActive()) {
    throw std::runtime_error(
        "the mocked USB port needs umockdev's preload: run the tests through ctest, or under umockdev-wrapper");
  }
  port_ = std::make_unique<MockedUsbUnit>(unit_, std::move(usb));
  std::optional<DeviceEntry> entry = ListedEntryOf(*port_);
  if (!entry) throw std::runtime_error("discovery does not list the unit on the mocked port");
  entry_ = std::move(*entry);
  uint32_t error = ERROR_GEN_FAILURE;
  std::shared_ptr<UsbDevice> device = UsbDevice::Open(entry_.interfacePath, &error);
  if (!device) {
    throw std::runtime_error("the mocked unit's device path cannot be opened: Win32 error " + std::to_string(error));
  }
  link_ = std::make_unique<UsbLink>(std::move(device));
}

MockedUsbBench::~MockedUsbBench() {
  if (link_) link_->Device().Close();
  link_.reset();
  port_.reset();
}

std::string MockedUsbBench::Control(const std::string& line) {
  if (line == "unplug" || line == "replug") {
    const bool plug = line == "replug";
    if (port_->Plugged() == plug) return "error the unit is " + std::string(plug ? "plugged in" : "unplugged") + " already";
    plug ? port_->Replug() : port_->Unplug();
    return "ok";
  }
  return unit_.Control(line);
}

EngineProcess::EngineProcess(EngineStart start) : start_(std::move(start)) {
  const DeviceEntry expected = ModelUnitOptions(start_.instance, start_.serial, u"unit").entry;
  std::vector<std::string> args = {"--instance", std::to_string(start_.instance), "--serial",
                                   start_.serial};
  args.insert(args.end(), start_.moreArgs.begin(), start_.moreArgs.end());
  child_ = ChildProcess::Start(EnginePath(), args);
  if (!child_) throw std::runtime_error("rzd-engine cannot start: " + EnginePath().string());

  // Wait for the entry; the pause between looks is a wait for the program's end, so a program
  // that fails to start is reported at once.
  bool found = false;
  for (uint32_t waited = 0; !found && waited < kProcessDeadlineMs; waited += kPollMs) {
    for (const DeviceEntry& entry : EnumerateDevices(GUID_DEVINTERFACE_IMAGE)) {
      if (entry.interfacePath == expected.interfacePath && entry.driverKey == expected.driverKey) {
        entry_ = entry;
        found = true;
      }
    }
    if (found) break;
    if (std::optional<int> code = child_->Wait(kPollMs)) {
      child_.reset();
      throw std::runtime_error("rzd-engine ended with exit code " + std::to_string(*code) +
                               " before its device entry appeared");
    }
  }
  if (!found) throw std::runtime_error("rzd-engine's device entry did not appear in time");

  uint32_t error = ERROR_GEN_FAILURE;
  std::shared_ptr<UsbDevice> device = UsbDevice::Open(entry_.interfacePath, &error);
  if (!device) {
    throw std::runtime_error("the unit's device path cannot be opened: Win32 error " +
                             std::to_string(error));
  }
  link_ = std::make_unique<UsbLink>(std::move(device));
}

EngineProcess::~EngineProcess() { Stop(); }

std::optional<int> EngineProcess::Stop() {
  if (link_) link_->Device().Close();
  if (!child_) return std::nullopt;
  child_->Terminate();
  std::optional<int> code = child_->Wait(kProcessDeadlineMs);
  if (!code) {
    ADD_FAILURE() << "rzd-engine did not end after SIGTERM";
    child_->Kill();
  } else {
    EXPECT_EQ(*code, 0) << "rzd-engine's exit code";
  }
  child_.reset();
  return code;
}

std::string EngineProcess::Control(const std::string& line) {
  return SendControlLine(ControlSocketPath(start_.instance), line)
      .value_or("error no reply from rzd-engine");
}

size_t EngineProcess::SheetsInFeeder() {
  const std::string feeder = StateField(Control("state"), "feeder");
  if (feeder.empty() || feeder.find_first_not_of("0123456789") != std::string::npos) {
    ADD_FAILURE() << "no sheet count in the unit's state";
    return SIZE_MAX;
  }
  return std::stoul(feeder);
}

std::string EngineProcess::Revision() { return StateField(Control("state"), "revision"); }

std::array<uint8_t, kNvramSize> EngineProcess::Nvram() {
  std::array<uint8_t, kNvramSize> nvram{};
  HostLink host(*link_);
  const Reply r = host.Read(0x69, 5 + kNvramSize);
  if (!r.Good() || r.data.size() != 5 + kNvramSize) {
    ADD_FAILURE() << "the NVRAM record cannot be read";
    return nvram;
  }
  std::memcpy(nvram.data(), &r.data[5], kNvramSize);
  return nvram;
}

}  // namespace rzd::engine::test
