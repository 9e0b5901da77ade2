// A small unit for the transport's tests: everything written to it (bulk or vendor) comes back
// on its read pipe, and control lines make it stall, stop answering or raise device events.
#pragma once

#include "engine/unit_port.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace rzd::engine::fake {

class FakeUnit final : public UnitPort {
 public:
  PortStatus VendorOut(const VendorRequest& request) override;
  PortStatus BulkOut(const uint8_t* data, size_t size) override;
  PortStatus BulkIn(size_t maxSize, std::vector<uint8_t>& out) override;
  void ResetPipe(int pipeType) override;
  void SetEventListener(EventListener listener) override;
  // "queue <hex>", "stall on|off", "mute on|off", "event <hex>", "last-vendor", "queued", "reads".
  std::string Control(const std::string& line) override;
  std::string ControlHelp() const override;

 private:
  PortStatus Refusal() const;  // Ok when the unit works normally
  std::mutex mutex_;
  std::deque<uint8_t> readQueue_;
  bool stalled_ = false;
  bool mute_ = false;
  std::string lastVendor_ = "none";
  size_t reads_ = 0;
  EventListener listener_;
};

// Hex text of bytes ("0a1b"), and back (nullopt for anything but pairs of hex digits).
std::string ToHex(const std::vector<uint8_t>& bytes);
std::optional<std::vector<uint8_t>> FromHex(const std::string& text);

}  // namespace rzd::engine::fake
