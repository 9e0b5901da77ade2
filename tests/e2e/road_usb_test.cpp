// rzd-scan scanning from the simulated unit on a mocked USB port: udev finds it, the installation
// installs it, and the scanner service (started by activation, so it inherits the mocked port)
// drives it through libusb while this process answers its usbfs requests.
#include "road_fixture.h"

#include "engine/mocked_usb.h"
#include "engine/page_pattern.h"
#include "engine/sim_unit.h"
#include "platform/devices.h"

#include "png_file.h"

#include <gtest/gtest.h>

namespace rzd::test {
namespace {

namespace fs = std::filesystem;

TEST_F(RoadTest, RzdScanScansAPageFromTheUnitOnAUsbPort) {
  ASSERT_TRUE(engine::MockedUsbUnit::PreloadActive()) << "run under umockdev's preload (ctest, or scripts/under-umockdev)";
  engine::SimUnit unit;
  ASSERT_EQ(unit.Control("load 1 duplex").rfind("ok", 0), 0u);
  engine::MockedUsbUnit port(unit, {.serial = "QM48TZ000077"});
  ASSERT_TRUE(Eventually([] { return !EnumerateDevices(GUID_DEVINTERFACE_IMAGE).empty(); }));
  ASSERT_EQ(Install(), 0);
  const fs::path out = RootPath() / "usb";
  const Outcome run = Scan(ScanInto(out, "--source duplex --mode gray --dpi 100"));
  ASSERT_EQ(run.exit, 0) << run.err;
  EXPECT_NE(run.out.find("scanned 1 page"), std::string::npos) << run.out;
  for (uint32_t side = 0; side < 2; ++side) {
    const PngFile png = ReadPng(out / (side == 0 ? "page-001-front.png" : "page-001-back.png"));
    ASSERT_GT(png.height, 0u) << side;
    for (uint32_t l : {0u, png.height / 2, png.height - 1}) {
      EXPECT_EQ(png.rows[l], engine::PatternLine(1, side, l, png.rows[l].size())) << "side " << side << " line " << l;
    }
  }
  // The driver spoke to the unit over the port.
  EXPECT_NE(unit.Control("log").find(" new 12: E2"), std::string::npos);
  // The service lets the unit go while its port is still there to answer.
  EXPECT_TRUE(StopService());
  EXPECT_EQ(port.TransfersInFlight(), 0u);
}

}  // namespace
}  // namespace rzd::test
