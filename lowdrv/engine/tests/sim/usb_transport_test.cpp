// CDevice / CUSBDevice against the simulated unit's transport: real sockets, real framing, a
// scripted unit behind them.
#include "engine/unit_server.h"
#include "lowdrv/engine/model_ids.h"
#include "lowdrv/engine/reduzid_interface.h"
#include "lowdrv/engine/usb_device.h"
#include "platform/messages.h"
#include "platform/process.h"
#include "scripted_port.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace rzd::lowdrv {
namespace {

// Exposes the handle, to show when it is (not) replaced.
class InspectableUsbDevice : public CUSBDevice {
 public:
  using CUSBDevice::Handle;
};

class UsbTransportTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    server_ = std::make_unique<engine::UnitServer>(port_, engine::ModelUnitOptions(1, "SN0001", u"Unit"));
    ASSERT_EQ(server_->Start(), ERROR_SUCCESS);
    path_ = server_->Entry().interfacePath;
  }
  void TearDown() override { server_->Stop(); }

  void Open(CUSBDevice& device) {
    device.SetUniqueName(path_);
    ASSERT_TRUE(device.DeviceOpen());
  }

  test::ScriptedPort port_;
  std::unique_ptr<engine::UnitServer> server_;
  std::u16string path_;
};

TEST_F(UsbTransportTest, CompletedTransfersReturnTheirCounts) {
  CUSBDevice device;
  Open(device);
  const uint8_t out[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(device.DeviceWrite(out, sizeof out, false), 10u);
  port_.Queue({0xA1, 0xA2, 0xA3, 0xA4, 0xA5});
  uint8_t in[64] = {};
  EXPECT_EQ(device.DeviceRead(in, sizeof in, false), 5u);
  EXPECT_EQ(device.m_dwLastError, ERROR_SUCCESS);
  EXPECT_EQ(in[0], 0xA1);
  EXPECT_EQ(in[4], 0xA5);
  EXPECT_EQ(in[5], 0);
  ASSERT_EQ(port_.Writes().size(), 1u);
  EXPECT_EQ(port_.Writes()[0], std::vector<uint8_t>(out, out + 10));

  uint8_t block[12] = {0xE2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0};
  IO_BLOCK_EX request;
  request.uLength = sizeof block;
  request.pbyData = block;
  request.bRequest = 4;
  request.bmRequestType = 0x40;
  uint32_t returned = 0;
  EXPECT_TRUE(device.DeviceIoControl(IOCTL_SEND_USB_REQUEST, &request, sizeof request, block, sizeof block, &returned, false));
  ASSERT_EQ(port_.VendorBlocks().size(), 1u);
  EXPECT_EQ(port_.VendorBlocks()[0], std::vector<uint8_t>(block, block + 12));
}

TEST_F(UsbTransportTest, SlowAnswerCompletesWithinTheTimeOutWhileMessagesKeepFlowing) {
  CUSBDevice device;
  Open(device);
  EnsureMessageQueue();
  std::atomic<int> handled{0};
  SetThreadMessageHandler([&](const ThreadMessage& message) {
    if (message.id == WM_USER + 7) ++handled;
  });
  port_.Queue({1, 2, 3});
  port_.DelayReads(std::chrono::milliseconds(400));
  const uint32_t self = CurrentThreadId();
  std::thread poster([self] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    PostThreadMessage(self, WM_USER + 7);
  });
  uint8_t in[8] = {};
  const uint32_t n = device.DeviceRead(in, sizeof in, false);
  poster.join();
  SetThreadMessageHandler({});
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(in[2], 3);
  EXPECT_EQ(handled.load(), 1);  // handed out during the transfer, not after it
}

TEST_F(UsbTransportTest, TimeOutCancelsAndWaitsForTheRequest) {
  CUSBDevice device;
  Open(device);
  device.SetTimeout(200);
  auto buffer = std::make_unique<uint8_t[]>(16);
  std::fill(buffer.get(), buffer.get() + 16, 0xCC);
  EXPECT_EQ(device.DeviceRead(buffer.get(), 16, false), 0u);
  EXPECT_EQ(device.m_dwLastError, WAIT_TIMEOUT);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(buffer[i], 0xCC);
  buffer.reset();  // the timed-out request is complete: nothing may write here any more
  // Data that arrives now goes to the next request, not to the cancelled one.
  port_.Queue({9, 8, 7, 6});
  device.SetTimeout(10000);
  uint8_t in[16] = {};
  EXPECT_EQ(device.DeviceRead(in, sizeof in, false), 4u);
  EXPECT_EQ(in[0], 9);
  EXPECT_TRUE(device.IsOpen());
}

TEST_F(UsbTransportTest, ACloseOnAnotherThreadEndsARunningTransferAndLeavesTheDeviceReopenable) {
  InspectableUsbDevice device;
  Open(device);
  // Nothing answers and the time-out is far away: only the close can end the read.
  device.SetTimeout(INFINITE);
  auto buffer = std::make_unique<uint8_t[]>(16);
  std::fill(buffer.get(), buffer.get() + 16, 0xCC);
  std::atomic<uint32_t> read{1};
  std::thread reader([&] { read = device.DeviceRead(buffer.get(), 16, false); });
  // Closed from this thread while the read runs on the other one.
  while (port_.Reads() == 0) std::this_thread::yield();
  device.CloseDevice();
  reader.join();
  EXPECT_EQ(read.load(), 0u);
  EXPECT_EQ(device.m_dwLastError, ERROR_OPERATION_ABORTED);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(buffer[i], 0xCC);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(device.Handle(), nullptr);
  // The next open takes a new handle and transfers again.
  ASSERT_TRUE(device.DeviceOpen());
  device.SetTimeout(10000);
  port_.Queue({4, 5});
  uint8_t in[8] = {};
  EXPECT_EQ(device.DeviceRead(in, sizeof in, false), 2u);
}

TEST_F(UsbTransportTest, UnitThatCameBackIsReopenedOnceAndTheTransferRepeated) {
  InspectableUsbDevice device;
  Open(device);
  const std::shared_ptr<UsbDevice> before = device.Handle();  // held, so its address stays taken
  EXPECT_NE(server_->Control("unplug").rfind("ok", 0), std::string::npos);
  EXPECT_NE(server_->Control("replug").rfind("ok", 0), std::string::npos);
  port_.Queue({0x55, 0x66});
  uint8_t in[8] = {};
  EXPECT_EQ(device.DeviceRead(in, sizeof in, true), 2u);
  EXPECT_EQ(device.m_dwLastError, ERROR_SUCCESS);
  EXPECT_EQ(in[1], 0x66);
  EXPECT_TRUE(device.IsOpen());
  EXPECT_NE(device.Handle(), before);
}

TEST_F(UsbTransportTest, DisconnectionWithoutRetryIsReportedAsItIs) {
  CUSBDevice device;
  Open(device);
  server_->Control("unplug");
  server_->Control("replug");
  uint8_t in[8] = {};
  EXPECT_EQ(device.DeviceRead(in, sizeof in, false), 0u);
  EXPECT_EQ(device.m_dwLastError, ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_TRUE(device.IsOpen());  // no recovery was asked for
}

TEST_F(UsbTransportTest, UnitThatStaysAwayFailsAfterOneRecoveryAttempt) {
  CUSBDevice device;
  Open(device);
  server_->Control("unplug");
  uint8_t in[8] = {};
  EXPECT_EQ(device.DeviceRead(in, sizeof in, true), 0u);
  EXPECT_NE(device.m_dwLastError, ERROR_SUCCESS);
  EXPECT_FALSE(device.IsOpen());  // closed for the reopen, which failed
}

TEST_F(UsbTransportTest, StalledWriteResetsThePipeAndRepeatsOnce) {
  CUSBDevice device;
  Open(device);
  const uint8_t out[4] = {1, 2, 3, 4};

  port_.StallWrites(1);
  EXPECT_EQ(device.DeviceWrite(out, sizeof out, true), 4u);
  EXPECT_EQ(port_.Writes().size(), 2u);
  EXPECT_EQ(port_.WritePipeResets(), 1);
  EXPECT_EQ(port_.ReadPipeResets(), 0);

  port_.StallWrites(5);  // a pipe that stays stalled: one repeat only
  EXPECT_EQ(device.DeviceWrite(out, sizeof out, true), 0u);
  EXPECT_EQ(device.m_dwLastError, ERROR_GEN_FAILURE);
  EXPECT_EQ(port_.Writes().size(), 4u);
  EXPECT_EQ(port_.WritePipeResets(), 2);

  port_.StallWrites(1);  // without retry nothing is repeated
  EXPECT_EQ(device.DeviceWrite(out, sizeof out, false), 0u);
  EXPECT_EQ(device.m_dwLastError, ERROR_GEN_FAILURE);
  EXPECT_EQ(port_.Writes().size(), 5u);
  EXPECT_EQ(port_.WritePipeResets(), 2);
}

TEST_F(UsbTransportTest, StalledReadResetsTheReadPipeAndRepeatsOnce) {
  CUSBDevice device;
  Open(device);
  port_.Queue({0x31, 0x32});
  port_.StallReads(1);
  uint8_t in[8] = {};
  EXPECT_EQ(device.DeviceRead(in, sizeof in, true), 2u);
  EXPECT_EQ(device.m_dwLastError, ERROR_SUCCESS);
  EXPECT_EQ(in[1], 0x32);
  EXPECT_EQ(port_.Reads(), 2);
  EXPECT_EQ(port_.ReadPipeResets(), 1);
  EXPECT_EQ(port_.WritePipeResets(), 0);

  port_.Queue({0x33});
  port_.StallReads(5);  // a pipe that stays stalled: one repeat only
  EXPECT_EQ(device.DeviceRead(in, sizeof in, true), 0u);
  EXPECT_EQ(device.m_dwLastError, ERROR_GEN_FAILURE);
  EXPECT_EQ(port_.Reads(), 4);
  EXPECT_EQ(port_.ReadPipeResets(), 2);
  EXPECT_TRUE(device.IsOpen());
}

TEST_F(UsbTransportTest, OpenAndFlushDrainsStaleInput) {
  port_.Queue(std::vector<uint8_t>(2500, 0x77));
  CUSBDevice device;
  device.SetUniqueName(path_);
  EXPECT_TRUE(device.OpenAndFlush(true));
  EXPECT_TRUE(device.IsOpen());
  EXPECT_EQ(port_.Queued(), 0u);
  EXPECT_EQ(port_.WritePipeResets(), 2);
  EXPECT_EQ(port_.ReadPipeResets(), 2);
  EXPECT_EQ(device.m_ulTimeout, 10000u);
  // 1024 + 1024 + 452, then the read that found nothing.
  EXPECT_EQ(port_.Reads(), 4);
}

TEST_F(UsbTransportTest, OpenAndFlushWithoutInputEndsAtTheFirstShortTimeOut) {
  CUSBDevice device;
  device.SetUniqueName(path_);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(device.OpenAndFlush(true));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));  // not the 10 s time-out
  EXPECT_EQ(port_.Reads(), 1);
  // Without the flag it only opens.
  CUSBDevice plain;
  plain.SetUniqueName(path_);
  EXPECT_TRUE(plain.OpenAndFlush(false));
  EXPECT_EQ(port_.Reads(), 1);
  EXPECT_EQ(port_.ReadPipeResets(), 2);
}

TEST_F(UsbTransportTest, FailedEventCreationFailsTheAttemptBeforeAnythingIsSent) {
  CUSBDevice device;
  Open(device);
  device.SetEventFactory([] { return Event(); });
  port_.Queue({1});
  uint8_t in[4] = {};
  EXPECT_EQ(device.DeviceRead(in, sizeof in, true), 0u);
  EXPECT_EQ(device.m_dwLastError, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(port_.Reads(), 0);
  EXPECT_EQ(device.DeviceWrite(in, sizeof in, true), 0u);
  EXPECT_TRUE(port_.Writes().empty());
}

TEST_F(UsbTransportTest, OpenNamesAndIds) {
  InspectableUsbDevice device;
  device.SetUniqueName(path_);  // closed: only stored, ids parsed
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(device.m_ulVendorId, kModelUsbVendorId);
  EXPECT_EQ(device.m_ulProductId, kModelUsbProductId);
  ASSERT_TRUE(device.DeviceOpen());
  const std::shared_ptr<UsbDevice> handle = device.Handle();
  EXPECT_TRUE(device.DeviceOpen());  // already open: not opened again
  EXPECT_EQ(device.Handle(), handle);
  device.SetUniqueName(path_);  // the same path changes nothing
  EXPECT_EQ(device.Handle(), handle);

  device.SetUniqueName(u"\\\\?\\usb#vid_2e5a&pid_0999#nobody#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  EXPECT_FALSE(device.IsOpen());  // closed and reopened on a path nobody serves
  EXPECT_EQ(device.m_dwLastError, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(device.m_ulProductId, 0x0999u);
  device.CloseDevice();
  device.CloseDevice();
}

TEST_F(UsbTransportTest, PipeRequestsAndUnknownRequests) {
  CUSBDevice device;
  Open(device);
  EXPECT_TRUE(device.ResetPipe(READ_DATA_PIPE));
  EXPECT_TRUE(device.CancelPipeIo(WRITE_DATA_PIPE));
  EXPECT_EQ(port_.ReadPipeResets(), 1);
  EXPECT_FALSE(device.DeviceIoControl(0x12345678, nullptr, 0, nullptr, 0, nullptr, false));
  EXPECT_EQ(device.m_dwLastError, ERROR_INVALID_FUNCTION);
  EXPECT_FALSE(device.DeviceIoControl(IOCTL_RESET_PIPE, nullptr, 0, nullptr, 0, nullptr, false));
  EXPECT_EQ(device.m_dwLastError, ERROR_INVALID_PARAMETER);
  device.CloseDevice();
  uint8_t in[4];
  EXPECT_EQ(device.DeviceRead(in, sizeof in, false), 0u);
  EXPECT_EQ(device.m_dwLastError, ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace rzd::lowdrv

namespace rzd::lowdrv {
namespace {

TEST_F(UsbTransportTest, TransportErrorsBecomeResultCodes) {
  CUSBDevice device;
  Open(device);
  CReduzidInterface iface;
  ASSERT_TRUE(iface.SetDevice(&device, kDeviceKindUsb));
  struct Case {
    uint32_t error;
    LLDError open;
    LLDError closed;
  };
  const Case cases[] = {
      {ERROR_FILE_NOT_FOUND, 0x8000, 0x8000}, {ERROR_ACCESS_DENIED, 0x8000, 0x8000},
      {ERROR_GEN_FAILURE, 0x8000, 0x8000},    {433, 0x8000, 0x8000},
      {ERROR_OPERATION_ABORTED, 0x8000, 0x8000}, {ERROR_DEVICE_NOT_CONNECTED, 0x8000, 0x8000},
      {WAIT_TIMEOUT, 0x8001, 0x8001},         {ERROR_INVALID_PARAMETER, 1, 0x8000},
      {ERROR_SUCCESS, 1, 0x8000},
  };
  for (const Case& c : cases) {
    device.m_dwLastError = c.error;
    EXPECT_EQ(iface.InterfaceToScannerError(), c.open) << c.error;
  }
  device.CloseDevice();
  for (const Case& c : cases) {
    device.m_dwLastError = c.error;
    EXPECT_EQ(iface.InterfaceToScannerError(), c.closed) << c.error;
  }
}

}  // namespace
}  // namespace rzd::lowdrv
