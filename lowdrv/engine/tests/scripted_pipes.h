// A USB device whose pipes follow a script: the engine's answer to each command block is
// computed by the test. Serves both command sets at the pipe level: the command block (vendor
// request or first write), an optional data phase, and the status read.
#pragma once

#include "lowdrv/engine/usb_device.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {

// What the engine does with one command block.
struct Reply {
  std::vector<uint8_t> dataIn;  // delivered by the data phase of a read
  uint8_t status = 0;           // 2: check condition
  uint32_t commandError = 0;    // Win32 error failing the command phase
  uint32_t dataError = 0;       // Win32 error failing the data phase
  uint32_t statusError = 0;     // Win32 error failing the status phase
};

class ScriptedPipes : public CUSBDevice {
 public:
  using Engine = std::function<Reply(const std::vector<uint8_t>& cdb)>;

  explicit ScriptedPipes(bool newSet) : newSet_(newSet) {}

  Engine engine = [](const std::vector<uint8_t>&) { return Reply{}; };
  // Called at the start of every data phase (for tests of concurrency).
  std::function<void()> onDataPhase;

  struct Command {
    std::vector<uint8_t> cdb;
    std::vector<uint8_t> dataOut;
    uint32_t timeoutMs = 0;
  };
  std::vector<Command> commands;    // every command block and what was written after it
  std::vector<std::string> pipeOps;  // "reset 1", "cancel 2", ...

  std::vector<std::vector<uint8_t>> Cdbs() const {
    std::vector<std::vector<uint8_t>> out;
    for (const Command& c : commands) out.push_back(c.cdb);
    return out;
  }
  // The opcode and the data-type bytes of each block, for short comparisons.
  std::vector<uint8_t> Opcodes() const {
    std::vector<uint8_t> out;
    for (const Command& c : commands) out.push_back(c.cdb.empty() ? 0 : c.cdb[0]);
    return out;
  }

  BOOL DeviceIoControl(uint32_t code, const void* input, uint32_t inputSize, void*, uint32_t, uint32_t* returned,
                       bool) override {
    if (returned) *returned = 0;
    m_dwLastError = 0;
    if (code == IOCTL_RESET_PIPE || code == IOCTL_CANCEL_IO) {
      uint32_t pipe = 0;
      std::memcpy(&pipe, input, sizeof pipe);
      pipeOps.push_back(std::string(code == IOCTL_RESET_PIPE ? "reset " : "cancel ") + std::to_string(pipe));
      if (code == IOCTL_RESET_PIPE) phase_ = Phase::Command;  // a reset drops the command under way
      return TRUE;
    }
    if (code != IOCTL_SEND_USB_REQUEST || !newSet_ || inputSize < sizeof(IO_BLOCK_EX)) return Fail(ERROR_INVALID_FUNCTION);
    IO_BLOCK_EX block;
    std::memcpy(&block, input, sizeof block);
    if (block.bRequest != 4 || block.bmRequestType != 0x40 || block.uLength != 12) return Fail(ERROR_INVALID_PARAMETER);
    return BeginCommand(std::vector<uint8_t>(block.pbyData, block.pbyData + block.uLength)) ? TRUE : FALSE;
  }

  uint32_t DeviceWrite(const void* buffer, uint32_t count, bool) override {
    m_dwLastError = 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (phase_ == Phase::Command) {
      if (newSet_ || count != 10) {
        Fail(ERROR_INVALID_FUNCTION);
        return 0;
      }
      return BeginCommand(std::vector<uint8_t>(bytes, bytes + count)) ? count : 0;
    }
    if (onDataPhase) onDataPhase();
    commands.back().dataOut.assign(bytes, bytes + count);
    phase_ = Phase::Status;
    if (reply_.dataError) {
      Fail(reply_.dataError);
      return 0;
    }
    return count;
  }

  uint32_t DeviceRead(void* buffer, uint32_t count, bool) override {
    m_dwLastError = 0;
    if (phase_ == Phase::Data && (!reply_.dataIn.empty() || reply_.dataError)) {
      if (onDataPhase) onDataPhase();
      phase_ = Phase::Status;
      if (reply_.dataError) {
      Fail(reply_.dataError);
      return 0;
    }
      const uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(reply_.dataIn.size()));
      std::memcpy(buffer, reply_.dataIn.data(), n);
      return n;
    }
    phase_ = Phase::Command;
    if (reply_.statusError) {
      Fail(reply_.statusError);
      return 0;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    if (newSet_) {
      if (count < 3) {
        Fail(ERROR_INVALID_PARAMETER);
        return 0;
      }
      out[0] = 0;
      out[1] = 0;
      out[2] = reply_.status;
      return 3;
    }
    out[0] = reply_.status;
    return 1;
  }

 private:
  enum class Phase { Command, Data, Status };

  BOOL Fail(uint32_t error) {
    m_dwLastError = error;
    return FALSE;
  }

  bool BeginCommand(std::vector<uint8_t> cdb) {
    commands.push_back({cdb, {}, m_ulTimeout});
    reply_ = engine(cdb);
    if (reply_.commandError) {
      Fail(reply_.commandError);
      phase_ = Phase::Command;
      return false;
    }
    phase_ = Phase::Data;
    return true;
  }

  bool newSet_;
  Phase phase_ = Phase::Command;
  Reply reply_;
};

}  // namespace rzd::lowdrv::test
