// The unit's buttons thread as the process runs it: one per process at most, started by the open
// that took the unit's button-thread event and stopped by the last close of the process, or ended
// by itself when the unit cannot be reopened (then the next open of any process may take it).
//
// The thread owns what it uses (a copy of the device path and its own handles of the events), so
// it never depends on the driver object that started it, which may be destroyed while other
// driver objects of the process keep the thread running.
#pragma once

#include "foundation/log_client.h"
#include "lowdrv/engine/result_codes.h"
#include "platform/kernel.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace rzd::lowdrv::buttons {

struct ThreadContext {
  explicit ThreadContext(const CLogClient& opener) : log(opener) {}
  std::u16string devicePath;
  Event startEvent;          // set before every wait for a device event (first: the thread is up)
  Event endEvent;            // set to end the thread
  Event buttonThreadEvent;   // the unit's named event, set again when the thread is given up
  std::atomic<uint32_t> result{0};
  // Set by whoever gives the thread up first (its own end, or Start and Stop): only that one
  // sets the unit's event, so it is given back exactly once.
  std::atomic<bool> givenUp{false};
  // The wait before each reopen of a unit that went away, so an end request is heard.
  uint32_t reopenWaitMs = 250;
  CLogClient log;
};

// Gives the thread up: the first call sets the unit's button-thread event, later calls do nothing.
void GiveUp(ThreadContext& context);

// The thread's body: opens the device path and records the unit's device-event reports in the
// button table until the end event, or until the unit cannot be reopened. At its end it gives
// itself up (the process no longer runs it) and sets its start event.
uint32_t ButtonsThread(ThreadContext& context);

// True while this process runs the thread (started and neither stopped nor ended by itself).
bool Running();

// Starts the thread for the unit whose button-thread event the caller has just taken, and waits
// up to `waitMs` (messages flowing) for it to report itself started. 0 when it runs; otherwise the
// thread's failure (0x8002 when it did not respond, 0x8009 when it could not be made), and then
// nothing is left running and the button-thread event is set again for another process.
LLDError Start(const std::u16string& devicePath, const Event& buttonThreadEvent, uint32_t waitMs, CLogClient& log);

// Ends the thread when this process runs it: sets its end event and waits up to `waitMs`
// (messages flowing). A thread that overruns is logged with `overrunFormat` (one %d: the wait) and
// left to end by itself. Then the process no longer runs it and the button-thread event is set.
// 0, or 0x8002 for an overrun.
LLDError Stop(uint32_t waitMs, CLogClient& log, const char16_t* overrunFormat);

// Waits, without a limit, for every thread that overran its stop to end (the library's unload:
// no thread may run the library's code once it is gone).
void WaitForOverrunThreads();

}  // namespace rzd::lowdrv::buttons
