#include "xml/xml_parse.h"

#include "xml/xml_text.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <vector>

namespace rzd::xml {

namespace {

struct ParseState {
  bool failed = false;
  int32_t line = 0;
  std::u16string reason;

  void Fail(int32_t atLine, std::u16string text) {
    if (failed) return;  // the first error is the one that counts
    failed = true;
    line = atLine;
    reason = std::move(text);
  }
};

ParseState* StateOf(void* userData) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(userData);
  return ctxt ? static_cast<ParseState*>(ctxt->_private) : nullptr;
}

std::u16string MessageText(const char* message) {
  std::u16string text = FromXml(std::string_view(message ? message : ""));
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) text.pop_back();
  return text;
}

void OnError(void* userData, xmlErrorPtr error) {
  ParseState* state = StateOf(userData);
  if (state == nullptr || error == nullptr || error->level < XML_ERR_ERROR) return;
  state->Fail(error->line, MessageText(error->message));
}

// Every document type declaration is refused before its internal subset is read, so no entity
// can be declared (no expansion bombs, no external entities).
void OnDocumentType(void* userData, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(userData);
  if (ParseState* state = StateOf(userData)) {
    state->Fail(ctxt->input ? ctxt->input->line : 0, u"DTD is prohibited.");
  }
  xmlStopParser(ctxt);
}

bool IsBlank(const xmlChar* text) {
  if (text == nullptr) return true;
  for (; *text; ++text) {
    if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n') return false;
  }
  return true;
}

}  // namespace

void DropBlankText(xmlNodePtr node) {
  std::vector<xmlNodePtr> pending{node};
  while (!pending.empty()) {
    xmlNodePtr parent = pending.back();
    pending.pop_back();
    xmlNodePtr child = parent->children;
    while (child != nullptr) {
      xmlNodePtr next = child->next;
      if (child->type == XML_TEXT_NODE && IsBlank(child->content) && xmlNodeGetSpacePreserve(parent) != 1) {
        xmlUnlinkNode(child);
        xmlFreeNode(child);
      } else if (child->type == XML_ELEMENT_NODE) {
        pending.push_back(child);
      }
      child = next;
    }
  }
}

ParseOutcome ParseDocument(std::string_view bytes, InputEncoding encoding) {
  EnsureLibraryReady();
  ParseOutcome outcome;
  if (bytes.size() > kMaxDocumentBytes) {
    outcome.reason = u"The document is too large.";
    return outcome;
  }
  if (bytes.empty()) {
    outcome.line = 1;
    outcome.reason = u"The document is empty.";
    return outcome;
  }
  xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size()));
  if (ctxt == nullptr) {
    outcome.reason = u"Out of memory.";
    return outcome;
  }
  ParseState state;
  int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_BIG_LINES;
  if (encoding == InputEncoding::Utf8) options |= XML_PARSE_IGNORE_ENC;
  xmlCtxtUseOptions(ctxt, options);
  ctxt->_private = &state;
  ctxt->sax->serror = &OnError;
  ctxt->sax->internalSubset = &OnDocumentType;
  ctxt->sax->externalSubset = nullptr;
  ctxt->sax->resolveEntity = nullptr;
  ctxt->loadsubset = 0;
  ctxt->replaceEntities = 0;
  if (encoding == InputEncoding::Utf8) xmlSwitchEncoding(ctxt, XML_CHAR_ENCODING_UTF8);

  xmlParseDocument(ctxt);
  xmlDocPtr doc = ctxt->myDoc;
  ctxt->myDoc = nullptr;
  bool ok = !state.failed && ctxt->wellFormed && ctxt->nsWellFormed && doc != nullptr &&
            xmlDocGetRootElement(doc) != nullptr;
  if (ok) {
    DropBlankText(reinterpret_cast<xmlNodePtr>(doc));
    outcome.doc = doc;
  } else {
    if (!state.failed) {
      const xmlError* last = &ctxt->lastError;
      state.Fail(last->line, last->message ? MessageText(last->message) : u"The document is not well formed.");
    }
    outcome.line = state.line;
    outcome.reason = state.reason;
    if (doc != nullptr) xmlFreeDoc(doc);
  }
  ctxt->_private = nullptr;
  xmlFreeParserCtxt(ctxt);
  return outcome;
}

}  // namespace rzd::xml
