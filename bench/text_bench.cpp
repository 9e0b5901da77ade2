// Cost of the wide-text primitives every log line and settings document goes through.
#include "platform/text.h"
#include "platform/types.h"

#include <benchmark/benchmark.h>

namespace {

void BM_FormatWMixed(benchmark::State& state) {
  for (auto _ : state) {
    auto s = rzd::FormatW(u"%s failed because %S (0x%08X) at %d of %.2f", u"OpenScanner", "the unit is busy",
                          0x8008u, 42, 3.5);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_FormatWMixed);

void BM_Utf8RoundTrip(benchmark::State& state) {
  std::u16string text(static_cast<size_t>(state.range(0)), u'\u00e9');
  for (auto _ : state) {
    auto back = rzd::FromUtf8(rzd::ToUtf8(text));
    benchmark::DoNotOptimize(back);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_Utf8RoundTrip)->Arg(64)->Arg(64 << 10);

void BM_BstrAllocFree(benchmark::State& state) {
  std::u16string text(static_cast<size_t>(state.range(0)), u'x');
  for (auto _ : state) {
    BSTR b = rzd::AllocBstr(text);
    benchmark::DoNotOptimize(b);
    SysFreeString(b);
  }
}
BENCHMARK(BM_BstrAllocFree)->Arg(16)->Arg(4096);

void BM_CompareNoCase(benchmark::State& state) {
  std::u16string a = u"SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";
  std::u16string b = rzd::ToLower(a);
  for (auto _ : state) benchmark::DoNotOptimize(rzd::CompareNoCase(a, b));
}
BENCHMARK(BM_CompareNoCase);

}  // namespace
