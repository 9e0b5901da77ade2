// Local servers: class sockets in the private folder, one rightful server per class, start on
// demand and stale sockets, the final release at a connection's close and at the server's end,
// session monikers, and the refusal of another user.
#include "platform/com.h"
#include "platform/com_object.h"
#include "platform/com_remote.h"
#include "platform/local_socket.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/session.h"
#include "platform/text.h"
#include "testsupport/eventually.h"
#include "testsupport/file_modes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using rzd::ComPtr;
namespace fs = std::filesystem;

// {8D2E5A10-4C3B-4F6E-9A1D-3B5C7E9F1A20}
constexpr CLSID kServedClass{0x8D2E5A10, 0x4C3B, 0x4F6E, {0x9A, 0x1D, 0x3B, 0x5C, 0x7E, 0x9F, 0x1A, 0x20}};

struct IPlainLocal : IUnknown {};

// Objects served by this process: how many live, which thread made them, who asked.
std::atomic<int> g_live{0};
std::atomic<uint32_t> g_creatorThread{0};
std::atomic<uint32_t> g_callerPid{0};

class Counted final : public rzd::ComObject<IPlainLocal> {
 public:
  Counted() {
    g_live.fetch_add(1);
    g_creatorThread.store(rzd::CurrentThreadId());
    rzd::CallerIdentity caller;
    if (rzd::GetCallerIdentity(&caller)) g_callerPid.store(caller.processId);
  }
  ~Counted() override { g_live.fetch_sub(1); }

 protected:
  void* FindInterface(const IID&) override { return nullptr; }
};

HRESULT CreateCounted(IUnknown* outer, const IID& iid, void** object) {
  return rzd::CreateComObject<Counted>(outer, iid, object);
}

fs::path SocketOf(const CLSID& clsid, uint32_t session) {
  return rzd::SystemRoot() / "com" / (rzd::FormatGuidA(clsid) + "." + std::to_string(session));
}

bool IsSocket(const fs::path& path) {
  struct stat info{};
  return lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// Lines of the child servers' log.
std::vector<std::string> ServerLog() {
  std::vector<std::string> lines;
  std::ifstream in(rzd::SystemRoot() / "com-server.log");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The pid and session of each "start" line.
std::vector<std::pair<uint32_t, uint32_t>> ServerStarts() {
  std::vector<std::pair<uint32_t, uint32_t>> starts;
  for (const std::string& line : ServerLog()) {
    std::istringstream words(line);
    std::string what;
    uint32_t pid = 0;
    uint32_t session = 0;
    if (words >> what >> pid >> session && what == "start") starts.emplace_back(pid, session);
  }
  return starts;
}

void RegisterLocalServer(const CLSID& clsid, const std::string& program, const std::string& arguments) {
  rzd::RegKey key;
  ASSERT_EQ(rzd::RegKey::Create(rzd::Hive::LocalMachine,
                                u"SOFTWARE\\Classes\\CLSID\\" + rzd::FormatGuid(clsid) + u"\\LocalServer32", &key),
            ERROR_SUCCESS);
  ASSERT_EQ(key.SetString(u"", rzd::FromUtf8("\"" + program + "\" " + arguments)), ERROR_SUCCESS);
}

void RegisterChildServer(const CLSID& clsid) {
  RegisterLocalServer(clsid, (rzd::test::BinaryDir() / "com_server_child").string(), rzd::FormatGuidA(clsid));
}

class LocalServerTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override { ASSERT_TRUE(com_.Ok()); }
  void TearDown() override {
    for (const auto& [pid, session] : ServerStarts()) rzd::KillProcess(pid);
    for (DWORD cookie : cookies_) CoRevokeClassObject(cookie);
  }

  HRESULT Serve(DWORD flags = REGCLS_MULTIPLEUSE) {
    ComPtr<IUnknown> factory;
    rzd::CreateComObject<rzd::ClassFactory>(nullptr, IID_IUnknown, factory.OutVoid(), &CreateCounted, nullptr);
    DWORD cookie = 0;
    HRESULT hr = CoRegisterClassObject(kServedClass, factory.Get(), CLSCTX_LOCAL_SERVER, flags, &cookie);
    if (SUCCEEDED(hr)) cookies_.push_back(cookie);
    return hr;
  }

  rzd::ComInit com_{COINIT_MULTITHREADED};
  std::vector<DWORD> cookies_;
};

TEST_F(LocalServerTest, AVisibleRegistrationListensOnAPrivateSocketUntilRevoked) {
  const fs::path socket = SocketOf(kServedClass, rzd::CurrentSessionId());
  ASSERT_EQ(Serve(REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED), S_OK);
  EXPECT_FALSE(fs::exists(socket)) << "a suspended class is not served";
  ASSERT_EQ(CoResumeClassObjects(), S_OK);
  ASSERT_TRUE(IsSocket(socket));
  EXPECT_EQ(rzd::test::ModeOf(socket), 0600u);
  EXPECT_EQ(rzd::test::ModeOf(socket.parent_path()), 0700u);

  ASSERT_EQ(CoRevokeClassObject(cookies_.back()), S_OK);
  cookies_.clear();
  EXPECT_FALSE(fs::exists(socket));
}

TEST_F(LocalServerTest, EachConnectionIsOneObjectAndItsCloseIsTheFinalRelease) {
  ASSERT_EQ(Serve(), S_OK);
  ComPtr<IUnknown> first;
  ComPtr<IUnknown> second;
  ASSERT_EQ(rzd::ConnectToRunningServer(kServedClass, rzd::CurrentSessionId(), IID_IUnknown, first.OutVoid()), S_OK);
  ASSERT_EQ(rzd::ConnectToRunningServer(kServedClass, rzd::CurrentSessionId(), IID_IUnknown, second.OutVoid()), S_OK);
  EXPECT_EQ(g_live.load(), 2);
  EXPECT_NE(g_creatorThread.load(), rzd::CurrentThreadId()) << "made on a server worker";
  EXPECT_EQ(g_callerPid.load(), rzd::CurrentProcessId()) << "the creation knows its caller";

  // An interface this process has no proxy for is refused at once.
  ComPtr<IUnknown> other;
  EXPECT_EQ(first->QueryInterface(IID_IClassFactory, other.OutVoid()), E_NOINTERFACE);

  first.Reset();
  EXPECT_TRUE(rzd::test::Eventually([] { return g_live.load() == 1; }, std::chrono::seconds(20)));
  second.Reset();
  EXPECT_TRUE(rzd::test::Eventually([] { return g_live.load() == 0; }, std::chrono::seconds(20)));
}

TEST_F(LocalServerTest, NoServerListeningAnswersServerUnavailable) {
  ComPtr<IUnknown> object;
  EXPECT_EQ(rzd::ConnectToRunningServer(kServedClass, 1, IID_IUnknown, object.OutVoid()), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(CoCreateInstance(kServedClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.OutVoid()),
            REGDB_E_CLASSNOTREG);
}

TEST_F(LocalServerTest, OneLiveServerPerClassAndAStaleSocketIsReplaced) {
  RegisterChildServer(kServedClass);
  // A socket file left behind by a server that has gone.
  const fs::path socket = SocketOf(kServedClass, rzd::CurrentSessionId());
  {
    rzd::LocalListener stale;
    ASSERT_EQ(rzd::LocalListener::Listen(socket, &stale), ERROR_SUCCESS);
  }
  ASSERT_TRUE(IsSocket(socket));

  ComPtr<IUnknown> object;
  ASSERT_EQ(CoCreateInstance(kServedClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.OutVoid()), S_OK);
  ASSERT_EQ(ServerStarts().size(), 1u);
  const uint32_t child = ServerStarts().front().first;

  EXPECT_EQ(Serve(), CO_E_OBJISREG) << "the child serves the class";
  rzd::KillProcess(child);
  ASSERT_TRUE(rzd::test::Eventually([child] { return !rzd::IsProcessAlive(child); }, std::chrono::seconds(20)));
  EXPECT_EQ(Serve(), S_OK) << "a server that has gone leaves the class free";
}

// A server that ends its local server before its own end (as the scanner service does) has
// released what its connections held when that returns, though the client still holds its
// object; its class is no longer served, nor served again, and its exit is its own.
TEST_F(LocalServerTest, EndingTheLocalServerReleasesWhatItsConnectionsHeldBeforeItReturns) {
  RegisterChildServer(kServedClass);
  ComPtr<IUnknown> held;
  ASSERT_EQ(CoCreateInstance(kServedClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, held.OutVoid()), S_OK);
  ASSERT_EQ(ServerStarts().size(), 1u);
  const uint32_t child = ServerStarts().front().first;
  std::ofstream(rzd::SystemRoot() / "com-server.end").put('1');
  ASSERT_TRUE(rzd::test::Eventually([child] { return !rzd::IsProcessAlive(child); }, std::chrono::seconds(20)));
  const std::string pid = std::to_string(child);
  EXPECT_EQ(ServerLog(), (std::vector<std::string>{"start " + pid + " " + std::to_string(rzd::CurrentSessionId()),
                                                   "released " + pid, "ended " + pid + " 1",
                                                   "again " + pid + " 80080008"}));
  EXPECT_FALSE(fs::exists(SocketOf(kServedClass, rzd::CurrentSessionId())));
}

TEST_F(LocalServerTest, AServerThatCannotStartAnswersExecFailure) {
  RegisterLocalServer(kServedClass, "/bin/true", "");
  ComPtr<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(kServedClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.OutVoid()),
            CO_E_SERVER_EXEC_FAILURE);
  RegisterLocalServer(kServedClass, (rzd::SystemRoot() / "no-such-program").string(), "");
  EXPECT_EQ(CoCreateInstance(kServedClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.OutVoid()),
            CO_E_SERVER_EXEC_FAILURE);
}

TEST_F(LocalServerTest, SessionMonikersStartTheServerInThatSession) {
  RegisterChildServer(kServedClass);
  rzd::SetActiveConsoleSession(2);
  const std::string guid = rzd::FormatGuidA(kServedClass);
  const std::u16string bare = rzd::FromUtf8(guid.substr(1, guid.size() - 2));

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetObject((u"Session:Console!clsid:" + bare).c_str(), nullptr, IID_IClassFactory, factory.OutVoid()), S_OK);
  ComPtr<IUnknown> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.OutVoid()), S_OK);
  ASSERT_EQ(ServerStarts().size(), 1u);
  EXPECT_EQ(ServerStarts()[0].second, 2u);
  EXPECT_EQ(rzd::ProcessSessionId(ServerStarts()[0].first), 2u);
  EXPECT_TRUE(IsSocket(SocketOf(kServedClass, 2)));

  ASSERT_EQ(CoGetObject((u"session:3!CLSID:" + bare).c_str(), nullptr, IID_IClassFactory, factory.OutVoid()), S_OK);
  ASSERT_EQ(ServerStarts().size(), 2u);
  EXPECT_EQ(ServerStarts()[1].second, 3u);

  for (const char16_t* bad : {u"Session:x!clsid:", u"Session:Console", u"Session:1!progid:x", u"bogus"}) {
    std::u16string name = bad;
    if (name.back() == u':') name += bare;
    EXPECT_EQ(CoGetObject(name.c_str(), nullptr, IID_IClassFactory, factory.OutVoid()), MK_E_SYNTAX)
        << rzd::ToUtf8(name);
  }
}

TEST_F(LocalServerTest, AnotherUsersConnectionIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "changing the user needs root";
  ASSERT_EQ(Serve(), S_OK);
  const fs::path socket = SocketOf(kServedClass, rzd::CurrentSessionId());
  auto tryAsNobody = [&] {
    auto child = rzd::ChildProcess::Start(rzd::test::BinaryDir() / "com_other_user_child",
                                          {rzd::FormatGuidA(kServedClass), std::to_string(rzd::CurrentSessionId())});
    EXPECT_TRUE(child);
    return child ? child->Wait(30000).value_or(-1) : -1;
  };
  EXPECT_EQ(tryAsNobody(), 10) << "the private folder keeps other users out";

  // Even with the folder and socket opened to everyone, the server refuses the peer.
  ASSERT_EQ(chmod(RootPath().c_str(), 0755), 0);
  ASSERT_EQ(chmod(socket.parent_path().c_str(), 0777), 0);
  ASSERT_EQ(chmod(socket.c_str(), 0666), 0);
  EXPECT_EQ(tryAsNobody(), 20);
  EXPECT_EQ(g_live.load(), 0) << "no object was made for it";
}

}  // namespace
