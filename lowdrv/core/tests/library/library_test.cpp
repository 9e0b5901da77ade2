// liblowdrv.so as the service loads it: by file name, with Control and Read bound by name. The
// library exports those two and nothing else, puts the maker's common folder in front of the
// program search path when it loads, and answers through the bound exports.
#include "engine/sim_unit.h"
#include "engine/unit_server.h"
#include "lowdrv/core/api.h"
#include "lowdrv/core/driver_codes.h"
#include "testsupport/temp_root.h"

#include "foundation/folders.h"
#include "platform/kernel.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "platform/types.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace rzd::lowdrv::test {
namespace {

const std::filesystem::path kLibrary = RZD_LOWDRV_LIBRARY;

class LibraryTest : public rzd::test::TempRoot {
 protected:
  void Load() {
    std::string error;
    module_ = Module::Load(kLibrary, &error);
    ASSERT_TRUE(module_) << error;
    control_ = module_->Bind<ControlFunction>("Control");
    read_ = module_->Bind<ReadFunction>("Read");
    ASSERT_NE(control_, nullptr);
    ASSERT_NE(read_, nullptr);
  }

  // The symbols `nm` lists for the library with these options ("<type> <name>" per line).
  std::vector<std::pair<char, std::string>> Symbols(const std::string& options) {
    const std::filesystem::path out = RootPath() / "nm.txt";
    std::optional<ChildProcess> nm = ChildProcess::Start(
        "/bin/sh", {"-c", "nm " + options + " --format=posix '" + kLibrary.string() + "' > '" + out.string() + "'"});
    EXPECT_TRUE(nm);
    if (!nm) return {};
    EXPECT_EQ(nm->Wait(60000), 0);
    std::vector<std::pair<char, std::string>> symbols;
    std::ifstream in(out);
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string name;
      std::string type;
      if (fields >> name >> type && type.size() == 1) symbols.emplace_back(type[0], name);
    }
    return symbols;
  }

  std::unique_ptr<Module> module_;
  ControlFunction control_ = nullptr;
  ReadFunction read_ = nullptr;
};

TEST_F(LibraryTest, ExportsControlAndReadOnly) {
  std::set<std::string> exported;
  for (const auto& [type, name] : Symbols("-D --defined-only")) exported.insert(name);
  EXPECT_EQ(exported, (std::set<std::string>{"Control", "Read"}));

  // Every function and object the library defines, other than the two, stays out of reach.
  Load();
  size_t looked = 0;
  for (const auto& [type, name] : Symbols("--defined-only")) {
    if (name == "Control" || name == "Read") continue;
    if (type != 'T' && type != 't' && type != 'D' && type != 'd' && type != 'B' && type != 'b') continue;
    if (name.rfind("_ZN3rzd", 0) != 0) continue;  // the system's own code
    ++looked;
    // A lookup through the library's handle also searches its dependencies: a name the platform
    // library exports (an inline function it also defines, say) resolves there, never here.
    void* found = module_->Symbol(name.c_str());
    if (found != nullptr) {
      EXPECT_NE(rzd::ModulePathOf(found).filename(), module_->Path().filename()) << name;
    }
  }
  EXPECT_GT(looked, 100u);  // the library is made of the whole driver
}

TEST_F(LibraryTest, LoadPutsTheCommonFolderInFrontOfThePath) {
  UnsetEnv("Corvanite2010_32");
  SetEnv("PATH", "/usr/bin:/bin");
  std::filesystem::path common;
  ASSERT_TRUE(GetCommonFilesFolder(&common));
  Load();
  const std::optional<std::string> path = GetEnv("PATH");
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, common.string() + ":/usr/bin:/bin");
  EXPECT_EQ(GetEnv("Corvanite2010_32"), "true");
}

TEST_F(LibraryTest, AnswersThroughTheBoundExports) {
  Load();
  BSTR result = nullptr;
  BSTR error = nullptr;
  // Refused at once.
  EXPECT_FALSE(control_(nullptr, cc::kResetHardware, nullptr, &result, nullptr, 0, nullptr, nullptr, &error));
  // The device list with one simulated unit.
  engine::SimUnit unit;
  engine::UnitServer server(unit, engine::ModelUnitOptions(1, "QM48TZ000001", u"Quarx M48tz Scanner"));
  ASSERT_EQ(server.Start(), ERROR_SUCCESS);
  ASSERT_TRUE(control_(nullptr, cc::kDeviceList, nullptr, &result, nullptr, 0, nullptr, nullptr, &error));
  EXPECT_EQ(BstrView(result), u"<DeviceList ScannerModel=\"M48tz\">\r\n\t<DeviceID ID=\"0\"><![CDATA[" +
                                  server.Entry().interfacePath + u"]]></DeviceID>\r\n</DeviceList>");
  SysFreeString(result);
  result = nullptr;
  // The supported settings without an open unit: the device description the library carries.
  int unknown = 0;
  ASSERT_TRUE(control_(&unknown, cc::kSupportedSettings, nullptr, &result, nullptr, 0, nullptr, nullptr, &error));
  EXPECT_NE(std::u16string(BstrView(result)).find(u"<Scanner"), std::u16string::npos);
  SysFreeString(result);
  result = nullptr;
  // The open code wants one pointer for the handle; a unit the service did not announce online
  // cannot be opened.
  void* handle = nullptr;
  uint32_t size = 4;
  const std::u16string path = server.Entry().interfacePath;
  EXPECT_FALSE(control_(nullptr, cc::kOpen, path.c_str(), nullptr, nullptr, 0, &handle, &size, &error));
  EXPECT_EQ(size, 0u);
  size = sizeof handle;
  EXPECT_FALSE(control_(nullptr, cc::kOpen, path.c_str(), nullptr, nullptr, 0, &handle, &size, &error));
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(error, nullptr);
  // Read without a handle.
  uint8_t buffer[4] = {};
  uint32_t bytes = sizeof buffer;
  uint32_t boundary = 0;
  BSTR meta = nullptr;
  EXPECT_FALSE(read_(nullptr, buffer, &bytes, &meta, &boundary));
  EXPECT_EQ(meta, nullptr);
}

// The whole road through the loaded library: the model driver of a simulated unit the service
// announced online is opened, answers, refuses a read before a lock, and is closed.
TEST_F(LibraryTest, OpensAndClosesTheModelDriverOfASimulatedUnit) {
  Load();
  engine::SimUnit unit;
  engine::UnitServer server(unit, engine::ModelUnitOptions(1, "QM48TZ000001", u"Quarx M48tz Scanner"));
  ASSERT_EQ(server.Start(), ERROR_SUCCESS);
  const std::u16string path = server.Entry().interfacePath;
  ObjectResult<Event> online = Event::Create(u"Global\\RZD_VID_2E5A_PID_0148#QM48TZ000001_ON", true, true);
  ASSERT_TRUE(online);

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    void* handle = nullptr;
    uint32_t size = sizeof handle;
    BSTR error = nullptr;
    ASSERT_TRUE(control_(nullptr, cc::kOpen, path.c_str(), nullptr, nullptr, 0, &handle, &size, &error));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(size, sizeof handle);
    EXPECT_TRUE(std::u16string(BstrView(error)).starts_with(u"<Result><ErrorCode>0</ErrorCode>"));
    SysFreeString(error);
    error = nullptr;

    uint32_t status = 0;
    uint32_t statusSize = sizeof status;
    EXPECT_TRUE(control_(handle, cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &statusSize, &error));
    EXPECT_EQ(status, 1u);  // open, not locked
    SysFreeString(error);
    error = nullptr;

    // A read before a lock fails through the driver object: its document is in the metadata slot.
    uint8_t buffer[64] = {};
    uint32_t bytes = sizeof buffer;
    uint32_t boundary = 0;
    BSTR meta = nullptr;
    EXPECT_FALSE(read_(handle, buffer, &bytes, &meta, &boundary));
    EXPECT_TRUE(std::u16string(BstrView(meta)).starts_with(u"<Result><ErrorCode>"));
    EXPECT_FALSE(std::u16string(BstrView(meta)).starts_with(u"<Result><ErrorCode>0<"));
    SysFreeString(meta);

    EXPECT_TRUE(control_(handle, cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &error));
    EXPECT_EQ(error, nullptr);
    EXPECT_FALSE(control_(handle, cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &statusSize, &error));
    EXPECT_EQ(error, nullptr);
  }
}

// The library as delivered carries its documents and no firmware image: the model's identifiers
// 129 and 130 find nothing, so writing the default firmware sends nothing.
TEST_F(LibraryTest, CarriesItsDescriptionAndNoFirmwareImage) {
  Load();
  EXPECT_TRUE(FindResource(module_->Path(), kResourceTypeXml, 110));
  EXPECT_TRUE(FindResource(module_->Path(), kResourceTypeXml, 120));
  EXPECT_FALSE(FindResource(module_->Path(), u"BINARY", 129));
  EXPECT_FALSE(FindResource(module_->Path(), u"BINARY", 130));
}

TEST_F(LibraryTest, LoadsAndUnloadsAgain) {
  for (int i = 0; i < 3; ++i) {
    Load();
    BSTR list = nullptr;
    BSTR error = nullptr;
    EXPECT_TRUE(control_(nullptr, cc::kNamespaceList, nullptr, &list, nullptr, 0, nullptr, nullptr, &error));
    SysFreeString(list);
    module_.reset();
  }
}

}  // namespace
}  // namespace rzd::lowdrv::test
