#include "kernel/core.h"

#include "kernel/futex.h"
#include "platform/errors.h"
#include "platform/kernel.h"
#include "platform/process.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>

#include <sys/syscall.h>
#include <unistd.h>

namespace rzd::kernel_detail {

namespace {

void InitRobustMutex(pthread_mutex_t* mutex, bool shared) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_NORMAL);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_setpshared(&attr, shared ? PTHREAD_PROCESS_SHARED : PTHREAD_PROCESS_PRIVATE);
  pthread_mutex_init(mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

thread_local uint32_t t_tid = 0;

bool UnderGiveBack(const SyncRecord& r) {
  return r.takeRule == static_cast<uint32_t>(TakeRule::kGivenBackWhenTakerEnds);
}

bool SameProcess(const Taker& taker, const Self& self) {
  return taker.pid == self.pid && taker.startTime == self.startTime;
}

bool TakerEnded(const Taker& taker, const Self& self) {
  return !SameProcess(taker, self) && !ProcessIdentity{taker.pid, taker.startTime}.Runs();
}

// The takes a record lists; a count that a broken peer wrote past the list is cut to it.
uint32_t TakerCount(const SyncRecord& r) { return std::min(r.takerCount, kMaxTakers); }

void RemoveTaker(SyncRecord& r, uint32_t index) {
  r.takerCount = TakerCount(r);
  for (uint32_t i = index + 1; i < r.takerCount; ++i) r.takers[i - 1] = r.takers[i];
  --r.takerCount;
}

// Gives back the takes of processes that have ended: answers how many.
uint32_t GiveBackEndedTakes(SyncRecord& r, const Self& self) {
  uint32_t given = 0;
  r.takerCount = TakerCount(r);
  for (uint32_t i = 0; i < r.takerCount;) {
    if (TakerEnded(r.takers[i], self)) {
      RemoveTaker(r, i);
      ++given;
    } else {
      ++i;
    }
  }
  return given;
}

void AddTaker(SyncRecord& r, const Self& self) {
  r.takerCount = TakerCount(r);
  if (r.takerCount < kMaxTakers) r.takers[r.takerCount++] = Taker{self.pid, 0, self.startTime};
}

}  // namespace

void InitRecord(SyncRecord* record, Kind kind, bool shared) {
  record->kind = static_cast<uint32_t>(kind);
  record->seq.store(0, std::memory_order_relaxed);
  InitRobustMutex(&record->guard, shared);
  InitRobustMutex(&record->token, shared);
}

void PublishRecord(SyncRecord* record) { record->magic.store(kRecordMagic, std::memory_order_release); }

void TakeInitialOwnership(SyncRecord& record) {
  pthread_mutex_trylock(&record.token);
  Self self = CurrentSelf();
  record.ownerPid = self.pid;
  record.ownerTid = self.tid;
  record.recursion = 1;
}

Self CurrentSelf() {
  if (t_tid == 0) t_tid = static_cast<uint32_t>(syscall(SYS_gettid));
  // The process's start time, read once per process (a child made by fork reads its own).
  static std::atomic<uint64_t> startTime{0};
  static std::atomic<uint32_t> startTimeOf{0};
  const uint32_t pid = static_cast<uint32_t>(getpid());
  if (startTimeOf.load(std::memory_order_acquire) != pid) {
    startTime.store(ProcessStartTime(pid).value_or(0), std::memory_order_relaxed);
    startTimeOf.store(pid, std::memory_order_release);
  }
  return Self{pid, t_tid, startTime.load(std::memory_order_relaxed)};
}

void Waiter::Wake() {
  channel->fetch_add(1, std::memory_order_acq_rel);
  FutexWakeAll(channel, sharedChannel);
}

const std::string& Core::NameKey() const {
  static const std::string empty;
  return empty;
}

void Core::Lock() {
  int rc = pthread_mutex_lock(&record_->guard);
  // A process died while holding the guard. The fields it guards are plain values that are
  // always written whole, so the record is usable as it stands.
  if (rc == EOWNERDEAD) pthread_mutex_consistent(&record_->guard);
}

void Core::Unlock() { pthread_mutex_unlock(&record_->guard); }

bool Core::IsSignalledLocked(const Self& self, bool* changed) {
  SyncRecord& r = *record_;
  switch (kind_) {
    case Kind::Event:
      if (r.signalled == 0 && UnderGiveBack(r) && r.takerCount > 0 && GiveBackEndedTakes(r, self) > 0) {
        r.signalled = 1;
        r.seq.fetch_add(1, std::memory_order_acq_rel);
        if (changed) *changed = true;
      }
      return r.signalled != 0;
    case Kind::Semaphore:
      if (r.count <= 0 && UnderGiveBack(r) && r.takerCount > 0) {
        if (uint32_t given = GiveBackEndedTakes(r, self); given > 0) {
          r.count = std::min(r.maximum, r.count + static_cast<int32_t>(given));
          r.seq.fetch_add(1, std::memory_order_acq_rel);
          if (changed) *changed = true;
        }
      }
      return r.count > 0;
    case Kind::Mutex: {
      if (r.recursion == 0) return true;
      if (r.ownerPid == self.pid && r.ownerTid == self.tid) return true;
      // Owned by another thread: is it still there? Its token tells.
      // EOWNERDEAD: the owner ended holding its token. 0: the token was free although the
      // record names an owner, so the owner's release was cut short. Both abandon the mutex.
      int rc = pthread_mutex_trylock(&r.token);
      if (rc != EOWNERDEAD && rc != 0) return false;
      if (rc == EOWNERDEAD) pthread_mutex_consistent(&r.token);
      pthread_mutex_unlock(&r.token);
      r.recursion = 0;
      r.ownerPid = 0;
      r.ownerTid = 0;
      r.abandoned = 1;
      r.seq.fetch_add(1, std::memory_order_acq_rel);
      if (changed) *changed = true;
      return true;
    }
    case Kind::FileMapping:
      return false;
  }
  return false;
}

uint32_t Core::TakeLocked(const Self& self) {
  SyncRecord& r = *record_;
  switch (kind_) {
    case Kind::Event:
      if (!r.manualReset) {
        r.signalled = 0;
        if (UnderGiveBack(r)) {
          r.takerCount = 0;
          AddTaker(r, self);
        }
      }
      return WAIT_OBJECT_0;
    case Kind::Semaphore:
      --r.count;
      if (UnderGiveBack(r)) AddTaker(r, self);
      return WAIT_OBJECT_0;
    case Kind::Mutex: {
      if (r.recursion > 0) {
        ++r.recursion;
        return WAIT_OBJECT_0;
      }
      int rc = pthread_mutex_trylock(&r.token);
      if (rc == EOWNERDEAD) pthread_mutex_consistent(&r.token);
      r.ownerPid = self.pid;
      r.ownerTid = self.tid;
      r.recursion = 1;
      bool abandoned = r.abandoned != 0 || rc == EOWNERDEAD;
      r.abandoned = 0;
      return abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
    }
    case Kind::FileMapping:
      break;
  }
  return WAIT_FAILED;
}

bool Core::HeldByOtherLocked(const Self& self) const {
  const SyncRecord& r = *record_;
  if (kind_ == Kind::Mutex) return r.recursion > 0 && !(r.ownerPid == self.pid && r.ownerTid == self.tid);
  if (!UnderGiveBack(r)) return false;
  for (uint32_t i = 0; i < TakerCount(r); ++i) {
    if (!SameProcess(r.takers[i], self)) return true;
  }
  return false;
}

void Core::ForgetTakesLocked(const Self& self, uint32_t count) {
  SyncRecord& r = *record_;
  if (!UnderGiveBack(r)) return;
  // The releasing process's own takes first, its latest first; then the oldest of the others.
  r.takerCount = TakerCount(r);
  for (uint32_t i = r.takerCount; i > 0 && count > 0;) {
    --i;
    if (SameProcess(r.takers[i], self)) {
      RemoveTaker(r, i);
      --count;
    }
  }
  while (count > 0 && r.takerCount > 0) {
    RemoveTaker(r, 0);
    --count;
  }
}

void Core::NotifyChanged() {
  record_->seq.fetch_add(1, std::memory_order_acq_rel);
  FutexWakeAll(&record_->seq, named_);
  std::lock_guard lock(waitersMutex_);
  for (Waiter* w : waiters_) w->Wake();
}

void Core::AddWaiter(Waiter* waiter) {
  std::lock_guard lock(waitersMutex_);
  waiters_.push_back(waiter);
}

void Core::RemoveWaiter(Waiter* waiter) {
  std::lock_guard lock(waitersMutex_);
  auto it = std::find(waiters_.begin(), waiters_.end(), waiter);
  if (it != waiters_.end()) waiters_.erase(it);
}

bool Core::MustOutliveHandles() const {
  if (kind_ != Kind::Mutex) return false;
  const_cast<Core*>(this)->Lock();
  bool ownedHere = record_->recursion > 0 && record_->ownerPid == static_cast<uint32_t>(getpid());
  const_cast<Core*>(this)->Unlock();
  return ownedHere;
}

LocalCore::LocalCore(Kind kind) : Core(kind, new SyncRecord{}, false) {
  InitRecord(record(), kind, false);
  PublishRecord(record());
}

LocalCore::~LocalCore() {
  // A mutex still owned by one of our threads keeps its record: that thread's robust list
  // points into it until the thread ends.
  if (MustOutliveHandles()) return;
  delete record();
}

}  // namespace rzd::kernel_detail
