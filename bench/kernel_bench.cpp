// Cost of the kernel-object paths the driver stack leans on: an event handshake between two
// threads (named events are shared through the system root, unnamed ones live in the process),
// a semaphore release followed by the wait that takes it, and image chunks taken from a shared
// file mapping one region at a time. Every benchmark runs in a temporary system root of its own.
#include "bench_root.h"
#include "memcpy_reference.h"
#include "platform/kernel.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <vector>
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

// Image transfer's pattern: a view of one chunk of a named 16 MiB mapping per call (the chunks
// taken in turn), and the chunk copied out of it. Beside it, memcpy of the same chunks from a
// heap buffer of the same size, measured in the same run.
void BM_MappingRegionCopy(benchmark::State& state) {
  constexpr size_t kTotal = 16u << 20;
  const size_t chunk = static_cast<size_t>(state.range(0));
  rzd::bench::BenchRoot root;
  const rzd::FileMapping mapping = rzd::FileMapping::Create(std::string_view("Global\\RzdBenchPages"), kTotal).handle;
  if (!mapping) {
    state.SkipWithError("mapping creation failed");
    return;
  }
  std::vector<uint8_t> target(chunk);
  const size_t chunks = kTotal / chunk;
  size_t next = 0;
  for (auto _ : state) {
    rzd::MappedView view = mapping.Map(next * chunk, chunk);
    if (!view) {
      state.SkipWithError("map failed");
      break;
    }
    std::memcpy(target.data(), view.Data(), chunk);
    benchmark::ClobberMemory();
    next = (next + 1) % chunks;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(chunk));
  rzd::bench::ReportMemcpyReference(state, chunk, kTotal);
}
BENCHMARK(BM_MappingRegionCopy)->ArgName("chunk")->Arg(64 << 10)->Arg(256 << 10)->Arg(1 << 20);

}  // namespace
