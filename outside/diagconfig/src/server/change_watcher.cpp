// The watcher thread of a configuration object.
#include "change_watcher.h"

#include "server_module.h"

namespace cordiag {

std::unique_ptr<ChangeWatcher> ChangeWatcher::Start(std::function<void()> onChange) {
  auto shared = std::make_shared<Shared>();
  shared->listener = ChangeListener::Create();
  if (!shared->listener || !shared->stop) return nullptr;
  shared->onChange = std::move(onChange);
  std::unique_ptr<ChangeWatcher> watcher(new ChangeWatcher(shared));
  g_module.Lock();  // the library stays loaded while the thread runs its code
  try {
    watcher->thread_ = std::thread(Run, shared);
  } catch (...) {
    g_module.Unlock();
    return nullptr;
  }
  return watcher;
}

void ChangeWatcher::Run(std::shared_ptr<Shared> shared) {
  const std::vector<rzd::WaitHandle> objects{shared->listener->Event(), shared->stop};
  for (;;) {
    const uint32_t woken = rzd::WaitAny(objects, INFINITE);
    if (shared->stopping.load() || woken != WAIT_OBJECT_0) break;
    shared->onChange();
  }
  shared.reset();  // unlists the listener when the owner is gone too
  g_module.Unlock();
}

ChangeWatcher::~ChangeWatcher() {
  shared_->stopping.store(true);
  shared_->stop.Set();
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

}  // namespace cordiag
