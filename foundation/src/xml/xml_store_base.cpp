// MSXML6StoreBase: the document's life and the operations on the context.
#include "foundation/xml_store.h"

#include "foundation/module_objects.h"

#include "platform/text.h"
#include "xml/xml_dom.h"
#include "xml/xml_store_impl.h"
#include "xml/xml_text.h"

#include <mutex>

namespace rzd {

namespace {

std::mutex& MessageHandlerLock() {
  static std::mutex lock;
  return lock;
}
XmlMessageHandler& MessageHandler() {
  static ModuleObject<XmlMessageHandler> handler;
  return handler.Get();
}

}  // namespace

void MSXML6StoreBase::Impl::MoveTo(xmlNodePtr node) { MoveTo(node, pos.selection); }

void MSXML6StoreBase::Impl::MoveTo(xmlNodePtr node, std::shared_ptr<xml::Selection> selection) {
  xml::Position next;
  next.holder = xml::HolderOfNode(node);
  next.node = node;
  next.element = xml::ElementOf(node);
  next.selection = std::move(selection);
  pos = std::move(next);
}

MSXML6StoreBase::MSXML6StoreBase() : impl_(std::make_unique<Impl>()) {}

MSXML6StoreBase::~MSXML6StoreBase() = default;

HRESULT MSXML6StoreBase::GetLastHResult() const { return impl_->lastHr; }
const XmlParseError& MSXML6StoreBase::GetLastParseError() const { return impl_->parseError; }
bool MSXML6StoreBase::HasDocument() const { return impl_->doc != nullptr; }
bool MSXML6StoreBase::HasContextNode() const { return impl_->pos.node != nullptr; }
void MSXML6StoreBase::SetLastHResult(HRESULT hr) { impl_->lastHr = hr; }

void MSXML6StoreBase::SetMessageHandler(XmlMessageHandler handler) {
  std::lock_guard<std::mutex> guard(MessageHandlerLock());
  MessageHandler() = std::move(handler);
}

bool MSXML6StoreBase::Initialize() {
  return Guard(false, [&] {
    ReleaseDocument();
    impl_->doc = xml::DocHolder::CreateEmpty();
    if (!impl_->doc) {
      impl_->lastHr = E_OUTOFMEMORY;
      RZD_LOG_ERROR(u"MSXML6StoreBase::Initialize failed, hr=%x\n", static_cast<uint32_t>(impl_->lastHr));
      return false;
    }
    impl_->lastHr = S_OK;
    return true;
  });
}

void MSXML6StoreBase::ReleaseDocument() {
  impl_->pos = {};
  impl_->doc.reset();
}

void MSXML6StoreBase::Destroy() { delete this; }

bool MSXML6StoreBase::SelectRoot() {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    xmlNodePtr root = xmlDocGetRootElement(impl_->doc->Doc());
    if (root == nullptr) return impl_->Fail(S_FALSE);
    impl_->MoveTo(root, nullptr);
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::MoveToParent() {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    if (!impl_->pos.node) return impl_->Fail(E_FAIL);
    xmlNodePtr parent = impl_->pos.node->parent;  // an attribute's is its owner element
    if (parent == nullptr) return impl_->Fail(S_FALSE);
    impl_->MoveTo(parent);
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::MoveToFirstChild() {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    if (!impl_->pos.node && !SelectRoot()) return false;
    xmlNodePtr node = impl_->pos.node;
    bool holdsChildren = node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE;
    xmlNodePtr child = holdsChildren ? node->children : nullptr;
    if (child == nullptr) return impl_->Fail(S_FALSE);
    impl_->MoveTo(child);
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::MoveToNextSibling() {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    if (!impl_->pos.node && !SelectRoot()) return false;
    xmlNodePtr node = impl_->pos.node;
    bool child = node->type != XML_ATTRIBUTE_NODE && node->type != XML_DOCUMENT_NODE;
    xmlNodePtr next = child ? node->next : nullptr;
    if (next == nullptr) return impl_->Fail(S_FALSE);
    impl_->MoveTo(next);
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::MoveToNextNode() {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    std::shared_ptr<xml::Selection> selection = impl_->pos.selection;
    if (!selection || selection->next >= selection->nodes.size()) return impl_->Fail(S_FALSE);
    impl_->MoveTo(selection->nodes[selection->next++], selection);
    impl_->lastHr = S_OK;
    return true;
  });
}

uint32_t MSXML6StoreBase::GetContextName() {
  return Guard(0u, [&] {
    if (!impl_->doc || !impl_->pos.node) {
      impl_->lastHr = impl_->doc ? E_FAIL : E_UNEXPECTED;
      return 0u;
    }
    impl_->lastHr = S_OK;
    return static_cast<uint32_t>(xml::NodeName(impl_->pos.node).size());
  });
}

bool MSXML6StoreBase::AppendCopyOf(XmlStoreRoot* other) {
  return Guard(false, [&] {
    auto* source = dynamic_cast<MSXML6StoreBase*>(other);
    if (source == nullptr) return impl_->Fail(E_INVALIDARG);
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    xmlNodePtr from = source->impl_->pos.node;
    if (from == nullptr) return impl_->Fail(E_FAIL);
    xmlNodePtr target = impl_->pos.node ? impl_->pos.node : impl_->DocNode();
    if (!xml::MayHoldChild(target, from->type)) return impl_->Fail(E_FAIL);
    xmlNodePtr copy = xmlDocCopyNode(from, target->doc, 1);
    if (copy == nullptr) return impl_->Fail(E_OUTOFMEMORY);
    xmlAddChild(target, copy);  // a text copy may merge into a text last child
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::ReplaceWithCopyOf(XmlStoreRoot* other) {
  return Guard(false, [&] {
    auto* source = dynamic_cast<MSXML6StoreBase*>(other);
    if (source == nullptr) return impl_->Fail(E_INVALIDARG);
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    xmlNodePtr from = source->impl_->pos.node;
    xmlNodePtr old = impl_->pos.node;
    if (from == nullptr || old == nullptr || old->type == XML_ATTRIBUTE_NODE || old->parent == nullptr) {
      return impl_->Fail(E_FAIL);
    }
    if (!xml::MayHoldChild(old->parent, from->type, old)) return impl_->Fail(E_FAIL);
    xml::DocHolder* holder = xml::DocHolder::Of(old->doc);
    if (holder == nullptr) return impl_->Fail(E_FAIL);
    xmlNodePtr copy = xmlDocCopyNode(from, old->doc, 1);
    if (copy == nullptr) return impl_->Fail(E_OUTOFMEMORY);
    try {
      holder->ReplaceAndBury(old, copy);
    } catch (...) {
      xmlFreeNode(copy);
      throw;
    }
    impl_->MoveTo(copy);
    impl_->lastHr = S_OK;
    return true;
  });
}

bool MSXML6StoreBase::RemoveContextNode() {
  return Guard(false, [&] {
    if (!impl_->doc) return impl_->Fail(E_UNEXPECTED);
    xmlNodePtr node = impl_->pos.node;
    if (node == nullptr || node->type == XML_ATTRIBUTE_NODE || node->parent == nullptr) {
      return impl_->Fail(E_FAIL);
    }
    xmlNodePtr parent = node->parent;
    // The holder reference of the position keeps the document (and so the buried node) alive.
    if (!xml::DetachAndBury(node)) return impl_->Fail(E_FAIL);
    impl_->MoveTo(parent);
    impl_->lastHr = S_OK;
    return true;
  });
}

XmlStoreContext* MSXML6StoreBase::CloneContext() {
  return Guard(static_cast<XmlStoreContext*>(nullptr), [&]() -> XmlStoreContext* {
    if (!impl_->doc || !impl_->pos.node) {
      impl_->lastHr = impl_->doc ? S_FALSE : E_UNEXPECTED;
      return nullptr;
    }
    impl_->lastHr = S_OK;
    return new XmlStoreContext(impl_->pos);
  });
}

void MSXML6StoreBase::FreeContext(XmlStoreContext* context) { delete context; }

void MSXML6StoreBase::SetContext(XmlStoreContext* context) {
  if (context == nullptr || !impl_->doc) return;
  impl_->pos = context->position;  // copying shared references only; cannot fail
  impl_->lastHr = S_OK;
}

bool MSXML6StoreBase::SetContextInt(uint32_t value) {
  return Guard(false, [&] { return CoreSetText(FormatW(u"%d", static_cast<int32_t>(value))); });
}

bool MSXML6StoreBase::GetContextText(std::u16string& text) { return CoreGetText(text); }

int32_t MSXML6StoreBase::GetContextInt(int32_t defaultValue) {
  return Guard(defaultValue, [&] {
    std::u16string text;
    return CoreGetText(text) ? WToI(text) : defaultValue;
  });
}

void MSXML6StoreBase::ShowContextDocument() {
  Guard(0, [&] {
    std::u16string text = u"Context is Null.";
    if (impl_->pos.node != nullptr) {
      text = xml::FromXml(xml::NodeMarkup(reinterpret_cast<xmlNodePtr>(impl_->pos.node->doc)));
    }
    XmlMessageHandler handler;
    {
      std::lock_guard<std::mutex> guard(MessageHandlerLock());
      handler = MessageHandler();
    }
    if (handler) {
      handler(u"Document from Context", text);
    } else {
      RZD_LOG_INFO(u"Document from Context: %s", text.c_str());
    }
    return 0;
  });
}

}  // namespace rzd
