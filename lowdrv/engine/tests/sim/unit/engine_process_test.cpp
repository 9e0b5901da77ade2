// The engine link against the simulated unit in a process of its own (rzd-engine): discovery
// finds it, the transport opens it, commands run, and its end is seen as an unreachable unit.
#include "engine/page_pattern.h"
#include "engine/unit_server.h"
#include "lowdrv/engine/model_ids.h"
#include "lowdrv/engine/reduzid_interface.h"
#include "lowdrv/engine/scanner_enum.h"
#include "platform/process.h"
#include "testsupport/eventually.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>
#include <vector>

namespace rzd::lowdrv {
namespace {

class EngineProcessTest : public rzd::test::TempRoot {
 protected:
  // The model's units present now, as the driver's discovery sees them.
  static std::vector<std::u16string> Discover() {
    CScannerEnum scanners;
    scanners.m_ulVendorId = kModelUsbVendorId;
    scanners.m_ulProductId = kModelUsbProductId;
    scanners.FindScanners();
    return scanners.m_Paths;
  }
  // Waits (generously) until discovery finds `count` units.
  static std::vector<std::u16string> WaitForUnits(size_t count) {
    std::vector<std::u16string> paths;
    rzd::test::Eventually([&] { return (paths = Discover()).size() == count; }, std::chrono::seconds(30));
    return paths;
  }
};

TEST_F(EngineProcessTest, DiscoverOpenScanAndLoseTheUnit) {
  std::optional<ChildProcess> unit = ChildProcess::Start(
      rzd::test::BinaryDir() / "rzd-engine", {"--instance", "4", "--serial", "QM48TZ000444", "--paper", "1"});
  ASSERT_TRUE(unit);
  const std::vector<std::u16string> paths = WaitForUnits(1);
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_NE(paths[0].find(u"qm48tz000444"), std::u16string::npos);

  CUSBDevice device;
  device.SetUniqueName(paths[0]);
  ASSERT_TRUE(device.OpenAndFlush(true));
  CReduzidInterface iface;
  iface.m_bNewCommandSet = 1;
  ASSERT_TRUE(iface.SetDevice(&device, nullptr, 5000));
  EXPECT_EQ(iface.WaitForUnitReady(), 0u);

  ReduzidNVMData nvm{};
  ASSERT_TRUE(iface.ReadNVRAM(nvm));
  EXPECT_EQ(std::string(nvm.SerialNumber, 12), "QM48TZ000444");

  ReduzidWindowDesc w{};
  w.Desc.XRes = w.Desc.YRes = 200;
  w.Desc.ImageComp = 2;
  w.Desc.PixelNum = 64;
  w.Desc.LineNum = 16;
  w.Desc.ADF = 0x80;
  ASSERT_TRUE(iface.SetWindow(w)) << iface.m_ulLastError;
  ASSERT_TRUE(iface.ReserveUnit(0)) << iface.m_ulLastError;
  std::vector<uint8_t> buffer(4096);
  uint8_t end = 0;
  ImageReadResult r;
  ASSERT_TRUE(iface.ReadImageData(buffer.data(), 4096, end, r)) << iface.m_ulLastError;
  EXPECT_EQ(end, 1);
  ASSERT_EQ(r.actualLength, 16u * 64);
  EXPECT_EQ(buffer[15 * 64 + 63], engine::PatternByte(1, 0, 15, 63));

  // The unit ends: its entry goes, and a command finds it unreachable.
  unit->Terminate();
  ASSERT_TRUE(unit->Wait(30000).has_value());
  EXPECT_TRUE(WaitForUnits(0).empty());
  EXPECT_FALSE(iface.TestUnitReady());
  EXPECT_EQ(iface.m_ulLastError, lld::kUnreachable);
}

}  // namespace
}  // namespace rzd::lowdrv
