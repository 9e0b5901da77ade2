// The engine interface driving the simulated unit through its transport: open and inquiry,
// check conditions with the automatic sense, readiness, the two-step reads, image data and its
// side ends, and records the unit stores.
#include "engine/page_pattern.h"
#include "engine/sim_unit.h"
#include "engine/unit_server.h"
#include "lowdrv/engine/byte_order.h"
#include "lowdrv/engine/engine_caps.h"
#include "lowdrv/engine/reduzid_interface.h"
#include "testsupport/log_capture.h"
#include "testsupport/temp_root.h"
#include "value_copy.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace rzd::lowdrv {
namespace {

constexpr uint16_t kBytesPerLine = 100;

class SimEngineTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    server_ = std::make_unique<engine::UnitServer>(unit_, engine::ModelUnitOptions(2, "QM48TZ000001", u"Unit"));
    ASSERT_EQ(server_->Start(), ERROR_SUCCESS);
    device_.SetUniqueName(server_->Entry().interfacePath);
    ASSERT_TRUE(device_.OpenAndFlush(true));
    iface_.m_bNewCommandSet = 1;
    ASSERT_TRUE(iface_.SetDevice(&device_, nullptr, 5000));
  }
  void TearDown() override {
    device_.CloseDevice();
    server_->Stop();
  }

  std::string Control(const std::string& line) { return server_->Control(line); }

  // A grey window on the feeder front, 100 bytes per line, as long as the sheet.
  static ReduzidWindowDesc GreyWindow() {
    ReduzidWindowDesc w{};
    w.Data.Length = sizeof(ReduzidWindowDescriptor);
    w.Desc.XRes = 300;
    w.Desc.YRes = 300;
    w.Desc.Width = kBytesPerLine * 1200 / 300;
    w.Desc.ImageComp = 2;
    w.Desc.BitsPerChannel = 8;
    w.Desc.PixelNum = kBytesPerLine;
    w.Desc.ADF = 0x80;
    return w;
  }

  void StartPage() {
    ReduzidWindowDesc w = GreyWindow();
    ASSERT_TRUE(iface_.SetWindow(w)) << iface_.m_ulLastError;
    ASSERT_TRUE(iface_.ReserveUnit(0)) << iface_.m_ulLastError;
  }

  // Loads one sheet that jams at `line`, starts its page and reads into the jam: the read fails
  // with the decoded sense, and its data phase brought `transferred` bytes. The buffer read.
  std::vector<uint8_t> ReadIntoAJam(uint32_t line, uint32_t transferred) {
    Control("load 1 simplex lines=40");
    Control("jam 1 front line=" + std::to_string(line));
    StartPage();
    std::vector<uint8_t> buffer(4096);
    uint8_t end = 0;
    ImageReadResult r;
    EXPECT_FALSE(iface_.ReadImageData(buffer.data(), 4096, end, r));
    EXPECT_EQ(iface_.m_ulLastError, 8u);  // "An item is jammed in the scanner."
    EXPECT_EQ(iface_.m_byStatus, 2);
    EXPECT_EQ(r.actualLength, 0u);
    EXPECT_EQ(r.transferred, transferred);
    EXPECT_EQ(Copy(iface_.m_Sense.CommandInfo), transferred);
    return buffer;
  }

  engine::SimUnit unit_;
  std::unique_ptr<engine::UnitServer> server_;
  CUSBDevice device_;
  CReduzidInterface iface_;
};

TEST_F(SimEngineTest, OpenReadsTheInquiryAndTheNewSetCapabilities) {
  const ReduzidInq& inq = iface_.ReduzidInq;
  EXPECT_EQ(inq.ProductQualifier, 6);
  EXPECT_EQ(std::string(inq.ProductReversion, 4), unit_.Revision());
  EXPECT_TRUE(inq.AbilityEx3 & 0x10);
  const uint8_t* r = InqBytes(inq);
  EXPECT_TRUE(caps::IsSet(r, sizeof inq, caps::kInqLcd));
  EXPECT_TRUE(caps::IsSet(r, sizeof inq, caps::kInqFrontPostImprinter));
  EXPECT_EQ(iface_.m_Caps.Imprinter, 1);
  EXPECT_EQ(iface_.m_Caps.Ultrasonic, 1);
  EXPECT_EQ(iface_.m_Caps.InputTray, 1);
  // The inquiry's two steps as the unit received them.
  std::vector<std::vector<uint8_t>> inquiries;
  for (const engine::ReceivedBlock& b : unit_.Received()) {
    if (b.kind == engine::ReceivedBlock::Kind::NewCommand && b.bytes[0] == 0xE2) inquiries.push_back(b.bytes);
  }
  ASSERT_EQ(inquiries.size(), 2u);
  EXPECT_EQ(inquiries[0][10], 5);
  EXPECT_GT(inquiries[1][10], 5);
}

// A read that fails before any data: the unit ends its data phase with one padding byte, or (asked
// so) with none. Either way the host reads the status and reports the decoded sense.
TEST_F(SimEngineTest, AReadThatFailsBeforeAnyDataReportsTheDecodedSense) {
  ASSERT_EQ(Control("failedreads padded"), "ok failedreads padded");
  ReadIntoAJam(0, 1);
}

TEST_F(SimEngineTest, AReadThatFailsWithAnEmptyDataPhaseReportsTheDecodedSense) {
  ASSERT_EQ(Control("failedreads empty"), "ok failedreads empty");
  ReadIntoAJam(0, 0);
}

TEST_F(SimEngineTest, NvramIsReadInTwoStepsAndSendsReachTheUnit) {
  ReduzidNVMData nvm{};
  ASSERT_TRUE(iface_.ReadNVRAM(nvm));
  EXPECT_NE(Copy(nvm.BornDay), 0);
  EXPECT_EQ(std::string(nvm.SerialNumber, 12), "QM48TZ000001");
  ASSERT_TRUE(iface_.SendPowerSavingTime(25));
  ReduzidNVMData again{};
  ASSERT_TRUE(iface_.ReadNVRAM(again));
  EXPECT_EQ(Copy(again.PowerSavingTime), 25);
  const std::array<uint8_t, engine::kNvramSize> wire = unit_.Nvram();
  EXPECT_EQ(GetBE16(&wire[70]), 25);
}

TEST_F(SimEngineTest, CheckConditionFetchesTheSenseAndKeepsTheDataCount) {
  const std::vector<uint8_t> buffer = ReadIntoAJam(10, 10u * kBytesPerLine);  // the lines before the jam arrived
  EXPECT_EQ(buffer[0], engine::PatternByte(1, 0, 0, 0));
  // The sense was fetched with the form used after a check condition.
  const std::vector<engine::ReceivedBlock> received = unit_.Received();
  ASSERT_GE(received.size(), 2u);
  const std::vector<uint8_t>& last = received.back().bytes;
  EXPECT_EQ(last[0], 0xE3);
  EXPECT_EQ(last[11], 0);
}

TEST_F(SimEngineTest, SideEndDeliversTheLastBytesAndTheSideFacts) {
  Control("load 1 simplex lines=30");
  StartPage();
  std::vector<uint8_t> buffer(4096, 0xCC);
  uint8_t end = 0;
  ImageReadResult r;
  EXPECT_TRUE(iface_.ReadImageData(buffer.data(), 4096, end, r));
  EXPECT_EQ(end, 1);
  EXPECT_EQ(r.actualLength, 30u * kBytesPerLine);
  EXPECT_EQ(r.value1, kBytesPerLine);  // pixels per line
  EXPECT_EQ(r.value2, 30u);            // lines
  EXPECT_EQ(r.value3, 30u * kBytesPerLine);
  for (uint32_t line = 0; line < 30; ++line) {
    for (size_t i = 0; i < kBytesPerLine; ++i) {
      ASSERT_EQ(buffer[line * kBytesPerLine + i], engine::PatternByte(1, 0, line, i)) << line << " " << i;
    }
  }
  EXPECT_EQ(buffer[3000], 0xCC);
}

TEST_F(SimEngineTest, SideEndAcrossSeveralReads) {
  Control("load 1 simplex lines=30");
  StartPage();
  std::vector<uint8_t> image;
  uint8_t end = 0;
  for (int reads = 0; reads < 10 && !end; ++reads) {
    std::vector<uint8_t> buffer(1024);
    ImageReadResult r;
    ASSERT_TRUE(iface_.ReadImageData(buffer.data(), 1024, end, r)) << iface_.m_ulLastError;
    image.insert(image.end(), buffer.begin(), buffer.begin() + r.actualLength);
  }
  EXPECT_EQ(end, 1);
  ASSERT_EQ(image.size(), 3000u);
  EXPECT_EQ(image[2999], engine::PatternByte(1, 0, 29, 99));
}

TEST_F(SimEngineTest, BlankSideEndsWithFailureAndTheEndFlag) {
  Control("load 1 simplex lines=20");
  Control("blank 1 front");
  StartPage();
  std::vector<uint8_t> buffer(4096);
  uint8_t end = 0;
  ImageReadResult r;
  EXPECT_FALSE(iface_.ReadImageData(buffer.data(), 4096, end, r));
  EXPECT_EQ(end, 1);
  EXPECT_EQ(iface_.m_ulLastError, 68u);  // "Blank page detected"
  EXPECT_EQ(r.actualLength, 20u * kBytesPerLine);
  EXPECT_EQ(buffer[0], engine::kBlankSideByte);
}

TEST_F(SimEngineTest, WaitForUnitReady) {
  EXPECT_EQ(iface_.WaitForUnitReady(), 0u);
  Control("cover open");
  iface_.m_ulCmdTimeout = 6000;
  EXPECT_EQ(iface_.WaitForUnitReady(), 4u);  // "The ADF cover is open." after ten polls
  EXPECT_EQ(iface_.m_ulCmdTimeout, 6000u);
  Control("cover close");
  EXPECT_EQ(iface_.WaitForUnitReady(), 0u);
}

TEST_F(SimEngineTest, WaitForUnitReadyStopsAtOnceOnAStalledUnit) {
  Control("stall");
  rzd::test::LogCapture log(rzd::test::LogCapture::WithData({u"Reduzid Device", u"USB Device"}));
  EXPECT_EQ(iface_.WaitForUnitReady(), lld::kTimeout);
  EXPECT_EQ(iface_.m_ulCmdTimeout, 5000u);
  EXPECT_EQ(log.Count(u"TestUnitReady Entered."), 1u);  // one attempt only
  EXPECT_EQ(log.Count(u"Timeout set to 3000 ms"), 1u);
  Control("resume");
}

TEST_F(SimEngineTest, LcdScreensArriveWhole) {
  std::vector<uint8_t> screens(10 + 1086, 0);
  screens[7] = 0xA1, screens[8] = 0x0F;  // slot 4001 in host order
  screens[9] = 1;
  screens[10] = 0x5A;
  ASSERT_TRUE(iface_.SendLCDDisplayData(screens.data(), screens.size())) << iface_.m_ulLastError;
  const auto stored = unit_.LcdScreens();
  ASSERT_EQ(stored.count(4001), 1u);
  EXPECT_EQ(stored.at(4001)[0], 0x5A);
}

// The capability word's type bit (0x02) is added to the scanner type by the host's translation of
// the new inquiry and by the unit's own classic inquiry record alike, so both sets describe the
// same unit.
TEST(SimEngineInquiryTest, BothCommandSetsAddTheCapabilityWordsTypeBit) {
  rzd::test::ScopedRoot root;
  struct Case {
    uint16_t word;
    uint8_t type;
  };
  for (const Case c : {Case{0x0000, 0x02}, Case{0x0002, 0x04}, Case{0x0FF2, 0x04}}) {
    SCOPED_TRACE(c.word);
    engine::SimUnitOptions options;
    options.capabilityWord = c.word;
    engine::SimUnit unit(options);
    engine::UnitServer server(unit, engine::ModelUnitOptions(2, "QM48TZ000001", u"Unit"));
    ASSERT_EQ(server.Start(), ERROR_SUCCESS);
    for (const uint8_t newSet : {1, 0}) {
      CUSBDevice device;
      device.SetUniqueName(server.Entry().interfacePath);
      ASSERT_TRUE(device.OpenAndFlush(true));
      CReduzidInterface iface;
      iface.m_bNewCommandSet = newSet;
      ASSERT_TRUE(iface.SetDevice(&device, nullptr, 5000));
      EXPECT_EQ(iface.ReduzidInq.ScannerType, c.type) << (newSet ? "new set" : "classic set");
      device.CloseDevice();
    }
    server.Stop();
  }
}

}  // namespace
}  // namespace rzd::lowdrv
