// Data-log text of the button report.
#include "lowdrv/engine/button_report.h"

#include "platform/text.h"

namespace rzd::lowdrv {

std::string DumpButtonReport(const ButtonReport& r) {
  std::string out = rzd::FormatA("\nStatus: 0x%02X", r.Status);
  out += "Index: ";
  for (uint8_t b : r.Index) out += rzd::FormatA("0x%02X ", b);
  out += rzd::FormatA("Func Num: 0x%02X\n\n", r.FuncNum);
  return out;
}

}  // namespace rzd::lowdrv
