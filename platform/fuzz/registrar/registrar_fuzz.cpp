// libFuzzer target: registry scripts (the bytes read as UTF-8) through the script reader, with a
// few %VARIABLE% replacements, some of which hold script syntax.
//
// Besides the sanitizers, each input checks the reader's promises: a refused script says why
// ("line N: ..."); an accepted one has only valid key and value names, keys nested at most 64
// deep, and value data of its type's shape.
//
// Run (from a build configured with the fuzz preset):
//   registrar_fuzz -max_total_time=60 -dict=<src>/platform/fuzz/registrar/registrar.dict \
//                  <corpus-dir> <src>/platform/fuzz/registrar/corpus
#include "platform/registry.h"
#include "platform/text.h"
#include "registrar/script.h"
#include "registry/names.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using rzd::registrar::ScriptKey;
using rzd::registrar::ScriptValue;

void Fail(const char* what) {
  std::fprintf(stderr, "registrar_fuzz: %s\n", what);
  std::abort();
}

void CheckValue(const ScriptValue& value) {
  rzd::registry::Name name;
  if (!value.name.empty() && rzd::registry::MakeValueName(value.name, &name) != 0) Fail("invalid value name accepted");
  switch (value.type) {
    case REG_DWORD:
      if (value.data.size() != 4) Fail("a DWORD of another size");
      break;
    case REG_QWORD:
      if (value.data.size() != 8) Fail("a QWORD of another size");
      break;
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ:
      // UTF-16 with its terminator(s).
      if (value.data.size() < 2 || value.data.size() % 2 != 0) Fail("a string without its terminator");
      break;
    case REG_BINARY:
      break;
    default:
      Fail("a value of an unknown type");
  }
}

void CheckKey(const ScriptKey& key, int depth) {
  if (depth > 65) Fail("keys nested deeper than allowed");
  rzd::registry::Name name;
  if (depth > 0 && rzd::registry::MakeKeyName(key.name, &name) != 0) Fail("invalid key name accepted");
  if (key.defaultValue) CheckValue(*key.defaultValue);
  for (const ScriptValue& v : key.values) CheckValue(v);
  for (const ScriptKey& k : key.subkeys) CheckKey(k, depth + 1);
}

const std::map<std::u16string, std::u16string>& Replacements() {
  static const std::map<std::u16string, std::u16string> replacements = {
      {rzd::FoldCase(u"MODULE"), u"/opt/rzd/lib/lowdrv.so"},
      {rzd::FoldCase(u"CLSID"), u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}"},
      {rzd::FoldCase(u"SYNTAX"), u"} = s 'x' {"},  // replaced text is never syntax
      {rzd::FoldCase(u"EMPTY"), u""},
  };
  return replacements;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string script = rzd::FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  std::vector<rzd::registrar::ScriptRoot> roots;
  std::string error;
  if (!rzd::registrar::ParseScript(script, Replacements(), &roots, &error)) {
    if (error.rfind("line ", 0) != 0) Fail("a refusal that does not say where");
    return 0;
  }
  for (const auto& root : roots) CheckKey(root.body, 0);
  return 0;
}
