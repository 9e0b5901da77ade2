// The whole data road, end to end: rzd-scan lists the installed unit and scans batches from the
// simulated unit through the scanner service (started by activation), the shared buffers and the
// bridge into files; and what a person meets when a client, the service or the unit goes away.
#include "road_fixture.h"

#include "engine/page_pattern.h"
#include "foundation/xml_store.h"
#include "platform/process.h"
#include "platform/text.h"
#include "testsupport/file_bytes.h"
#include "testsupport/pictures.h"

#include "png_file.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>

namespace rzd::test {
namespace {

namespace fs = std::filesystem;

constexpr char kThreeDuplexSheets[] = "3 duplex";

// A metadata file rzd-scan wrote, parsed.
struct SideMetadata {
  bool parsed = false;
  int32_t width = -1;
  int32_t length = -1;
  int32_t bytesPerLine = -1;
  std::u16string compression;
};

SideMetadata ReadMetadata(const fs::path& file) {
  SideMetadata meta;
  MSXML6StoreSTL store;
  if (!store.LoadFromFile(file)) return meta;
  meta.parsed = true;
  meta.width = store.GetNodeInt(u"//ImageDimensions/Width", -1);
  meta.length = store.GetNodeInt(u"//ImageDimensions/Length", -1);
  meta.bytesPerLine = store.GetNodeInt(u"//Format/BytesPerLine", -1);
  store.GetNodeText(u"//Format/Compression", meta.compression);
  return meta;
}

// A JPEG file decoded with libjpeg: its size, RGB samples and the warnings libjpeg gave.
struct DecodedJpeg {
  bool ok = false;
  uint32_t width = 0;
  uint32_t height = 0;
  long warnings = 0;
  std::vector<gdi::Rgb> pixels;
};

struct JpegErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

DecodedJpeg DecodeJpeg(const fs::path& file) {
  DecodedJpeg decoded;
  const std::string bytes = ReadBytes(file);
  jpeg_decompress_struct info{};
  JpegErrors errors{};
  info.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegErrors*>(c->err)->jump, 1); };
  errors.pub.output_message = [](j_common_ptr) {};
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    decoded.ok = false;
    return decoded;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  decoded.width = info.output_width;
  decoded.height = info.output_height;
  std::vector<uint8_t> row(static_cast<size_t>(info.output_width) * 3);
  decoded.pixels.reserve(static_cast<size_t>(decoded.width) * decoded.height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&info, rows, 1);
    for (size_t x = 0; x < info.output_width; ++x) decoded.pixels.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
  }
  jpeg_finish_decompress(&info);
  decoded.warnings = errors.pub.num_warnings;
  jpeg_destroy_decompress(&info);
  decoded.ok = true;
  return decoded;
}

// Every line of a raw side must be the unit's pattern for its sheet and side. The sheet is read
// from the first line (the unit numbers sheets on across loads); it is returned.
uint32_t ExpectPatternSide(const fs::path& file, uint32_t side) {
  const PngFile png = ReadPng(file);
  EXPECT_GT(png.height, 0u) << file;
  if (png.height == 0) return 0;
  const size_t rowBytes = png.rows[0].size();
  const uint32_t sheet = (uint32_t{png.rows[0][0]} << 8) | png.rows[0][1];
  for (uint32_t l = 0; l < png.height; ++l) {
    if (png.rows[l] != engine::PatternLine(sheet, side, l, rowBytes)) {
      ADD_FAILURE() << file << ": line " << l << " is not the pattern of sheet " << sheet << " side " << side;
      break;
    }
  }
  return sheet;
}

TEST_F(RoadTest, ListsTheUnitThenScansThreeDuplexSheetsInEachMode) {
  ASSERT_NO_FATAL_FAILURE(StartAndInstall(kThreeDuplexSheets));
  const Outcome list = Scan("list");
  ASSERT_EQ(list.exit, 0) << list.err;
  EXPECT_EQ(list.out, "0  Quarx M48tz Scanner  {D5BE08B1-6646-45E2-BA71-D556CB1C272E}\n");

  const struct {
    const char* name;
    const char* options;
    bool jpeg;
  } kModes[] = {
      {"colour", "--mode color", false},
      {"grey", "--mode gray", false},
      // The model scans line art as a grey JPEG and leaves the threshold to the client.
      {"lineart", "--mode lineart", true},
      {"jpeg-colour", "--mode color --jpeg", true},
  };
  bool first = true;
  for (const auto& mode : kModes) {
    SCOPED_TRACE(mode.name);
    if (!first) {
      ASSERT_EQ(UnitControl(std::string("load ") + kThreeDuplexSheets).rfind("ok", 0), 0u);
    }
    first = false;
    const fs::path out = RootPath() / mode.name;
    const Outcome run = Scan(ScanInto(out, std::string(mode.options) + " --source duplex --dpi 150"));
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(run.out.find("scanned 3 pages"), std::string::npos) << run.out;
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 14)
        << "6 sides, 6 metadata files and the background data of both sides";
    // The background data the unit delivered at the batch's start reached the data source
    // through the service's metadata record and the bridge: one line of each side, each side's
    // own background bytes, which differ, so a swap on the way shows (for raw data, a line as
    // long as the page's).
    const std::string front = ReadBytes(out / "background-front.raw");
    const std::string back = ReadBytes(out / "background-back.raw");
    ASSERT_FALSE(front.empty());
    EXPECT_EQ(back.size(), front.size());
    EXPECT_EQ(front, std::string(front.size(), static_cast<char>(engine::kBackgroundByte))) << "the front's";
    EXPECT_EQ(back, std::string(back.size(), static_cast<char>(engine::kBackBackgroundByte))) << "the back's";
    if (!mode.jpeg) {
      EXPECT_EQ(static_cast<int32_t>(front.size()), ReadMetadata(out / "page-001-front.xml").bytesPerLine);
    }
    EXPECT_NE(run.out.find("background-front.raw (" + std::to_string(front.size()) + " bytes of background data)"),
              std::string::npos)
        << run.out;
    uint32_t previousSheet = 0;
    for (uint32_t page = 1; page <= 3; ++page) {
      for (uint32_t side = 0; side < 2; ++side) {
        const std::string stem = FormatA("page-%03u-%s", page, side == 0 ? "front" : "back");
        const SideMetadata meta = ReadMetadata(out / (stem + ".xml"));
        EXPECT_TRUE(meta.parsed) << stem;
        if (mode.jpeg) {
          const DecodedJpeg jpeg = DecodeJpeg(out / (stem + ".jpg"));
          ASSERT_TRUE(jpeg.ok) << stem;
          EXPECT_EQ(jpeg.warnings, 0) << stem;
          EXPECT_EQ(meta.compression, u"JPG") << stem;
          EXPECT_EQ(static_cast<int32_t>(jpeg.width), meta.width) << stem;
          EXPECT_EQ(static_cast<int32_t>(jpeg.height), meta.length) << stem;
          if (page == 1 && side == 0) {
            EXPECT_TRUE(WritePng(PicturesDir() / (std::string("road-") + mode.name + "-page-001-front.png"), static_cast<int32_t>(jpeg.width),
                                 static_cast<int32_t>(jpeg.height), jpeg.pixels));
          }
          continue;
        }
        const uint32_t sheet = ExpectPatternSide(out / (stem + ".png"), side);
        if (side == 0) {
          if (previousSheet != 0) {
            EXPECT_EQ(sheet, previousSheet + 1) << stem << ": sheets follow each other";
          }
          previousSheet = sheet;
        } else {
          EXPECT_EQ(sheet, previousSheet) << stem << ": both sides of one sheet";
        }
        if (page == 1 && side == 0) {
          fs::copy_file(out / (stem + ".png"), PicturesDir() / (std::string("road-") + mode.name + "-page-001-front.png"),
                        fs::copy_options::overwrite_existing);
        }
      }
    }
  }
}

// A one-sided scan hands on the background of its own side only: the unit delivers the raster
// of both sides, the front's first, and the driver keeps the one of the side it scans.
TEST_F(RoadTest, AOneSidedScanHandsOnTheBackgroundOfItsOwnSide) {
  ASSERT_NO_FATAL_FAILURE(StartAndInstall(kThreeDuplexSheets));
  for (uint32_t side = 0; side < 2; ++side) {
    const std::string name = side == 0 ? "front" : "back";
    SCOPED_TRACE(name);
    if (side != 0) {
      ASSERT_EQ(UnitControl(std::string("load ") + kThreeDuplexSheets).rfind("ok", 0), 0u);
    }
    const fs::path out = RootPath() / name;
    const Outcome run = Scan(ScanInto(out, "--mode gray --source " + name + " --dpi 150"));
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_NE(run.out.find("scanned 3 pages"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(out / (side == 0 ? "background-back.raw" : "background-front.raw")));
    const std::string background = ReadBytes(out / ("background-" + name + ".raw"));
    ASSERT_FALSE(background.empty());
    EXPECT_EQ(background, std::string(background.size(), static_cast<char>(engine::BackgroundByteOf(side))));
    EXPECT_EQ(static_cast<int32_t>(background.size()), ReadMetadata(out / ("page-001-" + name + ".xml")).bytesPerLine);
    ExpectPatternSide(out / ("page-001-" + name + ".png"), side);
  }
}

// rzd-scan's output through a pipe, with one more descriptor open in the shell: the pipe ends when
// rzd-scan does, though the service it started by activation goes on running, and the service
// holds none of the client's descriptors (its standard streams are /dev/null).
TEST_F(RoadTest, APipeFromRzdScanEndsWithItWhileTheServiceItStartedRuns) {
  ASSERT_NO_FATAL_FAILURE(StartAndInstall(kThreeDuplexSheets));
  ASSERT_EQ(ServiceProcessId(), 0u) << "the service starts with the first scan";
  const fs::path marker = RootPath() / "client-descriptor";
  const fs::path out = RootPath() / "scan.out";
  const std::string line = "exec 7>\"" + marker.string() + "\"; \"" + (BinaryDir() / "rzd-scan").string() + "\" " +
                           ScanInto(RootPath() / "pages", "--source duplex --dpi 150 --pages 1") + " | cat >\"" +
                           out.string() + "\"";
  std::optional<ChildProcess> pipeline = ChildProcess::Start("/bin/sh", {"-c", line});
  ASSERT_TRUE(pipeline);
  // Were the pipe the service's too, its reading end would wait for the service to stop, which
  // it does not by itself.
  ASSERT_EQ(pipeline->Wait(60000), std::optional<int>(0)) << "the pipe did not end with rzd-scan";
  EXPECT_NE(ReadBytes(out).find("scanned 1 page"), std::string::npos) << ReadBytes(out);

  const uint32_t service = ServiceProcessId();
  ASSERT_NE(service, 0u) << "the service still runs";
  const fs::path descriptors = "/proc/" + std::to_string(service) + "/fd";
  int seen = 0;
  for (const auto& entry : fs::directory_iterator(descriptors)) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(entry.path(), ec);
    if (ec) continue;  // closed meanwhile
    ++seen;
    const std::string fd = entry.path().filename().string();
    if (fd == "0" || fd == "1" || fd == "2") {
      EXPECT_EQ(target, "/dev/null") << "descriptor " << fd;
    }
    EXPECT_NE(target, marker) << "descriptor " << fd << " is the client's";
    EXPECT_EQ(target.string().rfind("pipe:", 0), std::string::npos) << "descriptor " << fd << " is a pipe: " << target;
  }
  EXPECT_GE(seen, 3);
}

constexpr char kBusyLine[] = "rzd-scan: the unit is busy: another program is using it";

class RoadFaultTest : public RoadTest {
 protected:
  void SetUp() override {
    RoadTest::SetUp();
    StartAndInstall(kLongBatch);
  }
};

TEST_F(RoadFaultTest, AClientKilledMidBatchLeavesTheUnitToTheVeryNextScan) {
  std::optional<RunningScan> killed = StartLongBatch(RootPath() / "killed");
  ASSERT_TRUE(killed);
  killed->process->Kill();
  UnitControl("empty");
  // The service waits for the gone client's object to end its read: the scan started at once
  // is not told the unit is busy.
  const Outcome next = ScanOnePage(RootPath() / "next");
  ASSERT_EQ(next.exit, 0) << next.err;
  EXPECT_TRUE(fs::exists(RootPath() / "next" / "page-001-back.png"));
}

TEST_F(RoadFaultTest, ASecondClientHearsTheUnitIsBusyWhileTheFirstScansAndScansAfterIt) {
  std::optional<RunningScan> first = StartLongBatch(RootPath() / "first");
  ASSERT_TRUE(first);
  const Outcome refused = Scan(ScanInto(RootPath() / "second", kBatchOptions));
  EXPECT_EQ(refused.exit, 1);
  EXPECT_EQ(refused.LastError(), kBusyLine) << refused.err;
  const Outcome firstRun = first->Finish();
  ASSERT_EQ(firstRun.exit, 0) << firstRun.err;
  EXPECT_NE(firstRun.out.find("scanned 10 pages"), std::string::npos) << firstRun.out;
  const Outcome second = ScanOnePage(RootPath() / "second");
  ASSERT_EQ(second.exit, 0) << second.err;
  EXPECT_TRUE(fs::exists(RootPath() / "second" / "page-001-back.png"));
}

TEST_F(RoadFaultTest, AServiceKilledMidScanEndsTheClientRatherThanHangingItAndTheNextScanStartsAFreshService) {
  std::optional<RunningScan> scan = StartLongBatch(RootPath() / "cut");
  ASSERT_TRUE(scan);
  const uint32_t service = ServiceProcessId();
  ASSERT_NE(service, 0u);
  ASSERT_TRUE(KillProcess(service));
  // The client ends with its message rather than hanging; the bound only keeps a hang from
  // stalling the run (the machine may be loaded, under the sanitizers).
  const Outcome cut = scan->Finish(20000);
  ASSERT_NE(cut.exit, -1000) << "the client did not end";
  EXPECT_EQ(cut.exit, 1);
  EXPECT_EQ(cut.LastError(), "rzd-scan: the scanner service ended unexpectedly") << cut.err;
  UnitControl("empty");
  const Outcome next = ScanOnePage(RootPath() / "next");
  ASSERT_EQ(next.exit, 0) << next.err;
  EXPECT_NE(ServiceProcessId(), service);
  EXPECT_TRUE(fs::exists(RootPath() / "next" / "page-001-front.png"));
}

TEST_F(RoadFaultTest, AnUnplugMidScanIsSaidClearlyAndAScanAfterReplugSucceeds) {
  std::optional<RunningScan> scan = StartLongBatch(RootPath() / "unplugged");
  ASSERT_TRUE(scan);
  ASSERT_EQ(UnitControl("unplug").rfind("ok", 0), 0u);
  const Outcome cut = scan->Finish();
  EXPECT_EQ(cut.exit, 1);
  EXPECT_EQ(cut.LastError(), "rzd-scan: the unit is not connected (was it unplugged?)") << cut.err;
  ASSERT_EQ(UnitControl("replug").rfind("ok", 0), 0u);
  UnitControl("empty");
  // The service opens the unit again on its arrival; until then a scan may find it not there.
  Outcome next;
  for (int attempt = 0; attempt < 50 && next.exit != 0; ++attempt) {
    next = ScanOnePage(RootPath() / ("replugged-" + std::to_string(attempt)));
    if (next.exit != 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_EQ(next.exit, 0) << next.err;
}

}  // namespace
}  // namespace rzd::test
