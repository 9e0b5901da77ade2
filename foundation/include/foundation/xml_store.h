// The XML store: one DOM document with a current context, over libxml2 (XPath 1.0), behaving
// the way its callers rely on:
//
// - whitespace-only text between tags is not a node (unless xml:space="preserve" is in force);
// - a node's text is the text and CDATA below it joined and trimmed; setting text never reads
//   markup, and text that XML cannot hold (control characters, lone surrogates) is refused;
// - invalid element and attribute names are refused;
// - DOM node names: "#text", "#cdata-section", "#comment", "#document", "prefix:local";
// - a node's XML has no XML declaration;
// - a document type declaration is refused on every load path, nothing is loaded from the
//   network or other files;
// - nodes stay valid while the context, a selection or a saved context refers to them, also
//   after they were removed from the document or the store loaded another document.
//
// Two bindings: MSXML6StoreSTL hands out std::u16string, MSXML6StoreBSTR hands out rzd::Bstr.
//
// The last HRESULT (GetLastHResult): S_OK after success; S_FALSE when nothing was found or a
// document did not parse; E_FAIL when the DOM refused the step (no current node, a node of the
// wrong kind, an invalid XPath expression, a file that cannot be read or written);
// E_INVALIDARG for an invalid name or text; E_UNEXPECTED without a document; E_OUTOFMEMORY.
//
// A store belongs to one thread at a time.
#pragma once

#include "foundation/log_client.h"
#include "foundation/xml_store_root.h"
#include "platform/types.h"

#include <functional>
#include <memory>
#include <new>

namespace rzd {

namespace xml {
class SchemaCache;
}

// The first error of the last failed parse or validation.
struct XmlParseError {
  int32_t line = 0;
  std::u16string reason;
};

// Shows a text to the user (title, text). The store has no window of its own; a deliverable
// with a user interface installs one. Without one, ShowContextDocument logs the text at the
// information level.
using XmlMessageHandler = std::function<void(std::u16string_view title, std::u16string_view text)>;

// The logging mix-in ("MSXML6Root") shared by the store classes.
class MSXML6Root : public CLogClient, public virtual XmlStoreRoot {
 protected:
  MSXML6Root() : CLogClient(u"MSXML6Root") {}
};

// XmlStoreRoot on a libxml2 document, and the string-free core of the string-typed operations.
class MSXML6StoreBase : public virtual MSXML6Root {
 public:
  ~MSXML6StoreBase() override;
  MSXML6StoreBase(const MSXML6StoreBase&) = delete;
  MSXML6StoreBase& operator=(const MSXML6StoreBase&) = delete;

  bool Initialize() override;
  void ReleaseDocument() override;
  void Destroy() override;
  bool SelectRoot() override;
  bool MoveToParent() override;
  bool MoveToFirstChild() override;
  bool MoveToNextSibling() override;
  bool MoveToNextNode() override;
  uint32_t GetContextName() override;
  bool AppendCopyOf(XmlStoreRoot* other) override;
  bool ReplaceWithCopyOf(XmlStoreRoot* other) override;
  bool RemoveContextNode() override;
  XmlStoreContext* CloneContext() override;
  void FreeContext(XmlStoreContext* context) override;
  void SetContext(XmlStoreContext* context) override;
  bool SetContextInt(uint32_t value) override;
  bool GetContextText(std::u16string& text) override;
  int32_t GetContextInt(int32_t defaultValue) override;
  void ShowContextDocument() override;

  HRESULT GetLastHResult() const;
  const XmlParseError& GetLastParseError() const;
  bool HasDocument() const;
  bool HasContextNode() const;

  // Process-wide handler for ShowContextDocument (null: none).
  static void SetMessageHandler(XmlMessageHandler handler);

 protected:
  MSXML6StoreBase();

  // The core of the string-typed operations, on UTF-16 text. Each sets the last HRESULT.
  bool CoreLoadText(std::u16string_view text);
  bool CoreLoadFile(const std::filesystem::path& file);
  bool CoreSaveFile(const std::filesystem::path& file);
  bool CoreDocumentXml(std::u16string& xml);
  bool CoreNodeXml(std::u16string& xml);
  bool CoreSelect(std::u16string_view path);
  bool CoreNodeName(std::u16string& name);
  bool CoreAddElement(std::u16string_view name, std::u16string_view namespaceUri);
  bool CoreSetAttribute(std::u16string_view name, std::u16string_view value);
  bool CoreGetAttribute(std::u16string_view name, std::u16string& value);
  bool CoreRemoveAttribute(std::u16string_view name);
  bool CoreSetText(std::u16string_view text);
  bool CoreSetNodeText(std::u16string_view path, std::u16string_view text);
  bool CoreGetText(std::u16string& text);
  bool CoreGetNodeText(std::u16string_view path, std::u16string& text);
  bool CoreAddSchema(xml::SchemaCache& cache, std::u16string_view namespaceUri, std::u16string_view schemaText,
                     bool& parseFailed);
  bool CoreValidate(const xml::SchemaCache* cache);
  void SetLastHResult(HRESULT hr);

  // Runs `body`; an exception becomes `failure` with the last HRESULT E_OUTOFMEMORY or E_FAIL.
  template <class R, class F>
  R Guard(R failure, F&& body) noexcept {
    try {
      return body();
    } catch (const std::bad_alloc&) {
      SetLastHResult(E_OUTOFMEMORY);
    } catch (...) {
      SetLastHResult(E_FAIL);
    }
    return failure;
  }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// String bindings.
struct XmlStlBinding {
  using String = std::u16string;
  static constexpr const char16_t* kFeatureName = u"MSXML6StoreSTL";
};
struct XmlBstrBinding {
  using String = Bstr;
  static constexpr const char16_t* kFeatureName = u"MSXML6StoreBSTR";
};

// The string-typed operations for one binding, with their own logging mix-in (named after the
// binding) and the schema cache.
template <class Binding>
class MSXML6StoreTmpl : public XmlStoreTmpl<typename Binding::String>, public MSXML6StoreBase {
 public:
  using String = typename Binding::String;
  ~MSXML6StoreTmpl() override;

  bool LoadFromString(std::u16string_view text) override;
  bool GetDocumentXML(String& xml) override;
  bool GetNodeXML(String& xml) override;
  bool SelectNode(std::u16string_view path) override;
  bool GetNodeName(String& name) override;
  bool AddElementNS(std::u16string_view name, std::u16string_view namespaceUri) override;
  bool AddElement(std::u16string_view name) override;
  bool SetAttribute(std::u16string_view name, std::u16string_view value) override;
  bool GetNodeAttribute(std::u16string_view name, String& value) override;
  bool SetAttributeInt(std::u16string_view name, int32_t value) override;
  int32_t GetAttribute(std::u16string_view name, String& value) override;
  int32_t GetAttributeInt(std::u16string_view name, int32_t defaultValue) override;
  bool RemoveAttribute(std::u16string_view name) override;
  bool SetText(std::u16string_view text) override;
  bool SetNodeText(std::u16string_view path, std::u16string_view text) override;
  bool SetNodeTextInt(std::u16string_view path, int32_t value) override;
  bool GetText(String& text) override;
  bool GetNodeText(std::u16string_view path, String& text) override;
  int32_t GetChildText(std::u16string_view path) override;
  int32_t GetNodeInt(std::u16string_view path, int32_t defaultValue) override;
  bool SaveToFile(const std::filesystem::path& file) override;
  bool LoadFromFile(const std::filesystem::path& file) override;
  bool AddSchema(std::u16string_view namespaceUri, std::u16string_view schemaText) override;
  void ReleaseSchemaCache() override;
  bool Validate() override;

  // Sets the logger slot of both mix-ins.
  void SetLogObject2(CLogInterfacePtr holder) override;
  // The binding's own logging mix-in ("MSXML6StoreSTL" / "MSXML6StoreBSTR").
  CLogClient& StoreLog() { return storeLog_; }

 protected:
  MSXML6StoreTmpl();

 private:
  bool Hand(std::u16string_view text, String& out);
  void LogParseError();

  CLogClient storeLog_;
  std::unique_ptr<xml::SchemaCache> schemaCache_;
};

extern template class MSXML6StoreTmpl<XmlStlBinding>;
extern template class MSXML6StoreTmpl<XmlBstrBinding>;

// The wide-string store.
class MSXML6StoreSTL final : public MSXML6StoreTmpl<XmlStlBinding> {
 public:
  MSXML6StoreSTL();
  ~MSXML6StoreSTL() override;
};

// The BSTR store.
class MSXML6StoreBSTR final : public MSXML6StoreTmpl<XmlBstrBinding> {
 public:
  MSXML6StoreBSTR();
  ~MSXML6StoreBSTR() override;
};

}  // namespace rzd
