#include "xml/xml_schema.h"

#include "xml/xml_doc.h"
#include "xml/xml_parse.h"
#include "xml/xml_text.h"

#include <libxml/xmlschemas.h>

namespace rzd::xml {

namespace {

constexpr std::string_view kXsdNamespace = "http://www.w3.org/2001/XMLSchema";

std::string_view View(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

struct ErrorSink {
  bool set = false;
  int32_t line = 0;
  std::u16string reason;
};

void OnSchemaError(void* data, xmlErrorPtr error) {
  auto* sink = static_cast<ErrorSink*>(data);
  if (sink == nullptr || error == nullptr || error->level < XML_ERR_ERROR || sink->set) return;
  sink->set = true;
  sink->line = error->line;
  std::u16string text = FromXml(std::string_view(error->message ? error->message : ""));
  while (!text.empty() && (text.back() == u'\n' || text.back() == u' ')) text.pop_back();
  sink->reason = std::move(text);
}

// The first top-level element that would load another schema document, or null.
xmlNodePtr ExternalReference(xmlNodePtr root) {
  for (xmlNodePtr c = root->children; c != nullptr; c = c->next) {
    if (c->type != XML_ELEMENT_NODE || c->ns == nullptr || View(c->ns->href) != kXsdNamespace) continue;
    std::string_view name = View(c->name);
    if (name == "include" || name == "redefine" || name == "override") return c;
    if (name == "import" && xmlHasProp(c, BAD_CAST "schemaLocation") != nullptr) return c;
  }
  return nullptr;
}

}  // namespace

struct SchemaCache::Entry {
  std::string namespaceUri;
  std::shared_ptr<DocHolder> doc;  // the schema compiled from it keeps pointers into it
  xmlSchemaPtr schema = nullptr;
  ~Entry() {
    if (schema) xmlSchemaFree(schema);
  }
};

SchemaCache::SchemaCache() = default;
SchemaCache::~SchemaCache() = default;

bool SchemaCache::Add(std::u16string_view namespaceUri, std::u16string_view schemaText, SchemaFailure& failure) {
  failure = {};
  auto uri = ToXmlUtf8(namespaceUri);
  auto text = ToXmlUtf8(schemaText);
  if (!uri || !text) {
    failure.reason = u"The namespace or the schema holds characters that XML does not allow.";
    return false;
  }
  ParseOutcome parsed = ParseDocument(*text, InputEncoding::Utf8);
  if (parsed.doc == nullptr) {
    failure.parse = true;
    failure.line = parsed.line;
    failure.reason = parsed.reason;
    return false;
  }
  auto entry = std::make_unique<Entry>();
  entry->namespaceUri = *uri;
  entry->doc = DocHolder::Adopt(parsed.doc);
  xmlNodePtr root = xmlDocGetRootElement(entry->doc->Doc());
  if (root->ns == nullptr || View(root->ns->href) != kXsdNamespace || View(root->name) != "schema") {
    failure.line = static_cast<int32_t>(xmlGetLineNo(root));
    failure.reason = u"The document is not an XML schema.";
    return false;
  }
  xmlChar* target = xmlGetProp(root, BAD_CAST "targetNamespace");
  std::string targetText = target ? std::string(View(target)) : std::string();
  xmlFree(target);
  if (targetText != *uri) {
    failure.line = static_cast<int32_t>(xmlGetLineNo(root));
    failure.reason = u"The schema's target namespace is not the namespace it is added for.";
    return false;
  }
  if (xmlNodePtr ref = ExternalReference(root)) {
    failure.line = static_cast<int32_t>(xmlGetLineNo(ref));
    failure.reason = u"The schema refers to another schema document, which is not loaded.";
    return false;
  }
  xmlSchemaParserCtxtPtr pctxt = xmlSchemaNewDocParserCtxt(entry->doc->Doc());
  if (pctxt == nullptr) throw std::bad_alloc();
  ErrorSink sink;
  xmlSchemaSetParserStructuredErrors(pctxt, &OnSchemaError, &sink);
  entry->schema = xmlSchemaParse(pctxt);
  xmlSchemaFreeParserCtxt(pctxt);
  if (entry->schema == nullptr) {
    failure.line = sink.line;
    failure.reason = sink.set ? sink.reason : u"The schema is not valid.";
    return false;
  }
  for (auto& existing : entries_) {
    if (existing->namespaceUri == entry->namespaceUri) {
      existing = std::move(entry);
      return true;
    }
  }
  entries_.push_back(std::move(entry));
  return true;
}

bool SchemaCache::Validate(xmlDocPtr doc, SchemaFailure& failure) const {
  failure = {};
  xmlNodePtr root = xmlDocGetRootElement(doc);
  if (root == nullptr) {
    failure.reason = u"The document has no document element.";
    return false;
  }
  std::string_view ns = root->ns ? View(root->ns->href) : std::string_view();
  const Entry* match = nullptr;
  for (const auto& entry : entries_) {
    if (entry->namespaceUri == ns) match = entry.get();
  }
  if (match == nullptr) {
    failure.line = static_cast<int32_t>(xmlGetLineNo(root));
    failure.reason = u"No schema is loaded for the namespace of the document element.";
    return false;
  }
  xmlSchemaValidCtxtPtr vctxt = xmlSchemaNewValidCtxt(match->schema);
  if (vctxt == nullptr) throw std::bad_alloc();
  ErrorSink sink;
  xmlSchemaSetValidStructuredErrors(vctxt, &OnSchemaError, &sink);
  int rc = xmlSchemaValidateDoc(vctxt, doc);
  xmlSchemaFreeValidCtxt(vctxt);
  if (rc == 0) return true;
  failure.line = sink.line;
  failure.reason = sink.set ? sink.reason : u"The document is not valid.";
  return false;
}

}  // namespace rzd::xml
