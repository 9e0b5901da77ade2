#include "buttons_runner.h"

#include "buttons/button_table.h"
#include "foundation/func_trace.h"
#include "foundation/message_wait.h"
#include "foundation/module_objects.h"
#include "lowdrv/core/driver_codes.h"
#include "lowdrv/core/driver_process.h"
#include "platform/usb.h"

#include <memory>
#include <mutex>
#include <vector>

namespace rzd::lowdrv::buttons {

namespace {

// The process's thread and its bookkeeping, changed only under `lock`.
struct Runner {
  std::mutex lock;
  bool running = false;
  Thread thread;
  std::shared_ptr<ThreadContext> context;
  std::vector<Thread> overran;  // threads that did not end within their stop's wait
};

Runner& TheRunner() {
  static ModuleObject<Runner> runner;
  return runner.Get();
}

// Forgets the thread and gives the unit's button-thread event back (under the runner's lock),
// unless the thread already gave itself up.
void Release(Runner& r) {
  if (r.context) GiveUp(*r.context);
  // A thread still running is kept until it ends, so the library's unload can wait for it.
  std::erase_if(r.overran, [](const Thread& t) { return t.Join(0) == WAIT_OBJECT_0; });
  if (r.thread && r.thread.Join(0) == WAIT_TIMEOUT) r.overran.push_back(r.thread);
  r.thread = Thread();
  r.context.reset();
  r.running = false;
}

// The thread ended by itself (the unit went away): it gave the event back already.
bool EndedByItself(const Runner& r) { return r.running && r.context && r.context->givenUp.load(); }

// One device-event request: its own event is set when it completes.
struct EventRequest {
  uint8_t report[kEventReportSize] = {};  // zeroed for every request
  UsbRequest request;
};

}  // namespace

void GiveUp(ThreadContext& context) {
  if (!context.givenUp.exchange(true) && context.buttonThreadEvent) context.buttonThreadEvent.Set();
}

uint32_t ButtonsThread(ThreadContext& context) {
  RZD_FUNC_TRACE_OF(context.log, u"ButtonsThread");
  context.result.store(0);
  const Event done = Event::Unnamed(true, false);
  std::shared_ptr<UsbDevice> device;
  if (!done) {
    RZD_LOG_ERROR_OF(context.log, u"ButtonsThread failed because CreateEvent() failed");
    context.result.store(lld::kNoMemory);
  } else {
    device = UsbDevice::Open(context.devicePath);
    if (!device) {
      RZD_LOG_ERROR_OF(context.log, u"ButtonsThread failed because CreateFile() failed");
      context.result.store(lld::kUnreachable);
    }
  }
  while (device) {
    done.Reset();
    EventRequest pending;
    pending.request = device->StartWaitDeviceEvent(pending.report, sizeof pending.report,
                                                   [done](uint32_t, size_t) { done.Set(); });
    if (pending.request.IsComplete() && pending.request.Error() != ERROR_SUCCESS) {
      // The request failed at once.
      context.result.store(1);
      const uint32_t error = pending.request.Error();
      device->Close();
      device.reset();
      if (error != ERROR_ACCESS_DENIED && error != ERROR_DEVICE_NOT_CONNECTED) break;
      // The unit went away: wait a little before each reopen, so an end request is heard and a
      // unit that stays away does not keep this thread spinning.
      if (WaitOne(context.endEvent, context.reopenWaitMs) != WAIT_TIMEOUT) break;
      device = UsbDevice::Open(context.devicePath);
      if (!device) context.result.store(lld::kUnreachable);
      continue;
    }
    context.result.store(0);
    context.startEvent.Set();
    if (WaitAny({done, context.endEvent}, INFINITE) != WAIT_OBJECT_0) {
      pending.request.Cancel();
      device->Close();
      break;
    }
    if (pending.request.Error() == ERROR_SUCCESS) RecordReport(pending.report, pending.request.Transferred());
  }
  // The process no longer runs the thread: another process (or the next open here) may take it.
  GiveUp(context);
  context.startEvent.Set();
  return context.result.load();
}

bool Running() {
  Runner& r = TheRunner();
  std::lock_guard guard(r.lock);
  return r.running && !EndedByItself(r);
}

LLDError Start(const std::u16string& devicePath, const Event& buttonThreadEvent, uint32_t waitMs, CLogClient& log) {
  Runner& r = TheRunner();
  std::lock_guard guard(r.lock);
  if (EndedByItself(r)) {
    // It has given itself up and is ending: forget it before a new one starts.
    r.thread.Join(INFINITE);
    Release(r);
  }
  if (r.running) return 0;
  // Fresh events for every thread: a thread that overran an earlier stop still sees its own
  // end event set.
  Event endEvent = Event::Unnamed(false, false);
  if (!endEvent) {
    RZD_LOG_ERROR_OF(log, u"OpenScanner failed to create m_hThreadEndEvent");
    buttonThreadEvent.Set();
    return lld::kInternal;
  }
  Event startEvent = Event::Unnamed(false, false);
  if (!startEvent) {
    RZD_LOG_ERROR_OF(log, u"OpenScanner failed to create m_hThreadStartEvent");
    buttonThreadEvent.Set();
    return lld::kInternal;
  }

  auto context = std::make_shared<ThreadContext>(log);
  context->devicePath = devicePath;
  context->startEvent = startEvent;
  context->endEvent = endEvent;
  context->buttonThreadEvent = buttonThreadEvent;
  // A result other than 0 until the thread reports itself started.
  context->result.store(lld::kInternal);
  r.context = context;
  r.thread = Thread::Start([context] { return ButtonsThread(*context); });
  if (!r.thread) {
    RZD_LOG_ERROR_OF(log, u"OpenScanner failed because CreateThread failed with %d", static_cast<int>(ERROR_NOT_ENOUGH_MEMORY));
    Release(r);
    return lld::kNoMemory;
  }

  const uint32_t wait = WaitWithMessageLoop(startEvent, waitMs);
  if (wait == WAIT_OBJECT_0 && context->result.load() == 0) {
    r.running = true;
    return 0;
  }
  if (wait == WAIT_OBJECT_0) {
    // It reported a failure: it is ending, or told to (it may have reopened a unit that came back).
    endEvent.Set();
    r.thread.Join(waitMs);
  } else if (r.thread.Join(0) == WAIT_TIMEOUT) {
    RZD_LOG_ERROR_OF(log, u"OpenScanner failed because button thread is not responding for %dmS",
                     static_cast<int>(waitMs));
    // Never killed: told to end, and left to end by itself if it does not within the wait.
    endEvent.Set();
    r.thread.Join(waitMs);
  }
  Release(r);
  return lld::kInternal;
}

LLDError Stop(uint32_t waitMs, CLogClient& log, const char16_t* overrunFormat) {
  Runner& r = TheRunner();
  std::lock_guard guard(r.lock);
  if (!r.running) return 0;
  LLDError result = 0;
  if (EndedByItself(r)) {
    r.thread.Join(INFINITE);
    Release(r);
    return 0;
  }
  r.context->endEvent.Set();
  if (WaitWithMessageLoop(r.thread, waitMs) != WAIT_OBJECT_0) {
    RZD_LOG_ERROR_OF(log, overrunFormat, static_cast<int>(waitMs));
    result = lld::kInternal;
  } else {
    r.thread.Join(INFINITE);
  }
  Release(r);
  return result;
}

void WaitForOverrunThreads() {
  Runner& r = TheRunner();
  std::vector<Thread> overran;
  {
    std::lock_guard guard(r.lock);
    overran.swap(r.overran);
  }
  for (const Thread& t : overran) t.Join(INFINITE);
}

}  // namespace rzd::lowdrv::buttons

namespace rzd::lowdrv {

bool ButtonsThreadRunsHere() { return buttons::Running(); }

}  // namespace rzd::lowdrv
