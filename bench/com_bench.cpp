// A call through a local COM connection: IRZDHAL::Control through the proxy to the scripted
// object in the test server's process (a small XML text in and out, a VT_UI4 in, a VARIANT
// out), beside a bare round trip of 16 bytes over a Unix stream socket to a process that echoes
// them, measured in the same run. Each reports the median and the 99th percentile of single
// round trips in microseconds (counters median_us and p99_us); the goal for the call is a
// median of at most 30 us and a p99 of at most 150 us.
#include "bench_root.h"
#include "round_trips.h"
#include "interfaces/rzdhal_proxy_stub.h"
#include "platform/local_socket.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "scripted_hal.h"
#include "test_server.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// {5C0F7E50-1A2B-4C3D-8E9F-000000000001}
constexpr CLSID kBenchClass{0x5C0F7E50, 0x1A2B, 0x4C3D, {0x8E, 0x9F, 0, 0, 0, 0, 0, 1}};

using rzd::bench::MicrosecondsSince;
using rzd::bench::Report;
using rzd::bench::TestServer;

void BM_HalControlRoundTrip(benchmark::State& state) {
  rzd::bench::BenchRoot root;
  {
    rzd::ComInit com(COINIT_MULTITHREADED);
    rzd::RegisterRzdHalProxyStub();
    rzd::RegKey key;
    rzd::RegKey::Create(rzd::Hive::LocalMachine,
                        u"SOFTWARE\\Classes\\CLSID\\" + rzd::FormatGuid(kBenchClass) + u"\\LocalServer32", &key);
    key.SetString(u"", rzd::FromUtf8("\"" + TestServer().string() + "\" --clsid " + rzd::FormatGuidA(kBenchClass)));
    rzd::ComPtr<IRZDHAL> hal;
    if (FAILED(CoCreateInstance(kBenchClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IRZDHAL, hal.OutVoid()))) {
      state.SkipWithError("the test server did not start");
      return;
    }
    rzd::Bstr in(u"//Item[@ID='Lamp1']");
    std::vector<double> samples;
    samples.reserve(1 << 20);
    for (auto _ : state) {
      rzd::LocalVariant value;
      rzd::LocalVariant out;
      value.value.vt = VT_UI4;
      value.value.ulVal = 1;
      rzd::Bstr text;
      const auto start = std::chrono::steady_clock::now();
      HRESULT hr = hal->Control(38, in.Get(), text.Out(), &value.value, &out.value);
      samples.push_back(MicrosecondsSince(start));
      if (FAILED(hr)) {
        state.SkipWithError("the call failed");
        break;
      }
    }
    Report(state, samples);
  }
  rzd::test::KillTestServers();
}
BENCHMARK(BM_HalControlRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(50000);

void BM_BareSocketRoundTrip(benchmark::State& state) { rzd::bench::RunBareSocketRoundTrips(state); }
BENCHMARK(BM_BareSocketRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(50000);

}  // namespace
