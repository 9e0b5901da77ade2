// The simulated scanner unit: the device side of the engine command protocol, behind the USB
// pipes of UnitPort. The transport (rzd-engine) serves it over a socket; tests use it in-process.
//
// Both command sets are understood. The new set: a 12-byte command block as a vendor request,
// then a data phase (one bulk OUT, or one bulk IN of at most the asked length and at least one
// byte), then a 3-byte status on the read pipe (status in byte 2: 0 good, 2 check condition).
// The classic set: a 10-byte command block on the write pipe, the data phase, a 1-byte status.
// After a check condition the sense data is kept until the next REQUEST SENSE returns it once.
//
// The unit holds paper in its feeder, feeds a sheet when the host reserves it for a page, and
// delivers raw raster lines (see page_pattern.h) or JPEG entropy-coded data. Conditions such as
// jams, an open cover or button presses are caused through Control(); ControlHelp() lists the
// commands. Every method is safe to call from several threads.
#pragma once

#include "engine/unit_port.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace rzd::engine {

// Facts fixed when the unit is made (they shape its inquiry answer).
struct SimUnitOptions {
  bool imprinter = true;
  bool lcd = true;
  bool ultrasonic = true;
  bool inputTray = true;
  std::string serialNumber = "QM48TZ000001";  // at most 24 characters
  std::string revision = "1.00";              // the firmware revision text, 4 characters
  uint16_t capabilityWord = 0;                // the new set's inquiry word at answer bytes 56-57
  // When set, each LCD screen upload that holds a bitmap file is also written there as a PNG
  // named after its slot ("F4N33.png" for slot 4 in 33 blocks), so a person can see the panel.
  std::filesystem::path lcdDir{};
};

// One block the unit received: a command block of either set, or a data-out block.
struct ReceivedBlock {
  enum class Kind : uint8_t { NewCommand, ClassicCommand, Data };
  uint64_t sequence = 0;  // counts from 1 over the unit's life
  Kind kind = Kind::Data;
  std::vector<uint8_t> bytes;
};

// "<sequence> <new|classic|data> <size>: <hex bytes>" (all bytes, two hex digits each).
std::string FormatReceived(const ReceivedBlock& block);

inline constexpr size_t kNvramSize = 167;

class SimUnit final : public UnitPort {
 public:
  explicit SimUnit(SimUnitOptions options = {});
  ~SimUnit() override;
  SimUnit(const SimUnit&) = delete;
  SimUnit& operator=(const SimUnit&) = delete;

  PortStatus VendorOut(const VendorRequest& request) override;
  PortStatus BulkOut(const uint8_t* data, size_t size) override;
  PortStatus BulkIn(size_t maxSize, std::vector<uint8_t>& out) override;
  void ResetPipe(int pipeType) override;
  void SetEventListener(EventListener listener) override;
  std::string Control(const std::string& line) override;
  std::string ControlHelp() const override;

  // In-process inspection (tests).
  std::vector<ReceivedBlock> Received() const;  // oldest first
  void ClearReceived();
  std::array<uint8_t, kNvramSize> Nvram() const;  // wire order: multi-byte fields big-endian
  std::string Revision() const;                   // the firmware revision text
  size_t SheetsInFeeder() const;
  std::map<uint16_t, std::vector<uint8_t>> LcdScreens() const;  // by slot value (slot + 4000)
  std::map<uint16_t, std::string> LcdStrings() const;           // by string number

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace rzd::engine
