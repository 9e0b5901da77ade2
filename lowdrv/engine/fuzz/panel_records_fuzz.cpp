// libFuzzer target: the LCD and imprinter records, as the engine answers them and the engine
// interface reads and converts them (new command set, over scripted pipes).
//
// The input's first byte picks the record; the rest is the engine's answer:
//   even: the LCD string table: the 20-byte information header, then the string data read with
//         the size the header states (7 + 260 x count bytes, as the driver reads it), answered with
//         the rest of the input
//   odd:  the imprinter's inquiry (0x200), information (0x201) and NVRAM (0x20B) records and the
//         ink level, each answered with the rest of the input
// Checked beside the sanitizers: a read writes nothing past the bytes that arrived (the buffers
// are filled with a pattern first); the conversions turn exactly their fields, so converting a
// record once more gives back the bytes as they arrived.
//
// Run (from a build configured with the fuzz preset):
//   panel_records_fuzz -max_total_time=60 <corpus-dir> <src>/lowdrv/engine/fuzz/corpus/panel_records
#include "engine_script.h"
#include "lowdrv/engine/byte_order.h"
#include "lowdrv/engine/imprinter_records.h"
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
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kPattern = 0xC3;
// How far past the bytes that arrived a large buffer is watched (two string entries and more).
constexpr size_t kWatchedPastArrival = 1024;

void Fail(const char* what) {
  std::fprintf(stderr, "panel_records_fuzz: %s\n", what);
  std::abort();
}

struct Unit {
  Unit() : pipes(true) {
    script.Attach(pipes);
    iface.m_bNewCommandSet = 1;
    iface.SetDevice(&pipes, kDeviceKindUsb);
  }
  test::ScriptedPipes pipes;
  test::EngineScript script;
  CReduzidInterface iface;
};

// Bytes from `at` on are still the pattern.
void ExpectUntouched(const uint8_t* buffer, size_t size, size_t at, const char* what) {
  for (size_t i = at; i < size; ++i) {
    if (buffer[i] != kPattern) Fail(what);
  }
}

void LcdStringTable(const Bytes& answer) {
  // A reply without data is no data phase at all for the scripted pipes: not an answer here.
  if (answer.empty()) return;
  Unit unit;
  const Bytes header(answer.begin(), answer.begin() + std::min<size_t>(answer.size(), 20));
  const Bytes strings(answer.begin() + static_cast<std::ptrdiff_t>(header.size()), answer.end());
  unit.script.On(0xA8, test::Reply{header});
  unit.script.On(0xA8, test::Reply{strings});
  uint8_t info[20];
  std::memset(info, kPattern, sizeof info);
  if (!unit.iface.ReadLCDStringInfoHeaderNew(info)) return;
  ExpectUntouched(info, sizeof info, header.size(), "the header read wrote past what arrived");
  const uint32_t count = GetLE16(info);
  if (count == 0 || strings.empty()) return;
  // Up to 17 MB for 65535 strings: only the bytes up to a little past what arrived are given the
  // pattern and looked at, so a large count costs no more than a small one.
  const uint32_t size = 7 + 260 * count;
  const size_t arrived = std::min<size_t>(strings.size(), size);
  const size_t watched = std::min<size_t>(size, arrived + kWatchedPastArrival);
  std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
  std::memset(block.get(), kPattern, watched);
  if (!unit.iface.ReadLCDSpecifyStringDataAllNew(block.get(), size)) return;
  ExpectUntouched(block.get(), watched, arrived, "the string table read wrote past what arrived");
}

template <size_t N>
void ExpectConvertedBack(uint8_t (&record)[N], const Bytes& answer, void (*convert)(uint8_t (&)[N]), const char* what) {
  uint8_t again[N];
  std::memcpy(again, record, N);
  convert(again);
  const size_t arrived = std::min(N, answer.size());
  if (std::memcmp(again, answer.data(), arrived) != 0) Fail(what);
}

void ImprinterRecords(const Bytes& answer) {
  if (answer.empty()) return;
  Unit unit;
  unit.script.On(0xA8, test::Reply{answer});
  uint8_t inquiry[kImprInquirySize];
  std::memset(inquiry, kPattern, sizeof inquiry);
  if (unit.iface.GetImprInquiry(inquiry)) {
    ExpectConvertedBack(inquiry, answer, &ConvertImprInquiry, "the inquiry record's conversion is not its own inverse");
  }
  uint8_t info[kImprInfoSize];
  std::memset(info, kPattern, sizeof info);
  if (unit.iface.GetImprInfoNew(info)) {
    ExpectConvertedBack(info, answer, &ConvertImprInfo, "the information record's conversion is not its own inverse");
  }
  uint8_t nvm[kImprNVMRecordSize];
  std::memset(nvm, kPattern, sizeof nvm);
  if (unit.iface.GetImprNVMDataNew(nvm)) {
    uint8_t wire[kImprNVMWireSize] = {};
    std::memcpy(wire, nvm, sizeof nvm);
    ConvertImprNVMData(wire, sizeof wire);
    const size_t arrived = std::min(sizeof nvm, answer.size());
    if (std::memcmp(wire, answer.data(), arrived) != 0) Fail("the NVRAM record's conversion is not its own inverse");
  }
  uint8_t first = 0;
  uint8_t second = 0;
  unit.iface.ReadImprInkRemainingNew(&first, &second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const Bytes answer(data + 1, data + size);
  if ((data[0] & 1) == 0) {
    LcdStringTable(answer);
  } else {
    ImprinterRecords(answer);
  }
  return 0;
}
