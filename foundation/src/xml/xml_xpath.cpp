#include "xml/xml_xpath.h"

#include "xml/xml_doc.h"
#include "xml/xml_text.h"

#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <memory>

namespace rzd::xml {

namespace {
void IgnoreError(void*, xmlErrorPtr) {}

struct ContextDeleter {
  void operator()(xmlXPathContextPtr p) const { xmlXPathFreeContext(p); }
};
struct CompDeleter {
  void operator()(xmlXPathCompExprPtr p) const { xmlXPathFreeCompExpr(p); }
};
struct ObjectDeleter {
  void operator()(xmlXPathObjectPtr p) const { xmlXPathFreeObject(p); }
};
}  // namespace

XPathStatus SelectNodes(xmlDocPtr doc, xmlNodePtr context, std::u16string_view path, std::vector<xmlNodePtr>& out) {
  out.clear();
  EnsureLibraryReady();
  auto expr = ToXmlUtf8(path);
  if (!expr || expr->empty()) return XPathStatus::Invalid;
  std::unique_ptr<xmlXPathContext, ContextDeleter> ctx(xmlXPathNewContext(doc));
  if (!ctx) throw std::bad_alloc();
  ctx->error = &IgnoreError;  // failures are reported through the status
  ctx->node = context != nullptr ? context : reinterpret_cast<xmlNodePtr>(doc);
  std::unique_ptr<xmlXPathCompExpr, CompDeleter> comp(xmlXPathCtxtCompile(ctx.get(), Xc(*expr)));
  if (!comp) return XPathStatus::Invalid;
  std::unique_ptr<xmlXPathObject, ObjectDeleter> result(xmlXPathCompiledEval(comp.get(), ctx.get()));
  if (!result || result->type != XPATH_NODESET) return XPathStatus::Invalid;
  xmlNodeSetPtr set = result->nodesetval;
  if (set != nullptr) {
    out.reserve(static_cast<size_t>(set->nodeNr));
    for (int i = 0; i < set->nodeNr; ++i) {
      xmlNodePtr node = set->nodeTab[i];
      if (node != nullptr && node->type != XML_NAMESPACE_DECL) out.push_back(node);
    }
  }
  return out.empty() ? XPathStatus::Empty : XPathStatus::Nodes;
}

}  // namespace rzd::xml
