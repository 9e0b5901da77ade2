// The service module's bookkeeping of client objects in this process: registrations that pause
// the service's button polling, and the reaping of clients whose process has ended, with a
// client process that is killed while its call runs.
#include "coclass/hal_coclass.h"
#include "fake_driver_script.h"
#include "scanner_fixture.h"
#include "service/service_module.h"
#include "startup/registration.h"

#include "scanhost/instance_ids.h"

#include "interfaces/rzdhal_proxy_stub.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/com.h"
#include "platform/registry.h"
#include "platform/service.h"

#include <atomic>
#include <fstream>
#include <thread>

namespace rzd::scanhost::test {
namespace {

class ClientBookTest : public ScannerTest {
 protected:
  void SetUp() override {
    ScannerTest::SetUp();
    StartupValues values;
    values.name = {u"scanhost_0003_7", u"0003", 7};
    values.instanceText = u"7";
    values.halClsid = kInstanceClasses[7];
    values.appId = kInstanceAppIds[7];
    values.driverFileName = FromUtf8(RZD_FAKE_DRIVER);
    values.symbolicName = UnitPath();
    values.classKeyPath = lowdrv::kImageClassKey;
    values.classKeyPath.append(u"\\0003");
    values.modulePath = rzd::test::BinaryDir() / "scanhost";
    module_ = std::make_unique<ServiceModule>(values);
    ServiceModule::SetCurrent(module_.get());
  }
  void TearDown() override {
    module_.reset();
    ScannerTest::TearDown();
  }
  // A client object made in this process (no connection behind it).
  std::shared_ptr<CRZDHALScannerBase> LocalClient() { return module_->AddClient(std::nullopt)->Get(); }

  ComInit com_{COINIT_MULTITHREADED};
  std::unique_ptr<ServiceModule> module_;
};

TEST_F(ClientBookTest, RegisteredClientsOfTheConsoleSessionPauseTheServicesPolling) {
  module_->CreateOwnScanner();
  std::shared_ptr<CRZDHALScanner> own = module_->OwnScanner();
  ASSERT_TRUE(own);
  EXPECT_TRUE(own->PollingFlag());
  std::shared_ptr<CRZDHALScannerBase> client = LocalClient();
  EXPECT_EQ(Code(*client, 33, 100), S_OK);
  EXPECT_TRUE(module_->IsRegisteredClient(client.get()));
  EXPECT_FALSE(own->PollingFlag());
  EXPECT_EQ(Code(*client, 33, 100), S_OK);  // again: nothing changes
  EXPECT_EQ(Code(*client, 33, 100, VT_I4), E_FAIL);
  EXPECT_FALSE(own->PollingFlag());
  // A console switch: the client's session is no longer the console's.
  SetActiveConsoleSession(CurrentSessionId() + 1);
  module_->NotifyAllLLDs(1);
  EXPECT_TRUE(own->PollingFlag());
  SetActiveConsoleSession(CurrentSessionId());
  module_->NotifyAllLLDs(1);
  EXPECT_FALSE(own->PollingFlag());
  EXPECT_EQ(Code(*client, 34), S_OK);
  EXPECT_FALSE(module_->IsRegisteredClient(client.get()));
  EXPECT_TRUE(own->PollingFlag());
  // When a registered client's object ends, its registration goes with it.
  EXPECT_EQ(Code(*client, 33, 100), S_OK);
  module_->DestroyScanner(client.get());
  EXPECT_FALSE(module_->IsRegisteredClient(client.get()));
  EXPECT_TRUE(own->PollingFlag());
  EXPECT_EQ(module_->ClientCount(), 0u);
}

TEST_F(ClientBookTest, ReapingKeepsUnnamedAndLivingOwnersAndEndsObjectsOfEndedProcesses) {
  std::shared_ptr<CRZDHALScannerBase> unnamed = LocalClient();
  std::shared_ptr<CRZDHALScannerBase> living = LocalClient();
  std::shared_ptr<CRZDHALScannerBase> ended = LocalClient();
  ASSERT_EQ(Code(*living, 35, CurrentProcessId()), S_OK);
  std::optional<ChildProcess> child = ChildProcess::Start(rzd::test::BinaryDir() / "scanhost_test_client", {});
  ASSERT_TRUE(child);
  const uint32_t gone = child->Pid();
  child->Wait(30000);
  ASSERT_EQ(Code(*ended, 35, gone), S_OK);
  ASSERT_EQ(Code(*ended, 33, gone), S_OK);
  ASSERT_EQ(Code(*ended, 14), S_OK);
  std::weak_ptr<CRZDHALScannerBase> endedObject = ended;
  ended.reset();
  module_->ReapDeadClients();
  EXPECT_EQ(module_->ClientCount(), 2u);
  EXPECT_TRUE(endedObject.expired()) << "unlocked, closed and ended";
  EXPECT_EQ(FakeCalls(kCloseCode).size(), 1u);
}

// The service's own object exists unless the local machine's NoButtonPoll is 17527.
TEST_F(ClientBookTest, NoButtonPoll17527AloneLeavesTheServiceWithoutItsOwnObject) {
  const struct {
    std::optional<uint32_t> value;
    bool own;
  } kCases[] = {{std::nullopt, true}, {17527, false}, {17526, true}, {0, true}, {0x17527, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value.value_or(-1));
    RegKey key;
    ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Corvanite\\RZD", &key), ERROR_SUCCESS);
    if (c.value) {
      ASSERT_EQ(key.SetDword(u"NoButtonPoll", *c.value), ERROR_SUCCESS);
    } else {
      key.DeleteValue(u"NoButtonPoll");
    }
    module_->CreateOwnScanner();
    EXPECT_EQ(module_->OwnScanner() != nullptr, c.own);
    module_->DestroyOwnScanner();
    EXPECT_FALSE(module_->OwnScanner());
  }
}

// Nothing but the message loop's time-outs runs while a client's process ends: the loop reaps its
// object (unlocked, closed, ended) by itself.
TEST_F(ClientBookTest, TheMessageLoopAloneReapsAClientWhoseProcessEnded) {
  module_->ComLock().Lock();  // the plain local server runs until the test stops it
  std::thread loop([this] { module_->Run(); });
  std::shared_ptr<CRZDHALScannerBase> client = LocalClient();
  // The client's process: alive (it waits for this one) until the test ends it.
  std::optional<ChildProcess> child = ChildProcess::Start(rzd::test::BinaryDir() / "scanhost_test_client",
                                                          {"--watch", std::to_string(CurrentProcessId())});
  ASSERT_TRUE(child);
  const uint32_t gone = child->Pid();
  // The calls go to the object itself: none of them reaps.
  ASSERT_EQ(Code(*client, 35, gone), S_OK);
  ASSERT_EQ(Code(*client, 14), S_OK);
  ASSERT_EQ(Lock(*client, static_cast<LONG>(gone)), S_OK);
  EXPECT_EQ(module_->ClientCount(), 1u) << "a living owner's object stays";
  std::weak_ptr<CRZDHALScannerBase> object = client;
  client.reset();
  child->Terminate();
  child->Wait(30000);
  EXPECT_TRUE(Eventually([&] { return module_->ClientCount() == 0; })) << "the loop reaped nothing";
  EXPECT_TRUE(Eventually([&] { return object.expired(); }));
  // The object's end (on the loop's thread) unlocks and closes; it may still run when the last
  // reference has gone.
  ASSERT_TRUE(WaitForFakeCalls(kCloseCode, 1));
  const std::vector<std::string> sequence = FakeCallSequence();
  ASSERT_GE(sequence.size(), 2u);
  EXPECT_EQ(sequence[sequence.size() - 2], "0x80000002 -") << "unlocked";
  EXPECT_EQ(sequence.back(), "0x80000005 -") << "and closed";
  EXPECT_EQ(FakeCalls(kUnlockCode).size(), 1u);
  module_->HandlerEx(SERVICE_CONTROL_STOP, 0, nullptr);
  loop.join();
  module_->ComLock().Unlock();
}

// A client object whose last reference goes on another thread (in the service: a call that
// returns, or a connection's final release, on a server thread) ends there. EndClients returns
// only once that end is over (the unit closed), so what follows the stop (the report of
// "stopped", the process's end) never runs beneath it.
TEST_F(ClientBookTest, EndClientsReturnsOnceAnEndRunningOnAnotherThreadIsOver) {
  std::shared_ptr<CRZDHALScannerBase> client = LocalClient();
  ASSERT_EQ(Code(*client, 14), S_OK);  // opened: its end closes the unit
  const std::filesystem::path release = RootPath() / "release";
  FakeBlock(kCloseCode, release);
  // The call's thread holds the object until the list has let it go, then lets it go too.
  std::thread call([this, held = std::move(client)]() mutable {
    EXPECT_TRUE(Eventually([this] { return module_->ClientCount() == 0; }));
    held.reset();
  });
  std::thread releaser([&release] {
    EXPECT_TRUE(WaitForFakeCalls(kCloseCode, 1)) << "the end's close is in the driver";
    std::ofstream(release).put('1');
  });
  module_->EndClients();
  const std::vector<std::string> journal = FakeJournal();
  call.join();
  releaser.join();
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal.back(), "done 0x80000005 0x0") << "the end was still closing the unit";
}

// An activation still in flight when the class object was revoked reaches AddClient after
// EndClients has let the list go. Its object would be held by a live connection that nothing
// lets go before the local server's end, and the stop would wait for it for ever: it is refused.
TEST_F(ClientBookTest, AnObjectAddedOnceEndClientsHasBegunIsRefusedAndTheEndStillReturns) {
  std::shared_ptr<CRZDHALScannerBase> client = LocalClient();
  std::atomic<bool> ended{false};
  std::thread stop([&] {
    module_->EndClients();
    ended.store(true);
  });
  // The list is let go; EndClients waits for the object this test still holds.
  ASSERT_TRUE(Eventually([this] { return module_->ClientCount() == 0; }));
  std::shared_ptr<ScannerSlot> late = module_->AddClient(std::nullopt);
  EXPECT_FALSE(late) << "an object was added while the clients were being ended";
  EXPECT_EQ(module_->ClientCount(), 0u);
  EXPECT_FALSE(ended.load());
  client.reset();
  EXPECT_TRUE(Eventually([&] { return ended.load(); }, std::chrono::seconds(10)));
  if (late) late->Drop();  // so that the stop returns without the refusal as well
  stop.join();
  // A creation through the class fails, and the failed object's release finds no object.
  void* object = nullptr;
  EXPECT_EQ(CreateComObject<CRZDHALScannerCoclass>(nullptr, IID_IUnknown, &object, module_.get()), E_FAIL);
  EXPECT_EQ(object, nullptr);
  if (object != nullptr) static_cast<IUnknown*>(object)->Release();
  EXPECT_EQ(module_->ComLock().LockCount(), 0);
}

TEST_F(ClientBookTest, AClientKilledMidCallIsReapedAndItsObjectEndsAfterTheCall) {
  module_->CreateOwnScanner();
  std::shared_ptr<CRZDHALScanner> own = module_->OwnScanner();
  ASSERT_TRUE(own);
  ASSERT_EQ(RegisterRzdHalProxyStub(), S_OK);
  // The class as a copy registers it; this process serves it.
  WriteClassKey("0003", UnitPath());
  ASSERT_EQ(RunRegistration(Switch::kRegServer, module_->Values()), S_OK);
  ComPtr<IUnknown> factory = MakeClassFactory(module_.get());
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(kInstanceClasses[7], factory.Get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie),
            S_OK);

  const std::filesystem::path release = RootPath() / "release";
  FakeBlock(kLockCode, release);
  const std::filesystem::path out = RootPath() / "client.txt";
  std::optional<ChildProcess> client = ChildProcess::Start(
      rzd::test::BinaryDir() / "scanhost_test_client",
      {FormatGuidA(kInstanceClasses[7]), out.string(), std::to_string(CurrentProcessId()), "pid", "register", "connect",
       "lock"});
  ASSERT_TRUE(client);
  ASSERT_TRUE(WaitForFakeCalls(kLockCode, 1)) << "the client's lock is in the driver";
  EXPECT_FALSE(own->PollingFlag());
  std::vector<std::weak_ptr<CRZDHALScannerBase>> objects = module_->ClientObjects();
  ASSERT_EQ(objects.size(), 1u);

  client->Kill();
  module_->ReapDeadClients();  // as the message loop does every 2000 ms
  EXPECT_EQ(module_->ClientCount(), 0u);
  EXPECT_TRUE(own->PollingFlag()) << "the last registered client died";
  EXPECT_FALSE(objects[0].expired()) << "the call still runs in it";
  EXPECT_TRUE(FakeCalls(kCloseCode).empty());

  std::ofstream(release).put('1');
  EXPECT_TRUE(Eventually([&] { return objects[0].expired(); })) << "it ends once the call returned";
  // Its end (on the thread that let the last reference go) unlocks and closes; it may still run.
  ASSERT_TRUE(WaitForFakeCalls(kCloseCode, 1));
  const std::vector<std::string> sequence = FakeCallSequence();
  ASSERT_GE(sequence.size(), 2u);
  EXPECT_EQ(sequence[sequence.size() - 2], "0x80000002 -") << "unlocked";
  EXPECT_EQ(sequence.back(), "0x80000005 -") << "and closed";
  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
  // The killed client's connection lets its coclass go on a server thread of its own; the module
  // (which the coclass unlocks as it goes) must outlive that.
  EXPECT_TRUE(Eventually([&] { return module_->ComLock().LockCount() == 0; }));
}

}  // namespace
}  // namespace rzd::scanhost::test
