// The reference every throughput benchmark prints beside its figure: memcpy of the same chunk
// size, from a source of the same total size at the same rotating offsets, measured in the same
// run (the machines are shared and noisy, so only a same-run reference says what a figure means).
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace rzd::bench {

// Bytes per second of memcpy of `chunk` bytes, taken in turn from a source of `total` bytes.
inline double MemcpyBytesPerSecond(size_t chunk, size_t total, std::chrono::milliseconds duration =
                                                                   std::chrono::milliseconds(200)) {
  std::vector<uint8_t> source(total, 0x5A);
  std::vector<uint8_t> target(chunk);
  const size_t chunks = total / chunk;
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  uint64_t bytes = 0;
  size_t next = 0;
  while (Clock::now() - start < duration) {
    for (int i = 0; i < 16; ++i) {
      std::memcpy(target.data(), source.data() + next * chunk, chunk);
      benchmark::ClobberMemory();
      next = (next + 1) % chunks;
      bytes += chunk;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return static_cast<double>(bytes) / seconds;
}

// Puts the reference beside the benchmark's own bytes_per_second.
inline void ReportMemcpyReference(benchmark::State& state, size_t chunk, size_t total) {
  state.counters["memcpy_bytes_per_second"] =
      benchmark::Counter(MemcpyBytesPerSecond(chunk, total), benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
}

}  // namespace rzd::bench
