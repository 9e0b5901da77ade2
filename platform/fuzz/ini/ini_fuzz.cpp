// libFuzzer target: the bytes of a profile file (any encoding) through the INI reader and writer.
//
// Besides the sanitizers, each input checks the reader's and writer's promises: every section and
// key the reader lists can be looked up; writing the document out and reading it back gives the
// same document; setting a key makes it read back as set, and deleting it makes it missing, while
// every other entry reads as before.
//
// Run (from a build configured with the fuzz preset):
//   ini_fuzz -max_total_time=60 -dict=<src>/platform/fuzz/ini/ini.dict <corpus-dir> \
//            <src>/platform/fuzz/ini/corpus
#include "ini/ini_codec.h"
#include "ini/ini_document.h"
#include "platform/text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using rzd::ini::IniDocument;

void Fail(const char* what) {
  std::fprintf(stderr, "ini_fuzz: %s\n", what);
  std::abort();
}

// Every (section, key) the document lists, with the value it reads as.
std::vector<std::pair<std::pair<std::u16string, std::u16string>, std::optional<std::u16string>>> Entries(
    const IniDocument& doc) {
  std::vector<std::pair<std::pair<std::u16string, std::u16string>, std::optional<std::u16string>>> entries;
  for (const std::u16string& section : doc.SectionNames()) {
    for (const std::u16string& key : doc.KeyNames(section)) {
      entries.push_back({{section, key}, doc.Find(section, key)});
    }
  }
  return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const IniDocument doc = IniDocument::Parse(rzd::ini::DecodeProfileBytes(bytes));
  const auto entries = Entries(doc);
  for (const auto& [name, value] : entries) {
    if (!value) Fail("a listed key that cannot be looked up");
  }

  // Written out (UTF-16LE with a mark) and read back: the same document.
  const std::string written = rzd::ini::EncodeProfileText(doc.Serialize());
  const IniDocument reread = IniDocument::Parse(rzd::ini::DecodeProfileBytes(written));
  if (reread.Serialize() != doc.Serialize()) Fail("a document that changes when written and read back");
  if (Entries(reread) != entries) Fail("entries that change when written and read back");

  // An edit touches its key only.
  IniDocument edited = doc;
  edited.Set(u"Fuzz Section", u"FuzzKey", u"fuzz value");
  if (edited.Find(u"fuzz section", u"fuzzkey") != u"fuzz value") Fail("a key that does not read back as set");
  edited.DeleteKey(u"Fuzz Section", u"FuzzKey");
  if (edited.Find(u"Fuzz Section", u"FuzzKey")) Fail("a deleted key that still reads");
  for (const auto& [name, value] : entries) {
    if (rzd::EqualsNoCase(name.first, u"Fuzz Section") && rzd::EqualsNoCase(name.second, u"FuzzKey")) continue;
    if (edited.Find(name.first, name.second) != value) Fail("an edit that changed another entry");
  }
  return 0;
}
