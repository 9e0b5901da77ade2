// The unit's buttons thread as the process runs it: one per process at most, started by the open
// that took the unit's button-thread event and stopped by the last close of the process.
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
  std::u16string devicePath;
  Event startEvent;          // set before every wait for a device event (first: the thread is up)
  Event endEvent;            // set to end the thread
  Event buttonThreadEvent;   // the unit's named event, set again when the thread ends
  std::atomic<uint32_t> result{0};
};

// The thread's body: reports itself started and runs until the end event. The unit's
// button-thread event is given back once, by whoever stops or gives up the thread (Start, Stop),
// never by the thread as well.
uint32_t ButtonsThread(ThreadContext& context);

// True while this process runs the thread.
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
