// The whole data road against the same batch in-process, in one run: 20 duplex colour sheets
// (letter size, 300 dpi, raw) from a simulated unit served in this process,
//   BM_WholeRoad        unit -> scanner service (its own process, started by activation) ->
//                       shared raster buffer -> the bridge in this process -> a reading thread
//   BM_InProcess        the driver's Control and Read in this process, with a buffer of one block
//   BM_Memcpy           memcpy of as many bytes, in pieces of one block (the reference)
//   BM_ControlRoundTrip an IRZDHAL::Control status call through the bridge and the service
//   BM_BareSocketRoundTrip  the round trip's reference: 16 bytes to an echoing process
//   BM_IdleService      the service's resident memory after 60 sheets (120 sides), then the share
//                       of one core it takes while idle for 60 s
#include "bench_root.h"
#include "colour_batch_settings.h"
#include "driver_batch.h"
#include "round_trips.h"

#include "engine/sim_unit.h"
#include "engine/unit_server.h"
#include "interfaces/rzd_module.h"
#include "interfaces/rzdhal.h"
#include "interfaces/rzdhal_codes.h"
#include "interfaces/rzdhal_unit.h"
#include "nethal/bridge.h"
#include "platform/com.h"
#include "platform/process.h"
#include "platform/service.h"
#include "platform/text.h"
#include "rasterblocks/block_reader.h"
#include "scanhost/instance_ids.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace {

using namespace rzd;

constexpr uint32_t kSheets = 20;
constexpr ULONGLONG kBlockSize = 4u << 20;
constexpr ULONG kBlockCount = 8;
constexpr char16_t kService[] = u"scanhost_0000_0";

std::atomic<uint64_t> g_batchBytes{0};

HRESULT Call(IRZDHAL* hal, LONG code, const std::u16string& in, std::u16string* out = nullptr, VARIANT* bufOut = nullptr) {
  LocalVariant bufIn;
  LocalVariant local;
  Bstr text(in);
  Bstr answer;
  const HRESULT hr =
      hal->Control(code, in.empty() ? nullptr : text.Get(), answer.Out(), &bufIn.value, bufOut != nullptr ? bufOut : &local.value);
  if (out != nullptr) *out = answer.Str();
  return hr;
}

// The unit, installed in the bench's root, and a client of the bridge with its transfer buffer
// and the thread that takes the blocks.
class Road {
 public:
  Road() {
    server_ = std::make_unique<engine::UnitServer>(unit_, engine::ModelUnitOptions(0, "QM48TZ000001", u"Quarx M48tz Scanner"));
    if (server_->Start() != ERROR_SUCCESS) return;
    // The installer's lines ("installed ... as scanhost_0000_0") go to standard error: standard
    // output carries the figures alone, so --benchmark_format=json parses.
    std::optional<ChildProcess> install =
        ChildProcess::Start(ExecutablePath().parent_path() / "rzd-install", {}, {}, ChildOutput::ToStandardError);
    if (!install || install->Wait(120000) != 0) return;
    com_.emplace(COINIT_MULTITHREADED);
    if (FAILED(CoCreateInstance(CLSID_RZDHALM48tzInProc, nullptr, CLSCTX_INPROC_SERVER, IID_IRZDHAL, bridge_.OutVoid()))) return;
    if (ConnectHalUnit(bridge_.Get(), FormatGuid(scanhost::kInstanceClasses[0])) != S_OK) return;
    LONG status = 0;
    if (bridge_->LockScanner(static_cast<LONG>(CurrentProcessId()), &status, 3000) != S_OK) return;
    locked_ = true;
    std::u16string supported;
    if (Call(bridge_.Get(), RZDHAL_CC_GET_SUPPORTED, u"", &supported) != S_OK) return;
    const std::optional<std::u16string> settings = bench::ColourBatchSettings(supported, false);
    if (!settings || FAILED(bridge_.As(IID_IRZDModule, &module_)) || FAILED(bridge_.As(IID_IRZDMemMgr, &memory_))) return;
    Bstr text(*settings);
    if (FAILED(module_->Configure(0, nullptr, 0, nullptr, text.Get()))) return;
    ComPtr<IUnknown> unknown;
    ComPtr<IVBuffer> buffer;
    if (FAILED(CoCreateInstance(CLSID_RasterBlocks, nullptr, 0x17, IID_IRasterBlocks, payload_.OutVoid())) ||
        FAILED(payload_->Allocate(kBlockSize, kBlockCount)) || FAILED(payload_.As(IID_IRasterBlockReader, &reader_)) ||
        FAILED(payload_->GetVBuffer(unknown.Out())) || FAILED(unknown.As(IID_IVBuffer, &buffer)) ||
        FAILED(buffer->GetName(name_.Out())) || FAILED(memory_->CreateMMFile(name_.Get(), static_cast<LONG>(kBlockSize * kBlockCount)))) {
      return;
    }
    consumer_ = std::thread([this] { Consume(); });
    ready_ = true;
  }
  ~Road() {
    ReleaseClient();
    if (ControlServiceByName(kService, SERVICE_CONTROL_STOP) == ERROR_SUCCESS) WaitForServiceState(kService, SERVICE_STOPPED, 60000);
    if (server_) server_->Stop();
  }

  bool Ready() const { return ready_; }
  IRZDHAL* Bridge() const { return bridge_.Get(); }
  uint64_t Blocks() const { return blocks_.load(); }

  // One batch, page by page as a data source asks for them; the image bytes taken, 0 on failure.
  uint64_t Scan() {
    if (unit_.Control("load " + std::to_string(kSheets) + " duplex").rfind("ok", 0) != 0) return 0;
    const uint64_t before = bytes_.load();
    for (uint32_t page = 1;; ++page) {
      if (FAILED(module_->Produce(payload_.Get()))) return 0;
      std::unique_lock guard(lock_);
      // The page's last block is handed over before the read returns; the thread takes it soon.
      if (!ended_.wait_for(guard, std::chrono::seconds(30), [&] { return pagesEnded_ >= pages_ + page; })) return 0;
      if (lastBoundary_ >= 6) {
        pages_ += page;
        break;
      }
    }
    return bytes_.load() - before;
  }

  // Ends the client's use: the reading thread, the buffer, unlock and disconnect.
  void ReleaseClient() {
    if (consumer_.joinable()) {
      stop_.store(true);
      consumer_.join();
    }
    if (memory_ && name_) memory_->ReleaseMMFile(name_.Get());
    if (locked_) {
      LONG status = 0;
      bridge_->UnlockScanner(&status);
      locked_ = false;
    }
    if (bridge_) DisconnectHalUnit(bridge_.Get());
    reader_.Reset();
    payload_.Reset();
    memory_.Reset();
    module_.Reset();
    bridge_.Reset();
  }

 private:
  void Consume() {
    while (!stop_.load()) {
      RasterBlockInfo info;
      const BYTE* data = nullptr;
      const HRESULT hr = reader_->WaitBlock(20, &info, &data);
      if (hr != S_OK) continue;
      bytes_ += info.fill;
      ++blocks_;
      if (info.boundary >= 3) {
        std::lock_guard guard(lock_);
        lastBoundary_ = info.boundary;
        ++pagesEnded_;
        ended_.notify_all();
      }
      reader_->ReleaseBlock();
    }
  }

  engine::SimUnit unit_;
  std::unique_ptr<engine::UnitServer> server_;
  std::optional<ComInit> com_;
  ComPtr<IRZDHAL> bridge_;
  ComPtr<IRZDModule> module_;
  ComPtr<IRZDMemMgr> memory_;
  ComPtr<IRasterBlocks> payload_;
  ComPtr<IRasterBlockReader> reader_;
  Bstr name_;
  bool locked_ = false;
  bool ready_ = false;
  std::thread consumer_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> bytes_{0};
  std::atomic<uint64_t> blocks_{0};
  std::mutex lock_;
  std::condition_variable ended_;
  uint64_t pagesEnded_ = 0;
  uint64_t pages_ = 0;
  LONG lastBoundary_ = 0;
};

void BM_WholeRoad(benchmark::State& state) {
  bench::BenchRoot root;
  Road road;
  if (!road.Ready()) {
    state.SkipWithError("the road could not be set up");
    return;
  }
  uint64_t total = 0;
  for (auto _ : state) {
    const uint64_t bytes = road.Scan();
    if (bytes == 0) {
      state.SkipWithError("the batch failed");
      return;
    }
    total += bytes;
  }
  state.SetBytesProcessed(static_cast<int64_t>(total));
  state.counters["batch_MB"] = static_cast<double>(total) / static_cast<double>(state.iterations()) / 1e6;
  state.counters["blocks_per_batch"] = static_cast<double>(road.Blocks()) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_WholeRoad)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

void BM_InProcess(benchmark::State& state) {
  bench::BenchRoot root;
  bench::DriverBatch batch(false, kSheets, static_cast<uint32_t>(kBlockSize));
  if (!batch.Ready()) {
    state.SkipWithError("the unit could not be opened");
    return;
  }
  uint64_t total = 0;
  for (auto _ : state) {
    const uint64_t bytes = batch.Scan();
    if (bytes == 0) {
      state.SkipWithError("the batch failed");
      return;
    }
    total += bytes;
    g_batchBytes.store(bytes);
  }
  state.SetBytesProcessed(static_cast<int64_t>(total));
  state.counters["batch_MB"] = static_cast<double>(total) / static_cast<double>(state.iterations()) / 1e6;
  state.counters["reads_per_batch"] = static_cast<double>(batch.Reads()) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_InProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

void BM_Memcpy(benchmark::State& state) {
  const uint64_t bytes = g_batchBytes.load();
  if (bytes == 0) {
    state.SkipWithError("no batch size (BM_InProcess did not run)");
    return;
  }
  std::vector<uint8_t> from(kBlockSize * kBlockCount, 0x5A);
  std::vector<uint8_t> to(kBlockSize);
  for (auto _ : state) {
    uint64_t block = 0;
    for (uint64_t done = 0; done < bytes; done += kBlockSize, ++block) {
      std::memcpy(to.data(), from.data() + (block % kBlockCount) * kBlockSize,
                  static_cast<size_t>(std::min<uint64_t>(kBlockSize, bytes - done)));
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes * static_cast<uint64_t>(state.iterations())));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_ControlRoundTrip(benchmark::State& state) {
  bench::BenchRoot root;
  Road road;
  if (!road.Ready()) {
    state.SkipWithError("the road could not be set up");
    return;
  }
  std::vector<double> samples;
  samples.reserve(1 << 16);
  for (auto _ : state) {
    VARIANT out;
    VariantInit(&out);
    out.vt = VT_UI4;
    const auto start = std::chrono::steady_clock::now();
    if (Call(road.Bridge(), RZDHAL_CC_STATUS, u"", nullptr, &out) != S_OK) {
      state.SkipWithError("the status call failed");
      return;
    }
    samples.push_back(bench::MicrosecondsSince(start));
  }
  bench::Report(state, samples);
}
BENCHMARK(BM_ControlRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(20000);

void BM_BareSocketRoundTrip(benchmark::State& state) { bench::RunBareSocketRoundTrips(state); }
BENCHMARK(BM_BareSocketRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(20000);

// /proc/<pid>/status VmRSS in bytes; utime + stime of /proc/<pid>/stat in seconds.
uint64_t ResidentBytes(uint32_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
  }
  return 0;
}
double CpuSeconds(uint32_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  uint64_t utime = 0;
  uint64_t stime = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) {
      stime = std::stoull(field);
      break;
    }
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void BM_IdleService(benchmark::State& state) {
  bench::BenchRoot root;
  Road road;
  if (!road.Ready()) {
    state.SkipWithError("the road could not be set up");
    return;
  }
  for (auto _ : state) {
    for (int batch = 0; batch < 3; ++batch) {
      if (road.Scan() == 0) {
        state.SkipWithError("the batch failed");
        return;
      }
    }
    road.ReleaseClient();
    ServiceRunStatus status;
    if (QueryServiceRunStatus(kService, &status) != ERROR_SUCCESS || status.processId == 0) {
      state.SkipWithError("the service does not run");
      return;
    }
    state.counters["rss_MB_after_120_sides"] = static_cast<double>(ResidentBytes(status.processId)) / 1e6;
    const double before = CpuSeconds(status.processId);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(60));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["idle_cpu_percent_of_a_core"] = 100.0 * (CpuSeconds(status.processId) - before) / wall;
    state.counters["rss_MB_after_idle"] = static_cast<double>(ResidentBytes(status.processId)) / 1e6;
  }
}
BENCHMARK(BM_IdleService)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
