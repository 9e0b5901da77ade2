// MSXML6StoreTmpl: the string-typed operations for each binding, and the two stores.
#include "foundation/xml_store.h"

#include "platform/text.h"
#include "xml/xml_schema.h"

#include <type_traits>

namespace rzd {

namespace {
std::u16string IntText(int32_t value) { return FormatW(u"%d", value); }
}  // namespace

template <class Binding>
MSXML6StoreTmpl<Binding>::MSXML6StoreTmpl() : storeLog_(Binding::kFeatureName) {}

template <class Binding>
MSXML6StoreTmpl<Binding>::~MSXML6StoreTmpl() = default;

template <class Binding>
bool MSXML6StoreTmpl<Binding>::Hand(std::u16string_view text, String& out) {
  if constexpr (std::is_same_v<String, Bstr>) {
    Bstr copy(text);
    if (!copy) {
      SetLastHResult(E_OUTOFMEMORY);
      return false;
    }
    out = std::move(copy);
  } else {
    out.assign(text);
  }
  return true;
}

template <class Binding>
void MSXML6StoreTmpl<Binding>::LogParseError() {
  const XmlParseError& error = GetLastParseError();
  RZD_LOG_ERROR_OF(storeLog_, u"Parse error in line %d: %s\n", error.line, error.reason.c_str());
}

template <class Binding>
void MSXML6StoreTmpl<Binding>::SetLogObject2(CLogInterfacePtr holder) {
  CLogClient::SetLogObject2(holder);
  storeLog_.SetLogObject2(holder);
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::LoadFromString(std::u16string_view text) {
  return this->Guard(false, [&] {
    bool ok = CoreLoadText(text);
    if (!ok && HasDocument()) LogParseError();
    return ok;
  });
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::GetDocumentXML(String& xml) {
  return this->Guard(false, [&] {
    std::u16string text;
    return CoreDocumentXml(text) && Hand(text, xml);
  });
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::GetNodeXML(String& xml) {
  return this->Guard(false, [&] {
    std::u16string text;
    return CoreNodeXml(text) && Hand(text, xml);
  });
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::SelectNode(std::u16string_view path) {
  return CoreSelect(path);
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::GetNodeName(String& name) {
  return this->Guard(false, [&] {
    std::u16string text;
    return CoreNodeName(text) && Hand(text, name);
  });
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::AddElementNS(std::u16string_view name, std::u16string_view namespaceUri) {
  return CoreAddElement(name, namespaceUri);
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::AddElement(std::u16string_view name) {
  return AddElementNS(name, std::u16string_view());
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::SetAttribute(std::u16string_view name, std::u16string_view value) {
  return CoreSetAttribute(name, value);
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::GetNodeAttribute(std::u16string_view name, String& value) {
  return this->Guard(false, [&] {
    std::u16string text;
    return CoreGetAttribute(name, text) && Hand(text, value);
  });
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::SetAttributeInt(std::u16string_view name, int32_t value) {
  return this->Guard(false, [&] { return SetAttribute(name, IntText(value)); });
}

template <class Binding>
int32_t MSXML6StoreTmpl<Binding>::GetAttribute(std::u16string_view name, String& value) {
  return this->Guard(0, [&] {
    std::u16string text;
    if (!CoreGetAttribute(name, text) || !Hand(text, value)) return 0;
    return static_cast<int32_t>(text.size());
  });
}

template <class Binding>
int32_t MSXML6StoreTmpl<Binding>::GetAttributeInt(std::u16string_view name, int32_t defaultValue) {
  return this->Guard(defaultValue, [&] {
    std::u16string text;
    return CoreGetAttribute(name, text) ? WToI(text) : defaultValue;
  });
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::RemoveAttribute(std::u16string_view name) {
  return CoreRemoveAttribute(name);
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::SetText(std::u16string_view text) {
  return CoreSetText(text);
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::SetNodeText(std::u16string_view path, std::u16string_view text) {
  return CoreSetNodeText(path, text);
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::SetNodeTextInt(std::u16string_view path, int32_t value) {
  return this->Guard(false, [&] { return SetNodeText(path, IntText(value)); });
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::GetText(String& text) {
  return this->Guard(false, [&] {
    std::u16string value;
    return CoreGetText(value) && Hand(value, text);
  });
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::GetNodeText(std::u16string_view path, String& text) {
  return this->Guard(false, [&] {
    std::u16string value;
    return CoreGetNodeText(path, value) && Hand(value, text);
  });
}

template <class Binding>
int32_t MSXML6StoreTmpl<Binding>::GetChildText(std::u16string_view path) {
  return this->Guard(0, [&] {
    std::u16string value;
    return CoreGetNodeText(path, value) ? static_cast<int32_t>(value.size()) : 0;
  });
}

template <class Binding>
int32_t MSXML6StoreTmpl<Binding>::GetNodeInt(std::u16string_view path, int32_t defaultValue) {
  return this->Guard(defaultValue, [&] {
    std::u16string value;
    return CoreGetNodeText(path, value) ? WToI(value) : defaultValue;
  });
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::SaveToFile(const std::filesystem::path& file) {
  return CoreSaveFile(file);
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::LoadFromFile(const std::filesystem::path& file) {
  return this->Guard(false, [&] {
    bool ok = CoreLoadFile(file);
    if (!ok && HasDocument()) LogParseError();
    return ok;
  });
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::AddSchema(std::u16string_view namespaceUri, std::u16string_view schemaText) {
  return this->Guard(false, [&] {
    if (!schemaCache_) {
      try {
        schemaCache_ = std::make_unique<xml::SchemaCache>();
      } catch (const std::bad_alloc&) {
        SetLastHResult(E_OUTOFMEMORY);
        RZD_LOG_ERROR_OF(storeLog_, u"MSXML6StoreTmpl::AddSchema failed, hr=%x\n", static_cast<uint32_t>(E_OUTOFMEMORY));
        return false;
      }
    }
    if (!HasDocument() && !Initialize()) {
      RZD_LOG_ERROR_OF(storeLog_, u"MSXML6Store::Initialize failed, hr=%x\n", static_cast<uint32_t>(GetLastHResult()));
      return false;
    }
    bool parseFailed = false;
    if (CoreAddSchema(*schemaCache_, namespaceUri, schemaText, parseFailed)) return true;
    if (parseFailed) {
      LogParseError();
    } else {
      std::u16string source(namespaceUri);
      RZD_LOG_ERROR_OF(storeLog_, u"Parse error in %s: %s\n", source.c_str(), GetLastParseError().reason.c_str());
    }
    return false;
  });
}

template <class Binding>
void MSXML6StoreTmpl<Binding>::ReleaseSchemaCache() {
  if (HasDocument()) schemaCache_.reset();
}

template <class Binding>
bool MSXML6StoreTmpl<Binding>::Validate() {
  return this->Guard(false, [&] {
    bool ok = CoreValidate(schemaCache_.get());
    if (!ok && HasDocument()) LogParseError();
    return ok;
  });
}

template class MSXML6StoreTmpl<XmlStlBinding>;
template class MSXML6StoreTmpl<XmlBstrBinding>;

MSXML6StoreSTL::MSXML6StoreSTL() = default;
MSXML6StoreSTL::~MSXML6StoreSTL() = default;
MSXML6StoreBSTR::MSXML6StoreBSTR() = default;
MSXML6StoreBSTR::~MSXML6StoreBSTR() = default;

}  // namespace rzd
