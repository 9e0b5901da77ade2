// libFuzzer target: the XML store's load, from a string (the way settings documents arrive) and
// from a file (decoded by byte-order mark, declaration, else UTF-8).
//
// The input's first byte picks the path (even: a string of the rest read as UTF-8; odd: a file of
// the rest's bytes). Checked beside the sanitizers: a failed load says why and leaves an empty
// document; a loaded document reads back from its own XML to the same text, and to the same XML
// where it has no CDATA (sections that meet come back as one), and after one read-back always;
// every node of it can be walked and asked for its name and text.
//
// Run (from a build configured with the fuzz preset):
//   xml_load_fuzz -max_total_time=60 -dict=<src>/foundation/fuzz/xml.dict <corpus-dir> \
//                 <src>/foundation/fuzz/corpus
#include "foundation/xml_store.h"
#include "platform/text.h"
#include "testsupport/temp_root.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "xml_load_fuzz: %s\n", what);
  std::abort();
}

struct World {
  rzd::test::ScopedRoot root;  // the scratch file lives in a throw-away folder
  std::filesystem::path file = root.Path() / "input.xml";
};

World& TheWorld() {
  static World world;
  return world;
}

bool LoadFile(rzd::MSXML6StoreSTL& store, std::string_view bytes) {
  const std::filesystem::path& file = TheWorld().file;
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  return store.LoadFromFile(file);
}

// Visits every node below the current one (bounded, so a deep document stays fast).
void Walk(rzd::MSXML6StoreSTL& store, int depth, int& budget) {
  if (depth > 64 || --budget < 0) return;
  std::u16string name;
  std::u16string text;
  store.GetNodeName(name);
  store.GetText(text);
  if (!store.MoveToFirstChild()) return;
  do {
    Walk(store, depth + 1, budget);
  } while (budget >= 0 && store.MoveToNextSibling());
  store.MoveToParent();
}

// The XML of `xml` once loaded, and the text of its root element; false when it does not load.
bool ReadBack(const std::u16string& xml, std::u16string& again, std::u16string& text) {
  rzd::MSXML6StoreSTL store;
  if (!store.LoadFromString(xml)) return false;
  if (!store.GetDocumentXML(again)) Fail("a loaded document's XML does not read back");
  text.clear();
  if (store.SelectRoot()) store.GetText(text);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  rzd::MSXML6StoreSTL store;
  const bool loaded = (data[0] & 1) == 0 ? store.LoadFromString(rzd::FromUtf8(bytes)) : LoadFile(store, bytes);
  if (!loaded) {
    if (store.GetLastParseError().reason.empty()) Fail("a failed load gave no reason");
    std::u16string xml;
    if (store.GetDocumentXML(xml) && !xml.empty()) Fail("a failed load left a document behind");
    return 0;
  }

  std::u16string first;
  if (!store.GetDocumentXML(first)) Fail("a loaded document has no XML");
  std::u16string text;
  if (store.SelectRoot()) store.GetText(text);
  // The parser joins CDATA sections that meet (once white space between them was dropped), and a
  // joined section holding "]]>" is written as two again; so the first read-back may differ from
  // the XML in that way only: its text is the same, and from then on the XML stays as it is.
  std::u16string second, secondText, third, thirdText;
  if (!ReadBack(first, second, secondText)) Fail("a loaded document's XML does not load");
  if (secondText != text) Fail("a loaded document's XML reads back with another text");
  if (second != first && first.find(u"<![CDATA[") == std::u16string::npos) Fail("a loaded document's XML does not read back the same");
  if (!ReadBack(second, third, thirdText)) Fail("a read-back document's XML does not load");
  if (third != second || thirdText != text) Fail("a read-back document's XML does not read back the same");

  if (store.SelectRoot()) {
    int budget = 2000;
    Walk(store, 0, budget);
  }
  return 0;
}
