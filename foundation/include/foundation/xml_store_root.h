// The XML store's abstract interfaces: XmlStoreRoot (the document and the context, string-free)
// and XmlStoreTmpl (the string-typed operations, a template over the caller's string type).
//
// A store holds one DOM document and a current position, the "context": the current node, the
// current element (the current node when it is an element, else the element it belongs to) and
// the current selection list (the nodes of the last SelectNode, walked by MoveToNextNode).
// Every operation reports success as a bool (or a value) and keeps the HRESULT of its last DOM
// step in the store; no operation throws to its caller.
#pragma once

#include "platform/errors.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace rzd {

// A saved context (CloneContext): the current node, element and selection list. It keeps the
// nodes it refers to (and their document) alive until FreeContext, also when they are removed
// from the document or the store loads another one.
class XmlStoreContext;

class XmlStoreRoot {
 public:
  virtual ~XmlStoreRoot() = default;

  // Releases any document and creates a new empty one; the context is cleared.
  virtual bool Initialize() = 0;
  // Releases the document and the context.
  virtual void ReleaseDocument() = 0;
  // Deletes the store (only for a store made with new).
  virtual void Destroy() = 0;
  // Makes the document element the current node and element.
  virtual bool SelectRoot() = 0;
  // Current node := its parent (an attribute's parent is its owner element).
  virtual bool MoveToParent() = 0;
  // Current node := its first child; without a current node the document element is selected
  // first.
  virtual bool MoveToFirstChild() = 0;
  // Current node := its next sibling; without a current node the document element is selected
  // first.
  virtual bool MoveToNextSibling() = 0;
  // Current node := the next node of the selection list.
  virtual bool MoveToNextNode() = 0;
  // The length of the current node's name; 0 without a current node.
  virtual uint32_t GetContextName() = 0;
  // Appends a deep copy of `other`'s current node as the last child of this current node (or of
  // the document when there is none). `other` must be an MSXML6StoreBase.
  virtual bool AppendCopyOf(XmlStoreRoot* other) = 0;
  // Replaces the current node by a deep copy of `other`'s current node, which becomes the
  // current node and element.
  virtual bool ReplaceWithCopyOf(XmlStoreRoot* other) = 0;
  // Removes the current node from its parent; the parent becomes the current node and element.
  virtual bool RemoveContextNode() = 0;
  // A new saved context with the current node, element and selection; null without a current
  // node. Free it with FreeContext.
  virtual XmlStoreContext* CloneContext() = 0;
  // Deletes a saved context (null ignored).
  virtual void FreeContext(XmlStoreContext* context) = 0;
  // Makes a saved context current (null ignored). The selection list is shared with the saved
  // context, so its position moves on for both.
  virtual void SetContext(XmlStoreContext* context) = 0;
  // Text of the current node := the value formatted "%d" (so 4294967295 gives "-1").
  virtual bool SetContextInt(uint32_t value) = 0;
  // Text of the current node.
  virtual bool GetContextText(std::u16string& text) = 0;
  // Text of the current node read with _wtoi rules, or `defaultValue` without a current node.
  virtual int32_t GetContextInt(int32_t defaultValue) = 0;
  // Shows the XML of the current node's document, titled "Document from Context" (without a
  // current node the text is "Context is Null.").
  virtual void ShowContextDocument() = 0;
};

// The string-typed operations. `S` is the type of the texts the store hands out; texts and
// paths come in as UTF-16 views (a BSTR caller passes rzd::BstrView(b)). "path" is an XPath 1.0
// expression evaluated from the current context.
template <class S>
class XmlStoreTmpl : public virtual XmlStoreRoot {
 public:
  // Initialize, then parse `text`. A parse failure is logged "Parse error in line %d: %s\n".
  virtual bool LoadFromString(std::u16string_view text) = 0;
  // XML of the document element.
  virtual bool GetDocumentXML(S& xml) = 0;
  // XML of the current node.
  virtual bool GetNodeXML(S& xml) = 0;
  // ".." moves to the parent; any other path selects a node list (from the current node, or
  // from the document when the path begins with "/" or there is no current node), keeps it for
  // MoveToNextNode and makes its first node current. False when nothing is selected (the
  // context then stays where it was).
  virtual bool SelectNode(std::u16string_view path) = 0;
  // DOM name of the current node.
  virtual bool GetNodeName(S& name) = 0;
  // Creates an element (qualified name, namespace URI) as the last child of the current node
  // (or of the document when there is none) and makes it current.
  virtual bool AddElementNS(std::u16string_view name, std::u16string_view namespaceUri) = 0;
  virtual bool AddElement(std::u16string_view name) = 0;
  // Sets an attribute of the current element.
  virtual bool SetAttribute(std::u16string_view name, std::u16string_view value) = 0;
  // The value of the current node's attribute; false when it has none.
  virtual bool GetNodeAttribute(std::u16string_view name, S& value) = 0;
  virtual bool SetAttributeInt(std::u16string_view name, int32_t value) = 0;
  // As GetNodeAttribute; answers the length of the value, 0 when missing.
  virtual int32_t GetAttribute(std::u16string_view name, S& value) = 0;
  // The attribute read with _wtoi rules, or `defaultValue` when missing.
  virtual int32_t GetAttributeInt(std::u16string_view name, int32_t defaultValue) = 0;
  virtual bool RemoveAttribute(std::u16string_view name) = 0;
  // Text of the current node (never read as markup).
  virtual bool SetText(std::u16string_view text) = 0;
  // Sets the text of the single node `path` selects from the current element; else of the
  // current element when its name is `path`; else of a new child element named `path`.
  virtual bool SetNodeText(std::u16string_view path, std::u16string_view text) = 0;
  virtual bool SetNodeTextInt(std::u16string_view path, int32_t value) = 0;
  // Text of the current node: text and CDATA joined, blanks trimmed.
  virtual bool GetText(S& text) = 0;
  // Text of the first node `path` selects.
  virtual bool GetNodeText(std::u16string_view path, S& text) = 0;
  // Length of that text; 0 when nothing is selected.
  virtual int32_t GetChildText(std::u16string_view path) = 0;
  // That text read with _wtoi rules, or `defaultValue`.
  virtual int32_t GetNodeInt(std::u16string_view path, int32_t defaultValue) = 0;
  // Writes the document (UTF-8 with an XML declaration).
  virtual bool SaveToFile(const std::filesystem::path& file) = 0;
  // Initialize, then parse the file (encoding from its byte-order mark or declaration).
  virtual bool LoadFromFile(const std::filesystem::path& file) = 0;
  // Adds an XSD schema for `namespaceUri` to the store's schema cache.
  virtual bool AddSchema(std::u16string_view namespaceUri, std::u16string_view schemaText) = 0;
  virtual void ReleaseSchemaCache() = 0;
  // Validates the document against the cached schema of its document element's namespace.
  virtual bool Validate() = 0;
};

}  // namespace rzd
