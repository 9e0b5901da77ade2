// rzd-scan in a process of its own, loading the bridge through its registration and scanning
// through the scripted scanner service: the unit list, the files of each kind of batch, a page
// larger than the transfer buffer, a batch cut short by --pages, one clear line for each fault,
// and the usage when help is asked for.
#include "scan_options.h"
#include "scan_script.h"

#include "engine/page_pattern.h"
#include "foundation/xml_store.h"
#include "interfaces/rzdhal_proxy_stub.h"
#include "lowdrv/engine/model_ids.h"
#include "scanhost/instance_ids.h"
#include "platform/com.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "test_server.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include "png_file.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

namespace rzd::frontend {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int exit = -1;
  std::string out;
  std::string err;
  // The last line of the error output (progress lines come before it).
  std::string LastError() const {
    std::string text = err;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    const size_t at = text.rfind('\n');
    return at == std::string::npos ? text : text.substr(at + 1);
  }
};

// A text value of a side's metadata file.
std::u16string MetadataValue(const fs::path& file, const char16_t* path) {
  const std::string bytes = test::ReadBytes(file);
  MSXML6StoreSTL store;
  std::u16string value;
  if (bytes.size() < 39 || !store.LoadFromString(FromUtf8(bytes.substr(39)))) return u"(unparsed)";
  store.GetNodeText(path, value);
  return value;
}

CLSID InstanceClass(uint32_t n) { return scanhost::kInstanceClasses[n]; }

class ScanCommandTest : public test::TempRoot {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegisterRzdHalProxyStubLibrary(RZD_HAL_PROXY_STUB_LIBRARY), S_OK);
    for (const char* library : {RZD_RASTERBLOCKS_LIBRARY, RZD_NETHAL_LIBRARY}) {
      auto loaded = Module::Load(library);
      ASSERT_TRUE(loaded) << library;
      ASSERT_EQ(loaded->Bind<HRESULT (*)()>("DllRegisterServer")(), S_OK) << library;
    }
    InstallUnit(u"0000", 0, u"Quarx M48tz Scanner #1");
    out_ = RootPath() / "pages";
  }
  void TearDown() override { test::KillTestServers(); }

  static void InstallUnit(const std::u16string& subkey, uint32_t instance, const std::u16string& name) {
    RegKey unit;
    ASSERT_EQ(RegKey::Create(Hive::LocalMachine, std::u16string(lowdrv::kImageClassKey) + u"\\" + subkey, &unit), ERROR_SUCCESS);
    unit.SetString(u"HAL_CLSID", FormatGuid(InstanceClass(instance)));
    unit.SetString(u"FriendlyName", name);
    test::RegisterScriptedService(InstanceClass(instance));
  }

  Outcome Scan(const std::string& arguments) {
    Outcome run;
    const fs::path outFile = RootPath() / "stdout.txt";
    const fs::path errFile = RootPath() / "stderr.txt";
    const std::string line = "\"" + (test::BinaryDir() / "rzd-scan").string() + "\" " + arguments + " >\"" +
                             outFile.string() + "\" 2>\"" + errFile.string() + "\"";
    auto child = ChildProcess::Start("/bin/sh", {"-c", line});
    if (!child) return run;
    run.exit = child->Wait(120000).value_or(-1000);
    run.out = test::ReadBytes(outFile);
    run.err = test::ReadBytes(errFile);
    return run;
  }
  Outcome ScanInto(const std::string& options) { return Scan("scan --out \"" + out_.string() + "\" " + options); }

  // The side's lines must be the unit's pattern for that sheet and side.
  // Line art keeps only the bits of its pixels: `lastBits` of the last byte are compared.
  static void ExpectPattern(const test::PngFile& png, uint32_t sheet, uint32_t side, uint32_t lines, size_t rowBytes,
                            uint32_t lastBits = 8) {
    ASSERT_EQ(png.height, lines);
    const auto mask = static_cast<uint8_t>(0xFF00 >> lastBits);
    for (uint32_t l = 0; l < lines; ++l) {
      std::vector<uint8_t> line = engine::PatternLine(sheet, side, l, rowBytes);
      std::vector<uint8_t> row = png.rows[l];
      ASSERT_EQ(row.size(), line.size());
      line.back() &= mask;
      row.back() &= mask;
      ASSERT_EQ(row, line) << "sheet " << sheet << " side " << side << " line " << l;
    }
  }

  fs::path out_;
};

TEST_F(ScanCommandTest, ListPrintsEveryInstalledUnit) {
  InstallUnit(u"0003", 3, u"Quarx M48tz Scanner #2");
  RegKey other;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, std::u16string(lowdrv::kImageClassKey) + u"\\0007", &other), ERROR_SUCCESS);
  other.SetString(u"HAL_CLSID", u"{00000000-0000-0000-0000-000000000001}");  // another maker's
  const Outcome run = Scan("list");
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(run.out,
            "0  Quarx M48tz Scanner #1  {D5BE08B1-6646-45E2-BA71-D556CB1C272E}\n"
            "3  Quarx M48tz Scanner #2  {C925717E-ACF5-42F8-9F6A-068633FA1F4F}\n");
  EXPECT_TRUE(test::StartedTestServers().empty());  // listing starts no service
}

TEST_F(ScanCommandTest, ADuplexColourBatchWritesEachSideAsAPngOfThePatternWithItsMetadata) {
  test::WriteScanScript({"sheets=2", "width=50", "lines=40"});
  const Outcome run = ScanInto("--source duplex --mode color --dpi 200");
  ASSERT_EQ(run.exit, 0) << run.err;
  for (uint32_t sheet = 1; sheet <= 2; ++sheet) {
    for (uint32_t side = 0; side < 2; ++side) {
      const std::string stem = FormatA("page-%03u-%s", sheet, side == 0 ? "front" : "back");
      const test::PngFile png = test::ReadPng(out_ / (stem + ".png"));
      EXPECT_EQ(png.width, 50u);
      ExpectPattern(png, sheet, side, 40, 150);
      EXPECT_EQ(MetadataValue(out_ / (stem + ".xml"), u"/Result/Address/Side"), side == 0 ? u"Front" : u"Back");
      EXPECT_EQ(MetadataValue(out_ / (stem + ".xml"), u"/Result/ImageDimensions/Length"), u"40");
      EXPECT_EQ(MetadataValue(out_ / (stem + ".xml"), u"/Result/Resolutions/X"), u"200");
      EXPECT_NE(run.out.find("wrote " + (out_ / (stem + ".png")).string() + " (50 x 40)"), std::string::npos) << run.out;
      EXPECT_NE(run.err.find(FormatA("page %u %s: ", sheet, side == 0 ? "front" : "back")), std::string::npos) << run.err;
    }
  }
  EXPECT_NE(run.out.find("scanned 2 pages into " + out_.string()), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(out_), fs::directory_iterator()), 8);
  // The settings the service received, and the buffer it was given.
  const std::vector<std::string> calls = test::ScanCalls();
  EXPECT_NE(std::find_if(calls.begin(), calls.end(), [](const std::string& c) { return c.rfind("control 20 ", 0) == 0; }),
            calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "unlock"), calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "control 15 in= bufin=0:0"), calls.end());
}

TEST_F(ScanCommandTest, EachModeAndSourceGivesItsFiles) {
  const struct {
    const char* options;
    uint32_t rowBytes;  // 0 for JPEG
    uint32_t lastBits;
    std::vector<const char*> files;
  } kCases[] = {
      {"--mode gray --source back", 50, 8, {"page-001-back.png"}},
      {"--mode lineart --source front", 7, 2, {"page-001-front.png"}},  // 50 pixels: 2 bits in the last byte
      {"--mode color --jpeg --source duplex", 0, 8, {"page-001-front.jpg", "page-001-back.jpg"}},
      {"--mode gray --jpeg", 0, 8, {"page-001-front.jpg"}},
  };
  test::WriteScanScript({"sheets=1", "width=50", "lines=20", "jpeg-bytes=1000"});
  for (const auto& c : kCases) {
    fs::remove_all(out_);
    const Outcome run = ScanInto(c.options);
    ASSERT_EQ(run.exit, 0) << c.options << ": " << run.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(out_), fs::directory_iterator()),
              static_cast<long>(2 * c.files.size()))
        << c.options;
    for (const char* name : c.files) {
      const uint32_t side = std::string(name).find("back") != std::string::npos ? 1 : 0;
      if (c.rowBytes != 0) {
        ExpectPattern(test::ReadPng(out_ / name), 1, side, 20, c.rowBytes, c.lastBits);
        continue;
      }
      // The stream exactly as the service delivered it.
      const std::string bytes = test::ReadBytes(out_ / name);
      ASSERT_EQ(bytes.size(), 1000u + 1 + side) << name;
      EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0xFF);
      EXPECT_EQ(static_cast<uint8_t>(bytes[1]), 0xD8);
      for (size_t i = 2; i + 2 < bytes.size(); ++i) {
        ASSERT_EQ(static_cast<uint8_t>(bytes[i]), engine::PatternByte(1, side, 0, i + 6)) << name << " byte " << i;
      }
      EXPECT_EQ(MetadataValue(out_ / fs::path(name).replace_extension(".xml"), u"/Result/Format/Compression"), u"JPG");
    }
  }
}

TEST_F(ScanCommandTest, BothSidesInOneStreamAreWrittenAsTwoSides) {
  test::WriteScanScript({"sheets=1", "width=10", "lines=40", "both=1", "chunk-lines=16"});
  const Outcome run = ScanInto("--source duplex --mode gray");
  ASSERT_EQ(run.exit, 0) << run.err;
  ExpectPattern(test::ReadPng(out_ / "page-001-front.png"), 1, 0, 40, 10);
  ExpectPattern(test::ReadPng(out_ / "page-001-back.png"), 1, 1, 40, 10);
}

TEST_F(ScanCommandTest, APageLargerThanTheTransferBufferStillArrivesWhole) {
  // 2300 lines of 15000 bytes: more than the 32 MiB of blocks, so the service waits for blocks the
  // second thread gives back while the page is still being read.
  test::WriteScanScript({"sheets=1", "width=5000", "lines=2300", "chunk-lines=100"});
  const Outcome run = ScanInto("--mode color");
  ASSERT_EQ(run.exit, 0) << run.err;
  const test::PngFile png = test::ReadPng(out_ / "page-001-front.png");
  ASSERT_EQ(png.height, 2300u);
  for (uint32_t l : {0u, 1u, 1117u, 2299u}) EXPECT_EQ(png.rows[l], engine::PatternLine(1, 0, l, 15000)) << l;
}

TEST_F(ScanCommandTest, PagesCutsTheBatchShortAndCancelsTheRest) {
  test::WriteScanScript({"sheets=3", "lines=16"});
  const Outcome run = ScanInto("--pages 2");
  ASSERT_EQ(run.exit, 0) << run.err;
  EXPECT_TRUE(fs::exists(out_ / "page-002-front.png"));
  EXPECT_FALSE(fs::exists(out_ / "page-003-front.png"));
  const std::vector<std::string> calls = test::ScanCalls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "control 11 in= bufin=0:0"), calls.end());
  EXPECT_NE(run.out.find("scanned 2 pages"), std::string::npos);
}

TEST_F(ScanCommandTest, EachFaultEndsWithOneClearLineAndAFailingExit) {
  const struct {
    std::vector<std::string> script;
    const char* options;
    const char* line;
    const char* keptFile;  // written before the fault, or null
  } kCases[] = {
      {{"fail-sheet=1", "fail-code=7"}, "", "rzd-scan: no paper in the feeder", nullptr},
      {{"sheets=2", "fail-sheet=2", "fail-code=2"}, "", "rzd-scan: paper jam", "page-001-front.png"},
      {{"sheets=2", "fail-sheet=2", "fail-code=70"}, "",
       "rzd-scan: multifeed: more than one sheet went through the feeder at once", "page-001-front.png"},
      {{"fail-sheet=1", "fail-code=32768"}, "", "rzd-scan: the unit is not connected (was it unplugged?)", nullptr},
      {{"connect=170"}, "", "rzd-scan: the unit is busy: another program is using it", nullptr},
      {{"lock=170"}, "", "rzd-scan: the unit is busy: another program is using it", nullptr},
      {{"sheets=3", "die-sheet=2"}, "", "rzd-scan: the scanner service ended unexpectedly", "page-001-front.png"},
      {{}, "--unit 5", "rzd-scan: unit 5 is not installed", nullptr},
      {{}, "--dpi 250", "rzd-scan: 250 dpi is not offered (100, 150, 200, 300, 400, 600)", nullptr},
  };
  for (const auto& c : kCases) {
    test::WriteScanScript(c.script);
    fs::remove_all(out_);
    const Outcome run = ScanInto(c.options);
    EXPECT_EQ(run.exit, 1) << c.line;
    EXPECT_EQ(run.LastError(), c.line) << run.err;
    if (c.keptFile != nullptr) {
      EXPECT_TRUE(fs::exists(out_ / c.keptFile)) << c.line;
    }
    test::KillTestServers();
  }
}

TEST_F(ScanCommandTest, HelpPrintsTheUsageAndSucceeds) {
  for (const char* line : {"--help", "-h", "help", "scan --help"}) {
    const Outcome run = Scan(line);
    EXPECT_EQ(run.exit, 0) << line;
    EXPECT_EQ(run.out, Usage()) << line;
    EXPECT_EQ(run.err, "") << line;
  }
  EXPECT_EQ(std::string(Usage()),
            "usage: rzd-scan list\n"
            "       rzd-scan scan --out DIR [--unit N] [--source front|back|duplex] [--mode lineart|gray|color]\n"
            "                     [--dpi N] [--jpeg] [--pages N]\n"
            "       rzd-scan help | --help | -h\n");
}

TEST_F(ScanCommandTest, ABridgeThatIsNotRegisteredIsSaidSo) {
  auto nethal = Module::Load(RZD_NETHAL_LIBRARY);
  ASSERT_TRUE(nethal);
  ASSERT_EQ(nethal->Bind<HRESULT (*)()>("DllUnregisterServer")(), S_OK);
  Outcome run = Scan("list");
  EXPECT_EQ(run.exit, 1);
  EXPECT_EQ(run.LastError(), "rzd-scan: the scanner bridge is not registered (run rzd-install)");
  run = Scan("scan");
  EXPECT_EQ(run.exit, 2);
  EXPECT_NE(run.err.find("rzd-scan: scan needs --out DIR\nusage: rzd-scan list"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace rzd::frontend
