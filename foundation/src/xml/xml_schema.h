// A small schema cache: XSD schemas by target namespace, compiled with libxml2, and validation of
// a document against the schema of its document element's namespace.
#pragma once

#include <libxml/tree.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::xml {

struct SchemaFailure {
  int32_t line = 0;
  std::u16string reason;
  bool parse = false;  // the schema text itself did not parse (as opposed to a bad schema)
};

class SchemaCache {
 public:
  SchemaCache();
  ~SchemaCache();
  SchemaCache(const SchemaCache&) = delete;
  SchemaCache& operator=(const SchemaCache&) = delete;

  // Parses and compiles `schemaText` for `namespaceUri` (replacing a schema of the same
  // namespace). The schema's targetNamespace must equal `namespaceUri`, and it must not refer to
  // other schema documents (include, redefine, override, import with a location): nothing is
  // loaded from files or the network.
  bool Add(std::u16string_view namespaceUri, std::u16string_view schemaText, SchemaFailure& failure);

  // Validates `doc` against the schema for its document element's namespace.
  bool Validate(xmlDocPtr doc, SchemaFailure& failure) const;

  bool Empty() const { return entries_.empty(); }

 private:
  struct Entry;
  std::vector<std::unique_ptr<Entry>> entries_;
};

}  // namespace rzd::xml
