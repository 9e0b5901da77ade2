// Throughput of a whole batch through the driver's exported Control and Read: three duplex
// colour sheets (letter size, 300 dpi) from a simulated unit served in this process over the sim
// backend, read as the service reads, with a 1 MiB buffer. The unit's own cost (making the
// pattern, its side of the socket) is part of the figure.
//
// Beside it, in the same run: memcpy of the same number of bytes (the reference the figure is
// read against on a shared, noisy machine), and the JPEG road with its cost per page.
#include "bench_root.h"
#include "engine/sim_unit.h"
#include "engine/unit_server.h"
#include "foundation/xml_store.h"
#include "lowdrv/core/api.h"
#include "lowdrv/core/driver_base.h"
#include "lowdrv/core/driver_codes.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace rzd;
using namespace rzd::lowdrv;

constexpr uint32_t kSheets = 3;
constexpr uint32_t kBufferSize = 1u << 20;
constexpr char kSerial[] = "QM48TZ000001";

// The unit, its device class key, the driver opened and locked through Control.
class Batch {
 public:
  explicit Batch(bool jpeg) {
    server_ = std::make_unique<engine::UnitServer>(unit_, engine::ModelUnitOptions(0, kSerial, u"Quarx M48tz Scanner"));
    if (server_->Start() != ERROR_SUCCESS) return;
    const std::u16string path = server_->Entry().interfacePath;
    RegKey key;
    if (RegKey::Create(Hive::LocalMachine, std::u16string(kImageClassKey) + u"\\0000", &key) != ERROR_SUCCESS) return;
    key.SetString(u"SymbolicName", path);
    key.SetString(u"FriendlyName", u"Quarx M48tz Scanner #1");
    key.SetString(u"HAL_MODEL", u"M48tz");
    ObjectResult<Event> online = Event::Create(u"Global\\RZD_VID_2E5A_PID_0148#QM48TZ000001_ON", true, true);
    if (!online) return;
    online_ = online.handle;
    uint32_t size = sizeof handle_;
    BSTR error = nullptr;
    const bool opened = ::Control(nullptr, cc::kOpen, path.c_str(), nullptr, nullptr, 0, &handle_, &size, &error);
    SysFreeString(error);
    if (!opened) return;
    uint32_t timeout = 5000;
    error = nullptr;
    const bool locked = ::Control(handle_, cc::kLock, nullptr, nullptr, &timeout, sizeof timeout, nullptr, nullptr, &error);
    SysFreeString(error);
    if (!locked || !Choose(jpeg)) return;
    buffer_.resize(kBufferSize);
    ready_ = true;
  }
  ~Batch() {
    if (handle_) {
      BSTR error = nullptr;
      ::Control(handle_, cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &error);
      SysFreeString(error);
    }
    if (server_) server_->Stop();
  }

  bool Ready() const { return ready_; }

  // One batch; the image bytes delivered, 0 on failure.
  uint64_t Scan() {
    if (unit_.Control("load " + std::to_string(kSheets) + " duplex").rfind("ok", 0) != 0) return 0;
    uint64_t bytes = 0;
    for (;;) {
      uint32_t size = kBufferSize;
      uint32_t boundary = 0;
      BSTR meta = nullptr;
      const bool ok = ::Read(handle_, buffer_.data(), &size, &meta, &boundary);
      SysFreeString(meta);
      if (!ok) return 0;
      bytes += size;
      if (boundary == 6) return bytes;
    }
  }

 private:
  // Colour, 300 dpi, letter size, both sides; raw or JPEG. Chosen on the supported document
  // through Control, as a client does.
  bool Choose(bool jpeg) {
    Bstr supported;
    Bstr error;
    if (!::Control(handle_, cc::kSupportedSettings, nullptr, supported.Out(), nullptr, 0, nullptr, nullptr,
                   error.Out()))
      return false;
    MSXML6StoreSTL store;
    if (!store.LoadFromString(supported.View())) return false;
    for (const char16_t* stream : {u"Color1", u"Color2"}) {
      const std::u16string item = u"//Item[@ID='" + std::u16string(stream) + u"']";
      auto current = [&](const std::u16string& path, std::u16string_view value) {
        return store.SelectNode(item + path + u"/Enum/Value[@IsCurrent='true']") && store.SetText(value);
      };
      if (!current(u"/Resolutions", u"300") || !current(u"/Format/JPEGTransfer", jpeg ? u"On" : u"Off")) return false;
      if (!store.SelectNode(item + u"/Frame/Width") || !store.SetText(u"8500")) return false;
      if (!store.SelectNode(item + u"/Frame/Length") || !store.SetText(u"11000")) return false;
    }
    std::u16string text;
    store.GetDocumentXML(text);
    error.Reset();
    ::Control(handle_, cc::kSetCurrentSettings, text.c_str(), nullptr, nullptr, 0, nullptr, nullptr, error.Out());
    // Success or values adjusted (0x800C).
    const std::u16string_view document = error.View();
    return document.find(u"<ErrorCode>0<") != std::u16string_view::npos ||
           document.find(u"<ErrorCode>32780<") != std::u16string_view::npos;
  }

  engine::SimUnit unit_;
  std::unique_ptr<engine::UnitServer> server_;
  Event online_;
  void* handle_ = nullptr;
  std::vector<uint8_t> buffer_;
  bool ready_ = false;
};

// The bytes of one raw batch, found once.
uint64_t RawBatchBytes() {
  static uint64_t bytes = [] {
    bench::BenchRoot root;
    Batch batch(false);
    return batch.Ready() ? batch.Scan() : 0;
  }();
  return bytes;
}

// Runs batches of one road; the bytes delivered, 0 when the unit could not serve them.
uint64_t RunBatches(benchmark::State& state, bool jpeg) {
  bench::BenchRoot root;
  Batch batch(jpeg);
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
