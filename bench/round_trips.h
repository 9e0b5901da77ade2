// Round-trip figures of the benchmarks: the median and 99th percentile of the samples as
// counters, and the reference they are read against in the same run, a bare round trip of 16
// bytes over a Unix stream socket to a process that echoes it (rzdhal_test_server --echo).
#pragma once

#include "bench_root.h"
#include "platform/local_socket.h"
#include "platform/modules.h"
#include "platform/process.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

namespace rzd::bench {

inline std::filesystem::path TestServer() { return ExecutablePath().parent_path() / "rzdhal_test_server"; }

// Median and 99th percentile of the samples, as counters.
inline void Report(benchmark::State& state, std::vector<double>& samples) {
  if (samples.empty()) return;
  auto at = [&samples](double fraction) {
    auto nth = samples.begin() + static_cast<std::ptrdiff_t>(fraction * static_cast<double>(samples.size() - 1));
    std::nth_element(samples.begin(), nth, samples.end());
    return *nth;
  };
  state.counters["median_us"] = at(0.5);
  state.counters["p99_us"] = at(0.99);
}

inline double MicrosecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

// The body of a bare socket round-trip benchmark.
inline void RunBareSocketRoundTrips(benchmark::State& state) {
  BenchRoot root;
  const std::filesystem::path path = root.Folder() / "echo" / "socket";
  auto echo = ChildProcess::Start(TestServer(), {"--echo", path.string()});
  LocalStream stream;
  for (int i = 0; i < 2000 && LocalStream::Connect(path, &stream) != ERROR_SUCCESS; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!echo || !stream.Valid()) {
    state.SkipWithError("the echo process did not start");
    return;
  }
  char message[16] = "ping";
  std::vector<double> samples;
  samples.reserve(1 << 20);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (stream.Send(message, sizeof message) != ERROR_SUCCESS || stream.Receive(message, sizeof message) != ERROR_SUCCESS) {
      state.SkipWithError("the echo failed");
      break;
    }
    samples.push_back(MicrosecondsSince(start));
  }
  Report(state, samples);
  stream.Close();
  echo->Wait(10000);
}

}  // namespace rzd::bench
