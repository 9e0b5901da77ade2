// The process logger: the abstract logger class, the slot a deliverable publishes its logger in,
// the process-wide feature-to-level map, and the time stamp of log lines.
//
// Level bits: 1 error, 2 warning, 4 information and trace. A feature's level is the set of bits
// switched on for it; 0 means silent. Levels live in one map per deliverable (this library is
// linked statically with hidden symbols, so every deliverable has its own map and logger even
// when several share a process). Entries are never removed, so the address of a level stays valid
// for the life of the process; every logging class keeps that address and reads the level
// through it at each test, so a level written into the map reaches every class at once.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rzd {

constexpr uint32_t LOG_LEVEL_ERROR = 1;
constexpr uint32_t LOG_LEVEL_WARN = 2;
constexpr uint32_t LOG_LEVEL_INFO = 4;  // information and call traces

// One stored feature level. Read and written from any thread.
using FeatureLevel = std::atomic<int32_t>;

class CLogInterface;

// The slot a process logger is published in. Logging classes keep the address of a slot
// (`CLogInterfacePtr`), never the logger itself, so a logger published later, or withdrawn, is
// seen on their next call. A call into the logger pins the slot (LogObjectUse) so that Withdraw
// can wait until no call is inside the old logger before its owner deletes it.
class LogObjectSlot {
 public:
  LogObjectSlot() = default;
  LogObjectSlot(const LogObjectSlot&) = delete;
  LogObjectSlot& operator=(const LogObjectSlot&) = delete;

  // The logger now published, or null. Only good for a test: to call the logger, pin it with
  // LogObjectUse.
  CLogInterface* Get() const { return logger_.load(std::memory_order_seq_cst); }
  // Publishes `logger` (the slot must be empty or hold the same logger).
  void Publish(CLogInterface* logger) { logger_.store(logger, std::memory_order_seq_cst); }
  // Empties the slot and waits until no call is inside the logger it held; returns that logger,
  // which the caller may then delete. Must not be called from inside a logger call, nor while
  // holding a lock that a logger call takes.
  CLogInterface* Withdraw();

 private:
  friend class LogObjectUse;
  std::atomic<CLogInterface*> logger_{nullptr};
  std::atomic<uint32_t> users_{0};
};

// The address of a process's logger slot.
using CLogInterfacePtr = LogObjectSlot*;

// Pins the logger of a slot for the life of this object; Get() is null when the slot is empty
// (or the slot pointer is null).
class LogObjectUse {
 public:
  explicit LogObjectUse(CLogInterfacePtr slot);
  ~LogObjectUse();
  LogObjectUse(const LogObjectUse&) = delete;
  LogObjectUse& operator=(const LogObjectUse&) = delete;
  CLogInterface* Get() const { return logger_; }
  CLogInterface* operator->() const { return logger_; }
  explicit operator bool() const { return logger_ != nullptr; }

 private:
  CLogInterfacePtr slot_;
  CLogInterface* logger_ = nullptr;
};

// The abstract process logger. The diagnostics sink is its implementation in the deliverables
// that log; tests use recording loggers.
class CLogInterface {
 public:
  CLogInterface() = default;
  CLogInterface(const CLogInterface&) = delete;
  CLogInterface& operator=(const CLogInterface&) = delete;
  virtual ~CLogInterface();

  // Writes one line. Called on the logging thread, only for lines whose level bit is on. Texts
  // may be null.
  virtual void Log(uint32_t level, uint32_t processId, uint32_t threadId, const char16_t* timeStamp,
                   const char16_t* featureName, const char16_t* text) = 0;

  // The stored level of a feature. The base answers LookupFeatureLevel; a logger that asks an
  // outside configuration stores its answer in the same entry and returns its address.
  virtual FeatureLevel* GetFeatureLevel(const std::u16string& featureName);

  // Finds the feature's entry; a name not yet known is inserted with level 0 and appended to the
  // registered-name list. Names compare by exact code units. Never null.
  static FeatureLevel* LookupFeatureLevel(const std::u16string& featureName);
  // The feature names in the order of their first lookup (a copy).
  static std::vector<std::u16string> GetRegisteredFeatureNames();
};

// This deliverable's logger slot.
CLogInterfacePtr GetGlobalLogObject();

// Local time as "%Y-%m-%d %H:%M:%S:mmm" (23 characters), from one reading of the log clock.
std::u16string GetTimeStamp();

// The clock of time stamps and dump file names. Null (the default) is the system clock; tests set
// a function of their own.
using LogClockFunction = std::chrono::system_clock::time_point (*)();
void SetLogClock(LogClockFunction clock);
std::chrono::system_clock::time_point LogClockNow();

// printf-style wide formatting ("C" locale; %s wide, %S narrow).
std::u16string FormatWString(const char16_t* format, ...);
std::u16string VFormatWString(const char16_t* format, va_list args);

// Text for a developer watching the process (standard error), for failures inside logging.
void OutputDebugText(std::u16string_view text);

}  // namespace rzd
