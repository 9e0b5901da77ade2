// A second process for the device-table tests.
//   devices_child add <instance> <serial>        adds a USB image unit's entry
//   devices_child remove <interface path>        removes an entry
//   devices_child watch <file> <count> <ms>      registers for image-class notifications, creates
//                                                <file>.ready, appends "<arrival|removal> <path>"
//                                                lines to <file>, exits 0 after <count> events
//                                                (1 when they do not come within <ms>)
#include "platform/devices.h"
#include "platform/text.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

int main(int argc, char** argv) {
  using namespace rzd;
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "add" && argc == 4) {
    UsbImageDevice unit;
    unit.vendorId = 0x2E5A;
    unit.productId = 0x0148;
    unit.instance = static_cast<uint32_t>(std::atoi(argv[2]));
    unit.serialNumber = FromUtf8(argv[3]);
    unit.address = "/nowhere";
    return AddDevice(MakeUsbImageDevice(unit)) == ERROR_SUCCESS ? 0 : 1;
  }
  if (mode == "remove" && argc == 3) return RemoveDevice(FromUtf8(argv[2])) == ERROR_SUCCESS ? 0 : 1;
  if (mode == "watch" && argc == 5) {
    std::string file = argv[2];
    int wanted = std::atoi(argv[3]);
    std::mutex mutex;
    std::condition_variable changed;
    int seen = 0;
    auto notification = DeviceNotification::Register(GUID_DEVINTERFACE_IMAGE, [&](const DeviceInterfaceEvent& e) {
      std::ofstream out(file, std::ios::app);
      out << (e.eventType == DBT_DEVICEARRIVAL ? "arrival " : "removal ") << ToUtf8(e.interfacePath) << "\n";
      out.close();
      std::lock_guard<std::mutex> lock(mutex);
      ++seen;
      changed.notify_all();
    });
    if (!notification) return 2;
    std::ofstream(file + ".ready") << "ready\n";
    std::unique_lock<std::mutex> lock(mutex);
    bool done = changed.wait_for(lock, std::chrono::milliseconds(std::atoi(argv[4])), [&] { return seen >= wanted; });
    return done ? 0 : 1;
  }
  std::fprintf(stderr, "usage: devices_child add|remove|watch ...\n");
  return 2;
}
