// Answers the usbfs requests a USB host library makes on the unit's device node of a umockdev
// testbed, with the simulated unit's own code behind its UnitPort: claims, URBs submitted,
// discarded and reaped, halts cleared. It runs on the testbed's worker thread (one request at a
// time per opened node; a host thread that reaps while nothing is ready is kept waiting a
// millisecond, since a plain file always polls ready and the host would otherwise spin).
#pragma once

#include "engine/unit_port.h"

#include <umockdev.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace rzd::engine::mockusb {

class UsbfsHandler {
 public:
  // `portMutex` orders the calls into the port with those of other handlers of the same unit.
  UsbfsHandler(UnitPort& port, std::mutex& portMutex);
  ~UsbfsHandler();
  UsbfsHandler(const UsbfsHandler&) = delete;
  UsbfsHandler& operator=(const UsbfsHandler&) = delete;

  // What umockdev attaches to the device node.
  UMockdevIoctlBase* Base() const { return base_; }

  // The unit went away: URBs in flight end with -ENODEV, later requests fail with ENODEV.
  void SetGone();
  // A device-event report: it completes the oldest waiting event URB, or waits for one (the 8
  // most recent are kept).
  void Event(std::vector<uint8_t> report);
  // URBs submitted and not yet reaped.
  size_t InFlight();

 private:
  struct Urb {
    UMockdevIoctlClient* client = nullptr;  // who submitted it (identity only)
    UMockdevIoctlData* urb = nullptr;       // the client's struct usbdevfs_urb
    UMockdevIoctlData* buffer = nullptr;    // its data
    uint8_t endpoint = 0;
  };
  struct Held {
    UMockdevIoctlClient* client;  // a reference of ours
    std::chrono::steady_clock::time_point until;
  };

  static gboolean OnIoctl(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
  static void OnVanished(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);

  void Handle(UMockdevIoctlClient* client, unsigned long request);
  // Each answers the request: the ioctl's result and errno.
  void Submit(UMockdevIoctlClient* client);
  void Discard(UMockdevIoctlClient* client);
  void Reap(UMockdevIoctlClient* client);
  void ClearHalt(UMockdevIoctlClient* client);
  void Capabilities(UMockdevIoctlClient* client);

  // With mutex_ held: runs the URB on the unit; false when the unit keeps quiet (it waits).
  bool Run(Urb& urb);
  // With mutex_ held: the URB ends with `status` and `actual` bytes, ready to be reaped.
  void Finish(Urb urb, int status, int actual);
  // With mutex_ held: waiting event URBs take the reports kept for them.
  void DeliverEvents();
  void Forget(Urb& urb);
  void ReleaseHeld();

  UnitPort& port_;
  std::mutex& portMutex_;
  UMockdevIoctlBase* base_;

  std::mutex mutex_;
  std::condition_variable heldChanged_;
  bool gone_ = false;
  bool stopping_ = false;
  bool wake_ = false;  // release every held reap now
  std::list<Urb> waiting_;                                    // in submission order
  std::map<UMockdevIoctlClient*, std::deque<Urb>> ready_;     // per client, in completion order
  std::deque<std::vector<uint8_t>> events_;
  std::vector<Held> held_;
  std::thread releaser_;
};

}  // namespace rzd::engine::mockusb
