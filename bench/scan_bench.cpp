// Throughput of a whole batch through the driver's exported Control and Read: three duplex
// colour sheets (letter size, 300 dpi) from a simulated unit served in this process over the sim
// backend, read as the service reads, with a 1 MiB buffer (driver_batch.h).
//
// Beside it, in the same run: memcpy of the same number of bytes (the reference the figure is
// read against on a shared, noisy machine), and the JPEG road with its cost per page.
#include "bench_root.h"
#include "driver_batch.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

using namespace rzd;

constexpr uint32_t kSheets = 3;
constexpr uint32_t kBufferSize = 1u << 20;

using Batch = bench::DriverBatch;

// The bytes of one raw batch, found once.
uint64_t RawBatchBytes() {
  static uint64_t bytes = [] {
    bench::BenchRoot root;
    Batch batch(false, kSheets, kBufferSize);
    return batch.Ready() ? batch.Scan() : 0;
  }();
  return bytes;
}

// Runs batches of one road; the bytes delivered, 0 when the unit could not serve them.
uint64_t RunBatches(benchmark::State& state, bool jpeg) {
  bench::BenchRoot root;
  Batch batch(jpeg, kSheets, kBufferSize);
  if (!batch.Ready()) {
    state.SkipWithError("the unit could not be opened");
    return 0;
  }
  uint64_t total = 0;
  for (auto _ : state) {
    const uint64_t bytes = batch.Scan();
    if (bytes == 0) {
      state.SkipWithError("the batch failed");
      return 0;
    }
    total += bytes;
  }
  state.SetBytesProcessed(static_cast<int64_t>(total));
  return total;
}

void BM_ScanRawColourBatch(benchmark::State& state) {
  const uint64_t total = RunBatches(state, false);
  if (total != 0)
    state.counters["batch_MB"] = static_cast<double>(total) / static_cast<double>(state.iterations()) / 1e6;
}
BENCHMARK(BM_ScanRawColourBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The reference: memcpy of as many bytes as a raw batch delivers, in the reads' 1 MiB pieces.
void BM_MemcpyOfTheSameSize(benchmark::State& state) {
  const uint64_t bytes = RawBatchBytes();
  if (bytes == 0) {
    state.SkipWithError("no batch size");
    return;
  }
  std::vector<uint8_t> from(kBufferSize, 0x5A);
  std::vector<uint8_t> to(kBufferSize);
  for (auto _ : state) {
    for (uint64_t done = 0; done < bytes; done += kBufferSize) {
      std::memcpy(to.data(), from.data(), static_cast<size_t>(std::min<uint64_t>(kBufferSize, bytes - done)));
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes * static_cast<uint64_t>(state.iterations())));
}
BENCHMARK(BM_MemcpyOfTheSameSize)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// The JPEG road: the unit codes every side with libjpeg (its share dominates), the driver wraps
// each side into a stream. The counter is the time of one page (both sides).
void BM_ScanJpegColourBatch(benchmark::State& state) {
  if (RunBatches(state, true) == 0) return;
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSheets);
  // Seconds per page (both sides).
  state.counters["per_page"] = benchmark::Counter(static_cast<double>(state.iterations()) * kSheets,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ScanJpegColourBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
