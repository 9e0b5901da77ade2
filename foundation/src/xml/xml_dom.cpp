#include "xml/xml_dom.h"

#include "xml/xml_doc.h"
#include "xml/xml_text.h"

#include <libxml/xmlsave.h>

#include <memory>

namespace rzd::xml {

namespace {

std::string_view View(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

std::u16string Trimmed(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(" \t\r\n");
  return FromXml(text.substr(begin, end - begin + 1));
}

std::string QualifiedName(xmlNodePtr node) {
  std::string name;
  if (node->ns != nullptr && node->ns->prefix != nullptr) {
    name = View(node->ns->prefix);
    name += ':';
  }
  name += View(node->name);
  return name;
}

// Appends the text and CDATA of every descendant of `node`, in document order.
void CollectText(xmlNodePtr node, std::string& out) {
  xmlNodePtr cur = node->children;
  while (cur != nullptr) {
    if (cur->type == XML_TEXT_NODE || cur->type == XML_CDATA_SECTION_NODE) {
      out += View(cur->content);
    } else if (cur->type == XML_ELEMENT_NODE && cur->children != nullptr) {
      cur = cur->children;
      continue;
    }
    while (cur != nullptr && cur->next == nullptr) {
      cur = cur->parent;
      if (cur == node) return;
    }
    if (cur != nullptr) cur = cur->next;
  }
}

struct BufferDeleter {
  void operator()(xmlBufferPtr buffer) const { xmlBufferFree(buffer); }
};

std::string Save(xmlNodePtr node, int options) {
  std::unique_ptr<xmlBuffer, BufferDeleter> buffer(xmlBufferCreate());
  if (!buffer) throw std::bad_alloc();
  xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer.get(), "UTF-8", options | XML_SAVE_AS_XML);
  if (save == nullptr) throw std::bad_alloc();
  xmlSaveTree(save, node);
  xmlSaveClose(save);
  return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                     static_cast<size_t>(xmlBufferLength(buffer.get())));
}

bool NamespacesDeclaredAbove(xmlNodePtr node) {
  for (xmlNodePtr p = node->parent; p != nullptr && p->type == XML_ELEMENT_NODE; p = p->parent) {
    if (p->nsDef != nullptr) return true;
  }
  return false;
}

bool HasRootElementOtherThan(xmlNodePtr doc, xmlNodePtr replacing) {
  for (xmlNodePtr c = doc->children; c != nullptr; c = c->next) {
    if (c->type == XML_ELEMENT_NODE && c != replacing) return true;
  }
  return false;
}

}  // namespace

std::u16string NodeName(xmlNodePtr node) {
  switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE: return FromXml(QualifiedName(node));
    case XML_TEXT_NODE: return u"#text";
    case XML_CDATA_SECTION_NODE: return u"#cdata-section";
    case XML_COMMENT_NODE: return u"#comment";
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE: return u"#document";
    case XML_DOCUMENT_FRAG_NODE: return u"#document-fragment";
    default: return FromXml(node->name);
  }
}

std::u16string NodeText(xmlNodePtr node) {
  switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE:
    case XML_ATTRIBUTE_NODE: {
      std::string text;
      CollectText(node, text);
      return Trimmed(text);
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE: return Trimmed(View(node->content));
    default: return {};
  }
}

HRESULT SetNodeText(xmlNodePtr node, const std::string& utf8) {
  switch (node->type) {
    case XML_ELEMENT_NODE: {
      xmlNodePtr text = nullptr;
      if (!utf8.empty()) {
        text = xmlNewDocTextLen(node->doc, Xc(utf8), static_cast<int>(utf8.size()));
        if (text == nullptr) return E_OUTOFMEMORY;
      }
      try {
        while (node->children != nullptr) DetachAndBury(node->children);
      } catch (...) {
        if (text) xmlFreeNode(text);
        throw;
      }
      if (text) xmlAddChild(node, text);
      return S_OK;
    }
    case XML_ATTRIBUTE_NODE: {
      auto* attr = reinterpret_cast<xmlAttrPtr>(node);
      if (attr->parent != nullptr) {
        // Finds this very attribute (same name and namespace) and replaces its value as text.
        return xmlSetNsProp(attr->parent, attr->ns, attr->name, Xc(utf8)) ? S_OK : E_OUTOFMEMORY;
      }
      xmlNodePtr text = xmlNewDocText(attr->doc, Xc(utf8));
      if (text == nullptr) return E_OUTOFMEMORY;
      xmlFreeNodeList(attr->children);
      attr->children = attr->last = text;
      text->parent = node;
      return S_OK;
    }
    case XML_COMMENT_NODE:
      // "--" or a final "-" would end the comment early when the document is written.
      if (utf8.find("--") != std::string::npos || (!utf8.empty() && utf8.back() == '-')) return E_INVALIDARG;
      xmlNodeSetContent(node, Xc(utf8));
      return S_OK;
    case XML_PI_NODE:
      if (utf8.find("?>") != std::string::npos) return E_INVALIDARG;
      xmlNodeSetContent(node, Xc(utf8));
      return S_OK;
    case XML_CDATA_SECTION_NODE:
      if (utf8.find("]]>") != std::string::npos) return E_INVALIDARG;
      xmlNodeSetContent(node, Xc(utf8));
      return S_OK;
    case XML_TEXT_NODE:
      // Plain content: these node kinds never read markup from their value.
      xmlNodeSetContent(node, Xc(utf8));
      return S_OK;
    default: return E_FAIL;
  }
}

xmlNodePtr ElementOf(xmlNodePtr node) {
  if (node == nullptr) return nullptr;
  if (node->type == XML_ELEMENT_NODE) return node;
  xmlNodePtr parent = node->parent;
  return parent != nullptr && parent->type == XML_ELEMENT_NODE ? parent : nullptr;
}

xmlAttrPtr FindAttribute(xmlNodePtr element, std::string_view qname) {
  if (element == nullptr || element->type != XML_ELEMENT_NODE) return nullptr;
  for (xmlAttrPtr attr = element->properties; attr != nullptr; attr = attr->next) {
    if (QualifiedName(reinterpret_cast<xmlNodePtr>(attr)) == qname) return attr;
  }
  return nullptr;
}

std::u16string AttributeValue(xmlAttrPtr attr) {
  std::string text;
  CollectText(reinterpret_cast<xmlNodePtr>(attr), text);
  return FromXml(text);
}

HRESULT SetAttribute(xmlNodePtr element, const std::string& name, const std::string& value) {
  if (element == nullptr || element->type != XML_ELEMENT_NODE) return E_FAIL;
  // A name with a prefix, or "xmlns", would change namespaces when the document is read again.
  if (!IsValidNCName(name) || name == "xmlns") return E_INVALIDARG;
  return xmlSetNsProp(element, nullptr, Xc(name), Xc(value)) ? S_OK : E_OUTOFMEMORY;
}

bool IsValidQName(const std::string& name) { return !name.empty() && xmlValidateQName(Xc(name), 0) == 0; }

bool IsValidNCName(const std::string& name) { return !name.empty() && xmlValidateNCName(Xc(name), 0) == 0; }

bool MayHoldChild(xmlNodePtr parent, xmlElementType type, xmlNodePtr replacing) {
  bool childKind = type == XML_ELEMENT_NODE || type == XML_TEXT_NODE || type == XML_CDATA_SECTION_NODE ||
                   type == XML_COMMENT_NODE || type == XML_PI_NODE;
  if (parent == nullptr || !childKind) return false;
  if (parent->type == XML_ELEMENT_NODE) return true;
  if (parent->type == XML_DOCUMENT_NODE) {
    if (type == XML_COMMENT_NODE || type == XML_PI_NODE) return true;
    return type == XML_ELEMENT_NODE && !HasRootElementOtherThan(parent, replacing);
  }
  return false;
}

xmlNodePtr AppendElement(xmlNodePtr parent, const std::string& qname, const std::string& namespaceUri, HRESULT& hr) {
  hr = E_INVALIDARG;
  if (!IsValidQName(qname)) return nullptr;
  size_t colon = qname.find(':');
  std::string prefix = colon == std::string::npos ? std::string() : qname.substr(0, colon);
  std::string local = colon == std::string::npos ? qname : qname.substr(colon + 1);
  if (!prefix.empty() && namespaceUri.empty()) return nullptr;  // a prefix needs a namespace
  if (prefix == "xmlns" || prefix == "xml") return nullptr;
  hr = E_FAIL;
  if (!MayHoldChild(parent, XML_ELEMENT_NODE)) return nullptr;
  hr = E_OUTOFMEMORY;
  xmlNodePtr element = xmlNewDocNode(parent->doc, nullptr, Xc(local), nullptr);
  if (element == nullptr) return nullptr;
  const xmlChar* prefixText = prefix.empty() ? nullptr : Xc(prefix);
  xmlNsPtr inScope = parent->type == XML_ELEMENT_NODE ? xmlSearchNs(parent->doc, parent, prefixText) : nullptr;
  if (!namespaceUri.empty()) {
    xmlNsPtr ns = inScope;
    if (ns == nullptr || View(ns->href) != namespaceUri) ns = xmlNewNs(element, Xc(namespaceUri), prefixText);
    if (ns == nullptr) {
      xmlFreeNode(element);
      return nullptr;
    }
    xmlSetNs(element, ns);
  } else if (inScope != nullptr && !View(inScope->href).empty()) {
    // No namespace inside a default namespace: say so, as the DOM does when it writes the node.
    if (xmlNewNs(element, BAD_CAST "", nullptr) == nullptr) {
      xmlFreeNode(element);
      return nullptr;
    }
  }
  xmlAddChild(parent, element);
  hr = S_OK;
  return element;
}

std::string NodeMarkup(xmlNodePtr node) {
  if (node->type == XML_ELEMENT_NODE && NamespacesDeclaredAbove(node)) {
    // A detached copy carries the declarations of the namespaces it uses.
    xmlNodePtr copy = xmlDocCopyNode(node, node->doc, 1);
    if (copy == nullptr) throw std::bad_alloc();
    std::string text;
    try {
      text = Save(copy, XML_SAVE_NO_DECL);
    } catch (...) {
      xmlFreeNode(copy);
      throw;
    }
    xmlFreeNode(copy);
    return text;
  }
  std::string text = Save(node, XML_SAVE_NO_DECL);
  if (node->type == XML_ATTRIBUTE_NODE && !text.empty() && text.front() == ' ') text.erase(0, 1);
  if (node->type == XML_DOCUMENT_NODE) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
  }
  return text;
}

std::string DocumentFileText(xmlDocPtr doc) { return Save(reinterpret_cast<xmlNodePtr>(doc), 0); }

}  // namespace rzd::xml
