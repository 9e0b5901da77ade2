// The scanner HAL object: the engine pass-through (code 30) and the help extractor (code 36).
#include "hal/client_inputs.h"
#include "hal/control_codes.h"
#include "hal/scanner_base.h"

#include "foundation/xml_store.h"
#include "platform/modules.h"
#include "platform/root.h"
#include "platform/text.h"

#include <cwctype>
#include <filesystem>

namespace rzd::scanhost {

namespace {

// The most output a pass-through may ask for: the caller's size is not trusted further.
constexpr uint32_t kMaxPassThroughOutput = 1u << 20;
constexpr uint32_t kModeWithOutput = 1;
// The help extractor: a library of the maker's common files, and its one export.
constexpr char kHelpLibrary[] = "RZDUtils.so";
constexpr char kHelpExport[] = "ExtractHELP";
using ExtractHelpFunction = int (*)(const char16_t* source, const char16_t* destination);

}  // namespace

bool ReadPassThroughNumbers(std::u16string_view text, uint32_t numbers[3]) {
  size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    if (text.substr(at, 2) != u"0x" && text.substr(at, 2) != u"0X") return false;
    at += 2;
    const size_t start = at;
    while (at < text.size() && HexDigitValue(text[at]) >= 0 && at - start < 8) ++at;
    if (at == start || (at < text.size() && text[at] != u' ')) return false;
    numbers[i] = static_cast<uint32_t>(std::stoul(ToUtf8(text.substr(start, at - start)), nullptr, 16));
    if (at < text.size()) ++at;
    if (i < 2 && at >= text.size()) return false;
  }
  return at == text.size();
}

bool IsHelpPath(std::u16string_view text) {
  const std::filesystem::path path(ToUtf8(text));  // a lenient conversion: any text is a path
  if (!path.is_absolute()) return false;
  for (const std::filesystem::path& part : path) {
    if (part == "..") return false;
  }
  const std::filesystem::path root = SystemRoot().lexically_normal();
  const std::filesystem::path relative = path.lexically_normal().lexically_relative(root);
  return !relative.empty() && *relative.begin() != "..";
}

HRESULT CRZDHALScannerBase::PassThrough(BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut) {
  uint8_t* input = nullptr;
  uint32_t inputSize = 0;
  if (!ByteArrayOf(pvBufIn, &input, &inputSize)) return E_FAIL;
  uint32_t numbers[3] = {};
  if (strXMLIn == nullptr || !ReadPassThroughNumbers(BstrView(strXMLIn), numbers)) return kHalDriverRefused;
  if (!driver_.Bound()) return E_FAIL;
  SAFEARRAY* output = nullptr;
  uint32_t outputSize = 0;
  if (numbers[0] == kModeWithOutput) {
    if (numbers[2] > kMaxPassThroughOutput) {
      RZD_LOG_ERROR(u"RZDHAL_CC_PASS_THROUGH Failed: output size %u is above %u", numbers[2], kMaxPassThroughOutput);
      return E_INVALIDARG;
    }
    output = SafeArrayCreateVector(VT_UI1, 0, numbers[2]);
    if (output == nullptr) return E_OUTOFMEMORY;
    outputSize = numbers[2];
  }
  const uint32_t allocated = outputSize;
  DriverAnswer answer = driver_.Control(handle_.load(), PassThroughDriverCode(), strXMLIn, strXMLOut, input, inputSize,
                                        output != nullptr ? output->pvData : nullptr, &outputSize);
  if (!answer.ok) {
    if (output != nullptr) SafeArrayDestroy(output);
    if (!answer.bound) return E_FAIL;
    RZD_LOG_ERROR(u"RZDHAL_CC_PASS_THROUGH Failed: \"%s\"", answer.ErrorText().c_str());
    return kHalDriverRefused;
  }
  if (output != nullptr) {
    // The array never claims more than it holds, whatever size the driver answered.
    SAFEARRAYBOUND bound{outputSize < allocated ? outputSize : allocated, 0};
    SafeArrayRedim(output, &bound);
    VariantClear(pvBufOut);
    pvBufOut->vt = VT_ARRAY | VT_UI1;
    pvBufOut->parray = output;
  }
  RZD_LOG_DATA_INFO(u"RZDHAL_CC_PASS_THROUGH: \"%s\"", *strXMLOut != nullptr ? *strXMLOut : u"");
  return S_OK;
}

HRESULT CRZDHALScannerBase::ExtractHelp(BSTR strXMLIn) {
  MSXML6StoreSTL store;
  std::u16string source;
  std::u16string destination;
  if (strXMLIn == nullptr || !store.LoadFromString(BstrView(strXMLIn)) ||
      !store.GetNodeText(u"/Parameters/Src", source) || !store.GetNodeText(u"/Parameters/Dst", destination)) {
    return S_OK;
  }
  // A client does not choose where the service writes (or what it reads) outside the root.
  if (!IsHelpPath(source) || !IsHelpPath(destination)) {
    RZD_LOG_ERROR(u"RZDHAL_CC_EXTRACT_HELP Failed: \"%s\" or \"%s\" is not a path inside the system", source.c_str(),
                  destination.c_str());
    return E_INVALIDARG;
  }
  const std::filesystem::path library = KnownFolderPath(KnownFolder::CommonFiles) / "Corvanite" / kHelpLibrary;
  std::error_code ec;
  if (!std::filesystem::exists(library, ec)) return S_OK;
  std::unique_ptr<Module> loaded = Module::Load(library);
  if (!loaded) return S_OK;
  if (auto extract = loaded->Bind<ExtractHelpFunction>(kHelpExport)) extract(source.c_str(), destination.c_str());
  return S_OK;
}

}  // namespace rzd::scanhost
