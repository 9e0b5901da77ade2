// libFuzzer target over the one-pass reading of a driver's page text (hal/page_values.h). The
// input's first byte picks the decoding of the rest (even: one character per byte, odd: UTF-16).
// Checked beside the sanitizers: a text the one pass takes is one the XML parser takes too, the
// values read from the parsed document are the same, in the same order, and the markup the one
// pass writes is the XML the store writes for the document; a text it refuses writes nothing.
#include "hal/page_values.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "page_text_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::u16string text;
  if (data[0] % 2 == 0) {
    text.assign(data + 1, data + size);
  } else {
    text.assign((size - 1) / 2, u'\0');
    std::memcpy(text.data(), data + 1, text.size() * 2);
  }
  rzd::scanhost::PageValues fast;
  std::u16string markup;
  const bool written = rzd::scanhost::PageValues::AppendPlainMarkup(text, &markup);
  if (!fast.Read(text)) {
    if (written || !markup.empty()) Fail("a text the one pass refused was written");
    return 0;
  }
  if (!written) Fail("a text the one pass took was not written");
  rzd::MSXML6StoreSTL document;
  if (!document.LoadFromString(text)) Fail("a text the one pass took does not parse");
  rzd::scanhost::PageValues parsed;
  parsed.ReadDocument(document);
  const auto& a = fast.All();
  const auto& b = parsed.All();
  if (a.size() != b.size()) Fail("a different number of values");
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].group != b[i].group || a[i].name != b[i].name || a[i].text != b[i].text) Fail("a different value");
  }
  std::u16string stored;
  if (!document.GetDocumentXML(stored) || stored != markup) Fail("the written markup is not the document's XML");
  return 0;
}
