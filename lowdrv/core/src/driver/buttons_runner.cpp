#include "buttons_runner.h"

#include "foundation/message_wait.h"
#include "foundation/module_objects.h"
#include "lowdrv/core/driver_codes.h"
#include "lowdrv/core/driver_process.h"

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

// Forgets the thread and gives the unit's button-thread event back (under the runner's lock).
// This is the only place that sets the unit's event: a second set after another process has
// taken it would let a third process start a thread of its own for the same unit.
void Release(Runner& r) {
  Event unitEvent = r.context ? r.context->buttonThreadEvent : Event();
  // A thread still running is kept until it ends, so the library's unload can wait for it.
  std::erase_if(r.overran, [](const Thread& t) { return t.Join(0) == WAIT_OBJECT_0; });
  if (r.thread && r.thread.Join(0) == WAIT_TIMEOUT) r.overran.push_back(r.thread);
  r.thread = Thread();
  r.context.reset();
  r.running = false;
  if (unitEvent) unitEvent.Set();
}

}  // namespace

uint32_t ButtonsThread(ThreadContext& context) {
  context.result.store(0);
  context.startEvent.Set();
  WaitOne(context.endEvent, INFINITE);
  context.startEvent.Set();
  return context.result.load();
}

bool Running() {
  Runner& r = TheRunner();
  std::lock_guard guard(r.lock);
  return r.running;
}

LLDError Start(const std::u16string& devicePath, const Event& buttonThreadEvent, uint32_t waitMs, CLogClient& log) {
  Runner& r = TheRunner();
  std::lock_guard guard(r.lock);
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

  auto context = std::make_shared<ThreadContext>();
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
  if (r.thread.Join(0) == WAIT_TIMEOUT) {
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
