// A watcher in a process of its own, for tests that prove a unit's removal is announced to every
// process: it registers a notification for the image interface class, creates the ready file
// (so the test knows it listens), then waits for the removal of one interface path.
//
// Usage: rzd-engine-device-watch <interface path> <ready file> <milliseconds>
// Exit codes: 0 the removal was announced, 1 none came in time, 2 bad command line or no watch.
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
  if (argc != 4) {
    std::fprintf(stderr, "usage: rzd-engine-device-watch <interface path> <ready file> <milliseconds>\n");
    return 2;
  }
  const std::u16string path = rzd::FromUtf8(argv[1]);
  const long milliseconds = std::strtol(argv[3], nullptr, 10);
  std::mutex mutex;
  std::condition_variable changed;
  bool removed = false;
  auto onEvent = [&](const rzd::DeviceInterfaceEvent& event) {
    if (event.eventType != DBT_DEVICEREMOVECOMPLETE || !rzd::EqualsNoCase(event.interfacePath, path)) return;
    std::lock_guard<std::mutex> lock(mutex);
    removed = true;
    changed.notify_all();
  };
  auto watch = rzd::DeviceNotification::Register(GUID_DEVINTERFACE_IMAGE, onEvent);
  if (!watch) {
    std::fprintf(stderr, "rzd-engine-device-watch: the device table cannot be watched\n");
    return 2;
  }
  std::ofstream(argv[2]) << "ready\n";
  std::unique_lock<std::mutex> lock(mutex);
  const bool seen = changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return removed; });
  lock.unlock();
  watch->Unregister();
  std::printf("rzd-engine-device-watch: %s\n", seen ? "removal seen" : "no removal");
  return seen ? 0 : 1;
}
