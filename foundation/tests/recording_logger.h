// A logger for tests: keeps every line it is given.
#pragma once

#include "foundation/log_interface.h"

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

namespace rzd::test {

struct LoggedLine {
  uint32_t level = 0;
  uint32_t processId = 0;
  uint32_t threadId = 0;
  std::u16string timeStamp;
  std::u16string feature;
  std::u16string text;
};

class RecordingLogger : public CLogInterface {
 public:
  void Log(uint32_t level, uint32_t processId, uint32_t threadId, const char16_t* timeStamp,
           const char16_t* featureName, const char16_t* text) override {
    std::lock_guard guard(lock_);
    lines_.push_back({level, processId, threadId, timeStamp ? timeStamp : u"", featureName ? featureName : u"",
                      text ? text : u""});
  }
  std::vector<LoggedLine> Lines() const {
    std::lock_guard guard(lock_);
    return lines_;
  }
  std::vector<std::u16string> Texts() const {
    std::vector<std::u16string> texts;
    for (const auto& line : Lines()) texts.push_back(line.text);
    return texts;
  }
  void Clear() {
    std::lock_guard guard(lock_);
    lines_.clear();
  }

 private:
  mutable std::mutex lock_;
  std::vector<LoggedLine> lines_;
};

// A logger published in a slot of its own for the life of the object.
class PublishedLogger {
 public:
  PublishedLogger() { slot_.Publish(&logger_); }
  ~PublishedLogger() { slot_.Withdraw(); }
  CLogInterfacePtr Slot() { return &slot_; }
  RecordingLogger& Logger() { return logger_; }

 private:
  RecordingLogger logger_;
  LogObjectSlot slot_;
};

// A fixed clock for time stamps and dump names: 2023-11-14 22:13:20 UTC plus `g_fixedMillis`.
inline std::chrono::milliseconds g_fixedMillis{0};
inline constexpr int64_t kFixedSeconds = 1700000000;
inline std::chrono::system_clock::time_point FixedClock() {
  return std::chrono::system_clock::time_point(std::chrono::seconds(kFixedSeconds)) + g_fixedMillis;
}

// Uses the fixed clock while alive.
class FixedClockScope {
 public:
  explicit FixedClockScope(int64_t millis = 0) {
    g_fixedMillis = std::chrono::milliseconds(millis);
    SetLogClock(&FixedClock);
  }
  ~FixedClockScope() { SetLogClock(nullptr); }
};

}  // namespace rzd::test
