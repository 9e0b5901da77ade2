// Waits on one object or several.
//
// One object: the waiter sleeps on the object's own futex word (seq), which every change of the
// object bumps, in whichever process it happens. No polling.
//
// Several objects: the waiter sleeps on one word. When the set holds a named object, that word is
// the first named object's seq; otherwise it is the waiter's own word. The waiter registers with
// every other object of the set, and each change made in this process bumps the word it sleeps
// on. A second named object in the set can also be changed by another process, which does not
// know this waiter: such waits look again every kNamedPoll. A mutex owned by another thread is
// looked at every kOwnerPoll, to notice an owner that ended without releasing it.
#include "platform/kernel.h"

#include "kernel/core.h"
#include "kernel/futex.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace rzd {

using kernel_detail::Core;
using kernel_detail::FutexWait;
using kernel_detail::Kind;
using kernel_detail::Self;
using kernel_detail::Waiter;

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kNamedPoll{10};
constexpr std::chrono::milliseconds kOwnerPoll{100};

class Deadline {
 public:
  explicit Deadline(uint32_t timeoutMs)
      : infinite_(timeoutMs == INFINITE), at_(Clock::now() + std::chrono::milliseconds(infinite_ ? 0 : timeoutMs)) {}
  // Time left; nullopt for no limit. Zero or less once passed.
  std::optional<std::chrono::nanoseconds> Left() const {
    if (infinite_) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(at_ - Clock::now());
  }

 private:
  bool infinite_;
  Clock::time_point at_;
};

std::optional<std::chrono::nanoseconds> Slice(std::optional<std::chrono::nanoseconds> left,
                                              std::optional<std::chrono::nanoseconds> cap) {
  if (!cap) return left;
  if (!left) return cap;
  return std::min(*left, *cap);
}

bool Waitable(const WaitHandle& h) { return h && h.Core()->kind() != Kind::FileMapping; }

uint32_t WaitSingle(Core& core, uint32_t timeoutMs) {
  const Self self = kernel_detail::CurrentSelf();
  Deadline deadline(timeoutMs);
  std::atomic<uint32_t>* word = &core.record()->seq;
  for (;;) {
    uint32_t observed = word->load(std::memory_order_acquire);
    bool changed = false;
    core.Lock();
    bool signalled = core.IsSignalledLocked(self, &changed);
    uint32_t result = signalled ? core.TakeLocked(self) : WAIT_TIMEOUT;
    bool watchOwner = !signalled && core.HeldByOtherLocked(self);
    core.Unlock();
    if (signalled) return result;
    auto left = deadline.Left();
    if (left && left->count() <= 0) return WAIT_TIMEOUT;
    std::optional<std::chrono::nanoseconds> cap;
    if (watchOwner) cap = kOwnerPoll;
    FutexWait(word, observed, core.named(), Slice(left, cap));
  }
}

// Registers a waiter with the objects of a multi-object wait for its length.
class Registration {
 public:
  Registration(const std::vector<Core*>& cores, Core* primary, Waiter* waiter) : waiter_(waiter) {
    for (Core* c : cores) {
      if (c == primary || std::find(registered_.begin(), registered_.end(), c) != registered_.end()) continue;
      c->AddWaiter(waiter);
      registered_.push_back(c);
    }
  }
  ~Registration() {
    for (Core* c : registered_) c->RemoveWaiter(waiter_);
  }
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

 private:
  Waiter* waiter_;
  std::vector<Core*> registered_;
};

// One look at all objects for wait-any: takes the first signalled one.
std::optional<uint32_t> TryAny(const std::vector<Core*>& cores, const Self& self, bool* watchOwner) {
  for (size_t i = 0; i < cores.size(); ++i) {
    Core& c = *cores[i];
    bool changed = false;
    c.Lock();
    bool signalled = c.IsSignalledLocked(self, &changed);
    uint32_t result = signalled ? c.TakeLocked(self) : WAIT_TIMEOUT;
    if (!signalled && c.HeldByOtherLocked(self)) *watchOwner = true;
    c.Unlock();
    if (signalled) return result + static_cast<uint32_t>(i);
  }
  return std::nullopt;
}

// One look at all objects for wait-all: with every guard held (in a fixed order, the same in all
// processes), takes them all when all are signalled.
std::optional<uint32_t> TryAll(const std::vector<Core*>& cores, const std::vector<size_t>& lockOrder,
                               const Self& self, bool* watchOwner) {
  for (size_t i : lockOrder) cores[i]->Lock();
  bool all = true;
  std::vector<Core*> changedCores;
  for (Core* c : cores) {
    bool changed = false;
    if (!c->IsSignalledLocked(self, &changed)) {
      all = false;
      if (c->HeldByOtherLocked(self)) *watchOwner = true;
    }
    if (changed) changedCores.push_back(c);
  }
  std::optional<uint32_t> result;
  if (all) {
    result = WAIT_OBJECT_0;
    for (size_t i = 0; i < cores.size(); ++i) {
      if (cores[i]->TakeLocked(self) == WAIT_ABANDONED_0 && *result == WAIT_OBJECT_0) {
        result = WAIT_ABANDONED_0 + static_cast<uint32_t>(i);
      }
    }
  }
  for (auto it = lockOrder.rbegin(); it != lockOrder.rend(); ++it) cores[*it]->Unlock();
  // An abandoned mutex freed by this look but not taken: let other waiters see it.
  if (!all) {
    for (Core* c : changedCores) c->NotifyChanged();
  }
  return result;
}

uint32_t WaitMany(const std::vector<WaitHandle>& objects, bool waitAll, uint32_t timeoutMs) {
  if (objects.empty() || objects.size() > kMaximumWaitObjects) return WAIT_FAILED;
  std::vector<Core*> cores;
  for (const auto& h : objects) {
    if (!Waitable(h)) return WAIT_FAILED;
    cores.push_back(h.Core().get());
  }
  if (waitAll) {
    for (size_t i = 0; i < cores.size(); ++i) {
      for (size_t j = i + 1; j < cores.size(); ++j) {
        if (cores[i] == cores[j]) return WAIT_FAILED;
      }
    }
  }
  if (cores.size() == 1) return WaitSingle(*cores[0], timeoutMs);

  // Guards are taken unnamed objects first (by address), then named ones (by name).
  std::vector<size_t> lockOrder(cores.size());
  for (size_t i = 0; i < cores.size(); ++i) lockOrder[i] = i;
  std::sort(lockOrder.begin(), lockOrder.end(), [&](size_t a, size_t b) {
    const Core* x = cores[a];
    const Core* y = cores[b];
    if (x->named() != y->named()) return !x->named();
    if (!x->named()) return x < y;
    return x->NameKey() < y->NameKey();
  });

  Core* primary = nullptr;
  bool otherNamed = false;
  for (Core* c : cores) {
    if (!c->named()) continue;
    if (primary == nullptr) {
      primary = c;
    } else if (c != primary) {
      otherNamed = true;
    }
  }
  Waiter waiter;
  if (primary != nullptr) {
    waiter.channel = &primary->record()->seq;
    waiter.sharedChannel = true;
  }
  Registration registration(cores, primary, &waiter);

  const Self self = kernel_detail::CurrentSelf();
  Deadline deadline(timeoutMs);
  for (;;) {
    uint32_t observed = waiter.channel->load(std::memory_order_acquire);
    bool watchOwner = false;
    auto result = waitAll ? TryAll(cores, lockOrder, self, &watchOwner) : TryAny(cores, self, &watchOwner);
    if (result) return *result;
    auto left = deadline.Left();
    if (left && left->count() <= 0) return WAIT_TIMEOUT;
    std::optional<std::chrono::nanoseconds> cap;
    if (otherNamed) cap = kNamedPoll;
    if (watchOwner) cap = cap ? std::min<std::chrono::nanoseconds>(*cap, kOwnerPoll) : kOwnerPoll;
    FutexWait(waiter.channel, observed, waiter.sharedChannel, Slice(left, cap));
  }
}

}  // namespace

uint32_t WaitHandle::Wait(uint32_t timeoutMs) const {
  if (!Waitable(*this)) return WAIT_FAILED;
  std::shared_ptr<kernel_detail::Core> keep = core_;  // the object outlives the wait, whatever happens to this handle
  return WaitSingle(*keep, timeoutMs);
}

uint32_t WaitOne(const WaitHandle& object, uint32_t timeoutMs) { return object.Wait(timeoutMs); }

uint32_t WaitAny(const std::vector<WaitHandle>& objects, uint32_t timeoutMs) {
  return WaitMany(objects, false, timeoutMs);
}

uint32_t WaitAll(const std::vector<WaitHandle>& objects, uint32_t timeoutMs) {
  return WaitMany(objects, true, timeoutMs);
}

}  // namespace rzd
