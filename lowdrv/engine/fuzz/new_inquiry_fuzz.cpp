// libFuzzer target: new command set inquiry answers, the engine's own bytes, translated into the
// inquiry record and the capability bytes.
//
// Each input is translated as it arrived, from a buffer of exactly its size (a read past it is
// caught), and again from a 255-byte buffer whose bytes after the input are garbage: the
// translation looks only at the bytes that arrived, so both give the same record and the same
// capabilities. The same bytes then go through the engine interface's two-step INQUIRY over
// scripted pipes (the size step, then the answer), as the driver reads them.
//
// Run (from a build configured with the fuzz preset):
//   new_inquiry_fuzz -max_total_time=60 <corpus-dir> <src>/lowdrv/engine/fuzz/corpus/new_inquiry
#include "engine_script.h"
#include "lowdrv/engine/new_set_inquiry.h"
#include "lowdrv/engine/reduzid_interface.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace rzd::lowdrv;

void Fail(const char* what) {
  std::fprintf(stderr, "new_inquiry_fuzz: %s\n", what);
  std::abort();
}

bool SameCapabilities(const EngineCapabilities& a, const EngineCapabilities& b) {
  return a.InputTray == b.InputTray && a.Ultrasonic == b.Ultrasonic && a.ExtendedMultifeed == b.ExtendedMultifeed &&
         a.Imprinter == b.Imprinter && a.WindowByte66 == b.WindowByte66 &&
         std::memcmp(a.Calibration, b.Calibration, sizeof a.Calibration) == 0;
}

// The interface's INQUIRY reads the answer in two steps: 5 bytes, then the size they state.
void ThroughTheInterface(const std::vector<uint8_t>& answer) {
  test::ScriptedPipes pipes(true);
  test::EngineScript script;
  script.Attach(pipes);
  const std::vector<uint8_t> head(answer.begin(), answer.begin() + std::min<size_t>(answer.size(), 5));
  script.On(0xE2, test::Reply{head});
  script.On(0xE2, test::Reply{answer});
  CReduzidInterface iface;
  iface.m_bNewCommandSet = 1;
  iface.SetDevice(&pipes, nullptr, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t n = std::min(size, kNewInquiryMax);
  // Exactly the bytes that arrived.
  auto exact = std::make_unique<uint8_t[]>(n == 0 ? 1 : n);
  std::memcpy(exact.get(), data, n);
  ReduzidInq fromExact{};
  EngineCapabilities capsExact;
  TranslateNewInquiry(exact.get(), n, fromExact, capsExact);

  // The same bytes in the interface's full-size buffer, the rest of it garbage.
  uint8_t padded[kNewInquiryMax];
  std::memset(padded, 0xA5, sizeof padded);
  std::memcpy(padded, data, n);
  ReduzidInq fromPadded{};
  EngineCapabilities capsPadded;
  TranslateNewInquiry(padded, n, fromPadded, capsPadded);

  if (std::memcmp(&fromExact, &fromPadded, sizeof fromExact) != 0) Fail("the record depends on bytes that did not arrive");
  if (!SameCapabilities(capsExact, capsPadded)) Fail("the capabilities depend on bytes that did not arrive");

  ThroughTheInterface(std::vector<uint8_t>(data, data + n));
  return 0;
}
