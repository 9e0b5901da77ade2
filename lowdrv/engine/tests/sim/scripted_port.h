// A unit for the engine link's transport tests, served by the simulated unit's transport: the
// test queues what the read pipe delivers, makes writes or reads stall, and delays answers; the
// port counts what the host did.
#pragma once

#include "engine/unit_port.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rzd::lowdrv::test {

class ScriptedPort final : public engine::UnitPort {
 public:
  engine::PortStatus VendorOut(const engine::VendorRequest& request) override {
    std::lock_guard lock(mutex_);
    vendor_.push_back(request.data);
    return engine::PortStatus::Ok;
  }
  engine::PortStatus BulkOut(const uint8_t* data, size_t size) override {
    std::lock_guard lock(mutex_);
    writes_.emplace_back(data, data + size);
    if (stallWrites_ > 0) {
      --stallWrites_;
      return engine::PortStatus::Stall;
    }
    return engine::PortStatus::Ok;
  }
  engine::PortStatus BulkIn(size_t maxSize, std::vector<uint8_t>& out) override {
    std::chrono::milliseconds delay{0};
    {
      std::lock_guard lock(mutex_);
      ++reads_;
      delay = readDelay_;
    }
    // A slow unit: the answer comes late (the transport serves one request at a time).
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    std::lock_guard lock(mutex_);
    if (stallReads_ > 0) {
      --stallReads_;
      return engine::PortStatus::Stall;
    }
    if (queue_.empty()) return engine::PortStatus::NoAnswer;
    const size_t n = std::min(maxSize, queue_.size());
    out.assign(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
    return engine::PortStatus::Ok;
  }
  // Resets are only counted: stale data that the unit keeps sending stays queued.
  void ResetPipe(int pipeType) override {
    std::lock_guard lock(mutex_);
    ++resets_[pipeType == 2 ? 1 : 0];
  }
  void SetEventListener(EventListener) override {}
  std::string Control(const std::string&) override { return "error unknown"; }
  std::string ControlHelp() const override { return {}; }

  // ---- Script.
  void Queue(const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    queue_.insert(queue_.end(), bytes.begin(), bytes.end());
  }
  void StallWrites(int count) {
    std::lock_guard lock(mutex_);
    stallWrites_ = count;
  }
  void StallReads(int count) {
    std::lock_guard lock(mutex_);
    stallReads_ = count;
  }
  void DelayReads(std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    readDelay_ = delay;
  }

  // ---- What the host did.
  size_t Queued() {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }
  std::vector<std::vector<uint8_t>> Writes() {
    std::lock_guard lock(mutex_);
    return writes_;
  }
  std::vector<std::vector<uint8_t>> VendorBlocks() {
    std::lock_guard lock(mutex_);
    return vendor_;
  }
  int Reads() {
    std::lock_guard lock(mutex_);
    return reads_;
  }
  int ReadPipeResets() {
    std::lock_guard lock(mutex_);
    return resets_[0];
  }
  int WritePipeResets() {
    std::lock_guard lock(mutex_);
    return resets_[1];
  }

 private:
  std::mutex mutex_;
  std::deque<uint8_t> queue_;
  int stallWrites_ = 0;
  int stallReads_ = 0;
  std::chrono::milliseconds readDelay_{0};
  std::vector<std::vector<uint8_t>> writes_;
  std::vector<std::vector<uint8_t>> vendor_;
  int reads_ = 0;
  int resets_[2] = {0, 0};
};

}  // namespace rzd::lowdrv::test
