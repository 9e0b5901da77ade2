// The diagnostics-configuration stand-in: the server through COM, its change event across
// processes, the command that drives it, and the emitter's records.
#include "diagconfig/config_store.h"

#include "foundation/cor_diag_config.h"
#include "platform/com.h"
#include "platform/com_events.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

namespace {

using rzd::Bstr;
using rzd::ComPtr;

// Runs rzd-diagconfig with `args`; its exit code (-1 when it did not end in time).
int Tool(const std::vector<std::string>& args) {
  auto child = rzd::ChildProcess::Start(RZD_DIAGCONFIG_TOOL, args);
  if (!child) return -1;
  return child->Wait(60000).value_or(-1);
}

class DiagConfigServer : public rzd::test::TempRoot {
 protected:
  void SetUp() override { ASSERT_EQ(Tool({"register", RZD_DIAGCONFIG_SERVER}), 0); }

  ComPtr<ICorDiagConfig> Create(HRESULT* hr = nullptr) {
    ComPtr<ICorDiagConfig> config;
    HRESULT result = CoCreateInstance(CLSID_CorDiagConfig, nullptr, CLSCTX_INPROC_SERVER, IID_ICorDiagConfig,
                                      config.OutVoid());
    if (hr != nullptr) *hr = result;
    return config;
  }

  rzd::ComInit init_;
};

LONG LevelOf(ICorDiagConfig* config, const char16_t* feature, bool configured = false) {
  Bstr name(feature);
  LONG level = -1;
  HRESULT hr = configured ? config->GetConfiguredFeatureLevel(name.Get(), &level)
                          : config->GetFeatureLevel(name.Get(), &level);
  return SUCCEEDED(hr) ? level : -1;
}

std::vector<std::u16string> FeaturesOf(ICorDiagConfig* config, const char16_t* product) {
  std::vector<std::u16string> names;
  Bstr name(product);
  ComPtr<IUnknown> object;
  if (FAILED(config->GetFeatureList(name.Get(), object.Out()))) return names;
  ComPtr<ICorDiagFeatureList> list;
  if (FAILED(object.As(IID_ICorDiagFeatureList, &list))) return names;
  LONG count = 0;
  list->Count(&count);
  for (LONG i = 1; i <= count; ++i) {
    Bstr item;
    if (SUCCEEDED(list->Item(i, item.Out()))) names.push_back(item.Str());
  }
  Bstr outside;
  EXPECT_EQ(list->Item(0, outside.Out()), E_INVALIDARG);
  EXPECT_EQ(list->Item(count + 1, outside.Out()), E_INVALIDARG);
  return names;
}

TEST_F(DiagConfigServer, RegistersItselfAndUnregisters) {
  rzd::RegKey key;
  ASSERT_EQ(rzd::RegKey::Open(rzd::Hive::ClassesRoot, u"CLSID\\" + rzd::FormatGuid(CLSID_CorDiagConfig) + u"\\InprocServer32", &key),
            ERROR_SUCCESS);
  std::u16string path, model;
  EXPECT_EQ(key.GetString(u"", &path), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::equivalent(rzd::ToUtf8(path), RZD_DIAGCONFIG_SERVER));
  EXPECT_EQ(key.GetString(u"ThreadingModel", &model), ERROR_SUCCESS);
  EXPECT_EQ(model, u"Both");
  EXPECT_TRUE(Create());

  ASSERT_EQ(Tool({"unregister", RZD_DIAGCONFIG_SERVER}), 0);
  HRESULT hr = S_OK;
  EXPECT_FALSE(Create(&hr));
  EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
}

TEST_F(DiagConfigServer, AnswersLevelsFeaturesAndEmitterOfTheProductSet) {
  ASSERT_EQ(Tool({"level", "M48tz", "Engine", "5"}), 0);
  ASSERT_EQ(Tool({"level", "M48tz", "*", "0x2"}), 0);
  ASSERT_EQ(Tool({"level", "M48tz", "Engine.Data", "7"}), 0);
  ASSERT_EQ(Tool({"level", "Other", "Engine", "1"}), 0);
  ASSERT_EQ(Tool({"emitter", "/opt/emit.so"}), 0);
  EXPECT_EQ(Tool({"level", "M48tz", "Engine", "many"}), 1);
  EXPECT_EQ(Tool({"frobnicate"}), 2);

  ComPtr<ICorDiagConfig> config = Create();
  ASSERT_TRUE(config);
  Bstr product(u"M48tz");
  ASSERT_EQ(config->SetProduct(product.Get()), S_OK);
  EXPECT_EQ(LevelOf(config.Get(), u"Engine"), 5);
  EXPECT_EQ(LevelOf(config.Get(), u"Unlisted"), 2);  // the product's default
  EXPECT_EQ(LevelOf(config.Get(), u"Unlisted", true), 0);
  EXPECT_EQ(LevelOf(config.Get(), u"Engine.Data", true), 7);
  EXPECT_EQ(FeaturesOf(config.Get(), u"M48tz"), (std::vector<std::u16string>{u"Engine", u"Engine.Data"}));
  EXPECT_TRUE(FeaturesOf(config.Get(), u"Nothing").empty());

  Bstr other(u"Other");
  ASSERT_EQ(config->SetProduct(other.Get()), S_OK);
  EXPECT_EQ(LevelOf(config.Get(), u"Engine"), 1);
  EXPECT_EQ(LevelOf(config.Get(), u"Unlisted"), 0);

  Bstr path;
  ASSERT_EQ(config->GetEmitterPath(path.Out()), S_OK);
  EXPECT_EQ(path.Str(), u"/opt/emit.so");

  Bstr company(u"Corvanite");
  EXPECT_EQ(config->SetCompany(company.Get()), S_OK);
  EXPECT_EQ(config->SetCompany(company.Get()), E_UNEXPECTED);  // once after creation
  Bstr back;
  ASSERT_EQ(config->GetCompany(back.Out()), S_OK);
  EXPECT_EQ(back.Str(), u"Corvanite");

  // Levels written through the interface are the configuration's.
  ASSERT_EQ(config->SetFeatureLevel(Bstr(u"Panel").Get(), 4), S_OK);
  EXPECT_EQ(cordiag::ConfiguredLevel(u"Other", u"Panel"), 4u);
}

TEST_F(DiagConfigServer, ChosenOperationsFail) {
  ComPtr<ICorDiagConfig> config = Create();
  ASSERT_TRUE(config);
  Bstr text(u"x");
  struct Case {
    const char* operation;
    std::function<HRESULT()> call;
  };
  const std::vector<Case> cases = {
      {"SetCompany", [&] { return config->SetCompany(text.Get()); }},
      {"SetProduct", [&] { return config->SetProduct(text.Get()); }},
      {"GetFeatureLevel", [&] { LONG l; return config->GetFeatureLevel(text.Get(), &l); }},
      {"GetConfiguredFeatureLevel", [&] { LONG l; return config->GetConfiguredFeatureLevel(text.Get(), &l); }},
      {"GetFeatureList", [&] { ComPtr<IUnknown> o; return config->GetFeatureList(text.Get(), o.Out()); }},
      {"GetEmitterPath", [&] { Bstr p; return config->GetEmitterPath(p.Out()); }},
      {"FindConnectionPoint", [&] {
         ComPtr<IConnectionPointContainer> c;
         config.As(IID_IConnectionPointContainer, &c);
         ComPtr<IConnectionPoint> p;
         return c->FindConnectionPoint(DIID__ICorDiagConfigEvents, p.Out());
       }},
      {"CreateInstance", [&] { HRESULT hr; Create(&hr); return hr; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    ASSERT_EQ(Tool({"fail", c.operation}), 0);
    EXPECT_EQ(c.call(), E_FAIL);
    ASSERT_EQ(Tool({"fail", "none"}), 0);
    EXPECT_TRUE(SUCCEEDED(c.call()));
  }
}

TEST_F(DiagConfigServer, FiresItsChangeEventWhenAnotherProcessAnnouncesAChange) {
  ComPtr<ICorDiagConfig> config = Create();
  ASSERT_TRUE(config);
  std::mutex lock;
  std::condition_variable changed;
  std::vector<DISPID> events;
  auto sink = rzd::DispEventSink::Create(DIID__ICorDiagConfigEvents, [&](DISPID id, WORD, DISPPARAMS* params, VARIANT*) {
    EXPECT_EQ(params->cArgs, 0u);
    std::lock_guard guard(lock);
    events.push_back(id);
    changed.notify_all();
    return S_OK;
  });
  ASSERT_EQ(sink->Advise(config.Get()), S_OK);

  ASSERT_EQ(Tool({"level", "M48tz", "Engine", "1", "--notify"}), 0);
  {
    std::unique_lock wait(lock);
    ASSERT_TRUE(changed.wait_for(wait, std::chrono::seconds(30), [&] { return events.size() == 1; }));
    EXPECT_EQ(events[0], DISPID_CorDiagConfigChanged);
  }
  // Through the interface too; a second object hears the same announcement.
  ComPtr<ICorDiagConfig> second = Create();
  auto secondSink = rzd::DispEventSink::Create(DIID__ICorDiagConfigEvents, [&](DISPID, WORD, DISPPARAMS*, VARIANT*) {
    std::lock_guard guard(lock);
    events.push_back(100);
    changed.notify_all();
    return S_OK;
  });
  ASSERT_EQ(secondSink->Advise(second.Get()), S_OK);
  ASSERT_EQ(config->NotifyChanged(), S_OK);
  {
    std::unique_lock wait(lock);
    ASSERT_TRUE(changed.wait_for(wait, std::chrono::seconds(30), [&] { return events.size() == 3; }));
  }
  EXPECT_EQ(sink->Unadvise(), S_OK);
  EXPECT_EQ(secondSink->Unadvise(), S_OK);
  sink->Detach();
  secondSink->Detach();
  second.Reset();
  config.Reset();
  CoFreeUnusedLibraries();  // the watchers have ended: the library may go
  EXPECT_EQ(rzd::LoadedComponentLibraryCount(), 0u);
}

TEST_F(DiagConfigServer, AnnouncementDropsListenersOfEndedProcesses) {
  rzd::RegKey key;
  ASSERT_EQ(rzd::RegKey::Create(rzd::Hive::LocalMachine, std::u16string(cordiag::kConfigKey) + u"\\Listeners", &key),
            ERROR_SUCCESS);
  ASSERT_EQ(key.SetDword(u"CorDiagConfigChanged.999999.1", 999999), ERROR_SUCCESS);
  auto listener = cordiag::ChangeListener::Create();
  ASSERT_TRUE(listener);
  EXPECT_EQ(cordiag::NotifyChanged(), 1u);
  EXPECT_EQ(listener->Event().Wait(0), WAIT_OBJECT_0);
  std::vector<rzd::RegValue> values;
  ASSERT_EQ(key.EnumValues(&values), ERROR_SUCCESS);
  EXPECT_EQ(values.size(), 1u);
  listener.reset();
  ASSERT_EQ(key.EnumValues(&values), ERROR_SUCCESS);
  EXPECT_TRUE(values.empty());
}

TEST_F(DiagConfigServer, HangingOperationWaitsForItsRelease) {
  ComPtr<ICorDiagConfig> config = Create();
  ASSERT_TRUE(config);
  ASSERT_EQ(Tool({"emitter", "/opt/emit.so"}), 0);
  ASSERT_EQ(Tool({"hang", "GetEmitterPath"}), 0);
  auto call = std::async(std::launch::async, [&] {
    Bstr path;
    HRESULT hr = config->GetEmitterPath(path.Out());
    return std::make_pair(hr, path.Str());
  });
  ASSERT_EQ(Tool({"wait-hanging", "30000"}), 0);
  EXPECT_EQ(call.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  ASSERT_EQ(Tool({"release"}), 0);
  auto [hr, path] = call.get();
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(path, u"/opt/emit.so");
  Bstr again;
  EXPECT_EQ(config->GetEmitterPath(again.Out()), S_OK);  // released: no longer hangs
}

class DiagEmitter : public rzd::test::TempRoot {};

TEST_F(DiagEmitter, AppendsOneLinePerRecordToItsConfiguredFile) {
  const std::filesystem::path output = RootPath() / "records" / "out.log";
  ASSERT_EQ(Tool({"output", output.string()}), 0);
  auto library = rzd::Module::Load(RZD_DIAGCONFIG_EMITTER);
  ASSERT_TRUE(library);
  auto emit = library->Bind<CorDiagEmitFunction>("Emit");
  ASSERT_NE(emit, nullptr);
  emit(u"Corvanite", 4, 12, 34, u"2024-01-02 03:04:05:006", u"M48tz.Engine", u"tab\there\nnext \\ line");
  emit(u"Corvanite", 1, 12, 35, nullptr, u"M48tz.", nullptr);
  std::ifstream in(output);
  std::string first, second, third;
  ASSERT_TRUE(std::getline(in, first));
  ASSERT_TRUE(std::getline(in, second));
  EXPECT_FALSE(std::getline(in, third));
  EXPECT_EQ(first, "Corvanite\t4\t12\t34\t2024-01-02 03:04:05:006\tM48tz.Engine\ttab\\there\\nnext \\\\ line");
  EXPECT_EQ(second, "Corvanite\t1\t12\t35\t\tM48tz.\t");
}

}  // namespace
