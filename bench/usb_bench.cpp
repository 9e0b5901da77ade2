// The USB path a scan leans on, over the sim backend to a simulated unit served in this process,
// through platform/usb exactly as the driver's command layer uses it:
// - BM_UsbRawPageRead: a raw grey page read in chunks (command block as a vendor request, data
//   on the read pipe, then the 3-byte status). Each iteration reads one whole page; the figure is
//   bytes per second, with memcpy of the same chunks measured in the same run beside it.
// - BM_UsbRoundTrip: one vendor request and its answer; the median and 90th percentile of the
//   round trips, with those of a bare socket round trip between two threads measured in the same
//   run beside them.
// Each benchmark runs in a temporary system root of its own.
#include "bench_root.h"
#include "memcpy_reference.h"
#include "engine/sim_unit.h"
#include "engine/unit_server.h"
#include "platform/usb.h"

#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kTimeoutMs = 20000;  // generous: an answer never comes near it

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// The host side of one command of the new set, on a USB handle.
class Host {
 public:
  explicit Host(rzd::UsbDevice& device) : device_(device) {}

  // Sends `cdb`, then `out` (when not empty) or reads up to `in` bytes into `data` (when `in`
  // is not 0), then the status. Answers the status byte (0 good, 2 check condition), or -1 on
  // a transfer error.
  int Command(const std::vector<uint8_t>& cdb, const std::vector<uint8_t>& out = {}, size_t in = 0,
              std::vector<uint8_t>* data = nullptr, size_t* got = nullptr) {
    rzd::UsbVendorRequest request;
    request.data = cdb;
    if (device_.VendorRequest(request, kTimeoutMs) != ERROR_SUCCESS) return -1;
    if (!out.empty() && device_.Write(out.data(), out.size(), kTimeoutMs) != ERROR_SUCCESS) return -1;
    if (in > 0 && device_.Read(data->data(), in, kTimeoutMs, got) != ERROR_SUCCESS) return -1;
    uint8_t status[3] = {};
    size_t statusSize = 0;
    if (device_.Read(status, sizeof status, kTimeoutMs, &statusSize) != ERROR_SUCCESS || statusSize != 3) return -1;
    return status[2];
  }

  static std::vector<uint8_t> Cdb(uint8_t opcode) {
    std::vector<uint8_t> c(12, 0);
    c[0] = opcode;
    return c;
  }

 private:
  rzd::UsbDevice& device_;
};

// A grey window of `pixels` x `lines` at 200 dpi, front side.
std::vector<uint8_t> GreyWindow(uint32_t pixels, uint32_t lines) {
  constexpr uint32_t kDpi = 200;
  std::vector<uint8_t> w(96, 0);
  w[2] = 2;
  Put16(&w[3], 96);
  Put16(&w[5], 1200);
  Put32(&w[15], pixels * 1200 / kDpi);
  Put32(&w[19], lines * 1200 / kDpi);
  Put16(&w[23], kDpi);
  Put16(&w[25], kDpi);
  Put32(&w[27], pixels);
  Put32(&w[31], lines);
  Put32(&w[35], pixels);  // bytes per line
  Put32(&w[39], 0x10);    // grey
  Put16(&w[43], 1);       // front
  w[46] = 4;
  w[47] = 0x80;
  w[50] = w[51] = 128;
  return w;
}

// A simulated unit served in this process, in a root of its own, and a USB handle on it. The
// handle is empty (and the benchmark skipped with the reason) when either did not come.
struct BenchUnit {
  explicit BenchUnit(benchmark::State& state)
      : server(unit, rzd::engine::ModelUnitOptions(0, "QM48TZ000001", u"Bench unit")) {
    if (server.Start() != ERROR_SUCCESS) {
      state.SkipWithError("the unit did not start");
      return;
    }
    uint32_t error = 0;
    device = rzd::UsbDevice::Open(server.Entry().interfacePath, &error);
    if (!device) state.SkipWithError(("open failed: " + std::to_string(error)).c_str());
  }
  ~BenchUnit() {
    if (device) device->Close();
    server.Stop();
  }
  BenchUnit(const BenchUnit&) = delete;
  BenchUnit& operator=(const BenchUnit&) = delete;

  rzd::bench::BenchRoot root;
  rzd::engine::SimUnit unit;
  rzd::engine::UnitServer server;
  std::shared_ptr<rzd::UsbDevice> device;
};

// Reads one raw page (8.5 x 11 in, 200 dpi grey: 1700 x 2200 bytes) in chunks of Arg bytes.
void BM_UsbRawPageRead(benchmark::State& state) {
  constexpr uint32_t kPixels = 1700;
  constexpr uint32_t kLines = 2200;
  const size_t chunk = static_cast<size_t>(state.range(0));

  BenchUnit bench(state);
  if (!bench.device) return;
  rzd::UsbDevice* device = bench.device.get();
  Host host(*device);
  std::vector<uint8_t> buffer(chunk);
  const std::vector<uint8_t> window = GreyWindow(kPixels, kLines);
  std::vector<uint8_t> setWindow = Host::Cdb(0xE4);
  setWindow[10] = 96;
  std::vector<uint8_t> readImage = Host::Cdb(0xA8);
  Put32(&readImage[7], static_cast<uint32_t>(chunk));
  std::vector<uint8_t> sense = Host::Cdb(0xE3);
  sense[10] = 44;
  std::vector<uint8_t> senseData(44);

  int64_t bytes = 0;
  for (auto _ : state) {
    if (bench.server.Control("load 1 simplex").rfind("ok", 0) != 0 || host.Command(setWindow, window) != 0 ||
        host.Command(Host::Cdb(0xE6)) != 0) {  // reserve: feeds the sheet
      state.SkipWithError("the page did not start");
      break;
    }
    int64_t page = 0;
    int status = 0;
    while (status == 0) {
      size_t got = 0;
      status = host.Command(readImage, {}, chunk, &buffer, &got);
      page += static_cast<int64_t>(got);
    }
    // The side ends with a check condition; its sense is taken before the release.
    if (status != 2 || page != int64_t{kPixels} * kLines || host.Command(sense, {}, 44, &senseData) != 0 ||
        host.Command(Host::Cdb(0xE7)) != 0) {
      state.SkipWithError(("page read failed after " + std::to_string(page) + " bytes").c_str());
      break;
    }
    bytes += page;
  }
  state.SetBytesProcessed(bytes);
  rzd::bench::ReportMemcpyReference(state, chunk, size_t{kPixels} * kLines / chunk * chunk);
}
BENCHMARK(BM_UsbRawPageRead)->ArgName("chunk")->Arg(16 << 10)->Arg(64 << 10)->Arg(256 << 10)->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

using Clock = std::chrono::steady_clock;

// The median and the 90th percentile of durations, in microseconds.
std::pair<double, double> MedianAndP90(std::vector<double>& us) {
  if (us.empty()) return {0, 0};
  std::sort(us.begin(), us.end());
  return {us[us.size() / 2], us[us.size() * 9 / 10]};
}

// Round trips of one byte over a socket pair between this thread and an echoing thread.
std::vector<double> BareSocketRoundTrips(size_t count) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return {};
  std::thread echo([fd = pair[1]] {
    uint8_t byte;
    while (::recv(fd, &byte, 1, 0) == 1 && ::send(fd, &byte, 1, MSG_NOSIGNAL) == 1) {
    }
  });
  std::vector<double> us;
  us.reserve(count);
  uint8_t byte = 1;
  for (size_t i = 0; i < count; ++i) {
    const auto start = Clock::now();
    if (::send(pair[0], &byte, 1, MSG_NOSIGNAL) != 1 || ::recv(pair[0], &byte, 1, 0) != 1) break;
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  ::shutdown(pair[0], SHUT_RDWR);
  echo.join();
  ::close(pair[0]);
  ::close(pair[1]);
  return us;
}

// One vendor request (a TEST UNIT READY command block) and its answer, per iteration.
void BM_UsbRoundTrip(benchmark::State& state) {
  BenchUnit bench(state);
  if (!bench.device) return;
  rzd::UsbDevice* device = bench.device.get();
  const std::vector<uint8_t> testUnitReady = Host::Cdb(0x00);
  rzd::UsbVendorRequest request;
  request.data = testUnitReady;
  std::vector<double> us;
  uint8_t status[3];
  for (auto _ : state) {
    const auto start = Clock::now();
    if (device->VendorRequest(request, kTimeoutMs) != ERROR_SUCCESS) {
      state.SkipWithError("vendor request failed");
      break;
    }
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    // The command's status, outside the measured round trip, so the unit stays in step.
    size_t got = 0;
    state.PauseTiming();
    device->Read(status, sizeof status, kTimeoutMs, &got);
    state.ResumeTiming();
  }
  auto [median, p90] = MedianAndP90(us);
  std::vector<double> bare = BareSocketRoundTrips(std::max<size_t>(us.size(), 1000));
  auto [bareMedian, bareP90] = MedianAndP90(bare);
  state.counters["median_us"] = median;
  state.counters["p90_us"] = p90;
  state.counters["socket_median_us"] = bareMedian;
  state.counters["socket_p90_us"] = bareP90;
}
BENCHMARK(BM_UsbRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
