// Implementing component objects: the lock count of a component library, the reference count and
// identity of an object (with aggregation), creation, and a class object.
//
//   class Calc final : public rzd::ComObject<ICalc, IDispatch> {
//    public:
//     static constexpr bool kAggregatable = true;        // optional; false when absent
//     Calc() : ComObject(&g_module) {}
//     // ICalc and IDispatch methods ...
//    protected:
//     void* FindInterface(const IID& iid) override {
//       if (iid == IID_ICalc) return static_cast<ICalc*>(this);
//       if (iid == IID_IDispatch) return static_cast<IDispatch*>(this);
//       return nullptr;
//     }
//   };
//   HRESULT hr = rzd::CreateComObject<Calc>(outer, iid, object);
//
// Objects are created on the heap through CreateComObject or MakeComObject only.
#pragma once

#include "platform/com.h"
#include "platform/errors.h"

#include <atomic>
#include <concepts>
#include <new>
#include <utility>

namespace rzd {

// The lock count of one component library: its live objects plus LockServer locks. Each library
// keeps one as a global of its own and answers DllCanUnloadNow with CanUnloadNow().
class ComModule {
 public:
  void Lock() { count_.fetch_add(1, std::memory_order_acq_rel); }
  void Unlock() { count_.fetch_sub(1, std::memory_order_acq_rel); }
  int32_t LockCount() const { return count_.load(std::memory_order_acquire); }
  HRESULT CanUnloadNow() const { return LockCount() == 0 ? S_OK : S_FALSE; }

 private:
  std::atomic<int32_t> count_{0};
};

// The reference count and identity shared by every interface of one object. An object created
// with an outer unknown (aggregation) delegates QueryInterface, AddRef and Release of all its
// interfaces to the outer object; the outer object keeps Inner(), the non-delegating unknown that
// owns the inner object's own count.
class ObjectRoot {
 public:
  ObjectRoot(const ObjectRoot&) = delete;
  ObjectRoot& operator=(const ObjectRoot&) = delete;

  // The non-delegating unknown. Its QueryInterface for IID_IUnknown answers itself.
  IUnknown* Inner() { return &inner_; }
  // The unknown that decides the object's identity: the outer object when aggregated.
  IUnknown* Controlling() { return outer_ != nullptr ? outer_ : &inner_; }
  bool IsAggregated() const { return outer_ != nullptr; }

  // Finishes a creation: calls FinalConstruct and queries the object for `iid` through the
  // non-delegating unknown. On failure the object is destroyed and *object is null.
  static HRESULT Activate(ObjectRoot* object, IUnknown* outer, const IID& iid, void** result);

 protected:
  // `module` (may be null) is locked while the object lives.
  explicit ObjectRoot(ComModule* module = nullptr);
  virtual ~ObjectRoot();

  // The object's interface for `iid` (never asked for IID_IUnknown), without AddRef; nullptr
  // when the object has none.
  virtual void* FindInterface(const IID& iid) = 0;
  // Asked when FindInterface has none: an outer object forwards to the objects it aggregates
  // (their QueryInterface counts the reference on this object, as it should).
  virtual HRESULT QueryAggregated(const IID& iid, void** object);
  // Runs once after construction, with a reference held; a failure ends the creation.
  virtual HRESULT FinalConstruct() { return S_OK; }
  // Runs once when the last reference goes, before the object is deleted.
  virtual void FinalRelease() {}

  // The delegating unknown every interface of the object answers with.
  HRESULT DelegatingQueryInterface(const IID& iid, void** object);
  ULONG DelegatingAddRef();
  ULONG DelegatingRelease();

 private:
  class InnerUnknown final : public IUnknown {
   public:
    explicit InnerUnknown(ObjectRoot* owner) : owner_(owner) {}
    HRESULT QueryInterface(const IID& iid, void** object) override { return owner_->InnerQueryInterface(iid, object); }
    ULONG AddRef() override { return owner_->InnerAddRef(); }
    ULONG Release() override { return owner_->InnerRelease(); }

   private:
    ObjectRoot* owner_;
  };

  HRESULT InnerQueryInterface(const IID& iid, void** object);
  ULONG InnerAddRef();
  ULONG InnerRelease();

  InnerUnknown inner_{this};
  IUnknown* outer_ = nullptr;  // not counted: the outer object owns this one
  ComModule* module_;
  std::atomic<ULONG> refs_{0};
};

// Base of an object implementing `Interfaces...` (each derived from IUnknown).
template <class... Interfaces>
class ComObject : public ObjectRoot, public Interfaces... {
 public:
  HRESULT QueryInterface(const IID& iid, void** object) override { return DelegatingQueryInterface(iid, object); }
  ULONG AddRef() override { return DelegatingAddRef(); }
  ULONG Release() override { return DelegatingRelease(); }

 protected:
  explicit ComObject(ComModule* module = nullptr) : ObjectRoot(module) {}
};

// The IDispatch half of a dual interface for an object that offers no type information: callers
// reach it through its vtable only. Wraps the object's base, e.g.
// `class X final : public DispatchWithoutTypeInfo<ComObject<IRZDHAL>>`.
template <class Base>
class DispatchWithoutTypeInfo : public Base {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT /*index*/, LCID /*lcid*/, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(const IID& /*iid*/, OLECHAR** /*names*/, UINT count, LCID /*lcid*/, DISPID* ids) override {
    for (UINT i = 0; ids != nullptr && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID /*id*/, const IID& /*iid*/, LCID /*lcid*/, WORD /*flags*/, DISPPARAMS* /*params*/,
                 VARIANT* /*result*/, EXCEPINFO* /*exception*/, UINT* /*argError*/) override {
    return DISP_E_MEMBERNOTFOUND;
  }

 protected:
  using Base::Base;
};

template <class T>
constexpr bool IsAggregatable() {
  if constexpr (requires { T::kAggregatable; }) {
    return T::kAggregatable;
  } else {
    return false;
  }
}

// Creates a T (constructed from `args`) for a class object's CreateInstance. With `outer`,
// T must declare kAggregatable = true and `iid` must be IID_IUnknown (the inner unknown is
// returned), else CLASS_E_NOAGGREGATION.
template <class T, class... Args>
HRESULT CreateComObject(IUnknown* outer, const IID& iid, void** object, Args&&... args) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr && (!IsAggregatable<T>() || iid != IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  T* created = new (std::nothrow) T(std::forward<Args>(args)...);
  if (created == nullptr) return E_OUTOFMEMORY;
  return ObjectRoot::Activate(created, outer, iid, object);
}

// Creates a T that is not aggregated and answers it as a smart pointer (null on failure).
template <class T, class... Args>
ComPtr<T> MakeComObject(Args&&... args) {
  T* created = new (std::nothrow) T(std::forward<Args>(args)...);
  if (created == nullptr) return nullptr;
  void* unknown = nullptr;
  if (FAILED(ObjectRoot::Activate(created, nullptr, IID_IUnknown, &unknown))) return nullptr;
  // The reference taken through the inner unknown is the object's own count.
  return ComPtr<T>::Attach(created);
}

// A class object whose CreateInstance calls `create`. It does not lock the module (as class
// objects do not); LockServer does.
class ClassFactory final : public ComObject<IClassFactory> {
 public:
  using Creator = HRESULT (*)(IUnknown* outer, const IID& iid, void** object);
  ClassFactory(Creator create, ComModule* module) : create_(create), lockModule_(module) {}

  HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override;
  HRESULT LockServer(BOOL lock) override;

 protected:
  void* FindInterface(const IID& iid) override;

 private:
  Creator create_;
  ComModule* lockModule_;
};

// The class object of a T created with CreateComObject<T>, queried for `iid`: the usual body of a
// library's DllGetClassObject.
template <class T>
HRESULT GetClassFactory(ComModule* module, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  auto create = [](IUnknown* outer, const IID& wanted, void** result) { return CreateComObject<T>(outer, wanted, result); };
  return CreateComObject<ClassFactory>(nullptr, iid, object, +create, module);
}

}  // namespace rzd
