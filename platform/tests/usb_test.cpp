#include "platform/usb.h"

#include "platform/devices.h"
#include "platform/usb_sim_protocol.h"
#include "testsupport/signal_counter.h"
#include "testsupport/temp_root.h"
#include "usb_scripted_unit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace rzd {
namespace {

using test::ScriptedUnit;

constexpr uint32_t kLong = 20000;  // a time-out that only a fault reaches

class UsbTest : public test::TempRoot {
 protected:
  std::shared_ptr<UsbDevice> OpenUnit(const ScriptedUnit& unit) {
    uint32_t error = 1;
    std::shared_ptr<UsbDevice> device = UsbDevice::Open(unit.Path(), &error);
    EXPECT_EQ(error, ERROR_SUCCESS);
    return device;
  }
};

TEST_F(UsbTest, WriteVendorRequestAndReadCompleteWithTheirCounts) {
  ScriptedUnit unit;
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);

  const uint8_t data[5] = {1, 2, 3, 4, 5};
  size_t written = 0;
  EXPECT_EQ(device->Write(data, sizeof data, kLong, &written), ERROR_SUCCESS);
  EXPECT_EQ(written, 5u);

  const uint8_t cdb[12] = {0x12, 0, 0, 0, 0x60, 0, 0, 0, 0, 0, 0, 0xAB};
  UsbVendorRequest vendor;
  vendor.value = 0x1234;
  vendor.index = 0x0002;
  vendor.data = cdb;
  EXPECT_EQ(device->VendorRequest(vendor, kLong), ERROR_SUCCESS);

  unit.QueueRead({9, 8, 7, 6, 5, 4, 3, 2, 1, 0});
  std::array<uint8_t, 4> small{};
  size_t got = 0;
  EXPECT_EQ(device->Read(small.data(), small.size(), kLong, &got), ERROR_SUCCESS);
  EXPECT_EQ(got, 4u);  // never more than asked
  EXPECT_EQ(small, (std::array<uint8_t, 4>{9, 8, 7, 6}));
  std::array<uint8_t, 64> big{};
  EXPECT_EQ(device->Read(big.data(), big.size(), kLong, &got), ERROR_SUCCESS);
  EXPECT_EQ(got, 6u);
  EXPECT_EQ(big[0], 5);

  auto log = unit.LogCopy();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "write 0102030405");
  EXPECT_EQ(log[1], "vendor 40 04 1234 0002 12000000600000000000" "00ab");
}

TEST_F(UsbTest, ReadsAnsweredInTheDataWindowArriveWholeWithOthersInFlight) {
  ScriptedUnit unit;
  unit.SetWindowAnswers(true);
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);
  std::vector<uint8_t> data(30000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + i / 256);
  unit.QueueRead(data);
  // Three reads in flight at once, each with a region of its own; the unit answers them in turn.
  std::vector<std::vector<uint8_t>> buffers = {std::vector<uint8_t>(10000), std::vector<uint8_t>(12000),
                                               std::vector<uint8_t>(20000)};
  std::vector<UsbRequest> reads;
  for (auto& b : buffers) reads.push_back(device->StartRead(b.data(), b.size()));
  size_t at = 0;
  for (size_t i = 0; i < reads.size(); ++i) {
    ASSERT_EQ(reads[i].Wait(kLong), WAIT_OBJECT_0);
    ASSERT_EQ(reads[i].Error(), ERROR_SUCCESS);
    const size_t got = reads[i].Transferred();
    EXPECT_EQ(got, std::min(buffers[i].size(), data.size() - at));
    EXPECT_TRUE(std::equal(buffers[i].begin(), buffers[i].begin() + static_cast<std::ptrdiff_t>(got),
                           data.begin() + static_cast<std::ptrdiff_t>(at)))
        << "read " << i;
    at += got;
  }
  EXPECT_EQ(at, data.size());
  EXPECT_EQ(unit.WindowAnswers(), 3u);
}

TEST_F(UsbTest, AnAnswerClaimingMoreThanItsWindowRegionFailsTheReadAndEndsTheConnection) {
  ScriptedUnit unit;
  unit.SetWindowAnswers(true, true);
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);
  unit.QueueRead(std::vector<uint8_t>(100, 7));
  std::array<uint8_t, 64> buffer{};
  size_t got = 99;
  EXPECT_EQ(device->Read(buffer.data(), buffer.size(), kLong, &got), ERROR_GEN_FAILURE);
  EXPECT_EQ(got, 0u);
  // A unit that breaks the protocol is a unit gone.
  EXPECT_EQ(device->Read(buffer.data(), buffer.size(), kLong, &got), ERROR_DEVICE_NOT_CONNECTED);
}

TEST_F(UsbTest, AWriteLargerThanTheSocketTakesAtOnceArrivesWholeAndInOrder) {
  ScriptedUnit unit;
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);
  std::vector<uint8_t> big(8u << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + i / 4096);
  // The start returns before the unit has read it all; the rest follows from the sending thread,
  // and a request started meanwhile goes after it.
  UsbRequest write = device->StartWrite(big.data(), big.size());
  const uint8_t small[3] = {1, 2, 3};
  UsbRequest after = device->StartWrite(small, sizeof small);
  ASSERT_EQ(write.Wait(kLong), WAIT_OBJECT_0);
  ASSERT_EQ(after.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(write.Error(), ERROR_SUCCESS);
  EXPECT_EQ(write.Transferred(), big.size());
  const auto log = unit.LogCopy();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "write " + std::to_string(big.size()) + " bytes, sum " + std::to_string(ScriptedUnit::Sum(big)));
  EXPECT_EQ(log[1], "write 010203");
}

TEST_F(UsbTest, PendingReadCompletesWhenDataComesAndRunsItsCallbackOnce) {
  ScriptedUnit unit;
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);
  std::atomic<int> calls{0};
  std::atomic<uint32_t> seenError{99};
  std::atomic<size_t> seenCount{0};
  std::array<uint8_t, 8> buffer{};
  UsbRequest read = device->StartRead(buffer.data(), buffer.size(), [&](uint32_t error, size_t count) {
    ++calls;
    seenError = error;
    seenCount = count;
  });
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.ParkedReads() == 1; }));
  EXPECT_EQ(read.Wait(0), WAIT_TIMEOUT);
  EXPECT_FALSE(read.IsComplete());
  EXPECT_EQ(read.Error(), ERROR_IO_INCOMPLETE);

  unit.QueueRead({0xA1, 0xA2, 0xA3});
  ASSERT_EQ(read.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(read.Error(), ERROR_SUCCESS);
  EXPECT_EQ(read.Transferred(), 3u);
  EXPECT_EQ(buffer[2], 0xA3);
  // The callback has run before Wait returned, once.
  EXPECT_EQ(calls.load(), 1);
  EXPECT_EQ(seenError.load(), ERROR_SUCCESS);
  EXPECT_EQ(seenCount.load(), 3u);
  read.Cancel();  // cancelling a complete request changes nothing
  EXPECT_EQ(read.Error(), ERROR_SUCCESS);
  EXPECT_EQ(calls.load(), 1);
}

TEST_F(UsbTest, TimedOutReadIsCancelledAndItsBufferNeverWrittenAfterwards) {
  ScriptedUnit unit;
  unit.SetIgnoreCancels(true);  // the unit answers the read even after the cancel
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);
  std::array<uint8_t, 16> buffer;
  buffer.fill(0xEE);
  size_t got = 99;
  EXPECT_EQ(device->Read(buffer.data(), buffer.size(), 100, &got), WAIT_TIMEOUT);
  EXPECT_EQ(got, 0u);
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.Logged("cancel"); }));

  unit.AnswerAllParked({1, 2, 3, 4});
  // The late answer came before the answer to this write, so it has been dealt with.
  const uint8_t byte = 0;
  EXPECT_EQ(device->Write(&byte, 1, kLong), ERROR_SUCCESS);
  for (uint8_t b : buffer) EXPECT_EQ(b, 0xEE);
}

TEST_F(UsbTest, CancelledEventWaitEndsWithAbortedAndTheNextEventIsNotLost) {
  ScriptedUnit unit;
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);
  std::array<uint8_t, 16> report{};
  UsbRequest wait = device->StartWaitDeviceEvent(report.data(), report.size());
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.EventWaits() == 1; }));
  EXPECT_EQ(wait.Wait(50), WAIT_TIMEOUT);  // pending until an event or a cancel
  wait.Cancel();
  EXPECT_TRUE(wait.IsComplete());
  EXPECT_EQ(wait.Error(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(wait.Transferred(), 0u);
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.EventWaits() == 0; }));  // the unit dropped it

  {
    // A request object that goes away while pending cancels itself.
    UsbRequest dropped = device->StartWaitDeviceEvent(report.data(), report.size());
    ASSERT_TRUE(unit.WaitUntil([&] { return unit.EventWaits() == 1; }));
  }
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.EventWaits() == 0; }));

  std::vector<uint8_t> press = {0x82, 3, 5, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  UsbRequest next = device->StartWaitDeviceEvent(report.data(), report.size());
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.EventWaits() == 1; }));
  ASSERT_TRUE(unit.FireEvent(press));
  ASSERT_EQ(next.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(next.Error(), ERROR_SUCCESS);
  EXPECT_EQ(next.Transferred(), 16u);
  EXPECT_EQ(std::vector<uint8_t>(report.begin(), report.end()), press);
}

TEST_F(UsbTest, StalledPipesAnswerGenFailure) {
  ScriptedUnit unit;
  unit.SetStall(true);
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);
  uint8_t buffer[4];
  EXPECT_EQ(device->Read(buffer, sizeof buffer, kLong), ERROR_GEN_FAILURE);
  EXPECT_EQ(device->Write(buffer, sizeof buffer, kLong), ERROR_GEN_FAILURE);
}

TEST_F(UsbTest, UnplugDuringATransferAnswersDeviceNotConnected) {
  ScriptedUnit unit;
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);
  uint8_t buffer[4];
  UsbRequest read = device->StartRead(buffer, sizeof buffer);
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.ParkedReads() == 1; }));
  unit.Unplug();
  ASSERT_EQ(read.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(read.Error(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(device->Write(buffer, sizeof buffer, kLong), ERROR_DEVICE_NOT_CONNECTED);
  uint32_t error = 0;
  EXPECT_FALSE(UsbDevice::Open(unit.Path(), &error));
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);  // its entry is gone
}

TEST_F(UsbTest, PipeResetAndPipeCancelEndWaitingTransfersOfThatPipe) {
  ScriptedUnit unit;
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);
  uint8_t buffer[4];
  UsbRequest read = device->StartRead(buffer, sizeof buffer);
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.ParkedReads() == 1; }));
  EXPECT_EQ(device->ResetPipe(WRITE_DATA_PIPE, kLong), ERROR_SUCCESS);
  EXPECT_EQ(read.Wait(0), WAIT_TIMEOUT);  // another pipe: still waiting
  EXPECT_EQ(device->ResetPipe(READ_DATA_PIPE, kLong), ERROR_SUCCESS);
  ASSERT_EQ(read.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(read.Error(), ERROR_OPERATION_ABORTED);
  EXPECT_TRUE(unit.WaitUntil([&] { return unit.Logged("reset 1") && unit.Logged("reset 2"); }));

  UsbRequest second = device->StartRead(buffer, sizeof buffer);
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.ParkedReads() == 1; }));
  EXPECT_EQ(device->CancelPipe(WRITE_DATA_PIPE), ERROR_SUCCESS);
  EXPECT_FALSE(second.IsComplete());
  EXPECT_EQ(device->CancelPipe(READ_DATA_PIPE), ERROR_SUCCESS);
  EXPECT_TRUE(second.IsComplete());
  EXPECT_EQ(second.Error(), ERROR_OPERATION_ABORTED);
  EXPECT_TRUE(unit.WaitUntil([&] { return unit.ParkedReads() == 0; }));
}

TEST_F(UsbTest, CloseOnAnotherThreadEndsATransferInProgress) {
  ScriptedUnit unit;
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);
  std::atomic<uint32_t> result{0};
  std::thread reader([device, &result] {
    std::array<uint8_t, 32> buffer{};
    result = device->Read(buffer.data(), buffer.size(), INFINITE);
  });
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.ParkedReads() == 1; }));
  std::weak_ptr<UsbDevice> weak = device;
  device->Close();
  device.reset();  // the reading thread's reference keeps the handle alive
  reader.join();
  EXPECT_EQ(result.load(), ERROR_OPERATION_ABORTED);
  EXPECT_TRUE(weak.expired());
  EXPECT_TRUE(unit.WaitUntil([&] { return unit.EndedConnections() == 1; }));
}

TEST_F(UsbTest, CallsAfterCloseFailWithInvalidHandle) {
  ScriptedUnit unit;
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);
  device->Close();
  device->Close();
  uint8_t buffer[4];
  EXPECT_EQ(device->Read(buffer, sizeof buffer, kLong), ERROR_INVALID_HANDLE);
  EXPECT_EQ(device->ResetPipe(READ_DATA_PIPE, kLong), ERROR_INVALID_HANDLE);
}

TEST_F(UsbTest, BadArgumentsAreRefusedWithoutReachingTheUnit) {
  ScriptedUnit unit;
  auto device = OpenUnit(unit);
  ASSERT_TRUE(device);
  uint8_t buffer[16];
  const uint8_t block[12] = {};
  UsbVendorRequest deviceToHost;
  deviceToHost.requestType = 0xC0;
  deviceToHost.data = block;
  struct Case {
    const char* what;
    uint32_t error;
  };
  const Case cases[] = {
      {"reset pipe 3", device->ResetPipe(3, kLong)},
      {"reset pipe 0", device->ResetPipe(0, kLong)},
      {"cancel pipe 0", device->CancelPipe(0)},
      {"device-to-host vendor request", device->VendorRequest(deviceToHost, kLong)},
      {"read above the bound", device->Read(buffer, usbsim::kMaxTransfer + 1, kLong)},
      {"write above the bound", device->Write(buffer, usbsim::kMaxTransfer + 1, kLong)},
      {"event wait without buffer", device->WaitDeviceEvent(nullptr, 0, kLong)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.error, ERROR_INVALID_PARAMETER) << c.what;
  EXPECT_TRUE(unit.LogCopy().empty());
}

TEST_F(UsbTest, OpenFailsForMissingUnknownAndSilentUnits) {
  ScriptedUnit unit;
  uint32_t error = 0;
  EXPECT_FALSE(UsbDevice::Open(u"\\\\?\\usb#vid_2e5a&pid_0148#none#{6bdd1fc6-810f-11d0-bec7-08002be2092f}", &error));
  EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);

  struct Case {
    const char* what;
    std::string serial;
    std::string backend;
    std::string address;
    uint32_t error;
  };
  const Case cases[] = {
      {"backend this build lacks", "OTHER", "bluetooth", "1:2", ERROR_NOT_SUPPORTED},
      {"a real unit no longer on its port", "GONE", "libusb", "/sys/devices/none/9-9", ERROR_DEVICE_NOT_CONNECTED},
      {"no unit behind the socket", "DEAD", "sim", (RootPath() / "dead.usb").string(), ERROR_DEVICE_NOT_CONNECTED},
      {"a unit that serves another path", "WRONG", "sim", unit.Entry().address, ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    UsbImageDevice other;
    other.instance = 5;
    other.serialNumber = std::u16string(c.serial.begin(), c.serial.end());
    other.backend = c.backend;
    other.address = c.address;
    DeviceEntry entry = MakeUsbImageDevice(other);
    ASSERT_EQ(AddDevice(entry), ERROR_SUCCESS);
    error = 0;
    EXPECT_FALSE(UsbDevice::Open(entry.interfacePath, &error)) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
  }
}

TEST_F(UsbTest, HandlesOnOneUnitAreIndependentConnections) {
  ScriptedUnit unit;
  auto first = OpenUnit(unit);
  auto second = OpenUnit(unit);
  ASSERT_TRUE(first && second);
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.Connections() == 2; }));
  std::array<uint8_t, 16> report{};
  UsbRequest wait = first->StartWaitDeviceEvent(report.data(), report.size());
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.EventWaits() == 1; }));

  const uint8_t byte = 0x42;
  EXPECT_EQ(second->Write(&byte, 1, kLong), ERROR_SUCCESS);
  second->Close();
  ASSERT_TRUE(unit.WaitUntil([&] { return unit.EndedConnections() == 1; }));
  EXPECT_EQ(wait.Wait(0), WAIT_TIMEOUT);  // the other handle's close did not touch it
  ASSERT_TRUE(unit.FireEvent(std::vector<uint8_t>(16, 0x11)));
  ASSERT_EQ(wait.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(wait.Error(), ERROR_SUCCESS);
  EXPECT_EQ(report[15], 0x11);
}

}  // namespace
}  // namespace rzd

// The frame reader keeps the socket's receive time-out (the unit's greeting relies on it), also
// when it looks for bytes a while before it waits; a frame that comes while it waits is read
// whole.
// Both ends of a stream socket pair, closed with it.
struct SocketPair {
  int fds[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0); }
  ~SocketPair() {
    for (int fd : fds) {
      if (fd >= 0) close(fd);
    }
  }
};

TEST(UsbFrameReaderTest, TheSocketsReceiveTimeOutEndsAWaitForAFrame) {
  for (const auto spin : {std::chrono::microseconds(0), std::chrono::microseconds(50)}) {
    SCOPED_TRACE("spin " + std::to_string(spin.count()) + " us");
    SocketPair pair;
    const int* fds = pair.fds;
    timeval limit{0, 150000};
    ASSERT_EQ(setsockopt(fds[0], SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit), 0);
    rzd::usbsim::FrameReader reader(fds[0]);
    reader.SetSpin(spin);
    rzd::usbsim::FrameHeader header;
    std::vector<uint8_t> payload;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(reader.Next(header, payload));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));

    // A frame that comes while a reader waits, with a time-out far beyond its coming.
    limit = {30, 0};
    ASSERT_EQ(setsockopt(fds[0], SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit), 0);
    rzd::usbsim::FrameReader second(fds[0]);
    rzd::usbsim::FrameHeader sent;
    sent.id = 7;
    sent.op = rzd::usbsim::Op::BulkOut;
    const uint8_t data[3] = {1, 2, 3};
    std::thread sender([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      rzd::usbsim::SendFrame(fds[1], sent, data);
    });
    EXPECT_TRUE(second.Next(header, payload));
    sender.join();
    EXPECT_EQ(header.id, 7u);
    EXPECT_EQ(payload, std::vector<uint8_t>(data, data + 3));
  }
}

// A signal handled without restarting system calls interrupts the wait; the read goes on and
// gets the frame that comes after it.
TEST(UsbFrameReaderTest, ASignalWhileWaitingDoesNotEndTheRead) {
  rzd::test::SignalCounter signals;
  ASSERT_TRUE(signals.Installed());
  SocketPair pair;
  timeval limit{5, 0};
  ASSERT_EQ(setsockopt(pair.fds[0], SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit), 0);
  rzd::usbsim::FrameReader reader(pair.fds[0]);
  rzd::usbsim::FrameHeader sent;
  sent.id = 9;
  sent.op = rzd::usbsim::Op::BulkOut;
  const uint8_t data[2] = {4, 5};
  const pthread_t receiver = pthread_self();
  std::thread sender([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pthread_kill(receiver, SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    rzd::usbsim::SendFrame(pair.fds[1], sent, data);
  });
  rzd::usbsim::FrameHeader header;
  std::vector<uint8_t> payload;
  const bool read = reader.Next(header, payload);
  sender.join();
  ASSERT_TRUE(read);
  EXPECT_EQ(header.id, 9u);
  EXPECT_EQ(payload, std::vector<uint8_t>(data, data + 2));
  EXPECT_EQ(signals.Signals(), 1);
}
