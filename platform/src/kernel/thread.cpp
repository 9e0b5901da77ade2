// Threads with exit codes. The handle is an in-process manual-reset event set when the thread's
// function returns; the std::thread behind it is joined by Join or by the last handle.
#include "platform/kernel.h"

#include "kernel/core.h"
#include "platform/process.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace rzd {

using kernel_detail::Kind;

namespace {

class ThreadCore : public kernel_detail::LocalCore {
 public:
  ThreadCore() : LocalCore(Kind::Event) { record()->manualReset = 1; }
  ~ThreadCore() override {
    std::lock_guard lock(joinMutex);
    if (!thread.joinable()) return;
    // The running thread itself may drop the last handle on its way out.
    if (thread.get_id() == std::this_thread::get_id()) {
      thread.detach();
    } else {
      thread.join();
    }
  }

  std::mutex joinMutex;
  std::thread thread;
  std::mutex idMutex;
  std::condition_variable idKnown;
  uint32_t id = 0;
  std::atomic<bool> ended{false};
  std::atomic<uint32_t> exitCode{0};
};

ThreadCore* AsThread(const std::shared_ptr<kernel_detail::Core>& core) {
  return dynamic_cast<ThreadCore*>(core.get());
}

}  // namespace

Thread Thread::Start(std::function<uint32_t()> body) {
  if (!body) return Thread();
  auto core = std::make_shared<ThreadCore>();
  try {
    std::lock_guard lock(core->joinMutex);
    core->thread = std::thread([keep = core, body = std::move(body)]() mutable {
      std::shared_ptr<ThreadCore> self = std::move(keep);
      {
        std::lock_guard idLock(self->idMutex);
        self->id = CurrentThreadId();
      }
      self->idKnown.notify_all();
      uint32_t code = body();
      body = nullptr;  // what the function holds is released on this thread, before the end is told
      self->exitCode.store(code, std::memory_order_release);
      self->ended.store(true, std::memory_order_release);
      self->Lock();
      self->record()->signalled = 1;
      self->Unlock();
      self->NotifyChanged();
      self.reset();
    });
  } catch (const std::system_error&) {
    return Thread();
  }
  {
    std::unique_lock lock(core->idMutex);
    core->idKnown.wait(lock, [&] { return core->id != 0; });
  }
  return Thread(core);
}

uint32_t Thread::Id() const {
  ThreadCore* t = AsThread(core_);
  if (t == nullptr) return 0;
  std::lock_guard lock(t->idMutex);
  return t->id;
}

uint32_t Thread::Join(uint32_t timeoutMs) const {
  ThreadCore* t = AsThread(core_);
  if (t == nullptr) return WAIT_FAILED;
  uint32_t result = Wait(timeoutMs);
  if (result != WAIT_OBJECT_0) return result;
  std::lock_guard lock(t->joinMutex);
  if (t->thread.joinable() && t->thread.get_id() != std::this_thread::get_id()) t->thread.join();
  return WAIT_OBJECT_0;
}

std::optional<uint32_t> Thread::ExitCode() const {
  ThreadCore* t = AsThread(core_);
  if (t == nullptr || !t->ended.load(std::memory_order_acquire)) return std::nullopt;
  return t->exitCode.load(std::memory_order_acquire);
}

}  // namespace rzd
