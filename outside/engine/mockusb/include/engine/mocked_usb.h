// The simulated unit as a unit on a USB port, for tests: a umockdev testbed holds its sysfs
// device (vendor and product id, serial number, bus address, descriptors) and its device node,
// whose usbfs requests the unit's own code answers (mockusb/src/usbfs_handler.h). udev and libusb
// in this process, and in children that inherit the testbed, then see a real unit: discovery,
// hot-plug and every transfer of platform/devices and platform/usb run their real code.
//
// It works only in a process that runs under umockdev's preload library (umockdev-wrapper, or
// LD_PRELOAD=libumockdev-preload.so.0; under AddressSanitizer with verify_asan_link_order=0).
#pragma once

#include "engine/unit_port.h"

#include <cstdint>
#include <memory>
#include <string>

namespace rzd::engine {

struct MockedUsbOptions {
  std::string serial = "QM48TZ000001";  // the sysfs `serial`; empty: the unit has none
  std::string port = "1-1";             // the sysfs name of the device (its port)
  uint8_t bus = 1;
  uint8_t firstAddress = 2;  // the device address; each replug takes the next one
  uint16_t revision = 0x0100;
};

class MockedUsbUnit {
 public:
  // Whether this process runs under umockdev's preload.
  static bool PreloadActive();

  // Makes the testbed (from now on this process's /sys, /dev and udev are the testbed's) with the
  // unit plugged in. Throws std::runtime_error when the testbed cannot be made.
  explicit MockedUsbUnit(UnitPort& port, MockedUsbOptions options = {});
  ~MockedUsbUnit();  // unplugs the unit and removes the testbed
  MockedUsbUnit(const MockedUsbUnit&) = delete;
  MockedUsbUnit& operator=(const MockedUsbUnit&) = delete;

  // The unit goes away: transfers in flight end as on a unit pulled out (no device), the device
  // is removed (a udev "remove") and its node goes. No-op while unplugged.
  void Unplug();
  // The unit comes back on the same port with the next device address (a udev "add"). No-op
  // while plugged in.
  void Replug();
  bool Plugged() const;
  // Transfers (URBs) the host submitted and has not taken back yet, over every plug-in: 0 once
  // every transfer the host started has ended on its side too.
  size_t TransfersInFlight() const;

  std::string SysPath() const;  // "/sys/devices/..."
  std::string DevNode() const;  // "/dev/bus/usb/BBB/DDD" of the current plug-in
  // The testbed's folder, for child processes (they need it as $UMOCKDEV_DIR, and the preload).
  std::string TestbedDir() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace rzd::engine
