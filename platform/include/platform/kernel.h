// Kernel objects: events, semaphores, mutexes, critical sections, threads, file mappings and the
// waits on them.
//
// Handles are small value classes; a copy is another handle to the same object. An unnamed
// object lives in this process and ends with its last handle. A named object is shared by every
// process of the same system root and ends when the last handle in any process is gone, also
// when a process holding one died without closing it; the next creation then makes a fresh
// object with the initial state it is given.
//
// Names compare without regard to case. "Global\" names and session-local names ("Local\" or no
// prefix, which are the same namespace) are two separate namespaces. Events, semaphores, mutexes
// and file mappings share one namespace: opening a name as the wrong kind fails with
// ERROR_INVALID_HANDLE.
//
// Wait results: WAIT_OBJECT_0 + index when an object was signalled (and taken: an auto-reset
// event is reset, a semaphore counts down, a mutex becomes owned), WAIT_ABANDONED_0 + index when
// a mutex was taken whose owner ended without releasing it, WAIT_TIMEOUT at the time-out,
// WAIT_FAILED for empty handles or bad arguments. Time-outs are in ms; INFINITE waits forever.
#pragma once

#include "platform/errors.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace rzd {

// Most handles one wait accepts.
constexpr size_t kMaximumWaitObjects = 64;

// What becomes of a take of an auto-reset event (its signal, taken by a wait) or of a semaphore (a
// count taken by a wait) when the process that took it ends without giving it back.
enum class TakeRule : uint32_t {
  // The take stands until someone sets the event or releases the semaphore (the plain rule).
  kStays = 0,
  // The object remembers which processes hold takes of it, and the take of a process that has
  // ended counts as given back (the event is signalled again, the count comes back), the way a
  // mutex whose owner ended is abandoned. For events and semaphores used as locks across
  // processes: a holder that is killed never keeps the others out. A Set or Release gives back
  // the releasing process's own takes first, then the oldest ones. Waiters notice a taker's end
  // within about 100 ms.
  kGivenBackWhenTakerEnds = 1,
};

// Largest maximum count of a semaphore under TakeRule::kGivenBackWhenTakerEnds.
constexpr int32_t kMaximumGiveBackCount = 32;

namespace kernel_detail {
class Core;
}

// Result of creating or opening a kernel object.
// error: ERROR_SUCCESS (a new object, or an object opened), ERROR_ALREADY_EXISTS (creation found
// the object existing and handed it out: `handle` is valid), or the failure (handle empty):
// ERROR_FILE_NOT_FOUND (open of a missing name), ERROR_INVALID_HANDLE (the name belongs to another
// kind of object), ERROR_INVALID_PARAMETER (bad name or sizes), ERROR_ACCESS_DENIED,
// ERROR_NOT_ENOUGH_MEMORY.
template <typename T>
struct ObjectResult {
  T handle;
  uint32_t error = ERROR_SUCCESS;
  explicit operator bool() const { return static_cast<bool>(handle); }
};

// A handle to any object that can be waited on (event, semaphore, mutex, thread).
class WaitHandle {
 public:
  WaitHandle() = default;
  explicit operator bool() const { return core_ != nullptr; }
  // True for an object that has a name (shared across processes).
  bool IsNamed() const;
  // True when both handles refer to the same object.
  bool SameObject(const WaitHandle& other) const { return core_ == other.core_; }
  // Drops this handle (the object ends with its last handle).
  void Close() { core_.reset(); }
  // Waits for this object alone: WAIT_OBJECT_0, WAIT_ABANDONED_0, WAIT_TIMEOUT or WAIT_FAILED.
  uint32_t Wait(uint32_t timeoutMs) const;

  // For other platform areas that wait on kernel objects.
  const std::shared_ptr<kernel_detail::Core>& Core() const { return core_; }

 protected:
  explicit WaitHandle(std::shared_ptr<kernel_detail::Core> core) : core_(std::move(core)) {}
  std::shared_ptr<kernel_detail::Core> core_;
};

// Waits for one object; the same as object.Wait(timeoutMs).
uint32_t WaitOne(const WaitHandle& object, uint32_t timeoutMs);
// Waits until any of the objects is signalled: the lowest signalled index wins.
// WAIT_FAILED for an empty list, more than kMaximumWaitObjects, or an empty handle.
uint32_t WaitAny(const std::vector<WaitHandle>& objects, uint32_t timeoutMs);
// Waits until all objects are signalled at once and takes them together (nothing is taken
// before all are ready). WAIT_OBJECT_0 on success, WAIT_ABANDONED_0 + index of an abandoned
// mutex among them. The same object twice is WAIT_FAILED.
uint32_t WaitAll(const std::vector<WaitHandle>& objects, uint32_t timeoutMs);

class Event : public WaitHandle {
 public:
  Event() = default;
  // An in-process event.
  static Event Unnamed(bool manualReset, bool initialState);
  // Creates the named event, or opens it (ERROR_ALREADY_EXISTS, state, reset mode and take rule
  // unchanged). An empty name makes an unnamed event. The take rule matters for auto-reset events.
  static ObjectResult<Event> Create(std::string_view name, bool manualReset, bool initialState,
                                    TakeRule rule = TakeRule::kStays);
  static ObjectResult<Event> Create(std::u16string_view name, bool manualReset, bool initialState,
                                    TakeRule rule = TakeRule::kStays);
  // Opens an existing named event; ERROR_FILE_NOT_FOUND when there is none.
  static ObjectResult<Event> Open(std::string_view name);
  static ObjectResult<Event> Open(std::u16string_view name);

  // Signals the event: a manual-reset event stays signalled and releases every waiter; an
  // auto-reset event releases one waiter and resets itself. 0 or ERROR_INVALID_HANDLE.
  uint32_t Set() const;
  uint32_t Reset() const;

 private:
  explicit Event(std::shared_ptr<kernel_detail::Core> core) : WaitHandle(std::move(core)) {}
};

class Semaphore : public WaitHandle {
 public:
  Semaphore() = default;
  // An in-process semaphore; empty when 0 <= initial <= maximum and maximum > 0 do not hold.
  static Semaphore Unnamed(int32_t initialCount, int32_t maximumCount);
  // Creates or opens (ERROR_ALREADY_EXISTS; the existing count, maximum and take rule stay).
  // Invalid counts answer ERROR_INVALID_PARAMETER, also a maximum above kMaximumGiveBackCount
  // under the give-back rule. An empty name makes an unnamed semaphore.
  static ObjectResult<Semaphore> Create(std::string_view name, int32_t initialCount, int32_t maximumCount,
                                        TakeRule rule = TakeRule::kStays);
  static ObjectResult<Semaphore> Create(std::u16string_view name, int32_t initialCount, int32_t maximumCount,
                                        TakeRule rule = TakeRule::kStays);
  static ObjectResult<Semaphore> Open(std::string_view name);
  static ObjectResult<Semaphore> Open(std::u16string_view name);

  // Adds `count` to the semaphore. ERROR_TOO_MANY_POSTS when that would pass the maximum (the
  // count is not changed), ERROR_INVALID_PARAMETER for count <= 0. `previousCount` receives the
  // count before the release when it succeeds.
  uint32_t Release(int32_t count = 1, int32_t* previousCount = nullptr) const;

 private:
  explicit Semaphore(std::shared_ptr<kernel_detail::Core> core) : WaitHandle(std::move(core)) {}
};

// A mutex owned by a thread. The owner may wait on it again (each wait must be matched by a
// release). When the owning thread or its process ends without releasing it, the next thread
// that takes it gets WAIT_ABANDONED_0 (+ index).
class Mutex : public WaitHandle {
 public:
  Mutex() = default;
  static Mutex Unnamed(bool initialOwner);
  // Creates or opens (ERROR_ALREADY_EXISTS; then `initialOwner` is ignored). An empty name
  // makes an unnamed mutex.
  static ObjectResult<Mutex> Create(std::string_view name, bool initialOwner);
  static ObjectResult<Mutex> Create(std::u16string_view name, bool initialOwner);
  static ObjectResult<Mutex> Open(std::string_view name);
  static ObjectResult<Mutex> Open(std::u16string_view name);

  // Releases one level of ownership. ERROR_NOT_OWNER when the calling thread does not own it.
  uint32_t Release() const;

 private:
  explicit Mutex(std::shared_ptr<kernel_detail::Core> core) : WaitHandle(std::move(core)) {}
};

// A recursive lock for threads of one process. Usable with std::lock_guard / std::unique_lock.
class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }
  void lock() { mutex_.lock(); }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::recursive_mutex mutex_;
};

// A thread running a function that returns an exit code. The handle is signalled when the
// function has returned. Threads are never killed: stop them cooperatively and join.
// Dropping every handle while the thread runs leaves it running to its end.
class Thread : public WaitHandle {
 public:
  Thread() = default;
  // Starts `body` on a new thread; an empty handle when no thread could be started.
  static Thread Start(std::function<uint32_t()> body);

  // The thread's id, as CurrentThreadId() answers inside it (a target for PostThreadMessage).
  uint32_t Id() const;
  // Waits up to `timeoutMs` for the function to return; WAIT_OBJECT_0 (the thread has ended and
  // is joined) or WAIT_TIMEOUT.
  uint32_t Join(uint32_t timeoutMs) const;
  // The function's result once it has returned; nullopt while it runs.
  std::optional<uint32_t> ExitCode() const;

 private:
  explicit Thread(std::shared_ptr<kernel_detail::Core> core) : WaitHandle(std::move(core)) {}
};

class FileMapping;

// A region of a file mapping, readable and writable. A view keeps its mapping object (and the
// process's one mapping of its data) alive after the mapping's handles are closed.
class MappedView {
 public:
  MappedView() = default;
  MappedView(MappedView&& other) noexcept;
  MappedView& operator=(MappedView&& other) noexcept;
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;
  ~MappedView();

  explicit operator bool() const { return data_ != nullptr; }
  void* Data() const { return data_; }
  size_t Size() const { return size_; }
  template <typename T>
  T* As() const { return static_cast<T*>(data_); }

 private:
  friend class FileMapping;
  void* data_ = nullptr;
  size_t size_ = 0;
  std::shared_ptr<kernel_detail::Core> core_;
};

// Shared memory of a fixed size, zero-filled when created. Named mappings are shared across
// processes of the same root, with the same lifetime rule as the other named objects.
class FileMapping {
 public:
  FileMapping() = default;
  explicit operator bool() const { return core_ != nullptr; }
  // Creates the mapping with `size` bytes (> 0), or opens the existing one (ERROR_ALREADY_EXISTS,
  // its own size stays). An empty name makes an unnamed mapping. ERROR_INVALID_PARAMETER for a
  // size of 0 or above 1 TiB; ERROR_NOT_ENOUGH_MEMORY when the memory cannot be reserved.
  static ObjectResult<FileMapping> Create(std::string_view name, uint64_t size);
  static ObjectResult<FileMapping> Create(std::u16string_view name, uint64_t size);
  static ObjectResult<FileMapping> Open(std::string_view name);
  static ObjectResult<FileMapping> Open(std::u16string_view name);

  uint64_t Size() const;
  bool IsNamed() const;
  void Close() { core_.reset(); }
  bool SameObject(const FileMapping& other) const { return core_ == other.core_; }

  // A view of `length` bytes from `offset` (length 0: to the end). Any offset is allowed. The
  // process maps the mapping's data once, at its first view (checking that the memory behind it
  // still holds all of it); every later view is a region of that mapping and costs no system
  // call. An empty view on failure; `error` gets ERROR_ACCESS_DENIED when the region passes the
  // end (of the mapping, or of the memory a peer cut short), ERROR_INVALID_HANDLE for an empty
  // mapping, ERROR_NOT_ENOUGH_MEMORY when mapping fails.
  MappedView Map(uint64_t offset = 0, size_t length = 0, uint32_t* error = nullptr) const;

 private:
  explicit FileMapping(std::shared_ptr<kernel_detail::Core> core) : core_(std::move(core)) {}
  std::shared_ptr<kernel_detail::Core> core_;
};

// ---- Waiting on a word in memory that processes share (a view of a file mapping).
// Sleeps while `*word` holds `expected`, at most `timeoutMs` (INFINITE: no limit); returns on a
// wake, a change of the word or the time-out, so callers look at their condition again. The word
// may lie at a different address in each process. For hand-overs through shared memory, where the
// state itself lives in the mapping and no named object is wanted.
void WaitOnSharedAddress(std::atomic<uint32_t>* word, uint32_t expected, uint32_t timeoutMs);
// Wakes every thread of any process sleeping on `word`.
void WakeBySharedAddress(std::atomic<uint32_t>* word);

}  // namespace rzd
