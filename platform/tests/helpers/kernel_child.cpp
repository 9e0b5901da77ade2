// A second process for the named-object tests. The root comes from $RZD_ROOT (inherited).
// Exit codes: 0 as asked; 1 the opposite outcome (time-out, not found, mismatch); others name
// the step that failed.
//
//   wait <kind> <name> <timeoutMs>          0 signalled, 1 time-out, 2 abandoned
//   open <kind> <name>                      0 opened, 1 not found, 3 wrong kind
//   release <name> <expectedError>          0 when Semaphore::Release answers expectedError
//   take-and-hold <sem> <ready> <go>        takes the semaphore, sets ready, waits for go, releases
//   take-and-keep <kind> <name> <ready>     takes the event or semaphore, sets ready, sleeps holding it
//   create-and-hold <sem> <initial> <max> <releases> <ready>
//                                           creates a fresh semaphore, releases it, sets ready, sleeps
//   own-mutex <name> <ready> exit|hold      takes the mutex, sets ready, exits or sleeps unreleased
//   map-write <name> <offset> <text>        writes text into the mapping
//   map-check <name> <offset> <text> <size> 0 when the mapping has that size and holds the text
//   map-wake <name> <from> <to>             waits for the mapping's first word to hold from,
//                                           stores to and wakes the word's sleepers
//   die-holding-guard <event>               dies while holding the event's internal guard
//   race <mapping> <iterations>             each time: creates the semaphore "Global\Race" (1, 1),
//                                           takes it, adds 1 to the 32-bit counter at the start
//                                           of the mapping (read, pause, write), gives it back and
//                                           closes it, so the name comes and goes all the while
#include "platform/kernel.h"

// The internal guard is only reachable through the object's core.
#include "../../src/kernel/core.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

using namespace rzd;

namespace {

constexpr uint32_t kLong = 60000;

void SleepUntilKilled() { std::this_thread::sleep_for(std::chrono::seconds(120)); }

bool SetNamedEvent(const std::string& name) {
  auto ev = Event::Open(name);
  return ev && ev.handle.Set() == ERROR_SUCCESS;
}

WaitHandle OpenKind(const std::string& kind, const std::string& name, uint32_t* error) {
  if (kind == "event") {
    auto r = Event::Open(name);
    *error = r.error;
    return r.handle;
  }
  if (kind == "semaphore") {
    auto r = Semaphore::Open(name);
    *error = r.error;
    return r.handle;
  }
  if (kind == "mutex") {
    auto r = Mutex::Open(name);
    *error = r.error;
    return r.handle;
  }
  *error = ERROR_INVALID_PARAMETER;
  return WaitHandle();
}

int Wait(const std::string& kind, const std::string& name, uint32_t timeoutMs) {
  uint32_t error = 0;
  WaitHandle h = OpenKind(kind, name, &error);
  if (!h) return 10;
  switch (h.Wait(timeoutMs)) {
    case WAIT_OBJECT_0:
      return 0;
    case WAIT_TIMEOUT:
      return 1;
    case WAIT_ABANDONED_0:
      return 2;
    default:
      return 11;
  }
}

int Open(const std::string& kind, const std::string& name) {
  uint32_t error = 0;
  if (kind == "mapping") {
    auto r = FileMapping::Open(name);
    error = r.error;
  } else {
    OpenKind(kind, name, &error);
  }
  if (error == ERROR_SUCCESS) return 0;
  if (error == ERROR_FILE_NOT_FOUND) return 1;
  if (error == ERROR_INVALID_HANDLE) return 3;
  return 10;
}

int Release(const std::string& name, uint32_t expected) {
  auto sem = Semaphore::Open(name);
  if (!sem) return 10;
  return sem.handle.Release(1) == expected ? 0 : 1;
}

int TakeAndHold(const std::string& name, const std::string& ready, const std::string& go) {
  auto sem = Semaphore::Open(name);
  if (!sem) return 10;
  if (sem.handle.Wait(kLong) != WAIT_OBJECT_0) return 11;
  if (!SetNamedEvent(ready)) return 12;
  auto goEvent = Event::Open(go);
  if (!goEvent || goEvent.handle.Wait(kLong) != WAIT_OBJECT_0) return 13;
  return sem.handle.Release(1) == ERROR_SUCCESS ? 0 : 14;
}

int TakeAndKeep(const std::string& kind, const std::string& name, const std::string& ready) {
  uint32_t error = 0;
  WaitHandle h = OpenKind(kind, name, &error);
  if (!h) return 10;
  if (h.Wait(kLong) != WAIT_OBJECT_0) return 11;
  if (!SetNamedEvent(ready)) return 12;
  SleepUntilKilled();
  return 0;
}

int CreateAndHold(const std::string& name, int32_t initial, int32_t maximum, int32_t releases,
                  const std::string& ready) {
  auto sem = Semaphore::Create(name, initial, maximum);
  if (!sem) return 10;
  if (sem.error != ERROR_SUCCESS) return 11;  // must be a fresh object
  if (releases > 0 && sem.handle.Release(releases) != ERROR_SUCCESS) return 12;
  if (!SetNamedEvent(ready)) return 13;
  SleepUntilKilled();
  return 0;
}

int OwnMutex(const std::string& name, const std::string& ready, const std::string& mode) {
  auto mutex = Mutex::Open(name);
  if (!mutex) return 10;
  if (mutex.handle.Wait(kLong) != WAIT_OBJECT_0) return 11;
  if (!SetNamedEvent(ready)) return 12;
  if (mode == "hold") SleepUntilKilled();
  return 0;  // ends owning it
}

int MapWrite(const std::string& name, uint64_t offset, const std::string& text) {
  auto mapping = FileMapping::Open(name);
  if (!mapping) return 10;
  MappedView view = mapping.handle.Map(offset, text.size());
  if (!view) return 11;
  std::memcpy(view.Data(), text.data(), text.size());
  return 0;
}

int MapCheck(const std::string& name, uint64_t offset, const std::string& text, uint64_t size) {
  auto mapping = FileMapping::Open(name);
  if (!mapping) return 10;
  if (mapping.handle.Size() != size) return 12;
  MappedView view = mapping.handle.Map(offset, text.size());
  if (!view) return 11;
  return std::memcmp(view.Data(), text.data(), text.size()) == 0 ? 0 : 1;
}

int DieHoldingGuard(const std::string& name) {
  auto ev = Event::Open(name);
  if (!ev) return 10;
  ev.handle.Core()->Lock();
  raise(SIGKILL);
  return 11;
}

int Race(const std::string& mappingName, int64_t iterations) {
  auto mapping = FileMapping::Open(mappingName);
  if (!mapping) return 10;
  MappedView view = mapping.handle.Map(0, sizeof(uint32_t));
  if (!view) return 11;
  volatile uint32_t* counter = view.As<uint32_t>();
  for (int64_t i = 0; i < iterations; ++i) {
    auto sem = Semaphore::Create("Global\\Race", 1, 1);
    if (!sem) return 12;
    if (sem.handle.Wait(kLong) != WAIT_OBJECT_0) return 13;
    const uint32_t seen = *counter;
    std::this_thread::yield();  // another taker of a second object of the same name would slip in here
    *counter = seen + 1;
    if (sem.handle.Release(1) != ERROR_SUCCESS) return 14;
  }
  return 0;
}

// Waits on the first word of the mapping until it holds `from`, stores `to` there and wakes its
// sleepers: a hand-over through shared memory.
int MapWake(const std::string& name, uint32_t from, uint32_t to) {
  auto mapping = FileMapping::Open(name);
  if (!mapping) return 10;
  MappedView view = mapping.handle.Map(0, sizeof(uint32_t));
  if (!view) return 11;
  auto* word = view.As<std::atomic<uint32_t>>();
  for (uint32_t seen; (seen = word->load()) != from;) WaitOnSharedAddress(word, seen, kLong);
  word->store(to);
  WakeBySharedAddress(word);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 100;
  std::string cmd = argv[1];
  auto arg = [&](int i) { return i < argc ? std::string(argv[i]) : std::string(); };
  auto num = [&](int i) { return std::strtoll(arg(i).c_str(), nullptr, 10); };
  if (cmd == "wait") return Wait(arg(2), arg(3), static_cast<uint32_t>(num(4)));
  if (cmd == "open") return Open(arg(2), arg(3));
  if (cmd == "release") return Release(arg(2), static_cast<uint32_t>(num(3)));
  if (cmd == "take-and-hold") return TakeAndHold(arg(2), arg(3), arg(4));
  if (cmd == "take-and-keep") return TakeAndKeep(arg(2), arg(3), arg(4));
  if (cmd == "create-and-hold") {
    return CreateAndHold(arg(2), static_cast<int32_t>(num(3)), static_cast<int32_t>(num(4)),
                         static_cast<int32_t>(num(5)), arg(6));
  }
  if (cmd == "own-mutex") return OwnMutex(arg(2), arg(3), arg(4));
  if (cmd == "map-write") return MapWrite(arg(2), static_cast<uint64_t>(num(3)), arg(4));
  if (cmd == "map-check") return MapCheck(arg(2), static_cast<uint64_t>(num(3)), arg(4), static_cast<uint64_t>(num(5)));
  if (cmd == "map-wake") return MapWake(arg(2), static_cast<uint32_t>(num(3)), static_cast<uint32_t>(num(4)));
  if (cmd == "die-holding-guard") return DieHoldingGuard(arg(2));
  if (cmd == "race") return Race(arg(2), num(3));
  return 101;
}
