// The unit's self-calibration as the driver runs it: a thread of its own steps the engine
// through its calibration while status queries answer the `RZDMaintenanceStatus` document.
#pragma once

#include "lowdrv/engine/reduzid_interface.h"
#include "platform/kernel.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace rzd::lowdrv::calibration {

// Calibration status codes.
namespace status {
constexpr uint32_t kNotCalibrated = 0;
constexpr uint32_t kCalibrated = 1;  // never produced by this driver
constexpr uint32_t kStarted = 2;
constexpr uint32_t kWaitingForTarget = 3;
constexpr uint32_t kInProgress = 4;
constexpr uint32_t kComplete = 5;
constexpr uint32_t kCompleteWithError = 6;
constexpr uint32_t kCanceled = 7;
}  // namespace status

// One calibration: written by its thread, read by the driver object's queries (each value a
// single atomic store), and everything the thread needs, so the thread never touches the driver
// object and may outlive it.
struct Run {
  std::atomic<uint32_t> status{status::kNotCalibrated};
  std::atomic<uint32_t> progress{0};    // percent
  std::atomic<uint32_t> error{0};       // the engine's code of a failed calibration
  std::atomic<bool> dataRead{false};    // a first step succeeded (operation 67)
  std::atomic<bool> finished{false};    // the progress reached its cap (operation 68)
  Event started;                        // set first thing by the thread
  Event stop;                           // manual-reset: a close or unlock ends the thread

  std::u16string devicePath;
  uint8_t newCommandSet = 1;
  EngineInquiryCache inquiry;
  uint32_t commandTimeoutMs = 5000;
  uint32_t stepWaitMs = 1000;
};

// The thread's body. On a handle of its own it reads the step count, then runs one step after
// another (waiting `stepWaitMs` between them on the stop event): progress 100 x steps / count,
// capped at 99 with the finished flag, then 100 and status 5. A count of 0 ends at once with
// status 5 and progress 100. A failure: status 6 with the engine's code. A stop before the
// finish: status 7. Answers 0 after a complete calibration, else 0xFFFFFFFF.
uint32_t CalibrationThread(Run& run);

// The status form of the document; `errorText` is the driver's text of `error` (status 6 only).
std::u16string StatusDocument(uint32_t code, uint32_t progress, uint32_t error, std::u16string_view errorText);
// The start form, naming the scanner.
std::u16string StartDocument(std::u16string_view scannerName);

}  // namespace rzd::lowdrv::calibration
