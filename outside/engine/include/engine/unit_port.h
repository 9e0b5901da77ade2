// The device side of the simulated unit's USB pipes: what the unit does when the host sends a
// vendor request, writes to the write pipe, reads from the read pipe, resets a pipe or waits for
// a device event. The transport (socket server) calls it; the unit implements it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace rzd::engine {

// Outcome of one pipe operation.
enum class PortStatus : uint8_t {
  Ok = 0,       // completed
  Stall = 1,    // the pipe stalls (host sees ERROR_GEN_FAILURE)
  NoAnswer = 2  // the unit answers nothing (host times out)
};

struct VendorRequest {
  uint8_t requestType = 0;  // 0x40: vendor, host to device
  uint8_t request = 0;      // 4: command block
  uint16_t value = 0;
  uint16_t index = 0;
  std::vector<uint8_t> data;  // the block sent with the request
};

class UnitPort {
 public:
  virtual ~UnitPort() = default;

  // A vendor control request from the host (the new command set's command block).
  virtual PortStatus VendorOut(const VendorRequest& request) = 0;
  // A bulk OUT transfer on the write pipe (type 2).
  virtual PortStatus BulkOut(const uint8_t* data, size_t size) = 0;
  // A bulk IN transfer on the read pipe (type 1) of at most `maxSize` bytes. Never more.
  virtual PortStatus BulkIn(size_t maxSize, std::vector<uint8_t>& out) = 0;
  // Resets a pipe (1 read, 2 write): what is queued for the current command is dropped.
  virtual void ResetPipe(int pipeType) = 0;

  // Device events (button presses and the like): reports of 16 bytes, or fewer when the unit
  // sends a short one. The transport registers one listener; the unit calls it once per report,
  // from any thread.
  static constexpr size_t kEventReportSize = 16;
  using EventListener = std::function<void(std::span<const uint8_t> report)>;
  virtual void SetEventListener(EventListener listener) = 0;

  // One line of the unit's control channel (load paper, press a button, jam, unplug...).
  // Returns the reply text (first word "ok" or "error").
  virtual std::string Control(const std::string& line) = 0;
  // Help text for the control commands (shown by --help).
  virtual std::string ControlHelp() const = 0;
};

}  // namespace rzd::engine
