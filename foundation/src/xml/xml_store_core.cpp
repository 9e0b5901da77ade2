// MSXML6StoreBase: the string-free core of the string-typed operations.
#include "foundation/xml_store.h"

#include "platform/process.h"
#include "platform/text.h"
#include "xml/xml_dom.h"
#include "xml/xml_parse.h"
#include "xml/xml_schema.h"
#include "xml/xml_store_impl.h"
#include "xml/xml_text.h"
#include "xml/xml_xpath.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <system_error>

namespace rzd {

namespace {

bool ReadWholeFile(const std::filesystem::path& file, std::string& bytes) {
  std::error_code ec;
  auto size = std::filesystem::file_size(file, ec);
  if (ec || size > xml::kMaxDocumentBytes) return false;
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad() && bytes.size() <= xml::kMaxDocumentBytes;
}

}  // namespace

bool MSXML6StoreBase::CoreLoadText(std::u16string_view text) {
  return Guard(false, [&] {
    if (!Initialize()) return false;
    if (!text.empty() && text.front() == u'\uFEFF') text.remove_prefix(1);  // a byte-order mark
    impl_->parseError = {};
    auto utf8 = TryToUtf8(text);
    if (!utf8) {
      impl_->parseError = {1, u"The text holds a lone surrogate."};
      return impl_->Fail(S_FALSE);
    }
    xml::ParseOutcome outcome = xml::ParseDocument(*utf8, xml::InputEncoding::Utf8);
    if (outcome.doc == nullptr) {
      impl_->parseError = {outcome.line, outcome.reason};
      return impl_->Fail(S_FALSE);  // the store keeps its new empty document
    }
    impl_->doc = xml::DocHolder::Adopt(outcome.doc);
    impl_->pos = {};
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::CoreLoadFile(const std::filesystem::path& file) {
  return Guard(false, [&] {
    if (!Initialize()) return false;
    impl_->parseError = {};
    std::string bytes;
    if (!ReadWholeFile(file, bytes)) {
      impl_->parseError = {0, u"The file cannot be read: " + FromUtf8(file.string())};
      return impl_->Fail(E_FAIL);
    }
    xml::ParseOutcome outcome = xml::ParseDocument(bytes, xml::InputEncoding::Detect);
    if (outcome.doc == nullptr) {
      impl_->parseError = {outcome.line, outcome.reason};
      return impl_->Fail(S_FALSE);
    }
    impl_->doc = xml::DocHolder::Adopt(outcome.doc);
    impl_->pos = {};
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::CoreSaveFile(const std::filesystem::path& file) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    std::string text = xml::DocumentFileText(impl_->doc->Doc());
    // Written beside the file and renamed over it, so a reader never sees half a document.
    static std::atomic<uint32_t> counter{0};
    std::filesystem::path temp = file;
    temp += "." + std::to_string(CurrentProcessId()) + "." + std::to_string(counter.fetch_add(1)) + ".saving";
    {
      std::ofstream out(temp, std::ios::binary | std::ios::trunc);
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      out.close();
      if (!out) {
        std::error_code ec;
        std::filesystem::remove(temp, ec);
        return impl_->Fail(E_FAIL);
      }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) {
      std::filesystem::remove(temp, ec);
      return impl_->Fail(E_FAIL);
    }
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::CoreDocumentXml(std::u16string& xml) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    xmlNodePtr root = xmlDocGetRootElement(impl_->doc->Doc());
    if (root == nullptr) return impl_->Fail(S_FALSE);
    xml = xml::FromXml(xml::NodeMarkup(root));
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::CoreNodeXml(std::u16string& xml) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    if (!impl_->pos.node) return impl_->Fail(E_FAIL);
    xml = xml::FromXml(xml::NodeMarkup(impl_->pos.node));
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::CoreSelect(std::u16string_view path) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    if (path == u"..") return MoveToParent();
    std::u16string_view trimmed = TrimView(path);
    bool fromDocument = !impl_->pos.node || (!trimmed.empty() && trimmed.front() == u'/');
    xmlNodePtr context = fromDocument ? impl_->DocNode() : impl_->pos.node;
    auto selection = std::make_shared<xml::Selection>();
    switch (xml::SelectNodes(context->doc, context, path, selection->nodes)) {
      case xml::XPathStatus::Invalid: return impl_->Fail(E_FAIL);
      case xml::XPathStatus::Empty: return impl_->Fail(S_FALSE);
      case xml::XPathStatus::Nodes: break;
    }
    selection->holder = xml::HolderOfNode(context);
    selection->next = 1;  // the first node becomes current now
    impl_->MoveTo(selection->nodes.front(), selection);
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::CoreNodeName(std::u16string& name) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    if (!impl_->pos.node) return impl_->Fail(E_FAIL);
    name = xml::NodeName(impl_->pos.node);
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::CoreAddElement(std::u16string_view name, std::u16string_view namespaceUri) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    auto qname = xml::ToXmlUtf8(name);
    auto uri = xml::ToXmlUtf8(namespaceUri);
    if (!qname || !uri) return impl_->Fail(E_INVALIDARG);
    xmlNodePtr parent = impl_->pos.node ? impl_->pos.node : impl_->DocNode();
    HRESULT hr = S_OK;
    xmlNodePtr element = xml::AppendElement(parent, *qname, *uri, hr);
    if (element == nullptr) return impl_->Fail(hr);
    impl_->MoveTo(element);
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::CoreSetAttribute(std::u16string_view name, std::u16string_view value) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    if (!impl_->pos.element) return impl_->Fail(E_FAIL);
    auto nameText = xml::ToXmlUtf8(name);
    auto valueText = xml::ToXmlUtf8(value);
    if (!nameText || !valueText) return impl_->Fail(E_INVALIDARG);
    impl_->lastHr = xml::SetAttribute(impl_->pos.element, *nameText, *valueText);
    return SUCCEEDED(impl_->lastHr);
  });
}

bool MSXML6StoreBase::CoreGetAttribute(std::u16string_view name, std::u16string& value) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    if (!impl_->pos.node) return impl_->Fail(E_FAIL);
    auto nameText = TryToUtf8(name);
    if (!nameText) return impl_->Fail(E_INVALIDARG);
    xmlAttrPtr attr = xml::FindAttribute(impl_->pos.node, *nameText);
    if (attr == nullptr) return impl_->Fail(S_FALSE);
    value = xml::AttributeValue(attr);
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::CoreRemoveAttribute(std::u16string_view name) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    if (!impl_->pos.element) return impl_->Fail(E_FAIL);
    auto nameText = TryToUtf8(name);
    if (!nameText) return impl_->Fail(E_INVALIDARG);
    xmlAttrPtr attr = xml::FindAttribute(impl_->pos.element, *nameText);
    if (attr == nullptr) {
      impl_->lastHr = S_FALSE;  // nothing to remove
      return true;
    }
    // Buried, not freed: a selection of "@name" may still hold the attribute.
    if (!xml::DetachAndBury(reinterpret_cast<xmlNodePtr>(attr))) return impl_->Fail(E_FAIL);
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::CoreSetText(std::u16string_view text) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    if (!impl_->pos.node) return impl_->Fail(E_FAIL);
    auto utf8 = xml::ToXmlUtf8(text);
    if (!utf8) return impl_->Fail(E_INVALIDARG);
    impl_->lastHr = xml::SetNodeText(impl_->pos.node, *utf8);
    return SUCCEEDED(impl_->lastHr);
  });
}

bool MSXML6StoreBase::CoreSetNodeText(std::u16string_view path, std::u16string_view text) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    auto utf8 = xml::ToXmlUtf8(text);
    if (!utf8) return impl_->Fail(E_INVALIDARG);
    xmlNodePtr element = impl_->pos.element;
    xmlNodePtr context = element ? element : (impl_->pos.node ? impl_->pos.node : impl_->DocNode());
    std::vector<xmlNodePtr> nodes;
    switch (xml::SelectNodes(context->doc, context, path, nodes)) {
      case xml::XPathStatus::Invalid: return impl_->Fail(E_FAIL);
      case xml::XPathStatus::Nodes:
        impl_->lastHr = xml::SetNodeText(nodes.front(), *utf8);
        return SUCCEEDED(impl_->lastHr);
      case xml::XPathStatus::Empty: break;
    }
    if (element == nullptr) return impl_->Fail(E_FAIL);
    if (xml::NodeName(element) == path) {
      impl_->lastHr = xml::SetNodeText(element, *utf8);
      return SUCCEEDED(impl_->lastHr);
    }
    auto name = xml::ToXmlUtf8(path);
    if (!name) return impl_->Fail(E_INVALIDARG);
    HRESULT hr = S_OK;
    xmlNodePtr child = xml::AppendElement(element, *name, std::string(), hr);
    if (child == nullptr) return impl_->Fail(hr);
    impl_->lastHr = xml::SetNodeText(child, *utf8);
    return SUCCEEDED(impl_->lastHr);
  });
}

bool MSXML6StoreBase::CoreGetText(std::u16string& text) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    if (!impl_->pos.node) return impl_->Fail(E_FAIL);
    text = xml::NodeText(impl_->pos.node);
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::CoreGetNodeText(std::u16string_view path, std::u16string& text) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    xmlNodePtr context = impl_->pos.node ? impl_->pos.node : impl_->DocNode();
    std::vector<xmlNodePtr> nodes;
    switch (xml::SelectNodes(context->doc, context, path, nodes)) {
      case xml::XPathStatus::Invalid: return impl_->Fail(E_FAIL);
      case xml::XPathStatus::Empty: return impl_->Fail(S_FALSE);
      case xml::XPathStatus::Nodes: break;
    }
    text = xml::NodeText(nodes.front());
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::CoreAddSchema(xml::SchemaCache& cache, std::u16string_view namespaceUri,
                                   std::u16string_view schemaText, bool& parseFailed) {
  parseFailed = false;
  return Guard(false, [&] {
    xml::SchemaFailure failure;
    if (cache.Add(namespaceUri, schemaText, failure)) {
      impl_->lastHr = S_OK;
      return true;
    }
    parseFailed = failure.parse;
    impl_->parseError = {failure.line, failure.reason};
    return impl_->Fail(failure.parse ? S_FALSE : E_FAIL);
  });
}

bool MSXML6StoreBase::CoreValidate(const xml::SchemaCache* cache) {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    if (cache == nullptr || cache->Empty()) {
      impl_->parseError = {0, u"No schema is loaded."};
      return impl_->Fail(E_FAIL);
    }
    xml::SchemaFailure failure;
    if (!cache->Validate(impl_->doc->Doc(), failure)) {
      impl_->parseError = {failure.line, failure.reason};
      return impl_->Fail(S_FALSE);
    }
    impl_->lastHr = S_OK;
    return true;
  });
}

}  // namespace rzd
