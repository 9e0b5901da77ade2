// libFuzzer target: sense data, the engine's own account of a failed command, as the engine
// interface fetches and decodes it (over scripted pipes, in either command set).
//
// Input: a flags byte, a byte with the number of image bytes the failed read delivers, then the
// REQUEST SENSE answer (the new set's 44-byte response, or the classic 22- or 32-byte data).
//   flags bit 0: new command set; bit 1: long classic sense; bit 2: the caller's end flag on
//   entry; bit 3: a new-set media check (which fetches the sense after a clear feeder status)
//   instead of the image read.
// Checked beside the sanitizers: a failed command's result is the decoded sense (never 0); a
// read reports no more image bytes than its data phase delivered; every result has a text.
//
// Run (from a build configured with the fuzz preset):
//   sense_fuzz -max_total_time=60 <corpus-dir> <src>/lowdrv/engine/fuzz/corpus/sense
#include "engine_script.h"
#include "lowdrv/engine/reduzid_interface.h"
#include "lowdrv/engine/sense_decode.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using namespace rzd::lowdrv;

void Fail(const char* what) {
  std::fprintf(stderr, "sense_fuzz: %s\n", what);
  std::abort();
}

constexpr uint8_t kNewSet = 0x01;
constexpr uint8_t kLongSense = 0x02;
constexpr uint8_t kEndFlag = 0x04;
constexpr uint8_t kMediaCheck = 0x08;

constexpr uint32_t kReadSize = 256;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  const bool newSet = (flags & kNewSet) != 0;
  const std::vector<uint8_t> sense(data + 2, data + size);

  test::ScriptedPipes pipes(newSet);
  test::EngineScript script;
  script.Attach(pipes);
  CReduzidInterface iface;
  iface.m_bNewCommandSet = newSet ? 1 : 0;
  iface.m_bLongSense = (flags & kLongSense) != 0 ? 1 : 0;
  iface.SetDevice(&pipes, kDeviceKindUsb);
  script.On(0xE3, test::Reply{sense});
  script.On(0x03, test::Reply{sense});

  BOOL ok = FALSE;
  if (newSet && (flags & kMediaCheck) != 0) {
    std::vector<uint8_t> status(5, 0);  // the feeder reports nothing: the sense tells
    script.On(0xA8, test::Reply{status});
    uint8_t feeder = 0xFF;
    ok = iface.MediaCheck(0, &feeder);
  } else {
    // The read fails: the delivered image bytes, then a check condition.
    test::Reply failed{std::vector<uint8_t>(data[1], 0x5A)};
    failed.status = 2;
    script.On(0xA8, failed);
    script.On(0x28, failed);
    std::vector<uint8_t> buffer(kReadSize);
    uint8_t endFlag = (flags & kEndFlag) != 0 ? 1 : 0;
    ImageReadResult result;
    ok = iface.ReadImageData(buffer.data(), kReadSize, endFlag, result);
    if (result.actualLength > result.transferred) Fail("a read reported more image bytes than it delivered");
    if (result.actualLength > kReadSize) Fail("a read reported more image bytes than its buffer holds");
  }
  if (!ok && iface.m_ulLastError == lld::kSuccess) Fail("a failed command ended with result 0");
  if (ScannerErrorToText(iface.m_ulLastError).empty()) Fail("a result without a text");
  DumpSense(iface.m_Sense);
  return 0;
}
