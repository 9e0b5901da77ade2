// libFuzzer target: device-event reports as the unit sends them, recorded into the process's
// button table. An input is a series of reports, each a length byte (the bytes transferred, up to
// 31) followed by that many bytes.
//
// Besides the sanitizers, each report checks the table's promises: the Buttons document lists
// exactly the numbers below 16 that the report's bytes carried (short or long as its byte 0 says),
// and taking it again lists none.
//
// Run (from a build configured with the fuzz preset):
//   button_report_fuzz -max_total_time=60 <corpus-dir> <src>/lowdrv/core/fuzz/corpus
#include "buttons/button_table.h"
#include "platform/text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

namespace buttons = rzd::lowdrv::buttons;

void Fail(const char* what) {
  std::fprintf(stderr, "button_report_fuzz: %s\n", what);
  std::abort();
}

// What the table must hold after a report: the entry of each button (0 none, 1 short, 2 long).
void Expected(const uint8_t* report, size_t transferred, uint8_t (&entries)[buttons::kButtonCount]) {
  for (uint8_t& e : entries) e = 0;
  if (transferred == 0 || (report[0] & 0x80) == 0) return;
  const size_t arrived = transferred < buttons::kEventReportSize ? transferred : buttons::kEventReportSize;
  size_t count = report[0] & 0x0F;
  if (count > arrived - 1) count = arrived - 1;
  for (size_t i = 1; i <= count; ++i) {
    if (report[i] < buttons::kButtonCount) entries[report[i]] = (report[0] & 0x40) ? 2 : 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t at = 0;
  while (at < size) {
    const size_t length = data[at++] & 0x1F;
    const size_t transferred = length <= size - at ? length : size - at;
    const uint8_t* report = data + at;
    at += transferred;
    if (transferred == 0) continue;  // an empty report changes nothing
    buttons::RecordReport(report, transferred);
    uint8_t entries[buttons::kButtonCount];
    Expected(report, transferred, entries);
    std::u16string expected = u"<Buttons>\r\n";
    for (size_t b = 0; b < buttons::kButtonCount; ++b) {
      if (entries[b] == 0) continue;
      const int n = static_cast<int>(b);
      expected += rzd::FormatW(u"<Button ID=\"%d\">\r\n<Event Function=\"%d\">%s</Event>\r\n"
                               u"<XPath><![CDATA[/Scanner/Buttons/List/Item[@ID=\"Button%d\"]]]></XPath>\r\n"
                               u"</Button>\r\n",
                               n, static_cast<int>(buttons::FunctionByte()), entries[b] == 1 ? u"Short" : u"Long", n);
    }
    expected += u"</Buttons>";
    if (buttons::TakeButtonsDocument(false) != expected) Fail("the document does not list the report's buttons");
    if (buttons::TakeButtonsDocument(false) != u"<Buttons>\r\n</Buttons>") Fail("a press was listed twice");
  }
  return 0;
}
