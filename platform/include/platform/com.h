// Component objects in this process: apartments, class objects, activation, the global interface
// table, task memory, and the interfaces every component shares (IClassFactory, IDispatch,
// IGlobalInterfaceTable, IConnectionPoint and IConnectionPointContainer).
//
// Activation (CoGetClassObject / CoCreateInstance) looks, in this order, at the built-in classes
// (the global interface table), at the class objects this process registered with
// CoRegisterClassObject, at HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 (the default value
// names a shared library; it is loaded once and its exported
//   extern "C" HRESULT DllGetClassObject(const CLSID&, const IID&, void**)
// hands out the class object), and at the class's local-server registration. Every call within
// one process is direct: apartments are recorded, not enforced, and no call is marshalled.
//
// A thread may use COM after CoInitializeEx, or without it while any thread of the process is in
// the multithreaded apartment (the implicit multithreaded apartment); otherwise activation and
// the global interface table answer CO_E_NOTINITIALIZED.
//
// Implementing objects: platform/com_object.h. Connection points and event sinks:
// platform/com_events.h.
#pragma once

#include "platform/types.h"
#include "platform/unknown.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

using UINT = uint32_t;
using DISPID = LONG;
using LCID = DWORD;
using VARIANTARG = VARIANT;

// ---- Class contexts.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// ---- Apartment kinds for CoInitializeEx.
constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

// ---- Class object registration flags.
constexpr DWORD REGCLS_SINGLEUSE = 0;     // handed out for one activation, then hidden
constexpr DWORD REGCLS_MULTIPLEUSE = 1;   // with CLSCTX_LOCAL_SERVER also serves in-process requests
constexpr DWORD REGCLS_MULTI_SEPARATE = 2;
constexpr DWORD REGCLS_SUSPENDED = 4;     // hidden until CoResumeClassObjects

// ---- Results of this area that errors.h does not list.
constexpr HRESULT RPC_E_CHANGED_MODE = MakeHr(0x80010106);   // CoInitializeEx with another apartment kind
constexpr HRESULT CO_E_DLLNOTFOUND = MakeHr(0x800401F8);     // InprocServer32 value empty
constexpr HRESULT CO_E_ERRORINDLL = MakeHr(0x800401F9);      // library without DllGetClassObject
constexpr HRESULT CO_E_OBJNOTREG = MakeHr(0x800401FB);       // unknown registration cookie
constexpr HRESULT REGDB_E_READREGDB = MakeHr(0x80040150);    // the registry could not be read

// ---- Dispatch.
constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

// Arguments of IDispatch::Invoke. rgvarg holds the arguments in reverse order (the last argument
// first), as every dispatch caller passes them.
struct DISPPARAMS {
  VARIANTARG* rgvarg = nullptr;
  DISPID* rgdispidNamedArgs = nullptr;
  UINT cArgs = 0;
  UINT cNamedArgs = 0;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  HRESULT scode;
};

struct ITypeInfo;  // type information is not supported; GetTypeInfo answers E_NOTIMPL
struct IEnumConnections;
struct IEnumConnectionPoints;

// ---- Interfaces.
struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(const IID& iid, OLECHAR** names, UINT count, LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID id, const IID& iid, LCID lcid, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* exception, UINT* argError) = 0;

 protected:
  ~IDispatch() = default;
};

struct IGlobalInterfaceTable : IUnknown {
  // Keeps a reference to `object` queried for `iid`; *cookie names it (never 0).
  virtual HRESULT RegisterInterfaceInGlobal(IUnknown* object, const IID& iid, DWORD* cookie) = 0;
  // Drops the reference; E_INVALIDARG for an unknown cookie.
  virtual HRESULT RevokeInterfaceFromGlobal(DWORD cookie) = 0;
  // A new reference to the registered object, queried for `iid`; E_INVALIDARG for an unknown cookie.
  virtual HRESULT GetInterfaceFromGlobal(DWORD cookie, const IID& iid, void** object) = 0;

 protected:
  ~IGlobalInterfaceTable() = default;
};

struct IConnectionPointContainer;

struct IConnectionPoint : IUnknown {
  virtual HRESULT GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
  // Connects `sink` (queried for the outgoing interface); *cookie names the connection.
  // CONNECT_E_CANNOTCONNECT when the sink lacks the interface, CONNECT_E_ADVISELIMIT when full.
  virtual HRESULT Advise(IUnknown* sink, DWORD* cookie) = 0;
  // CONNECT_E_NOCONNECTION for a cookie that names no connection.
  virtual HRESULT Unadvise(DWORD cookie) = 0;
  virtual HRESULT EnumConnections(IEnumConnections** connections) = 0;  // E_NOTIMPL

 protected:
  ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
  virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;  // E_NOTIMPL
  // CONNECT_E_NOCONNECTION when the object has no connection point for `iid`.
  virtual HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

// {00000001-0000-0000-C000-000000000046}
constexpr IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00020400-0000-0000-C000-000000000046}
constexpr IID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000146-0000-0000-C000-000000000046}
constexpr IID IID_IGlobalInterfaceTable{0x00000146, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000323-0000-0000-C000-000000000046}
constexpr CLSID CLSID_StdGlobalInterfaceTable{0x00000323, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {B196B286-BAB4-101A-B69C-00AA00341D07}
constexpr IID IID_IConnectionPoint{0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
// {B196B284-BAB4-101A-B69C-00AA00341D07}
constexpr IID IID_IConnectionPointContainer{0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
constexpr IID IID_NULL = GUID_NULL;

// The signatures of a component library's exports.
using DllGetClassObjectFunction = HRESULT (*)(const CLSID& clsid, const IID& iid, void** object);
using DllCanUnloadNowFunction = HRESULT (*)();

// ---- Apartments. Per thread: the first CoInitializeEx answers S_OK, later ones of the same kind
// S_FALSE (each must be matched by CoUninitialize), one of the other kind RPC_E_CHANGED_MODE
// without counting. The apartment ends when the count returns to 0 (or the thread ends).
HRESULT CoInitializeEx(void* reserved, DWORD coInit);
HRESULT CoInitialize(void* reserved);  // single-threaded apartment
void CoUninitialize();

// ---- Activation.
// The class object of `clsid` for the contexts in `clsContext`, queried for `iid`.
// REGDB_E_CLASSNOTREG when no allowed context has a registration;
// HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) when the library does not load; CO_E_ERRORINDLL when it
// lacks DllGetClassObject; E_INVALIDARG for a context without a server bit. A local server
// (platform/com_remote.h) is started when none serves the class; CO_E_SERVER_EXEC_FAILURE when it
// cannot be started or does not serve the class in time.
HRESULT CoGetClassObject(const CLSID& clsid, DWORD clsContext, void* serverInfo, const IID& iid, void** object);
// The class object's CreateInstance(outer, iid, object). *object is null on failure.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD clsContext, const IID& iid, void** object);

// Makes `classObject` the class object of `clsid` for this process, in the contexts of
// `clsContext` (CLSCTX_INPROC_SERVER and/or CLSCTX_LOCAL_SERVER), with REGCLS_* `flags`.
// A later registration of the same class is found first. A visible CLSCTX_LOCAL_SERVER
// registration also serves other processes of this user (platform/com_remote.h): it answers
// CO_E_OBJISREG when another live process serves the class already.
HRESULT CoRegisterClassObject(const CLSID& clsid, IUnknown* classObject, DWORD clsContext, DWORD flags, DWORD* cookie);
// CO_E_OBJNOTREG for an unknown cookie.
HRESULT CoRevokeClassObject(DWORD cookie);
// Makes every registration made with REGCLS_SUSPENDED visible (and served to other processes);
// the first failure to serve one is answered.
HRESULT CoResumeClassObjects();

// Binds a display name to an object: "clsid:<guid>" gives the class object of the class (any
// context); "Session:Console!clsid:<guid>" and "Session:<n>!clsid:<guid>" give the class object
// of the class's local server in the console session or in session n (a service class is served
// in the services' session whatever is asked), starting the server when none listens there.
// MK_E_SYNTAX for any other name. `bindOptions` is not used.
HRESULT CoGetObject(const OLECHAR* name, void* bindOptions, const IID& iid, void** object);

// Unloads every loaded component library whose DllCanUnloadNow answers S_OK and that no
// activation is using at that moment. Libraries are otherwise kept until the process ends.
void CoFreeUnusedLibraries();

// ---- Task memory: blocks that one component allocates and another frees.
void* CoTaskMemAlloc(size_t size);
void* CoTaskMemRealloc(void* block, size_t size);
void CoTaskMemFree(void* block);

namespace rzd {

enum class ApartmentKind {
  None,                   // this thread has not initialised COM and no thread is multithreaded
  SingleThreaded,
  MultiThreaded,
  ImplicitMultiThreaded,  // not initialised, but the process has a multithreaded apartment
};
// The calling thread's apartment, and how many CoInitializeEx calls it has not yet matched.
ApartmentKind CurrentApartment();
uint32_t ComInitCount();

// Initialises COM for the life of the object; the destructor uninitialises when it succeeded.
class ComInit {
 public:
  explicit ComInit(DWORD coInit = COINIT_MULTITHREADED) : hr_(CoInitializeEx(nullptr, coInit)) {}
  ~ComInit() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;
  HRESULT Result() const { return hr_; }
  bool Ok() const { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};

// A VARIANT for the length of a scope: initialised empty, cleared (what it owns freed) at the end.
struct LocalVariant {
  LocalVariant() { VariantInit(&value); }
  ~LocalVariant() { VariantClear(&value); }
  LocalVariant(const LocalVariant&) = delete;
  LocalVariant& operator=(const LocalVariant&) = delete;
  VARIANT value;
};

// The process's global interface table (a new reference), as CoCreateInstance of
// CLSID_StdGlobalInterfaceTable answers it.
HRESULT GetGlobalInterfaceTable(IGlobalInterfaceTable** table);

// How many component libraries are loaded now (for tests of unloading).
size_t LoadedComponentLibraryCount();

// ---- An owning interface pointer: AddRef on copy, Release on reset and destruction.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to `p`.
  explicit ComPtr(T* p) : p_(p) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
  template <class U>
    requires std::is_convertible_v<U*, T*>
  ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.Get())) {}
  ~ComPtr() { Reset(); }
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  // Adopts a reference the caller already owns.
  static ComPtr Attach(T* p) {
    ComPtr result;
    result.p_ = p;
    return result;
  }
  // Gives up the reference without releasing it.
  T* Detach() { return std::exchange(p_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // For out-parameters: releases the present reference first.
  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }

  // A new reference for the caller (out-parameters of an interface method).
  HRESULT CopyTo(T** out) const {
    if (out == nullptr) return E_POINTER;
    *out = p_;
    if (p_ != nullptr) p_->AddRef();
    return S_OK;
  }
  // QueryInterface into another smart pointer.
  template <class U>
  HRESULT As(const IID& iid, ComPtr<U>* out) const {
    if (p_ == nullptr) return E_POINTER;
    return p_->QueryInterface(iid, out->OutVoid());
  }

 private:
  T* p_ = nullptr;
};

}  // namespace rzd
