// IRZDHAL across processes: the proxy gives exactly the in-process answers for every argument
// kind, activation starts one server (also through its service record), calls run at once on
// one connection, a server that vanished answers RPC_E_DISCONNECTED, a client that vanished
// releases its object, and the proxy/stub is found through the registry too.
#include "interfaces/rzdhal_proxy_stub.h"
#include "platform/com_object.h"
#include "platform/com_remote.h"
#include "platform/kernel.h"
#include "platform/local_socket.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/service.h"
#include "platform/session.h"
#include "platform/text.h"
#include "scripted_hal.h"
#include "test_server.h"
#include "testsupport/eventually.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using rzd::ComPtr;
namespace fs = std::filesystem;

// {5C0F7E40-1A2B-4C3D-8E9F-000000000001}: served by the test server as a plain local server.
constexpr CLSID kPlainClass{0x5C0F7E40, 0x1A2B, 0x4C3D, {0x8E, 0x9F, 0, 0, 0, 0, 0, 1}};

fs::path Helper(const char* name) { return rzd::test::BinaryDir() / name; }

void SetDefault(const std::u16string& path, const std::u16string& value, const std::u16string& name = u"") {
  rzd::RegKey key;
  ASSERT_EQ(rzd::RegKey::Create(rzd::Hive::LocalMachine, path, &key), ERROR_SUCCESS);
  ASSERT_EQ(key.SetString(name, value), ERROR_SUCCESS);
}

// LocalServer32 of `clsid`: the test server serving it.
void RegisterPlainServer(const CLSID& clsid, const std::string& extra = "") {
  std::string line = "\"" + Helper("rzdhal_test_server").string() + "\" --clsid " + rzd::FormatGuidA(clsid) + extra;
  SetDefault(u"SOFTWARE\\Classes\\CLSID\\" + rzd::FormatGuid(clsid) + u"\\LocalServer32", rzd::FromUtf8(line));
}

// A per-unit copy of the test server (a hard link named <base>_NNNN_N in the root), registered
// as a service with `-Service`.
fs::path InstallServiceCopy(const std::string& fileName) {
  const fs::path copy = rzd::SystemRoot() / "Program Files" / fileName;
  fs::create_directories(copy.parent_path());
  fs::copy_file(Helper("rzdhal_test_server"), copy, fs::copy_options::overwrite_existing);
  auto registration = rzd::ChildProcess::Start(copy, {"-Service"});
  EXPECT_TRUE(registration);
  if (registration) {
    EXPECT_EQ(registration->Wait(30000), 0);
  }
  return copy;
}

class RemoteHalTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.Ok());
    ASSERT_EQ(rzd::RegisterRzdHalProxyStub(), S_OK);
  }
  void TearDown() override { rzd::test::KillTestServers(); }

  ComPtr<IRZDHAL> Activate(const CLSID& clsid) {
    ComPtr<IRZDHAL> hal;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IRZDHAL, hal.OutVoid()), S_OK);
    return hal;
  }

  // Sends a scripted code with empty values; the VARIANT it answers.
  static VARIANT Ask(IRZDHAL* hal, LONG code) {
    VARIANT in;
    VARIANT out;
    VariantInit(&in);
    VariantInit(&out);
    rzd::Bstr text;
    EXPECT_EQ(hal->Control(code, nullptr, text.Out(), &in, &out), S_OK);
    return out;
  }

  // The process that serves `hal`.
  static uint32_t ServerOf(IRZDHAL* hal) {
    VARIANT out = Ask(hal, rzd::test::kScriptWhoCalls);
    EXPECT_EQ(out.vt, VT_UI4);
    return out.ulVal;
  }

  // Waits until a Read of `hal` waits in the server, asking meanwhile on the same connection.
  static bool ReadWaits(IRZDHAL* hal) {
    return rzd::test::Eventually([hal] { return Ask(hal, rzd::test::kScriptReadWaiting).boolVal == VARIANT_TRUE; },
                                 std::chrono::seconds(30));
  }

  static size_t StartsLogged() { return rzd::test::StartedTestServers().size(); }

  rzd::ComInit com_{COINIT_MULTITHREADED};
};

// ---- The answers of one call, as text that compares byte for byte.

std::string Hex(const void* data, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::string Show(BSTR text) { return text == nullptr ? "null" : "bstr:" + Hex(text, SysStringByteLen(text)); }

std::string Show(const VARIANT& value) {
  std::string text = "vt" + std::to_string(value.vt) + ":";
  if (value.vt == VT_BSTR) return text + Show(value.bstrVal);
  if (value.vt == (VT_ARRAY | VT_UI1)) {
    if (value.parray == nullptr) return text + "noarray";
    return text + std::to_string(value.parray->rgsabound[0].lLbound) + ":" +
           Hex(value.parray->pvData, value.parray->rgsabound[0].cElements);
  }
  if (value.vt == VT_EMPTY) return text;
  return text + Hex(&value.ullVal, 8);
}

BSTR Bytes(const char* data, uint32_t size) { return SysAllocStringByteLen(data, size); }

SAFEARRAY* Array(int32_t lowerBound, uint32_t count) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, lowerBound, count);
  auto* data = static_cast<uint8_t*>(array->pvData);
  for (uint32_t i = 0; i < count; ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
  return array;
}

// Every VARIANT kind a call carries, made fresh for each use.
std::vector<std::function<void(VARIANT*)>> VariantKinds() {
  auto value = [](VARTYPE vt, uint64_t bits) {
    return [vt, bits](VARIANT* v) {
      v->vt = vt;
      v->ullVal = bits;
    };
  };
  return {
      [](VARIANT* v) { v->vt = VT_EMPTY; },
      value(VT_I1, 0x80),
      value(VT_UI1, 0xFF),
      value(VT_I2, 0x8001),
      value(VT_UI2, 0xFFFE),
      value(VT_I4, 0x80000001),
      value(VT_UI4, 0xDEADBEEF),
      value(VT_I8, 0x8000000000000001ull),
      value(VT_UI8, 0xFEDCBA9876543210ull),
      value(VT_INT, 0x12345678),
      value(VT_UINT, 0x9ABCDEF0),
      value(VT_BOOL, 0xFFFF),
      value(VT_I4, 0x1122334455667788ull),  // the upper bytes travel as they are
      [](VARIANT* v) {
        v->vt = VT_BSTR;
        v->bstrVal = nullptr;
      },
      [](VARIANT* v) {
        v->vt = VT_BSTR;
        v->bstrVal = Bytes("odd\0len", 7);
      },
      [](VARIANT* v) {
        v->vt = VT_ARRAY | VT_UI1;
        v->parray = nullptr;
      },
      [](VARIANT* v) {
        v->vt = VT_ARRAY | VT_UI1;
        v->parray = Array(0, 0);
      },
      [](VARIANT* v) {
        v->vt = VT_ARRAY | VT_UI1;
        v->parray = Array(3, 1 << 20);  // a large byte array
      },
  };
}

// The outcome of one scripted scenario on `hal`.
using Scenario = std::function<std::string(IRZDHAL* hal)>;

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> all;
  for (LONG pid : {5, 0}) {
    for (DWORD timeout : {100u, 170u}) {
      all.push_back([pid, timeout](IRZDHAL* hal) {
        LONG status = 99;
        HRESULT hr = hal->LockScanner(pid, &status, timeout);
        return "lock " + std::to_string(hr) + " " + std::to_string(status);
      });
    }
  }
  all.push_back([](IRZDHAL* hal) { return "lock-null " + std::to_string(hal->LockScanner(7, nullptr, 1)); });
  all.push_back([](IRZDHAL* hal) {
    LONG status = 41;
    HRESULT hr = hal->UnlockScanner(&status);
    return "unlock " + std::to_string(hr) + " " + std::to_string(status);
  });
  all.push_back([](IRZDHAL* hal) { return "unlock-null " + std::to_string(hal->UnlockScanner(nullptr)); });

  // Control: every input kind (and a null pointer), against several kinds of output.
  const auto kinds = VariantKinds();
  std::vector<std::function<BSTR()>> texts = {
      [] { return static_cast<BSTR>(nullptr); },
      [] { return Bytes("", 0); },
      [] { return Bytes("a\0b\0c", 5); },  // odd length, embedded NULs
      [] { return rzd::AllocBstr(u"<Scanner><Item ID=\"Lamp1\"/></Scanner>"); },
  };
  const int inputs = static_cast<int>(kinds.size()) + 1;
  for (int in = 0; in < inputs; ++in) {
    for (int shape = 0; shape < 3; ++shape) {
      all.push_back([in, shape, kinds, texts](IRZDHAL* hal) {
        const LONG code = in % 5 == 4 ? -5 : in % 4;  // S_OK, E_FAIL, 170, E_NOTIMPL answers
        rzd::Bstr input = rzd::Bstr::Attach(texts[in % texts.size()]());
        VARIANT bufferIn;
        VARIANT bufferOut;
        VariantInit(&bufferIn);
        VariantInit(&bufferOut);
        if (in < static_cast<int>(kinds.size())) kinds[in](&bufferIn);
        BSTR output = shape == 2 ? Bytes("xyz", 3) : nullptr;
        if (shape == 1) kinds[(in + 3) % kinds.size()](&bufferOut);
        HRESULT hr = hal->Control(code, input.Get(), shape == 0 ? nullptr : &output,
                                  in < static_cast<int>(kinds.size()) ? &bufferIn : nullptr,
                                  shape == 0 ? nullptr : &bufferOut);
        std::string result = "control " + std::to_string(hr) + " " + Show(output) + " " + Show(bufferOut) + " " +
                             Show(bufferIn);
        SysFreeString(output);
        VariantClear(&bufferIn);
        VariantClear(&bufferOut);
        return result;
      });
    }
  }
  for (LONG boundary : {0, 3, 7}) {
    all.push_back([boundary](IRZDHAL* hal) {
      rzd::Bstr raster = rzd::Bstr::Attach(Bytes("raster", 5));
      return "read " + std::to_string(hal->Read(raster.Get(), nullptr, boundary));
    });
  }
  return all;
}

TEST_F(RemoteHalTest, ProxyAnswersExactlyAsTheObjectInProcess) {
  RegisterPlainServer(kPlainClass);
  ComPtr<IRZDHAL> remote = Activate(kPlainClass);
  ASSERT_TRUE(remote);
  ComPtr<IRZDHAL> local;
  ASSERT_EQ(rzd::test::CreateScriptedHal(nullptr, IID_IRZDHAL, local.OutVoid()), S_OK);
  ASSERT_NE(ServerOf(remote.Get()), rzd::CurrentProcessId()) << "the object lives in the server";

  const auto scenarios = Scenarios();
  for (size_t i = 0; i < scenarios.size(); ++i) {
    EXPECT_EQ(scenarios[i](remote.Get()), scenarios[i](local.Get())) << "scenario " << i;
  }
}

TEST_F(RemoteHalTest, TypesNoCallCarriesAnswerBadVarTypeAndLeaveTheOutputs) {
  RegisterPlainServer(kPlainClass);
  ComPtr<IRZDHAL> hal = Activate(kPlainClass);
  ASSERT_TRUE(hal);
  const VARTYPE refused[] = {VT_NULL, 5 /* VT_R8 */, VT_DISPATCH, VT_UNKNOWN, VT_VARIANT, VT_BYREF | VT_I4,
                             VT_ARRAY | VT_I4};
  for (VARTYPE vt : refused) {
    for (bool asOutput : {false, true}) {
      VARIANT odd;
      VARIANT plain;
      VariantInit(&odd);
      VariantInit(&plain);
      odd.vt = vt;
      BSTR text = Bytes("keep", 4);
      HRESULT hr = asOutput ? hal->Control(1, nullptr, &text, &plain, &odd) : hal->Control(1, nullptr, &text, &odd, &plain);
      EXPECT_EQ(hr, DISP_E_BADVARTYPE) << "vt " << vt;
      EXPECT_EQ(Show(text), "bstr:" + Hex("keep", 4));
      EXPECT_EQ(odd.vt, vt);
      SysFreeString(text);
    }
  }
  // The object answering with such a type: the same result, and the caller's values stay.
  VARIANT in;
  VARIANT out;
  VariantInit(&in);
  VariantInit(&out);
  out.vt = VT_UI4;
  out.ulVal = 17;
  rzd::Bstr text(u"mine");
  EXPECT_EQ(hal->Control(rzd::test::kScriptOddOutput, nullptr, text.Out(), &in, &out), DISP_E_BADVARTYPE);
  EXPECT_EQ(out.vt, VT_UI4);
  EXPECT_EQ(out.ulVal, 17u);
}

TEST_F(RemoteHalTest, DispatchAnswersWithoutTypeInformation) {
  RegisterPlainServer(kPlainClass);
  ComPtr<IRZDHAL> hal = Activate(kPlainClass);
  ASSERT_TRUE(hal);
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(hal->QueryInterface(IID_IDispatch, dispatch.OutVoid()), S_OK);
  ComPtr<IRZDHAL> again;
  ASSERT_EQ(dispatch->QueryInterface(IID_IRZDHAL, again.OutVoid()), S_OK);
  EXPECT_EQ(again.Get(), hal.Get());
  UINT count = 5;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ComPtr<IUnknown> first;
  ComPtr<IUnknown> second;
  ASSERT_EQ(hal->QueryInterface(IID_IUnknown, first.OutVoid()), S_OK);
  ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, second.OutVoid()), S_OK);
  EXPECT_EQ(first.Get(), second.Get()) << "one identity";
}

TEST_F(RemoteHalTest, TheServerKnowsItsCaller) {
  RegisterPlainServer(kPlainClass);
  ComPtr<IRZDHAL> hal = Activate(kPlainClass);
  ASSERT_TRUE(hal);
  VARIANT in;
  VARIANT out;
  VariantInit(&in);
  VariantInit(&out);
  rzd::Bstr text;
  ASSERT_EQ(hal->Control(rzd::test::kScriptWhoCalls, nullptr, text.Out(), &in, &out), S_OK);
  EXPECT_EQ(rzd::ToUtf8(text.View()), "pid=" + std::to_string(rzd::CurrentProcessId()) +
                                          " user=" + rzd::UserName(rzd::CurrentUserId()));
}

// Starts `count` client processes at once against `clsid`; answers the server pid each reports.
std::vector<uint32_t> ActivateFromProcesses(const CLSID& clsid, int count) {
  std::vector<rzd::ChildProcess> clients;
  for (int i = 0; i < count; ++i) {
    const fs::path output = rzd::SystemRoot() / ("client-" + std::to_string(i) + ".txt");
    auto client = rzd::ChildProcess::Start(Helper("rzdhal_test_client"), {rzd::FormatGuidA(clsid), output.string()});
    EXPECT_TRUE(client);
    if (client) clients.push_back(std::move(*client));
  }
  std::vector<uint32_t> servers;
  for (size_t i = 0; i < clients.size(); ++i) {
    EXPECT_EQ(clients[i].Wait(60000), 0) << "client " << i;
    std::ifstream in(rzd::SystemRoot() / ("client-" + std::to_string(i) + ".txt"));
    std::string result;
    uint32_t pid = 0;
    in >> result >> pid;
    EXPECT_EQ(result, "00000000") << "client " << i;
    servers.push_back(pid);
  }
  return servers;
}

TEST_F(RemoteHalTest, ActivationStartsTheServerOnFirstUseAndTenClientsGetOne) {
  RegisterPlainServer(kPlainClass);
  EXPECT_EQ(StartsLogged(), 0u);
  const std::vector<uint32_t> servers = ActivateFromProcesses(kPlainClass, 10);
  ASSERT_EQ(servers.size(), 10u);
  for (uint32_t pid : servers) EXPECT_EQ(pid, servers.front());
  EXPECT_TRUE(rzd::IsProcessAlive(servers.front()));
  EXPECT_EQ(StartsLogged(), 1u) << "one server was started";
  // Later activations meet the same server.
  ComPtr<IRZDHAL> hal = Activate(kPlainClass);
  ASSERT_TRUE(hal);
  EXPECT_EQ(ServerOf(hal.Get()), servers.front());
}

TEST_F(RemoteHalTest, ActivationGoesThroughTheServiceRecordWhenTheAppIdNamesAService) {
  InstallServiceCopy("halsrv_0003_7");
  rzd::RegKey app;
  std::u16string service;
  ASSERT_EQ(rzd::RegKey::Open(rzd::Hive::ClassesRoot,
                              u"AppID\\" + rzd::FormatGuid(rzd::test::TestServerAppId(7)), &app),
            ERROR_SUCCESS);
  ASSERT_EQ(app.GetString(u"LocalService", &service), ERROR_SUCCESS);
  EXPECT_EQ(service, u"halsrv_0003_7");
  rzd::ServiceRunStatus status;
  ASSERT_EQ(rzd::QueryServiceRunStatus(u"halsrv_0003_7", &status), ERROR_SUCCESS);
  EXPECT_EQ(status.state, SERVICE_STOPPED);

  const std::vector<uint32_t> servers = ActivateFromProcesses(rzd::test::TestServerClass(7), 10);
  ASSERT_EQ(servers.size(), 10u);
  for (uint32_t pid : servers) EXPECT_EQ(pid, servers.front());
  EXPECT_EQ(StartsLogged(), 2u) << "the registration and one service process";

  // The class is served before the service reports running.
  ASSERT_EQ(rzd::WaitForServiceState(u"halsrv_0003_7", SERVICE_RUNNING, 30000), ERROR_SUCCESS);
  ASSERT_EQ(rzd::QueryServiceRunStatus(u"halsrv_0003_7", &status), ERROR_SUCCESS);
  EXPECT_EQ(status.processId, servers.front()) << "the service's own process serves the class";
  EXPECT_EQ(rzd::ProcessSessionId(servers.front()), rzd::kServicesSessionId) << "services run in session 0";

  // Stopping the service ends the class's server.
  ASSERT_EQ(rzd::ControlServiceByName(u"halsrv_0003_7", SERVICE_CONTROL_STOP), ERROR_SUCCESS);
  EXPECT_EQ(rzd::WaitForServiceState(u"halsrv_0003_7", SERVICE_STOPPED, 30000), ERROR_SUCCESS);
}

TEST_F(RemoteHalTest, TwoCallsRunAtOnceOnOneConnection) {
  RegisterPlainServer(kPlainClass);
  ComPtr<IRZDHAL> hal = Activate(kPlainClass);
  ASSERT_TRUE(hal);
  auto reading = std::async(std::launch::async, [&] {
    rzd::Bstr name(rzd::test::kWaitForCancel);
    return hal->Read(name.Get(), nullptr, 3);
  });
  // While the read waits in the server, other calls on the same object are answered.
  ASSERT_TRUE(ReadWaits(hal.Get()));
  EXPECT_NE(reading.wait_for(std::chrono::milliseconds(0)), std::future_status::ready);
  Ask(hal.Get(), rzd::test::kScriptCancel);
  EXPECT_EQ(reading.get(), S_OK) << "the cancel reached the waiting read";
}

TEST_F(RemoteHalTest, AServerKilledMidCallAnswersDisconnectedAndTheNextActivationStartsAFreshOne) {
  RegisterPlainServer(kPlainClass);
  ComPtr<IRZDHAL> hal = Activate(kPlainClass);
  ASSERT_TRUE(hal);
  const uint32_t server = ServerOf(hal.Get());
  auto reading = std::async(std::launch::async, [&] {
    rzd::Bstr name(rzd::test::kWaitForCancel);
    HRESULT hr = hal->Read(name.Get(), nullptr, 3);
    return std::make_pair(hr, std::chrono::steady_clock::now());
  });
  ASSERT_TRUE(ReadWaits(hal.Get()));

  const auto killed = std::chrono::steady_clock::now();
  ASSERT_TRUE(rzd::KillProcess(server));
  ASSERT_EQ(reading.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const auto [result, answered] = reading.get();
  EXPECT_EQ(result, RPC_E_DISCONNECTED);
  EXPECT_LT(answered - killed, std::chrono::seconds(1));

  // Later calls on the dead connection answer at once.
  EXPECT_EQ(hal->Read(nullptr, nullptr, 3), RPC_E_DISCONNECTED);
  LONG status = 0;
  EXPECT_EQ(hal->UnlockScanner(&status), RPC_E_DISCONNECTED);

  // The socket left behind is replaced by a fresh server.
  ComPtr<IRZDHAL> fresh = Activate(kPlainClass);
  ASSERT_TRUE(fresh);
  const uint32_t next = ServerOf(fresh.Get());
  EXPECT_NE(next, server);
  EXPECT_TRUE(rzd::IsProcessAlive(next));
}

TEST_F(RemoteHalTest, AClientKilledGivesItsObjectTheFinalRelease) {
  RegisterPlainServer(kPlainClass);
  auto released = rzd::Event::Create(u"Global\\rzdhal-released-victim", true, false);
  ASSERT_TRUE(released);
  const fs::path output = rzd::SystemRoot() / "victim.txt";
  auto client = rzd::ChildProcess::Start(Helper("rzdhal_test_client"),
                                         {rzd::FormatGuidA(kPlainClass), output.string(), "--name", "victim", "--wait"});
  ASSERT_TRUE(client);
  ASSERT_TRUE(rzd::test::Eventually([&] { return fs::exists(output); }));
  EXPECT_EQ(released.handle.Wait(0), WAIT_TIMEOUT) << "alive while its client lives";
  client->Kill();
  EXPECT_EQ(released.handle.Wait(30000), WAIT_OBJECT_0);
}

TEST_F(RemoteHalTest, TheProxyStubIsFoundThroughTheRegistry) {
  RegisterPlainServer(kPlainClass);
  ASSERT_EQ(rzd::RegisterRzdHalProxyStubLibrary(RZD_HAL_PROXY_STUB_LIBRARY), S_OK);
  const fs::path output = rzd::SystemRoot() / "registry.txt";
  auto client = rzd::ChildProcess::Start(Helper("rzdhal_test_client"),
                                         {rzd::FormatGuidA(kPlainClass), output.string(), "--registry-ps"});
  ASSERT_TRUE(client);
  EXPECT_EQ(client->Wait(60000), 0);
  std::ifstream in(output);
  std::string result;
  in >> result;
  EXPECT_EQ(result, "00000000");

  ASSERT_EQ(rzd::UnregisterRzdHalProxyStubLibrary(), S_OK);
  auto without = rzd::ChildProcess::Start(Helper("rzdhal_test_client"),
                                          {rzd::FormatGuidA(kPlainClass), output.string(), "--registry-ps"});
  ASSERT_TRUE(without);
  EXPECT_EQ(without->Wait(60000), 1);
  std::ifstream again(output);
  again >> result;
  EXPECT_EQ(result, "80004002") << "E_NOINTERFACE: no proxy for IRZDHAL";
}

TEST_F(RemoteHalTest, ASingleUseClassObjectServesOneActivation) {
  RegisterPlainServer(kPlainClass, " --single-use");
  ComPtr<IRZDHAL> first = Activate(kPlainClass);
  ComPtr<IRZDHAL> second = Activate(kPlainClass);
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  EXPECT_NE(ServerOf(first.Get()), ServerOf(second.Get()));
  EXPECT_EQ(StartsLogged(), 2u);
}

}  // namespace
