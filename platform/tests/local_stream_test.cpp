// The modes of the sockets the system binds, and receives on a local stream: whole messages, the
// receive time-out, the end of the stream, and signals that come while a receive waits.
#include "platform/local_socket.h"
#include "platform/usb_sim_protocol.h"
#include "testsupport/file_modes.h"
#include "testsupport/signal_counter.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A connected pair of streams through a listener in the test's root.
class LocalStreamTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    rzd::LocalListener listener;
    ASSERT_EQ(rzd::LocalListener::Listen(RootPath() / "sockets" / "pair", &listener), ERROR_SUCCESS);
    ASSERT_EQ(rzd::LocalStream::Connect(listener.Path(), &near_), ERROR_SUCCESS);
    ASSERT_EQ(listener.Accept(&far_), ERROR_SUCCESS);
  }

  // Sends `text` from the far end after `delay`, on a thread joined by the test.
  void SendLater(std::chrono::milliseconds delay, const char* text) {
    sender_ = std::thread([this, delay, text] {
      std::this_thread::sleep_for(delay);
      far_.Send(text, std::strlen(text));
    });
  }
  void TearDown() override {
    if (sender_.joinable()) sender_.join();
  }

  rzd::LocalStream near_;
  rzd::LocalStream far_;
  std::thread sender_;
};

// Every socket the system binds comes through one place: under a common umask the socket is 0600
// and its folder 0700 (a folder an earlier build left open is narrowed), whether a local server's
// or the service's control socket (LocalListener) or the simulated unit's (usbsim); and the user
// still connects.
TEST(LocalSocketModes, EverySocketTheSystemBindsIsTheUsersAloneInAPrivateFolder) {
  rzd::test::ScopedRoot root;
  const rzd::test::ScopedUmask commonMask(022);
  const struct {
    const char* label;
    // Listens at the path and connects to it; whether both went well.
    std::function<bool(const std::filesystem::path&)> listen;
  } listeners[] = {
      {"local listener",
       [](const std::filesystem::path& path) {
         rzd::LocalListener listener;
         rzd::LocalStream stream;
         return rzd::LocalListener::Listen(path, &listener) == ERROR_SUCCESS &&
                rzd::LocalStream::Connect(path, &stream) == ERROR_SUCCESS;
       }},
      {"simulated unit",
       [](const std::filesystem::path& path) {
         const int fd = rzd::usbsim::ListenSocket(path.c_str());
         if (fd < 0) return false;
         const int client = rzd::usbsim::ConnectSocket(path.c_str());
         if (client >= 0) close(client);
         close(fd);
         return client >= 0;
       }},
  };
  int n = 0;
  for (const auto& c : listeners) {
    SCOPED_TRACE(c.label);
    const std::filesystem::path fresh = root.Path() / ("fresh-" + std::to_string(n)) / "socket";
    const std::filesystem::path wide = root.Path() / ("wide-" + std::to_string(n++));
    ASSERT_TRUE(std::filesystem::create_directory(wide));
    ASSERT_EQ(chmod(wide.c_str(), 0755), 0);
    for (const std::filesystem::path& path : {fresh, wide / "socket"}) {
      ASSERT_TRUE(c.listen(path)) << path;
      EXPECT_EQ(rzd::test::ModeOf(path), 0600u) << path;
      EXPECT_EQ(rzd::test::ModeOf(path.parent_path()), 0700u) << path;
    }
  }
}

TEST_F(LocalStreamTest, AWholeMessageComesInPiecesAndIsReceivedWhole) {
  near_.SetReceiveTimeout(5000);
  ASSERT_EQ(far_.Send("abcd", 4), ERROR_SUCCESS);
  SendLater(50ms, "efgh");
  char got[8] = {};
  ASSERT_EQ(near_.Receive(got, sizeof got), ERROR_SUCCESS);
  EXPECT_EQ(std::memcmp(got, "abcdefgh", 8), 0);
}

// A silent peer: the receive gives up after the time-out, not before; one that sent part of
// the message and fell silent alike. The stream still carries what comes later.
TEST_F(LocalStreamTest, TheReceiveTimeOutEndsAWaitForBytesThatDoNotCome) {
  struct Case {
    const char* sentFirst;
  };
  for (const Case& c : {Case{""}, Case{"ab"}}) {
    SCOPED_TRACE(std::string("sent first: \"") + c.sentFirst + "\"");
    if (*c.sentFirst != '\0') {
      ASSERT_EQ(far_.Send(c.sentFirst, std::strlen(c.sentFirst)), ERROR_SUCCESS);
    }
    near_.SetReceiveTimeout(150);
    char got[4] = {};
    const auto start = Clock::now();
    EXPECT_EQ(near_.Receive(got, sizeof got), static_cast<uint32_t>(WAIT_TIMEOUT));
    EXPECT_GE(Clock::now() - start, 150ms);
  }
  ASSERT_EQ(far_.Send("wxyz", 4), ERROR_SUCCESS);
  char got[4] = {};
  ASSERT_EQ(near_.Receive(got, sizeof got), ERROR_SUCCESS);
  EXPECT_EQ(std::memcmp(got, "wxyz", 4), 0);
}

TEST_F(LocalStreamTest, BytesWithinTheTimeOutAreReceivedAndTimeOutZeroWaitsForever) {
  near_.SetReceiveTimeout(5000);
  SendLater(100ms, "late");
  char got[4] = {};
  ASSERT_EQ(near_.Receive(got, sizeof got), ERROR_SUCCESS);
  EXPECT_EQ(std::memcmp(got, "late", 4), 0);
  sender_.join();

  near_.SetReceiveTimeout(100);
  near_.SetReceiveTimeout(0);  // never gives up again
  SendLater(300ms, "slow");
  ASSERT_EQ(near_.Receive(got, sizeof got), ERROR_SUCCESS);
  EXPECT_EQ(std::memcmp(got, "slow", 4), 0);
}

TEST_F(LocalStreamTest, ThePeerClosingOrAShutdownEndsAWaitingReceive) {
  {
    SCOPED_TRACE("peer closes part-way");
    ASSERT_EQ(far_.Send("ab", 2), ERROR_SUCCESS);
    far_.Close();
    char got[4] = {};
    EXPECT_EQ(near_.Receive(got, sizeof got), static_cast<uint32_t>(ERROR_HANDLE_EOF));
  }
  SetUp();
  {
    SCOPED_TRACE("shutdown from another thread");
    std::thread stopper([this] {
      std::this_thread::sleep_for(100ms);
      near_.Shutdown();
    });
    char got[4] = {};
    EXPECT_EQ(near_.Receive(got, sizeof got), static_cast<uint32_t>(ERROR_HANDLE_EOF));
    stopper.join();
  }
}

// A signal handled without restarting system calls interrupts the wait; the receive goes on and
// gets its bytes.
TEST_F(LocalStreamTest, ASignalWhileWaitingDoesNotEndTheReceive) {
  rzd::test::SignalCounter signals;
  ASSERT_TRUE(signals.Installed());
  near_.SetReceiveTimeout(5000);
  const pthread_t receiver = pthread_self();
  sender_ = std::thread([this, receiver] {
    std::this_thread::sleep_for(100ms);
    pthread_kill(receiver, SIGUSR1);
    std::this_thread::sleep_for(100ms);
    far_.Send("sig!", 4);
  });
  char got[4] = {};
  const uint32_t result = near_.Receive(got, sizeof got);
  sender_.join();
  ASSERT_EQ(result, ERROR_SUCCESS);
  EXPECT_EQ(std::memcmp(got, "sig!", 4), 0);
  EXPECT_EQ(signals.Signals(), 1);
}

}  // namespace
