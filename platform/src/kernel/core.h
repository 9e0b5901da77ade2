// The inside of a kernel object: its state record and the rules that change it.
//
// Every object keeps its state in a SyncRecord. An unnamed object's record is on the heap; a
// named object's record is the head of a POSIX shared-memory segment mapped by every process
// that has it open. The record's `guard` is a robust mutex (process-shared for named objects):
// a process that dies holding it does not wedge the others. Changes of state bump `seq`, the
// futex word waiters sleep on, and wake them; futexes keep nothing behind when a sleeping
// process dies, unlike process-shared condition variables.
//
// A mutex's `token` is a robust pthread mutex held by the owning thread for as long as it owns
// the kernel mutex. When that thread or its process ends, the kernel marks the token, and the
// next look at it (EOWNERDEAD) reveals the abandonment.
//
// An event or semaphore made with TakeRule::kGivenBackWhenTakerEnds lists the processes that hold
// takes of it (by id and start time, so a later process with the same id is not mistaken for the
// taker). A look at the object while it is not signalled gives back the takes of processes that
// have ended.
#pragma once

#include "platform/kernel.h"

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace rzd::kernel_detail {

enum class Kind : uint32_t { Event = 1, Semaphore = 2, Mutex = 3, FileMapping = 4 };

constexpr uint32_t kRecordMagic = 0x525A4B32;  // "RZK2"

// Most takes a record lists: the largest maximum of a semaphore under the give-back rule.
constexpr uint32_t kMaxTakers = static_cast<uint32_t>(kMaximumGiveBackCount);

// A process holding a take of an event or semaphore.
struct Taker {
  uint32_t pid;
  uint32_t reserved;
  uint64_t startTime;  // ProcessStartTime of the process
};

struct SyncRecord {
  std::atomic<uint32_t> magic;  // written last when a record is set up
  uint32_t kind;
  std::atomic<uint32_t> seq;  // futex word: bumped on every change that may release a waiter
  uint32_t reserved;
  pthread_mutex_t guard;
  pthread_mutex_t token;
  // Event
  uint32_t manualReset;
  uint32_t signalled;
  // Semaphore
  int32_t count;
  int32_t maximum;
  // Mutex
  uint32_t ownerPid;
  uint32_t ownerTid;
  uint32_t recursion;
  uint32_t abandoned;  // the last owner ended without releasing; told to the next taker
  // File mapping: size of the data that follows the record's page.
  uint64_t dataSize;
  // Event and semaphore: the TakeRule, and under kGivenBackWhenTakerEnds the takes held (one per
  // count taken from a semaphore; at most one for an auto-reset event).
  uint32_t takeRule;
  uint32_t takerCount;
  Taker takers[kMaxTakers];
};

// Sets up a zeroed record: robust mutexes (process-shared when `shared`) and the kind.
void InitRecord(SyncRecord* record, Kind kind, bool shared);
// Marks a record as fully set up (done after its initial state is written).
void PublishRecord(SyncRecord* record);
// For the creator of a mutex that starts owned: makes the calling thread its owner.
void TakeInitialOwnership(SyncRecord& record);

// The calling thread, as the owner of a mutex, and its process, as a taker.
struct Self {
  uint32_t pid;
  uint32_t tid;
  uint64_t startTime;  // of the process
};
Self CurrentSelf();

// A thread inside a wait on several objects. Objects it is registered with wake it by bumping
// its channel: its own word, or the seq word of the named object it sleeps on.
struct Waiter {
  std::atomic<uint32_t> own{0};
  std::atomic<uint32_t>* channel = &own;
  bool sharedChannel = false;
  void Wake();
};

class Core {
 public:
  Core(Kind kind, SyncRecord* record, bool named) : kind_(kind), record_(record), named_(named) {}
  virtual ~Core() = default;
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  Kind kind() const { return kind_; }
  bool named() const { return named_; }
  SyncRecord* record() const { return record_; }
  // Order key among named objects for taking several guards at once (same in every process).
  virtual const std::string& NameKey() const;

  // The record's guard; the owner-died case is made consistent and counted as locked.
  void Lock();
  void Unlock();

  // With the guard held. Whether `self` could take the object now. For a mutex owned by a thread
  // that has ended, marks it abandoned and free; `changed` is then set.
  bool IsSignalledLocked(const Self& self, bool* changed);
  // With the guard held and the object signalled for `self`: takes it. WAIT_ABANDONED_0 when the
  // mutex taken was abandoned, else WAIT_OBJECT_0.
  uint32_t TakeLocked(const Self& self);
  // With the guard held: a mutex owned by another thread, or a take held by another process under
  // the give-back rule (waits then watch for its end).
  bool HeldByOtherLocked(const Self& self) const;
  // With the guard held: under the give-back rule, forgets `count` takes, the releasing process's
  // own first (a Set or Release gives back what was taken).
  void ForgetTakesLocked(const Self& self, uint32_t count);

  // After a change of state: wakes sleepers on seq (all processes) and registered waiters.
  void NotifyChanged();
  void AddWaiter(Waiter* waiter);
  void RemoveWaiter(Waiter* waiter);

 protected:
  // True when this thread's process still owns the mutex: its record must then stay mapped,
  // since the owner thread's robust list points into it.
  bool MustOutliveHandles() const;

 private:
  Kind kind_;
  SyncRecord* record_;
  bool named_;
  std::mutex waitersMutex_;
  std::vector<Waiter*> waiters_;
};

// An unnamed object with its record on the heap.
class LocalCore : public Core {
 public:
  explicit LocalCore(Kind kind);
  ~LocalCore() override;
};

// The result of an internal create/open.
struct CoreResult {
  std::shared_ptr<Core> core;
  uint32_t error = 0;
};

}  // namespace rzd::kernel_detail
