// The testbed around the simulated unit: its sysfs device, device node and usbfs handler.
#include "engine/mocked_usb.h"

#include "engine/usb_descriptors.h"
#include "lowdrv/engine/model_ids.h"
#include "usbfs_handler.h"

#include <umockdev.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <span>
#include <stdexcept>
#include <vector>

namespace rzd::engine {

namespace {

// A root hub's device and configuration descriptors (one hub interface, one interrupt endpoint).
constexpr uint8_t kRootHubDescriptors[] = {18, 1, 0x00, 0x02, 9, 0, 1, 64, 0x6B, 0x1D, 0x02, 0x00, 0x00, 0x06, 3, 2, 1, 1,
                                           9,  2, 25,   0,    1, 1, 0, 0xE0, 0,
                                           9,  4, 0,    0,    1, 9, 0, 0, 0,
                                           7,  5, 0x81, 3,    4, 0, 12};

std::string Hex(std::span<const uint8_t> bytes) {
  std::string text;
  char two[3];
  for (uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02X", b);  // device node contents must be upper case
    text += two;
  }
  return text;
}

std::string Number(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

struct MockedUsbUnit::Impl {
  UnitPort& port;
  MockedUsbOptions options;
  UMockdevTestbed* bed = nullptr;
  std::mutex portMutex;
  std::mutex mutex;  // guards everything below
  std::vector<std::pair<std::string, std::unique_ptr<mockusb::UsbfsHandler>>> handlers;  // by device node
  mockusb::UsbfsHandler* current = nullptr;  // of the present plug-in
  uint8_t address = 0;
  bool plugged = false;

  Impl(UnitPort& unitPort, MockedUsbOptions chosen) : port(unitPort), options(std::move(chosen)) {}

  std::string HubPath() const { return "/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(options.bus); }
  std::string DevicePath() const { return HubPath() + "/" + options.port; }
  std::string Node() const {
    return "/dev/bus/usb/" + Number("%03u", options.bus) + "/" + Number("%03u", address);
  }

  std::string HubRecord() const {
    return "P: " + HubPath() + "\nN: bus/usb/" + Number("%03u", options.bus) + "/001=" + Hex(kRootHubDescriptors) +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=/dev/bus/usb/" + Number("%03u", options.bus) +
           "/001\nA: idVendor=1d6b\nA: idProduct=0002\nA: bcdDevice=0600\nA: busnum=" + std::to_string(options.bus) +
           "\nA: devnum=1\nA: speed=480\nA: bConfigurationValue=1\nA: dev=189:" +
           std::to_string((options.bus - 1) * 128) + "\nH: descriptors=" + Hex(kRootHubDescriptors) + "\n";
  }

  std::string UnitRecord() const {
    const auto descriptors = UsbDescriptors(options.revision, !options.serial.empty());
    const std::string hex = Hex(descriptors);
    const std::string node = Node().substr(5);  // without "/dev/"
    std::string record = "P: " + DevicePath() + "\nN: " + node + "=" + hex + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device" +
                         "\nE: DEVNAME=" + Node() + "\nE: BUSNUM=" + Number("%03u", options.bus) +
                         "\nE: DEVNUM=" + Number("%03u", address) + "\nE: PRODUCT=" +
                         Number("%x", lowdrv::kModelUsbVendorId) + "/" + Number("%x", lowdrv::kModelUsbProductId) + "/" +
                         Number("%x", options.revision) + "\nA: idVendor=" + Number("%04x", lowdrv::kModelUsbVendorId) +
                         "\nA: idProduct=" + Number("%04x", lowdrv::kModelUsbProductId) +
                         "\nA: bcdDevice=" + Number("%04x", options.revision) + "\nA: manufacturer=QUARX" +
                         "\nA: product=M48tz Scanner\nA: busnum=" + std::to_string(options.bus) +
                         "\nA: devnum=" + std::to_string(address) + "\nA: speed=480\nA: bConfigurationValue=1" +
                         "\nA: bNumInterfaces= 1\nA: dev=189:" +
                         std::to_string((options.bus - 1) * 128 + address - 1) + "\nH: descriptors=" + hex + "\n";
    if (!options.serial.empty()) record += "A: serial=" + options.serial + "\n";
    return record;
  }

  // With `mutex` held. The root hub comes with the first plug-in and stays.
  void Plug(bool withHub) {
    GError* error = nullptr;
    const std::string records = withHub ? UnitRecord() + "\n" + HubRecord() : UnitRecord();
    if (!umockdev_testbed_add_from_string(bed, records.c_str(), &error)) {
      std::string message = error ? error->message : "unknown error";
      g_clear_error(&error);
      throw std::runtime_error("the unit's sysfs device cannot be made: " + message);
    }
    auto handler = std::make_unique<mockusb::UsbfsHandler>(port, portMutex);
    if (!umockdev_testbed_attach_ioctl(bed, Node().c_str(), handler->Base(), &error)) {
      std::string message = error ? error->message : "unknown error";
      g_clear_error(&error);
      throw std::runtime_error("the unit's device node cannot be served: " + message);
    }
    current = handler.get();
    handlers.emplace_back(Node(), std::move(handler));
    plugged = true;
    umockdev_testbed_uevent(bed, ("/sys" + DevicePath()).c_str(), "add");
  }
};

bool MockedUsbUnit::PreloadActive() {
  // The library is mapped into this process when the loader preloaded it.
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("libumockdev-preload") != std::string::npos) return true;
  }
  return false;
}

MockedUsbUnit::MockedUsbUnit(UnitPort& port, MockedUsbOptions options)
    : impl_(std::make_unique<Impl>(port, std::move(options))) {
  impl_->bed = umockdev_testbed_new();
  if (impl_->bed == nullptr) throw std::runtime_error("the umockdev testbed cannot be made");
  impl_->address = impl_->options.firstAddress;
  Impl* impl = impl_.get();
  port.SetEventListener([impl](std::span<const uint8_t> report) {
    std::lock_guard<std::mutex> lock(impl->mutex);
    if (impl->current) impl->current->Event(std::vector<uint8_t>(report.begin(), report.end()));
  });
  std::lock_guard<std::mutex> lock(impl_->mutex);
  try {
    impl_->Plug(true);
  } catch (...) {
    port.SetEventListener({});
    g_object_unref(impl_->bed);
    throw;
  }
}

MockedUsbUnit::~MockedUsbUnit() {
  Unplug();
  impl_->port.SetEventListener({});
  for (auto& [node, handler] : impl_->handlers) umockdev_testbed_detach_ioctl(impl_->bed, node.c_str(), nullptr);
  impl_->handlers.clear();
  g_object_unref(impl_->bed);
}

void MockedUsbUnit::Unplug() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (!impl_->plugged) return;
  impl_->current->SetGone();
  impl_->current = nullptr;
  impl_->plugged = false;
  const std::string sysPath = "/sys" + impl_->DevicePath();
  umockdev_testbed_uevent(impl_->bed, sysPath.c_str(), "remove");
  umockdev_testbed_remove_device(impl_->bed, sysPath.c_str());
}

void MockedUsbUnit::Replug() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (impl_->plugged) return;
  ++impl_->address;
  impl_->Plug(false);
}

bool MockedUsbUnit::Plugged() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->plugged;
}

size_t MockedUsbUnit::TransfersInFlight() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  size_t count = 0;
  for (const auto& [node, handler] : impl_->handlers) count += handler->InFlight();
  return count;
}

std::string MockedUsbUnit::SysPath() const { return "/sys" + impl_->DevicePath(); }

std::string MockedUsbUnit::DevNode() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->Node();
}

std::string MockedUsbUnit::TestbedDir() const {
  gchar* root = umockdev_testbed_get_root_dir(impl_->bed);
  std::string dir = root ? root : "";
  g_free(root);
  return dir;
}

}  // namespace rzd::engine
