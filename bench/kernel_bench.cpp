// Cost of the kernel-object paths the driver stack leans on: an event handshake between two
// threads (named events are shared through the system root, unnamed ones live in the process),
// and a semaphore release followed by the wait that takes it. Every benchmark runs in a
// temporary system root of its own.
#include "bench_root.h"
#include "platform/kernel.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <string>

namespace {

constexpr uint32_t kWaitMs = 10000;  // generous: a round trip never comes near it

// Auto-reset ping and pong events, named or not.
struct EventPair {
  rzd::Event ping;
  rzd::Event pong;
};

EventPair MakePair(bool named) {
  if (!named) return {rzd::Event::Unnamed(false, false), rzd::Event::Unnamed(false, false)};
  return {rzd::Event::Create(std::string_view("Local\\RzdBenchPing"), false, false).handle,
          rzd::Event::Create(std::string_view("Local\\RzdBenchPong"), false, false).handle};
}

// One round trip: this thread sets ping, the partner thread waits for it and sets pong, this
// thread waits for pong. Arg 1 uses named events, 0 unnamed.
void BM_EventRoundTrip(benchmark::State& state) {
  rzd::bench::BenchRoot root;
  const EventPair events = MakePair(state.range(0) != 0);
  if (!events.ping || !events.pong) {
    state.SkipWithError("event creation failed");
    return;
  }
  std::atomic<bool> stop{false};
  rzd::Thread partner = rzd::Thread::Start([&events, &stop]() -> uint32_t {
    while (events.ping.Wait(kWaitMs) == WAIT_OBJECT_0) {
      if (stop.load()) return 0;
      events.pong.Set();
    }
    return 1;
  });
  if (!partner) {
    state.SkipWithError("thread start failed");
    return;
  }
  for (auto _ : state) {
    events.ping.Set();
    if (events.pong.Wait(kWaitMs) != WAIT_OBJECT_0) {
      state.SkipWithError("no pong");
      break;
    }
  }
  stop.store(true);
  events.ping.Set();
  partner.Join(INFINITE);
}
BENCHMARK(BM_EventRoundTrip)->ArgName("named")->Arg(0)->Arg(1)->UseRealTime();

// Release one count and take it back with a wait on the same thread. Arg 1 uses a named
// semaphore, 0 an unnamed one.
void BM_SemaphoreReleaseWait(benchmark::State& state) {
  rzd::bench::BenchRoot root;
  const rzd::Semaphore semaphore =
      state.range(0) != 0 ? rzd::Semaphore::Create(std::string_view("Local\\RzdBenchSemaphore"), 0, 16).handle
                          : rzd::Semaphore::Unnamed(0, 16);
  if (!semaphore) {
    state.SkipWithError("semaphore creation failed");
    return;
  }
  for (auto _ : state) {
    if (semaphore.Release() != ERROR_SUCCESS || semaphore.Wait(kWaitMs) != WAIT_OBJECT_0) {
      state.SkipWithError("release or wait failed");
      break;
    }
  }
}
BENCHMARK(BM_SemaphoreReleaseWait)->ArgName("named")->Arg(0)->Arg(1);

}  // namespace
