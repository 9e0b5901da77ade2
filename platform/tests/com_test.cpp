// Component objects in one process: apartments, activation from the registry and from class
// objects registered in-process, aggregation, connection points with dispatch sinks, the global
// interface table, library unloading and task memory.
#include "platform/com.h"
#include "platform/com_events.h"
#include "platform/com_object.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "testsupport/temp_root.h"

#include "components/test_component.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <tuple>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using rzd::ComPtr;

const char* const kComponentPath = RZD_COM_TEST_COMPONENT;

// {6E0F0A51-3C1B-4C57-9B0E-2B7C6A1D0F99}: registered nowhere.
constexpr CLSID kUnknownClass{0x6E0F0A51, 0x3C1B, 0x4C57, {0x9B, 0x0E, 0x2B, 0x7C, 0x6A, 0x1D, 0x0F, 0x99}};
// {6E0F0A51-3C1B-4C57-9B0E-2B7C6A1D0F20}: used for in-process registrations and odd entries.
constexpr CLSID kLocalClass{0x6E0F0A51, 0x3C1B, 0x4C57, {0x9B, 0x0E, 0x2B, 0x7C, 0x6A, 0x1D, 0x0F, 0x20}};

// Writes `value` as the default value of CLSID\{clsid}\<subkey>: through HKEY_CLASSES_ROOT, or
// in the machine's or the user's classes.
void RegisterClassKey(const CLSID& clsid, std::u16string_view subkey, std::u16string_view value,
                      rzd::Hive hive = rzd::Hive::LocalMachine) {
  std::u16string path = hive == rzd::Hive::ClassesRoot    ? u"CLSID\\"
                        : hive == rzd::Hive::LocalMachine ? u"SOFTWARE\\Classes\\CLSID\\"
                                                          : u"Software\\Classes\\CLSID\\";
  path += rzd::FormatGuid(clsid);
  path += u"\\";
  path += subkey;
  rzd::RegKey key;
  ASSERT_EQ(rzd::RegKey::Create(hive, path, &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetString(u"", value), ERROR_SUCCESS);
}

void RegisterTestComponent(rzd::Hive hive = rzd::Hive::LocalMachine) {
  const std::u16string path = rzd::FromUtf8(kComponentPath);
  RegisterClassKey(CLSID_TestCalc, u"InprocServer32", path, hive);
  RegisterClassKey(CLSID_TestPlainCalc, u"InprocServer32", path, hive);
}

// The module lock count of the test component (loading it here only adds a reference).
int32_t ComponentLockCount() {
  static std::unique_ptr<rzd::Module> module = rzd::Module::Load(kComponentPath);
  auto count = module->Bind<TestComponentLockCountFunction>("TestComponentLockCount");
  return count();
}

// ---- Apartments

TEST(ComApartment, CountsPerThreadAndRefusesAnotherKind) {
  EXPECT_EQ(rzd::CurrentApartment(), rzd::ApartmentKind::None);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
  EXPECT_EQ(rzd::ComInitCount(), 2u);
  EXPECT_EQ(rzd::CurrentApartment(), rzd::ApartmentKind::SingleThreaded);
  CoUninitialize();
  EXPECT_EQ(rzd::CurrentApartment(), rzd::ApartmentKind::SingleThreaded);
  CoUninitialize();
  EXPECT_EQ(rzd::CurrentApartment(), rzd::ApartmentKind::None);
  CoUninitialize();  // unmatched: harmless
  EXPECT_EQ(rzd::ComInitCount(), 0u);
  // After the apartment ended, the other kind is accepted.
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  CoUninitialize();
}

TEST(ComApartment, MultithreadedApartmentIsImplicitForOtherThreadsWhileItLasts) {
  std::promise<void> entered, leave;
  std::promise<void> done;
  std::thread mta([&] {
    rzd::ComInit init(COINIT_MULTITHREADED);
    entered.set_value();
    leave.get_future().wait();
  });
  entered.get_future().wait();
  EXPECT_EQ(rzd::CurrentApartment(), rzd::ApartmentKind::ImplicitMultiThreaded);
  ComPtr<IGlobalInterfaceTable> table;
  EXPECT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                             table.OutVoid()),
            S_OK);
  leave.set_value();
  mta.join();
  EXPECT_EQ(rzd::CurrentApartment(), rzd::ApartmentKind::None);

  // A thread that ends without CoUninitialize leaves its apartment all the same.
  std::thread careless([] { CoInitializeEx(nullptr, COINIT_MULTITHREADED); });
  careless.join();
  EXPECT_EQ(rzd::CurrentApartment(), rzd::ApartmentKind::None);
}

// ---- Activation

class ComActivation : public rzd::test::TempRoot {};

TEST_F(ComActivation, CreatesAClassFromItsInprocServerLibrary) {
  RegisterTestComponent(rzd::Hive::ClassesRoot);
  rzd::ComInit init;
  ComPtr<ICalc> calc;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.OutVoid()), S_OK);
  LONG sum = 0;
  EXPECT_EQ(calc->Add(2, 40, &sum), S_OK);
  EXPECT_EQ(sum, 42);
  EXPECT_EQ(ComponentLockCount(), 1);
  calc.Reset();
  EXPECT_EQ(ComponentLockCount(), 0);

  // The class object, and LockServer counting on the library's module.
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_TestPlainCalc, CLSCTX_ALL, nullptr, IID_IClassFactory, factory.OutVoid()), S_OK);
  EXPECT_EQ(factory->LockServer(1), S_OK);
  EXPECT_EQ(ComponentLockCount(), 1);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_ICalc, calc.OutVoid()), S_OK);
  EXPECT_EQ(ComponentLockCount(), 2);
  EXPECT_EQ(factory->LockServer(0), S_OK);
  calc.Reset();
  EXPECT_EQ(ComponentLockCount(), 0);
}

TEST_F(ComActivation, PerUserRegistrationIsSeenThroughTheMergedClassesView) {
  RegisterClassKey(CLSID_TestCalc, u"InprocServer32", u"/nowhere/libmissing.so");
  RegisterTestComponent(rzd::Hive::CurrentUser);  // the user's entry stands over the machine's
  rzd::ComInit init;
  ComPtr<ICalc> calc;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.OutVoid()), S_OK);
}

TEST_F(ComActivation, AnswersWhyAClassCannotBeCreated) {
  RegisterTestComponent();
  rzd::ComInit init;
  struct Case {
    const char* what;
    CLSID clsid;
    std::u16string subkey;  // registration written first (empty: none)
    std::u16string value;
    DWORD context;
    IID iid;
    HRESULT expected;
  };
  const std::vector<Case> cases = {
      {"unregistered, in-process", kUnknownClass, u"", u"", CLSCTX_INPROC_SERVER, IID_IUnknown, REGDB_E_CLASSNOTREG},
      {"unregistered, any context", kUnknownClass, u"", u"", CLSCTX_ALL, IID_IUnknown, REGDB_E_CLASSNOTREG},
      {"in-process class asked as local server", CLSID_TestCalc, u"", u"", CLSCTX_LOCAL_SERVER, IID_IUnknown,
       REGDB_E_CLASSNOTREG},
      {"interface the class lacks", CLSID_TestCalc, u"", u"", CLSCTX_INPROC_SERVER, IID_IDispatch, E_NOINTERFACE},
      {"only the handler context", CLSID_TestCalc, u"", u"", CLSCTX_INPROC_HANDLER, IID_IUnknown, REGDB_E_CLASSNOTREG},
      {"library that does not load", kLocalClass, u"InprocServer32", u"/nowhere/libmissing.so", CLSCTX_INPROC_SERVER,
       IID_IUnknown, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
      {"library without DllGetClassObject", kLocalClass, u"InprocServer32", u"libm.so.6", CLSCTX_INPROC_SERVER,
       IID_IUnknown, CO_E_ERRORINDLL},
      {"empty library path", kLocalClass, u"InprocServer32", u"", CLSCTX_INPROC_SERVER, IID_IUnknown, CO_E_DLLNOTFOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.subkey.empty()) RegisterClassKey(c.clsid, c.subkey, c.value);
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(c.clsid, nullptr, c.context, c.iid, &object), c.expected);
    EXPECT_EQ(object, nullptr);
  }
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, 0, IID_IUnknown, &object), E_INVALIDARG);
}

TEST_F(ComActivation, ALocalServerThatCannotStartIsRefusedClearly) {
  RegisterClassKey(kLocalClass, u"LocalServer32", u"/opt/server");  // no such program
  rzd::ComInit init;
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(kLocalClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(kLocalClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object), CO_E_SERVER_EXEC_FAILURE);
  EXPECT_EQ(CoGetClassObject(kLocalClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, &object),
            CO_E_SERVER_EXEC_FAILURE);
  EXPECT_EQ(object, nullptr);
}

TEST_F(ComActivation, NeedsAnInitialisedThread) {
  RegisterTestComponent();
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, &object), CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
}

// ---- Class objects registered in-process

class Counter final : public rzd::ComObject<ICalc> {
 public:
  static inline std::atomic<int> live{0};
  Counter() { ++live; }
  ~Counter() override { --live; }
  HRESULT Add(LONG a, LONG b, LONG* sum) override {
    *sum = a + b + 1000;
    return S_OK;
  }
  HRESULT SetValue(LONG) override { return S_OK; }
  HRESULT GetValue(LONG* value) override {
    *value = 7;
    return S_OK;
  }

 protected:
  void* FindInterface(const IID& iid) override { return iid == IID_ICalc ? static_cast<ICalc*>(this) : nullptr; }
};

ComPtr<IClassFactory> CounterFactory() {
  return rzd::MakeComObject<rzd::ClassFactory>(
      [](IUnknown* outer, const IID& iid, void** object) { return rzd::CreateComObject<Counter>(outer, iid, object); },
      nullptr);
}

LONG AddThrough(const CLSID& clsid, DWORD context, HRESULT* hr) {
  ComPtr<ICalc> calc;
  *hr = CoCreateInstance(clsid, nullptr, context, IID_ICalc, calc.OutVoid());
  LONG sum = -1;
  if (SUCCEEDED(*hr)) calc->Add(1, 2, &sum);
  return sum;
}

TEST_F(ComActivation, RegisteredClassObjectsServeThisProcess) {
  RegisterTestComponent();
  rzd::ComInit init;
  ComPtr<IClassFactory> factory = CounterFactory();
  HRESULT hr;

  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(kLocalClass, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(AddThrough(kLocalClass, CLSCTX_INPROC_SERVER, &hr), 1003);
  EXPECT_EQ(AddThrough(kLocalClass, CLSCTX_LOCAL_SERVER, &hr), -1);
  EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);

  // A registration stands over the registry's entry of the same class, until it is revoked.
  DWORD over = 0;
  ASSERT_EQ(CoRegisterClassObject(CLSID_TestCalc, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &over), S_OK);
  EXPECT_EQ(AddThrough(CLSID_TestCalc, CLSCTX_INPROC_SERVER, &hr), 1003);
  EXPECT_EQ(CoRevokeClassObject(over), S_OK);
  EXPECT_EQ(AddThrough(CLSID_TestCalc, CLSCTX_INPROC_SERVER, &hr), 3);

  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
  EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
  EXPECT_EQ(AddThrough(kLocalClass, CLSCTX_INPROC_SERVER, &hr), -1);
  EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
  EXPECT_EQ(Counter::live.load(), 0);
}

TEST_F(ComActivation, RegistrationFlagsDecideVisibility) {
  rzd::ComInit init;
  ComPtr<IClassFactory> factory = CounterFactory();
  HRESULT hr;
  DWORD cookie = 0;

  // A multiple-use local server's class object serves in-process requests too.
  ASSERT_EQ(CoRegisterClassObject(kLocalClass, factory.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
  EXPECT_EQ(AddThrough(kLocalClass, CLSCTX_INPROC_SERVER, &hr), 1003);
  ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);

  // A suspended registration is hidden until the class objects are resumed.
  ASSERT_EQ(CoRegisterClassObject(kLocalClass, factory.Get(), CLSCTX_LOCAL_SERVER,
                                  REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie),
            S_OK);
  EXPECT_EQ(AddThrough(kLocalClass, CLSCTX_LOCAL_SERVER, &hr), -1);
  EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoResumeClassObjects(), S_OK);
  EXPECT_EQ(AddThrough(kLocalClass, CLSCTX_LOCAL_SERVER, &hr), 1003);
  ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);

  // A single-use registration serves one activation.
  ASSERT_EQ(CoRegisterClassObject(kLocalClass, factory.Get(), CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie), S_OK);
  EXPECT_EQ(AddThrough(kLocalClass, CLSCTX_LOCAL_SERVER, &hr), 1003);
  EXPECT_EQ(AddThrough(kLocalClass, CLSCTX_LOCAL_SERVER, &hr), -1);
  ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);

  EXPECT_EQ(CoRegisterClassObject(kLocalClass, factory.Get(), CLSCTX_INPROC_HANDLER, REGCLS_MULTIPLEUSE, &cookie),
            E_INVALIDARG);
}

// ---- Aggregation

// An outer object that aggregates the test component's calculator and adds nothing of its own.
class Outer final : public rzd::ComObject<IDispatch> {
 public:
  static inline std::atomic<int> live{0};
  Outer() { ++live; }
  ~Outer() override { --live; }

  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(const IID&, OLECHAR**, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, const IID&, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return S_OK; }

 protected:
  HRESULT FinalConstruct() override {
    return CoCreateInstance(CLSID_TestCalc, Controlling(), CLSCTX_INPROC_SERVER, IID_IUnknown, inner_.OutVoid());
  }
  void FinalRelease() override { inner_.Reset(); }
  void* FindInterface(const IID& iid) override { return iid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr; }
  HRESULT QueryAggregated(const IID& iid, void** object) override { return inner_->QueryInterface(iid, object); }

 private:
  ComPtr<IUnknown> inner_;
};

TEST_F(ComActivation, AggregatedObjectSharesTheOuterIdentityAndCount) {
  RegisterTestComponent();
  rzd::ComInit init;
  ComPtr<IDispatch> outer = rzd::MakeComObject<Outer>();
  ASSERT_TRUE(outer);
  EXPECT_EQ(ComponentLockCount(), 1);

  ComPtr<ICalc> calc;
  ASSERT_EQ(outer.As(IID_ICalc, &calc), S_OK);
  LONG sum = 0;
  EXPECT_EQ(calc->Add(20, 22, &sum), S_OK);
  EXPECT_EQ(sum, 42);

  // Identity: every interface answers the outer object's unknown, and the outer's interfaces.
  ComPtr<IUnknown> fromOuter, fromInner;
  ASSERT_EQ(outer.As(IID_IUnknown, &fromOuter), S_OK);
  ASSERT_EQ(calc.As(IID_IUnknown, &fromInner), S_OK);
  EXPECT_EQ(fromOuter.Get(), fromInner.Get());
  ComPtr<IDispatch> back;
  EXPECT_EQ(calc.As(IID_IDispatch, &back), S_OK);
  EXPECT_EQ(back.Get(), outer.Get());

  // The inner interface keeps the whole aggregate alive.
  fromOuter.Reset();
  fromInner.Reset();
  back.Reset();
  outer.Reset();
  EXPECT_EQ(Outer::live.load(), 1);
  EXPECT_EQ(calc->Add(1, 1, &sum), S_OK);
  calc.Reset();
  EXPECT_EQ(Outer::live.load(), 0);
  EXPECT_EQ(ComponentLockCount(), 0);
}

TEST_F(ComActivation, AggregationIsRefusedWhereItCannotWork) {
  RegisterTestComponent();
  rzd::ComInit init;
  ComPtr<IDispatch> outer = rzd::MakeComObject<Outer>();
  ASSERT_TRUE(outer);
  void* object = nullptr;
  // An aggregated object is asked for its inner unknown only.
  EXPECT_EQ(CoCreateInstance(CLSID_TestCalc, outer.Get(), CLSCTX_INPROC_SERVER, IID_ICalc, &object),
            CLASS_E_NOAGGREGATION);
  // A class that does not support aggregation.
  EXPECT_EQ(CoCreateInstance(CLSID_TestPlainCalc, outer.Get(), CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  outer.Reset();
  EXPECT_EQ(ComponentLockCount(), 0);
}

// ---- Connection points and dispatch sinks

struct EventLog {
  std::mutex lock;
  std::vector<LONG> values;
  void Add(LONG v) {
    std::lock_guard guard(lock);
    values.push_back(v);
  }
  std::vector<LONG> Get() {
    std::lock_guard guard(lock);
    return values;
  }
};

rzd::DispEventSink::Handler Recorder(EventLog* log) {
  return [log](DISPID id, WORD, DISPPARAMS* params, VARIANT*) {
    if (id != DISPID_ValueChanged) return DISP_E_MEMBERNOTFOUND;
    VARIANT* value = rzd::DispArgument(params, 0);
    if (value == nullptr) return DISP_E_BADPARAMCOUNT;
    if (value->vt != VT_I4) return DISP_E_TYPEMISMATCH;
    log->Add(value->lVal);
    return S_OK;
  };
}

TEST_F(ComActivation, ConnectionPointDeliversEventsToADispatchSinkUntilUnadvised) {
  RegisterTestComponent();
  rzd::ComInit init;
  ComPtr<ICalc> calc;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.OutVoid()), S_OK);

  EventLog first, second;
  auto sinkA = rzd::DispEventSink::Create(DIID_ICalcEvents, Recorder(&first));
  auto sinkB = rzd::DispEventSink::Create(DIID_ICalcEvents, Recorder(&second));
  EXPECT_EQ(sinkA->Cookie(), rzd::DispEventSink::kNotConnected);
  ASSERT_EQ(sinkA->Advise(calc.Get()), S_OK);
  ASSERT_EQ(sinkB->Advise(calc.Get()), S_OK);
  EXPECT_NE(sinkA->Cookie(), rzd::DispEventSink::kNotConnected);
  EXPECT_NE(sinkA->Cookie(), sinkB->Cookie());
  EXPECT_EQ(sinkA->Advise(calc.Get()), CONNECT_E_ADVISELIMIT);

  calc->SetValue(5);
  ASSERT_EQ(sinkA->Unadvise(), S_OK);
  calc->SetValue(6);
  EXPECT_EQ(sinkA->Unadvise(), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(first.Get(), std::vector<LONG>{5});
  EXPECT_EQ(second.Get(), (std::vector<LONG>{5, 6}));

  // The same through the raw interfaces.
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(calc.As(IID_IConnectionPointContainer, &container), S_OK);
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(IID_ICalc, point.Out()), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(container->FindConnectionPoint(DIID_ICalcEvents, point.Out()), S_OK);
  IID iid{};
  EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, DIID_ICalcEvents);
  DWORD cookie = 0;
  EXPECT_EQ(point->Advise(calc.Get(), &cookie), CONNECT_E_CANNOTCONNECT);  // no ICalcEvents there
  EXPECT_EQ(point->Unadvise(12345), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(rzd::AdviseConnection(calc.Get(), sinkA.Get(), DIID_ICalcEvents, &cookie), S_OK);
  calc->SetValue(7);
  EXPECT_EQ(rzd::UnadviseConnection(calc.Get(), DIID_ICalcEvents, cookie), S_OK);
  EXPECT_EQ(first.Get(), (std::vector<LONG>{5, 7}));

  // The source holds the sink while connected; dropping the source ends it.
  EXPECT_EQ(sinkB->Unadvise(), S_OK);
  point.Reset();
  container.Reset();
  calc.Reset();
  EXPECT_EQ(ComponentLockCount(), 0);
}

TEST_F(ComActivation, DetachedSinkIsNeverCalledAgainAndWaitsForARunningCall) {
  RegisterTestComponent();
  rzd::ComInit init;
  ComPtr<ICalc> calc;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.OutVoid()), S_OK);

  std::promise<void> inside;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> handlerDone{false};
  std::atomic<int> calls{0};
  auto sink = rzd::DispEventSink::Create(DIID_ICalcEvents, [&](DISPID, WORD, DISPPARAMS*, VARIANT*) {
    if (++calls == 1) {
      inside.set_value();
      released.wait();
      handlerDone = true;
    }
    return S_OK;
  });
  ASSERT_EQ(sink->Advise(calc.Get()), S_OK);

  std::thread firing([&] { calc->SetValue(1); });
  inside.get_future().wait();
  std::atomic<bool> doneWhenDetachReturned{false};
  std::thread detaching([&] {
    sink->Detach();
    doneWhenDetachReturned = handlerDone.load();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  release.set_value();
  detaching.join();
  firing.join();
  EXPECT_TRUE(doneWhenDetachReturned.load());

  // Still connected, but the handler is never entered again.
  calc->SetValue(2);
  EXPECT_EQ(calls.load(), 1);
  EXPECT_EQ(sink->Unadvise(), S_OK);
}

TEST_F(ComActivation, SinkMayUnadviseAndDetachFromItsOwnHandler) {
  RegisterTestComponent();
  rzd::ComInit init;
  ComPtr<ICalc> calc;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.OutVoid()), S_OK);
  rzd::DispEventSink* self = nullptr;
  int calls = 0;
  auto sink = rzd::DispEventSink::Create(DIID_ICalcEvents, [&](DISPID, WORD, DISPPARAMS*, VARIANT*) {
    ++calls;
    self->Unadvise();
    self->Detach();
    return S_OK;
  });
  self = sink.Get();
  ASSERT_EQ(sink->Advise(calc.Get()), S_OK);
  calc->SetValue(1);
  calc->SetValue(2);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(sink->IsConnected());
}

// ---- Global interface table

TEST_F(ComActivation, GlobalInterfaceTableHandsAnInterfaceToAnotherThread) {
  RegisterTestComponent();
  rzd::ComInit init;
  ComPtr<IGlobalInterfaceTable> table;
  ASSERT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                             table.OutVoid()),
            S_OK);
  ComPtr<IGlobalInterfaceTable> same;
  ASSERT_EQ(rzd::GetGlobalInterfaceTable(same.Out()), S_OK);
  EXPECT_EQ(same.Get(), table.Get());

  DWORD cookie = 0;
  {
    ComPtr<ICalc> calc;
    ASSERT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.OutVoid()), S_OK);
    calc->SetValue(31);
    ASSERT_EQ(table->RegisterInterfaceInGlobal(calc.Get(), IID_ICalc, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
  }
  EXPECT_EQ(ComponentLockCount(), 1);  // the table keeps it alive

  // Another thread, in a single-threaded apartment of its own, takes it back and uses it.
  auto other = std::async(std::launch::async, [&] {
    rzd::ComInit sta(COINIT_APARTMENTTHREADED);
    ComPtr<ICalc> calc;
    HRESULT hr = table->GetInterfaceFromGlobal(cookie, IID_ICalc, calc.OutVoid());
    LONG value = -1;
    if (SUCCEEDED(hr)) calc->GetValue(&value);
    ComPtr<IConnectionPointContainer> container;
    HRESULT other = table->GetInterfaceFromGlobal(cookie, IID_IConnectionPointContainer, container.OutVoid());
    return std::make_tuple(hr, value, other);
  });
  auto [hr, value, otherInterface] = other.get();
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(value, 31);
  EXPECT_EQ(otherInterface, S_OK);

  void* object = nullptr;
  EXPECT_EQ(table->GetInterfaceFromGlobal(cookie + 1000, IID_ICalc, &object), E_INVALIDARG);
  DWORD refused = 0;
  EXPECT_EQ(table->RegisterInterfaceInGlobal(table.Get(), IID_ICalc, &refused), E_NOINTERFACE);
  EXPECT_EQ(refused, 0u);
  EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), S_OK);
}

TEST_F(ComActivation, RevokedEntryIsGoneAndItsReferenceDropped) {
  RegisterTestComponent();
  rzd::ComInit init(COINIT_APARTMENTTHREADED);  // no multithreaded apartment in this process
  ComPtr<IGlobalInterfaceTable> table;
  ASSERT_EQ(rzd::GetGlobalInterfaceTable(table.Out()), S_OK);
  ComPtr<ICalc> calc;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.OutVoid()), S_OK);
  DWORD cookie = 0;
  ASSERT_EQ(table->RegisterInterfaceInGlobal(calc.Get(), IID_ICalc, &cookie), S_OK);

  // A thread that has not initialised COM, in a process without a multithreaded apartment.
  std::thread([&] {
    void* object = nullptr;
    EXPECT_EQ(table->GetInterfaceFromGlobal(cookie, IID_ICalc, &object), CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
  }).join();

  calc.Reset();
  EXPECT_EQ(ComponentLockCount(), 1);
  EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), S_OK);
  EXPECT_EQ(ComponentLockCount(), 0);
  EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), E_INVALIDARG);
  void* object = nullptr;
  EXPECT_EQ(table->GetInterfaceFromGlobal(cookie, IID_ICalc, &object), E_INVALIDARG);
}

// ---- Unloading

TEST_F(ComActivation, UnusedLibrariesAreUnloadedWhenTheirModuleSaysSo) {
  RegisterTestComponent();
  rzd::ComInit init;
  CoFreeUnusedLibraries();  // nothing of the component is in use yet
  const size_t before = rzd::LoadedComponentLibraryCount();
  ComPtr<ICalc> calc;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.OutVoid()), S_OK);
  EXPECT_EQ(rzd::LoadedComponentLibraryCount(), before + 1);
  CoFreeUnusedLibraries();  // an object lives
  EXPECT_EQ(rzd::LoadedComponentLibraryCount(), before + 1);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_TestCalc, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.OutVoid()), S_OK);
  factory->LockServer(1);
  calc.Reset();
  CoFreeUnusedLibraries();  // a server lock holds it
  EXPECT_EQ(rzd::LoadedComponentLibraryCount(), before + 1);
  factory->LockServer(0);
  factory.Reset();
  CoFreeUnusedLibraries();
  EXPECT_EQ(rzd::LoadedComponentLibraryCount(), before);

  // The next activation loads it again.
  ASSERT_EQ(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.OutVoid()), S_OK);
  EXPECT_EQ(rzd::LoadedComponentLibraryCount(), before + 1);
}

TEST_F(ComActivation, ActivationAndUnloadingRaceSafely) {
  RegisterTestComponent();
  rzd::ComInit init;
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      rzd::ComInit mta;
      for (int i = 0; i < 200; ++i) {
        ComPtr<ICalc> calc;
        LONG sum = 0;
        if (FAILED(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.OutVoid())) ||
            FAILED(calc->Add(i, 1, &sum)) || sum != i + 1) {
          ++failures;
        }
      }
    });
  }
  std::thread unloader([&] {
    while (!stop) CoFreeUnusedLibraries();
  });
  for (auto& thread : threads) thread.join();
  stop = true;
  unloader.join();
  EXPECT_EQ(failures.load(), 0);
  CoFreeUnusedLibraries();
  EXPECT_EQ(ComponentLockCount(), 0);
}

// ---- Task memory

TEST(ComTaskMemory, AllocatesGrowsAndFrees) {
  auto* block = static_cast<char*>(CoTaskMemAlloc(4));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "abc", 4);
  block = static_cast<char*>(CoTaskMemRealloc(block, 4096));
  ASSERT_NE(block, nullptr);
  EXPECT_STREQ(block, "abc");
  EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr);  // frees
  void* empty = CoTaskMemAlloc(0);
  EXPECT_NE(empty, nullptr);
  CoTaskMemFree(empty);
  CoTaskMemFree(nullptr);
}

}  // namespace
