// A scripted IRZDHAL in its own process, for the panel's tests: a plain local server of the
// class given on its command line.
//
//   panel_hal_server --clsid {GUID}
//
// Its script and its record live in <root>/panel-hal/ and are read at every call, so a test can
// change them between two clicks:
//   answers       lines "lock <n>", "unlock <n>", "control <code> <n>" (default 0 for each)
//   info.xml      the answer to code 4; a successful code 19 sets the named counter to 0 in it,
//                 and a successful code 8 copies the three power times into it
//   supported.xml the answer to code 6
//   current.xml   the answer to codes 7; a successful code 8 replaces it with its input
//   calls.log     one line per call: "lock <pid> <timeout>", "unlock", "control <code> <value>
//                 <input>" (value: the VT_UI4 input or "-"; line breaks of the input as "|"),
//                 and "release" at the object's final release
// It ends by itself once its root is removed.
#include "foundation/xml_store.h"
#include "interfaces/rzdhal_proxy_stub.h"
#include "platform/com_object.h"
#include "platform/process.h"
#include "platform/root.h"
#include "platform/text.h"

#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

fs::path Folder() { return rzd::SystemRoot() / "panel-hal"; }

std::mutex g_files;

void Record(const std::string& line) {
  std::lock_guard guard(g_files);
  std::ofstream out(Folder() / "calls.log", std::ios::app);
  out << line << '\n';
}

HRESULT Answer(const std::string& what, LONG code = -1) {
  std::lock_guard guard(g_files);
  std::ifstream in(Folder() / "answers");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind != what) continue;
    if (what == "control") {
      LONG wanted = -1;
      words >> wanted;
      if (wanted != code) continue;
    }
    long long value = 0;
    words >> value;
    return static_cast<HRESULT>(value);
  }
  return S_OK;
}

std::u16string ReadDocument(const char* name) {
  std::lock_guard guard(g_files);
  std::ifstream in(Folder() / name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return rzd::FromUtf8(text.str());
}

void WriteDocument(const char* name, const std::u16string& text) {
  std::lock_guard guard(g_files);
  std::ofstream out(Folder() / name, std::ios::binary | std::ios::trunc);
  out << rzd::ToUtf8(text);
}

std::string OneLine(BSTR text) {
  if (text == nullptr) return "null";
  std::string line = rzd::ToUtf8(rzd::BstrView(text));
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = '|';
  }
  return line;
}

// Sets the text of `path` in the document `name` when both exist.
void SetInDocument(const char* name, const std::u16string& path, const std::u16string& value) {
  rzd::MSXML6StoreSTL store;
  if (!store.LoadFromString(ReadDocument(name)) || !store.SelectNode(path) || !store.SetText(value)) return;
  std::u16string xml;
  if (store.GetDocumentXML(xml)) WriteDocument(name, xml);
}

class PanelHal final : public rzd::ComObject<IRZDHAL> {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, OLECHAR**, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }

  HRESULT LockScanner(LONG pid, LONG* status, DWORD timeout) override {
    Record("lock " + std::to_string(pid) + " " + std::to_string(timeout));
    if (status != nullptr) *status = 0;
    return Answer("lock");
  }
  HRESULT UnlockScanner(LONG* status) override {
    Record("unlock");
    if (status != nullptr) *status = 0;
    return Answer("unlock");
  }
  HRESULT Control(LONG code, BSTR in, BSTR* out, VARIANT* valueIn, VARIANT* valueOut) override {
    const std::string value =
        valueIn != nullptr && valueIn->vt == VT_UI4 ? std::to_string(valueIn->ulVal) : std::string("-");
    Record("control " + std::to_string(code) + " " + value + " " + OneLine(in));
    if (out == nullptr || valueIn == nullptr || valueOut == nullptr) return E_FAIL;
    const HRESULT answer = Answer("control", code);
    if (answer != S_OK) return answer;
    const char* document = code == 4 ? "info.xml" : code == 6 ? "supported.xml" : code == 7 ? "current.xml" : nullptr;
    if (document != nullptr) {
      SysFreeString(*out);
      *out = rzd::AllocBstr(ReadDocument(document));
    }
    if (code == 8 && in != nullptr) {
      const std::u16string settings(rzd::BstrView(in));
      WriteDocument("current.xml", settings);
      rzd::MSXML6StoreSTL store;
      if (store.LoadFromString(settings)) {
        const std::pair<const char16_t*, const char16_t*> times[] = {
            {u"//SleepTimeout/Range/Value", u"/RZDScanner/PowerSaveTimeout"},
            {u"//OffTimeout/Range/Value", u"/RZDScanner/PowerOffTimeout"},
            {u"//ERPTimeout/Range/Value", u"/RZDScanner/ERPTimeout"}};
        for (const auto& [from, to] : times) {
          std::u16string text;
          if (store.GetNodeText(from, text)) SetInDocument("info.xml", to, text);
        }
      }
    }
    if (code == 19 && in != nullptr) SetInDocument("info.xml", std::u16string(rzd::BstrView(in)), u"0");
    return S_OK;
  }
  HRESULT Read(BSTR, BSTR, LONG) override { return E_NOTIMPL; }

 protected:
  void* FindInterface(const IID& iid) override {
    if (iid == IID_IRZDHAL || iid == IID_IDispatch) return static_cast<IRZDHAL*>(this);
    return nullptr;
  }
  void FinalRelease() override { Record("release"); }
};

HRESULT CreatePanelHal(IUnknown* outer, const IID& iid, void** object) {
  return rzd::CreateComObject<PanelHal>(outer, iid, object);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "--clsid") return 2;
  const auto clsid = rzd::ParseGuid(std::string_view(argv[2]));
  if (!clsid) return 2;
  const fs::path root = rzd::SystemRoot();
  std::thread([root] {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      std::error_code ec;
      if (!fs::exists(root, ec)) std::_Exit(0);
    }
  }).detach();
  rzd::ComInit com(COINIT_MULTITHREADED);
  if (FAILED(rzd::RegisterRzdHalProxyStub())) return 1;
  rzd::ComPtr<IUnknown> factory;
  rzd::CreateComObject<rzd::ClassFactory>(nullptr, IID_IUnknown, factory.OutVoid(), &CreatePanelHal, nullptr);
  DWORD cookie = 0;
  if (FAILED(CoRegisterClassObject(*clsid, factory.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie))) return 3;
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(60));
}
