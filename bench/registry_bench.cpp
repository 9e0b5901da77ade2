// Cost of the registry paths the driver stack leans on: opening a device's class key and reading
// a value from it, and storing a value (each store is one transaction of its own). Every
// benchmark runs in a temporary system root of its own.
#include "bench_root.h"
#include "platform/registry.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace {

constexpr std::u16string_view kClassKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";

// The device's class key with the values a driver instance carries, left open (closed when the
// creation failed).
rzd::RegKey FillClassKey() {
  rzd::RegKey key;
  if (rzd::RegKey::Create(rzd::Hive::LocalMachine, kClassKey, &key) != ERROR_SUCCESS) return key;
  key.SetString(u"DriverDesc", u"Quarx M48tz");
  key.SetString(u"InfPath", u"oem12.inf");
  key.SetString(u"MatchingDeviceId", u"usb\\vid_1a2b&pid_0048");
  key.SetDword(u"Capabilities", 0x31);
  key.SetString(u"CreateFileName", u"\\\\.\\Usbscan0");
  return key;
}

void BM_RegOpenQuery(benchmark::State& state) {
  rzd::bench::BenchRoot root;
  FillClassKey();
  for (auto _ : state) {
    rzd::RegKey key;
    if (rzd::RegKey::Open(rzd::Hive::LocalMachine, kClassKey, &key) != ERROR_SUCCESS) {
      state.SkipWithError("open failed");
      break;
    }
    std::u16string name;
    if (key.GetString(u"CreateFileName", &name) != ERROR_SUCCESS) {
      state.SkipWithError("query failed");
      break;
    }
    benchmark::DoNotOptimize(name);
  }
}
BENCHMARK(BM_RegOpenQuery);

// Only the query, on a key that stays open.
void BM_RegQueryOpenKey(benchmark::State& state) {
  rzd::bench::BenchRoot root;
  rzd::RegKey key = FillClassKey();
  if (!key.IsOpen()) {
    state.SkipWithError("create failed");
    return;
  }
  for (auto _ : state) {
    uint32_t value = 0;
    if (key.GetDword(u"Capabilities", &value) != ERROR_SUCCESS) {
      state.SkipWithError("query failed");
      break;
    }
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_RegQueryOpenKey);

void BM_RegSetValue(benchmark::State& state) {
  rzd::bench::BenchRoot root;
  rzd::RegKey key = FillClassKey();
  if (!key.IsOpen()) {
    state.SkipWithError("create failed");
    return;
  }
  uint32_t counter = 0;
  for (auto _ : state) {
    if (key.SetDword(u"ScanCount", ++counter) != ERROR_SUCCESS) {
      state.SkipWithError("set failed");
      break;
    }
  }
}
BENCHMARK(BM_RegSetValue);

}  // namespace
