// Byte order, new-set mapping and data-log text of the sense record.
#include "lowdrv/engine/sense_record.h"

#include "lowdrv/engine/byte_order.h"
#include "platform/text.h"

namespace rzd::lowdrv {

void ConvertByteOrder(ReduzidSense& s) {
  s.InfoBytes = Swap32(s.InfoBytes);
  s.Value1Low = Swap16(s.Value1Low);
  s.Value2Low = Swap16(s.Value2Low);
  s.Value3 = Swap32(s.Value3);
}

ReduzidSense SenseFromNewResponse(const uint8_t (&r)[kNewSenseResponseSize]) {
  ReduzidSense s{};
  s.ErrorCode = r[4];
  s.SenseKey = r[5];
  s.ASC = r[7];
  s.ASCQ = r[8];
  s.InfoBytes = GetBE32(r + 9);
  const uint32_t v1 = GetBE32(r + 19);
  s.Value1High = static_cast<uint8_t>(v1 >> 16);
  s.Value1Low = static_cast<uint16_t>(v1);
  const uint32_t v2 = GetBE32(r + 23);
  s.Value2High = static_cast<uint8_t>(v2 >> 16);
  s.Value2Low = static_cast<uint16_t>(v2);
  s.Value3 = GetBE32(r + 27);
  s.ASByte = GetBE32(r + 33);
  return s;
}

std::string DumpSense(const ReduzidSense& s) {
  std::string out;
  out += rzd::FormatA("ErrorCode: 0x%02X\n", s.ErrorCode);
  out += rzd::FormatA("SegNum: 0x%02X\n", s.SegNum);
  out += rzd::FormatA("SenseKey: 0x%02X\n", s.SenseKey);
  out += rzd::FormatA("InfoBytes: 0x%08X\n", s.InfoBytes);
  out += rzd::FormatA("AddLength: 0x%02X\n", s.AddLength);
  out += rzd::FormatA("CommandInfo: 0x%08X\n", s.CommandInfo);
  out += rzd::FormatA("ASC: 0x%02X\n", s.ASC);
  out += rzd::FormatA("ASCQ: 0x%02X\n", s.ASCQ);
  out += rzd::FormatA("ASByte: 0x%08X\n", s.ASByte);
  return out;
}

}  // namespace rzd::lowdrv
