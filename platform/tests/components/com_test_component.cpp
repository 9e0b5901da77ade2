// A component library for the COM tests: two calculator classes, served through
// DllGetClassObject, counted for DllCanUnloadNow.
#include "test_component.h"

#include "platform/com_events.h"
#include "platform/com_object.h"

namespace {

rzd::ComModule g_module;

class Calc : public rzd::ComObject<ICalc, IConnectionPointContainer> {
 public:
  Calc() : ComObject(&g_module) {}

  HRESULT Add(LONG a, LONG b, LONG* sum) override {
    if (sum == nullptr) return E_POINTER;
    *sum = a + b;
    return S_OK;
  }
  HRESULT SetValue(LONG value) override {
    value_ = value;
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = value;
    events_.FireInvoke(DISPID_ValueChanged, {&arg, 1});
    return S_OK;
  }
  HRESULT GetValue(LONG* value) override {
    if (value == nullptr) return E_POINTER;
    *value = value_;
    return S_OK;
  }
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points != nullptr) *points = nullptr;
    return E_NOTIMPL;
  }
  HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) override {
    if (point == nullptr) return E_POINTER;
    *point = nullptr;
    if (iid != events_.Interface()) return CONNECT_E_NOCONNECTION;
    events_.AddRef();
    *point = &events_;
    return S_OK;
  }

 protected:
  void* FindInterface(const IID& iid) override {
    if (iid == IID_ICalc) return static_cast<ICalc*>(this);
    if (iid == IID_IConnectionPointContainer) return static_cast<IConnectionPointContainer*>(this);
    return nullptr;
  }

 private:
  std::atomic<LONG> value_{0};
  rzd::ConnectionPoint events_{this, DIID_ICalcEvents};
};

class AggregatableCalc final : public Calc {
 public:
  static constexpr bool kAggregatable = true;
};

class PlainCalc final : public Calc {};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid == CLSID_TestCalc) return rzd::GetClassFactory<AggregatableCalc>(&g_module, iid, object);
  if (clsid == CLSID_TestPlainCalc) return rzd::GetClassFactory<PlainCalc>(&g_module, iid, object);
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return g_module.CanUnloadNow(); }

extern "C" __attribute__((visibility("default"))) int32_t TestComponentLockCount() { return g_module.LockCount(); }
