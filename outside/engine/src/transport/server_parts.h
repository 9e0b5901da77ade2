// Pieces of the unit server shared by its source files: an accepted connection, the device-event
// waiters, and what a USB session needs of the unit.
#pragma once

#include "engine/unit_port.h"
#include "platform/usb_sim_protocol.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

namespace rzd::engine::transport {

// One accepted socket and the thread that serves it.
class Connection {
 public:
  Connection(int fd, bool usb) : fd_(fd), usb_(usb) {}
  ~Connection();  // closes the socket
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  int Fd() const { return fd_; }
  bool IsUsb() const { return usb_; }
  // Sends one frame; serialised with the other senders of this connection.
  bool Send(const usbsim::FrameHeader& header, std::span<const uint8_t> payload = {});
  // Wakes the serving thread out of its receive; the socket stays open until destruction.
  void Shutdown();

  std::thread thread;
  std::atomic<bool> finished{false};

 private:
  const int fd_;
  const bool usb_;
  std::mutex sendMutex_;
};

// Device-event waits of all connections, answered oldest first. A report that comes while
// nobody waits is kept (the most recent kMaxQueued) for the next wait. Reports hold at most
// kEventReportSize bytes (a short one is sent as it is).
class EventHub {
 public:
  static constexpr size_t kMaxQueued = 8;
  using Report = std::vector<uint8_t>;

  void Wait(const std::shared_ptr<Connection>& connection, uint32_t id);
  // True when the wait was still pending; it is then answered with 995.
  bool Cancel(Connection& connection, uint32_t id);
  void Deliver(std::span<const uint8_t> report);
  // Unplugged: waiters and kept reports are dropped, and reports are ignored until replugged.
  void SetPlugged(bool plugged);

 private:
  struct Waiter {
    std::weak_ptr<Connection> connection;
    uint32_t id;
  };
  std::mutex mutex_;
  std::deque<Waiter> waiters_;
  std::deque<Report> queued_;
  bool plugged_ = true;
};

// What a USB session works with.
struct UnitContext {
  explicit UnitContext(UnitPort& unitPort) : port(unitPort) {}
  UnitPort& port;
  std::mutex portMutex;  // the unit handles one transfer at a time
  EventHub events;
  std::u16string interfacePath;
  std::atomic<bool> plugged{false};
};

// Serves one USB connection until it ends: the Hello exchange, then request frames.
void ServeUsb(const std::shared_ptr<Connection>& connection, UnitContext& unit);

// Reads one control line from a control connection (bounded, with a time-out); nullopt when
// none arrives.
std::optional<std::string> ReadControlLine(const Connection& connection);
void SendControlReply(const Connection& connection, const std::string& reply);

}  // namespace rzd::engine::transport
