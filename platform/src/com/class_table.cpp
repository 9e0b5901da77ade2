// The class table: class objects registered by this process, component libraries named by
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32, activation and library unloading.
#include "com_internal.h"
#include "remote_protocol.h"

#include "platform/modules.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace rzd {

namespace {

struct Registration {
  DWORD cookie = 0;
  CLSID clsid{};
  ComPtr<IUnknown> object;
  DWORD context = 0;
  DWORD flags = 0;
  bool suspended = false;
  bool handedOut = false;
  bool listening = false;  // its class socket is open (visible local-server registration)
};

// A loaded component library. `pins` counts activations using it now; `checking` is set while
// CoFreeUnusedLibraries asks its DllCanUnloadNow (activations wait for the answer).
struct Library {
  std::string key;
  std::unique_ptr<Module> module;
  DllGetClassObjectFunction getClassObject = nullptr;
  DllCanUnloadNowFunction canUnloadNow = nullptr;
  int pins = 0;
  bool checking = false;
};

struct ClassTable {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<Registration> registrations;  // newest last
  DWORD nextCookie = 1;
  std::vector<std::unique_ptr<Library>> libraries;

  Library* Find(const std::string& key) {
    for (auto& library : libraries) {
      if (library->key == key) return library.get();
    }
    return nullptr;
  }
};

ClassTable& Classes() {
  // Never destroyed: libraries are not unloaded behind objects that may outlive static
  // destruction; the process end takes them.
  static ClassTable* table = new ClassTable;
  return *table;
}

// Keeps a library loaded while an activation uses it.
class LibraryPin {
 public:
  LibraryPin() = default;
  explicit LibraryPin(Library* library) : library_(library) {}
  LibraryPin(const LibraryPin&) = delete;
  LibraryPin& operator=(const LibraryPin&) = delete;
  ~LibraryPin() {
    if (library_ == nullptr) return;
    ClassTable& table = Classes();
    std::lock_guard guard(table.lock);
    --library_->pins;
    table.changed.notify_all();
  }
  Library* operator->() const { return library_; }

 private:
  Library* library_ = nullptr;
};

// Pins the entry of `key` if it is loaded, waiting while its unloading is being decided.
Library* PinLoaded(ClassTable& table, std::unique_lock<std::mutex>& guard, const std::string& key) {
  for (;;) {
    Library* found = table.Find(key);
    if (found == nullptr) return nullptr;
    if (!found->checking) {
      ++found->pins;
      return found;
    }
    table.changed.wait(guard);
  }
}

// Loads (or finds) the library and pins it. The library is loaded without the table lock, since
// its constructors may use COM.
HRESULT PinLibrary(const std::filesystem::path& path, std::unique_ptr<LibraryPin>* pin) {
  ClassTable& table = Classes();
  const std::string key = path.string();
  std::unique_lock guard(table.lock);
  if (Library* found = PinLoaded(table, guard, key)) {
    *pin = std::make_unique<LibraryPin>(found);
    return S_OK;
  }
  guard.unlock();

  std::unique_ptr<Module> module = Module::Load(path);
  if (module == nullptr) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  auto getClassObject = module->Bind<DllGetClassObjectFunction>("DllGetClassObject");
  if (getClassObject == nullptr) return CO_E_ERRORINDLL;
  auto canUnloadNow = module->Bind<DllCanUnloadNowFunction>("DllCanUnloadNow");

  guard.lock();
  // Another thread may have loaded it meanwhile; then this handle is dropped (after the lock).
  if (Library* found = PinLoaded(table, guard, key)) {
    *pin = std::make_unique<LibraryPin>(found);
    guard.unlock();
    module.reset();
    return S_OK;
  }
  auto library = std::make_unique<Library>();
  library->key = key;
  library->module = std::move(module);
  library->getClassObject = getClassObject;
  library->canUnloadNow = canUnloadNow;
  library->pins = 1;
  *pin = std::make_unique<LibraryPin>(library.get());
  table.libraries.push_back(std::move(library));
  return S_OK;
}

// The library path of an in-process server: REGDB_E_CLASSNOTREG without InprocServer32,
// CO_E_DLLNOTFOUND when its default value is missing or empty.
HRESULT InprocServerPath(const CLSID& clsid, std::filesystem::path* path) {
  RegKey key;
  uint32_t error = RegKey::Open(Hive::ClassesRoot, u"CLSID\\" + FormatGuid(clsid) + u"\\InprocServer32", &key);
  if (error == ERROR_FILE_NOT_FOUND) return REGDB_E_CLASSNOTREG;
  if (error != ERROR_SUCCESS) return REGDB_E_READREGDB;
  uint32_t type = REG_NONE;
  std::vector<uint8_t> data;
  error = key.QueryValue(u"", &type, &data);
  if (error == ERROR_FILE_NOT_FOUND) return CO_E_DLLNOTFOUND;
  if (error != ERROR_SUCCESS) return REGDB_E_READREGDB;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return CO_E_DLLNOTFOUND;
  std::u16string text = DecodeRegString(data);
  if (type == REG_EXPAND_SZ) text = ExpandEnvironmentStrings(text);
  if (text.empty()) return CO_E_DLLNOTFOUND;
  *path = std::filesystem::path(ToUtf8(text));
  return S_OK;
}

// A class object this process registered that serves `context`, or null.
ComPtr<IUnknown> FindRegistered(const CLSID& clsid, DWORD context) {
  ClassTable& table = Classes();
  std::lock_guard guard(table.lock);
  for (auto entry = table.registrations.rbegin(); entry != table.registrations.rend(); ++entry) {
    if (entry->clsid != clsid || entry->suspended) continue;
    const DWORD use = entry->flags & 3;
    if (use == REGCLS_SINGLEUSE && entry->handedOut) continue;
    bool serves = (entry->context & context) != 0;
    // A multiple-use local server's class object serves this process's in-process requests too.
    if (use == REGCLS_MULTIPLEUSE && (entry->context & CLSCTX_LOCAL_SERVER) != 0 &&
        (context & CLSCTX_INPROC_SERVER) != 0) {
      serves = true;
    }
    if (!serves) continue;
    entry->handedOut = true;
    return entry->object;
  }
  return nullptr;
}

constexpr DWORD kServerContexts = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

HRESULT CheckActivation(DWORD context, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if ((context & kServerContexts) == 0) return E_INVALIDARG;
  if (!com_internal::ThreadCanUseCom()) return CO_E_NOTINITIALIZED;
  return S_OK;
}

// Runs `use` with the class object of `clsid` for `context`, keeping its library loaded meanwhile.
template <class Use>
HRESULT WithClassObject(const CLSID& clsid, DWORD context, const IID& iid, Use use) {
  if (clsid == CLSID_StdGlobalInterfaceTable && (context & CLSCTX_INPROC_SERVER) != 0) {
    ComPtr<IUnknown> classObject;
    HRESULT hr = com_internal::GetGlobalInterfaceTableClassObject(iid, classObject.OutVoid());
    return SUCCEEDED(hr) ? use(classObject.Get()) : hr;
  }
  if (ComPtr<IUnknown> registered = FindRegistered(clsid, context)) {
    ComPtr<IUnknown> classObject;
    HRESULT hr = registered->QueryInterface(iid, classObject.OutVoid());
    return SUCCEEDED(hr) ? use(classObject.Get()) : hr;
  }
  if ((context & CLSCTX_INPROC_SERVER) != 0) {
    std::filesystem::path path;
    HRESULT hr = InprocServerPath(clsid, &path);
    if (hr != REGDB_E_CLASSNOTREG) {
      if (FAILED(hr)) return hr;
      std::unique_ptr<LibraryPin> pin;
      hr = PinLibrary(path, &pin);
      if (FAILED(hr)) return hr;
      ComPtr<IUnknown> classObject;
      hr = (*pin)->getClassObject(clsid, iid, classObject.OutVoid());
      if (FAILED(hr)) return hr;
      if (!classObject) return E_UNEXPECTED;
      return use(classObject.Get());  // the pin ends after the class object is released
    }
  }
  if ((context & (CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)) != 0 && com_internal::HasLocalServerRegistration(clsid)) {
    ComPtr<IUnknown> classObject;
    HRESULT hr = com_internal::ActivateLocalServer(clsid, context, iid, classObject.OutVoid());
    return SUCCEEDED(hr) ? use(classObject.Get()) : hr;
  }
  return REGDB_E_CLASSNOTREG;
}

}  // namespace

namespace com_internal {

ComPtr<IUnknown> FindRegisteredClassObject(const CLSID& clsid, DWORD context) { return FindRegistered(clsid, context); }

HRESULT GetClassObjectOnAnyThread(const CLSID& clsid, DWORD context, const IID& iid, void** object) {
  *object = nullptr;
  return WithClassObject(clsid, context, iid, [&](IUnknown* classObject) {
    classObject->AddRef();
    *object = classObject;
    return S_OK;
  });
}

}  // namespace com_internal

namespace {

// Opens the class socket of a registration that became visible; on failure it stays without one.
HRESULT Listen(const Registration& entry, DWORD cookie) {
  if ((entry.context & CLSCTX_LOCAL_SERVER) == 0) return S_OK;
  HRESULT hr = com_internal::StartListening(cookie, entry.clsid, entry.flags);
  if (SUCCEEDED(hr)) {
    ClassTable& table = Classes();
    std::lock_guard guard(table.lock);
    for (auto& registered : table.registrations) {
      if (registered.cookie == cookie) registered.listening = true;
    }
  }
  return hr;
}

}  // namespace

size_t LoadedComponentLibraryCount() {
  ClassTable& table = Classes();
  std::lock_guard guard(table.lock);
  return table.libraries.size();
}

}  // namespace rzd

using rzd::ComPtr;

HRESULT CoGetClassObject(const CLSID& clsid, DWORD clsContext, void* /*serverInfo*/, const IID& iid, void** object) {
  HRESULT hr = rzd::CheckActivation(clsContext, object);
  if (FAILED(hr)) return hr;
  return rzd::WithClassObject(clsid, clsContext, iid, [&](IUnknown* classObject) {
    classObject->AddRef();
    *object = classObject;
    return S_OK;
  });
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD clsContext, const IID& iid, void** object) {
  HRESULT hr = rzd::CheckActivation(clsContext, object);
  if (FAILED(hr)) return hr;
  return rzd::WithClassObject(clsid, clsContext, IID_IClassFactory, [&](IUnknown* classObject) {
    auto* factory = static_cast<IClassFactory*>(classObject);
    HRESULT created = factory->CreateInstance(outer, iid, object);
    if (FAILED(created)) *object = nullptr;
    return created;
  });
}

HRESULT CoRegisterClassObject(const CLSID& clsid, IUnknown* classObject, DWORD clsContext, DWORD flags, DWORD* cookie) {
  if (cookie == nullptr || classObject == nullptr) return E_INVALIDARG;
  *cookie = 0;
  if ((clsContext & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)) == 0) return E_INVALIDARG;
  if (!rzd::com_internal::ThreadCanUseCom()) return CO_E_NOTINITIALIZED;
  rzd::ClassTable& table = rzd::Classes();
  std::unique_lock guard(table.lock);
  rzd::Registration entry;
  entry.cookie = table.nextCookie++;
  if (table.nextCookie == 0) table.nextCookie = 1;
  entry.clsid = clsid;
  entry.object = ComPtr<IUnknown>(classObject);
  entry.context = clsContext;
  entry.flags = flags;
  entry.suspended = (flags & REGCLS_SUSPENDED) != 0;
  const DWORD made = entry.cookie;
  const bool visible = !entry.suspended;
  rzd::Registration copy = entry;
  table.registrations.push_back(std::move(entry));
  guard.unlock();
  if (visible) {
    // A local server's class is served to other processes from now on: one server per class.
    HRESULT hr = rzd::Listen(copy, made);
    if (FAILED(hr)) {
      CoRevokeClassObject(made);
      return hr;
    }
  }
  *cookie = made;
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
  ComPtr<IUnknown> dropped;  // released after the lock is left
  bool listening = false;
  {
    rzd::ClassTable& table = rzd::Classes();
    std::lock_guard guard(table.lock);
    auto entry = table.registrations.begin();
    while (entry != table.registrations.end() && entry->cookie != cookie) ++entry;
    if (entry == table.registrations.end()) return CO_E_OBJNOTREG;
    dropped = std::move(entry->object);
    listening = entry->listening;
    table.registrations.erase(entry);
  }
  if (listening) rzd::com_internal::StopListening(cookie);
  return S_OK;
}

HRESULT CoResumeClassObjects() {
  std::vector<rzd::Registration> resumed;
  {
    rzd::ClassTable& table = rzd::Classes();
    std::lock_guard guard(table.lock);
    for (auto& entry : table.registrations) {
      if (entry.suspended) resumed.push_back(entry);
      entry.suspended = false;
    }
  }
  HRESULT result = S_OK;
  for (const auto& entry : resumed) {
    HRESULT hr = rzd::Listen(entry, entry.cookie);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

void CoFreeUnusedLibraries() {
  rzd::ClassTable& table = rzd::Classes();
  std::vector<rzd::Library*> candidates;
  {
    std::lock_guard guard(table.lock);
    for (auto& library : table.libraries) {
      if (library->pins == 0 && !library->checking && library->canUnloadNow != nullptr) {
        library->checking = true;
        candidates.push_back(library.get());
      }
    }
  }
  // DllCanUnloadNow runs without the table lock: a library may stop its own threads there, and
  // those threads may still activate classes.
  std::vector<std::unique_ptr<rzd::Library>> unloaded;
  for (rzd::Library* library : candidates) {
    const HRESULT answer = library->canUnloadNow();
    std::lock_guard guard(table.lock);
    library->checking = false;
    if (answer == S_OK && library->pins == 0) {
      for (auto entry = table.libraries.begin(); entry != table.libraries.end(); ++entry) {
        if (entry->get() == library) {
          unloaded.push_back(std::move(*entry));
          table.libraries.erase(entry);
          break;
        }
      }
    }
    table.changed.notify_all();
  }
  // The libraries are unloaded here, after the lock is left (their destructors may use COM).
}
