#include "xml/xml_doc.h"

#include <libxml/parser.h>

#include <mutex>

namespace rzd::xml {

void EnsureLibraryReady() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

DocHolder::DocHolder(xmlDocPtr doc) : doc_(doc) {
  doc_->_private = this;
  // Text is UTF-8 inside; with the encoding known, serialising writes characters as they are
  // instead of character references.
  xmlChar* utf8 = xmlStrdup(BAD_CAST "UTF-8");
  if (utf8 != nullptr) {
    if (doc_->encoding != nullptr) xmlFree(const_cast<xmlChar*>(doc_->encoding));
    doc_->encoding = utf8;
  }
}

std::shared_ptr<DocHolder> DocHolder::Adopt(xmlDocPtr doc) {
  if (doc == nullptr) return nullptr;
  return std::shared_ptr<DocHolder>(new DocHolder(doc));
}

std::shared_ptr<DocHolder> DocHolder::CreateEmpty() {
  EnsureLibraryReady();
  xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
  if (doc == nullptr) return nullptr;
  try {
    return Adopt(doc);
  } catch (...) {
    xmlFreeDoc(doc);
    throw;
  }
}

DocHolder::~DocHolder() {
  // Buried nodes first: their names may live in the document's dictionary.
  for (xmlNodePtr node : buried_) {
    if (node->type == XML_ATTRIBUTE_NODE) {
      xmlFreeProp(reinterpret_cast<xmlAttrPtr>(node));
    } else {
      xmlFreeNode(node);
    }
  }
  xmlFreeDoc(doc_);
}

void DocHolder::ReserveBurial() {
  if (buried_.size() == buried_.capacity()) buried_.reserve(buried_.empty() ? 16 : buried_.size() * 2);
}

void DocHolder::DetachAndBury(xmlNodePtr node) {
  ReserveBurial();
  xmlUnlinkNode(node);
  buried_.push_back(node);  // cannot throw after the reserve
}

void DocHolder::ReplaceAndBury(xmlNodePtr old, xmlNodePtr replacement) {
  ReserveBurial();
  xmlReplaceNode(old, replacement);
  buried_.push_back(old);
}

bool DetachAndBury(xmlNodePtr node) {
  DocHolder* holder = DocHolder::Of(node->doc);
  if (holder == nullptr) return false;
  holder->DetachAndBury(node);
  return true;
}

}  // namespace rzd::xml
