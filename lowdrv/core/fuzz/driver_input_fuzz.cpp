// libFuzzer target: what callers hand the driver's maintenance operations before anything is
// sent to the unit. The first byte chooses:
//   0: an LCD slot string (the rest as UTF-8), read as "F<slot>N<screens>";
//   1: a firmware update: two bytes of document length, the `Firmware` document (UTF-8), and the
//      rest as the caller's buffer, checked as the firmware operation checks it for a model
//      with a slave part;
//   2: the same for a driver without a slave image (the `Slave` element optional).
//
// Besides the sanitizers (no byte outside the caller's buffer is read), each input checks the
// promises: a slot string read begins with "F"; a layout that passes the location check keeps
// both parts inside the buffer, their sizes adding up to it; a required slave part is there.
//
// Run (from a build configured with the fuzz preset):
//   driver_input_fuzz -max_total_time=60 <corpus-dir> <src>/lowdrv/core/fuzz/driver_input
#include "driver/firmware_check.h"
#include "driver/lcd_slot.h"
#include "platform/text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

namespace firmware = rzd::lowdrv::firmware;

void Check(bool promise, const char* what) {
  if (promise) return;
  std::fprintf(stderr, "driver_input_fuzz: %s\n", what);
  std::abort();
}

void SlotString(const uint8_t* data, size_t size) {
  const std::u16string text = rzd::FromUtf8(std::string(reinterpret_cast<const char*>(data), size));
  if (const auto slot = rzd::lowdrv::ParseLcdSlot(text)) Check(!text.empty() && text[0] == u'F', "slot without F");
}

void FirmwareUpdate(const uint8_t* data, size_t size, firmware::SlavePart slavePart) {
  if (size < 2) return;
  const size_t documentSize = std::min<size_t>(size - 2, data[0] | (data[1] << 8));
  const std::u16string document =
      rzd::FromUtf8(std::string(reinterpret_cast<const char*>(data + 2), documentSize));
  // The caller's buffer in a block of its own, so a read past it is seen.
  const size_t bufferSize = size - 2 - documentSize;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[bufferSize == 0 ? 1 : bufferSize]);
  if (bufferSize != 0) std::memcpy(buffer.get(), data + 2 + documentSize, bufferSize);

  const firmware::LayoutResult read = firmware::ReadLayout(document, slavePart);
  if (read.failure != nullptr || firmware::CheckLocation(read.layout, bufferSize) != nullptr) return;
  const firmware::Part& m = read.layout.master;
  const firmware::Part& s = read.layout.slave;
  Check(m.offset + m.size <= bufferSize && s.offset + s.size <= bufferSize, "part outside the buffer");
  Check(m.size + s.size == bufferSize, "sizes do not add up");
  const bool required = slavePart == firmware::SlavePart::Required;
  Check(m.size >= firmware::kMinMasterSize && (s.size >= firmware::kMinSlaveSize || (!required && s.size == 0)),
        "part too small");
  firmware::CheckParts(buffer.get() + m.offset, m.size, buffer.get() + s.offset, s.size);
  uint8_t record[firmware::kChecksumRecordSize];
  firmware::ChecksumRecord(buffer.get() + m.offset, m.size, record);
  firmware::ChecksumRecord(buffer.get() + s.offset, s.size, record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] == 0) SlotString(data + 1, size - 1);
  else if (data[0] == 1) FirmwareUpdate(data + 1, size - 1, firmware::SlavePart::Required);
  else if (data[0] == 2) FirmwareUpdate(data + 1, size - 1, firmware::SlavePart::Optional);
  return 0;
}
