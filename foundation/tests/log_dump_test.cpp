#include "foundation/log_client.h"
#include "platform/process.h"
#include "recording_logger.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace rzd {
namespace {

using test::FixedClockScope;
using test::PublishedLogger;
using test::ReadBytes;

class CDumper : public CLogClient {
 public:
  CDumper(const std::u16string& name, CLogInterfacePtr slot) : CLogClient(name, slot) {}
};

std::vector<fs::path> FilesUnder(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto& entry : fs::recursive_directory_iterator(folder, ec)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  return files;
}

class LogDump : public test::TempRoot {
 protected:
  fs::path DumpFolder() const { return RootPath() / "ProgramData" / "Corvanite" / "Diagnostics" / "LOGDATA"; }
  void MakeDumpFolder() const { fs::create_directories(DumpFolder()); }
  // Sets the feature and data levels of a fresh feature name and answers it.
  std::u16string Feature(const char16_t* name, int32_t featureLevel, int32_t dataLevel) {
    std::u16string feature = name;
    CLogInterface::LookupFeatureLevel(feature)->store(featureLevel);
    CLogInterface::LookupFeatureLevel(feature + u".Data")->store(dataLevel);
    return feature;
  }
  PublishedLogger published_;
};

TEST_F(LogDump, FilesAreNamedFromFirstUseTimeCounterFeatureAndCaller) {
  MakeDumpFolder();
  std::u16string feature = Feature(u"Dump.Names", 0, 4);
  CDumper dumper(feature, published_.Slot());
  {
    // A zone away from UTC: the name must carry the UTC time, not the local one (03.43.20).
    std::optional<std::string> previousZone = GetEnv("TZ");
    SetEnv("TZ", "XYZ-05:30");
    FixedClockScope firstUse(345);  // 2023-11-14 22:13:20 UTC
    EXPECT_EQ(dumper._getDataFlag(), 4u);
    if (previousZone) SetEnv("TZ", *previousZone);
    else UnsetEnv("TZ");
  }
  FixedClockScope later(5'000'000);  // the prefix keeps the first-use time
  RZD_LOG_DATA_FILE_OF(dumper, u"GetSettings", u"first text", LogEntryInfo);
  RZD_LOG_DATA_FILE_XML_OF(dumper, u"Control", u"<Result/>", LogEntryInfo);

  fs::path first = DumpFolder() / "2023-11-14 22.13.20-0000-Dump.Names-GetSettings.txt";
  fs::path second = DumpFolder() / "2023-11-14 22.13.20-0001-Dump.Names-Control.xml";
  EXPECT_EQ(ReadBytes(first), "first text");
  EXPECT_EQ(ReadBytes(second), "<Result/>");
  EXPECT_EQ(FilesUnder(DumpFolder()).size(), 2u);

  auto lines = published_.Logger().Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].level, 4u);
  EXPECT_EQ(lines[0].feature, u"Dump.Names.Data");
  EXPECT_EQ(lines[0].text, u"LARGE FILE " + first.u16string());
  EXPECT_EQ(lines[1].text, u"LARGE FILE " + second.u16string());
}

TEST_F(LogDump, AnnouncementLevelFollowsTheEntryClass) {
  MakeDumpFolder();
  std::u16string feature = Feature(u"Dump.Classes", 0, 7);
  CDumper dumper(feature, published_.Slot());
  struct Case {
    LogEntryClass entryClass;
    size_t lines;
    uint32_t level;
  };
  const Case cases[] = {{LogEntryError, 1, 1}, {LogEntryWarn, 1, 2}, {LogEntryInfo, 1, 4}, {LogEntryClass(3), 0, 0}};
  uint32_t files = 0;
  for (const Case& c : cases) {
    published_.Logger().Clear();
    dumper._LogDataFile(u"Caller", u"text", c.entryClass);
    ++files;
    EXPECT_EQ(FilesUnder(DumpFolder()).size(), files) << c.entryClass;  // the file is written in every case
    auto lines = published_.Logger().Lines();
    ASSERT_EQ(lines.size(), c.lines) << c.entryClass;
    if (c.lines == 1) {
      EXPECT_EQ(lines[0].level, c.level);
      EXPECT_EQ(lines[0].feature, u"Dump.Classes.Data");
    }
  }
}

TEST_F(LogDump, EmptyTextLogsNullStringAndWritesNoFile) {
  MakeDumpFolder();
  std::u16string feature = Feature(u"Dump.Empty", 4, 4);
  CDumper dumper(feature, published_.Slot());
  dumper._LogDataFile(u"Caller", u"", LogEntryInfo);
  EXPECT_TRUE(FilesUnder(DumpFolder()).empty());
  auto lines = published_.Logger().Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].feature, u"Dump.Empty");
  EXPECT_EQ(lines[0].level, 4u);
  EXPECT_EQ(lines[0].text, u"<NULLSTRING>");
  EXPECT_EQ(lines[1].feature, u"Dump.Empty.Data");
  EXPECT_EQ(lines[1].text, u"LARGE FILE ");
  // The counter was not used: the next dump is number 0000.
  dumper._LogDataFile(u"Caller", u"x", LogEntryInfo);
  auto files = FilesUnder(DumpFolder());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(files[0].filename().string().find("-0000-Dump.Empty-Caller.txt"), std::string::npos);
}

TEST_F(LogDump, WithoutTheFolderNoFileIsWrittenAndNoFolderIsMade) {
  std::u16string feature = Feature(u"Dump.NoFolder", 0, 4);
  CDumper dumper(feature, published_.Slot());
  dumper._LogDataFile(u"Caller", u"text", LogEntryInfo);
  EXPECT_FALSE(fs::exists(DumpFolder()));
  EXPECT_TRUE(FilesUnder(RootPath() / "ProgramData").empty());
  auto lines = published_.Logger().Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].text.starts_with(u"LARGE FILE " + DumpFolder().u16string()));
}

TEST_F(LogDump, CallerNamesCannotLeaveTheFolderAndTextIsNeverAFormat) {
  MakeDumpFolder();
  std::u16string feature = Feature(u"Dump.Safe", 0, 4);
  CDumper dumper(feature, published_.Slot());
  dumper._LogDataFile(u"../../../escape", u"%s%n%d text", LogEntryInfo);
  dumper._LogLargeFile(u"a\\..\\b/c", u"second", u"../txt", LogEntryInfo);

  auto everything = FilesUnder(RootPath());
  ASSERT_EQ(everything.size(), 2u);
  for (const auto& file : everything) EXPECT_EQ(file.parent_path(), DumpFolder()) << file;
  auto files = FilesUnder(DumpFolder());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files[0].filename().string().substr(19), "-0000-Dump.Safe-_________escape.txt");
  EXPECT_EQ(files[1].filename().string().substr(19), "-0001-Dump.Safe-a____b_c.___txt");
  EXPECT_EQ(ReadBytes(files[0]), "%s%n%d text");
}

TEST_F(LogDump, NullArgumentsDoNothing) {
  MakeDumpFolder();
  std::u16string feature = Feature(u"Dump.Null", 4, 4);
  CDumper dumper(feature, published_.Slot());
  dumper._LogLargeFile(nullptr, u"t", u"txt", LogEntryInfo);
  dumper._LogLargeFile(u"n", nullptr, u"txt", LogEntryInfo);
  dumper._LogLargeFile(u"n", u"t", nullptr, LogEntryInfo);
  EXPECT_TRUE(FilesUnder(DumpFolder()).empty());
  EXPECT_TRUE(published_.Logger().Lines().empty());
}

TEST_F(LogDump, ConcurrentDumpsGetDistinctNumbers) {
  MakeDumpFolder();
  std::u16string feature = Feature(u"Dump.Threads", 0, 4);
  CDumper dumper(feature, published_.Slot());
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      for (int j = 0; j < 25; ++j) dumper._LogDataFile(u"T", u"text", LogEntryInfo);
    });
  }
  for (auto& t : threads) t.join();
  std::set<std::string> numbers;
  for (const auto& file : FilesUnder(DumpFolder())) numbers.insert(file.filename().string().substr(20, 4));
  EXPECT_EQ(numbers.size(), 100u);
  EXPECT_EQ(*numbers.begin(), "0000");
  EXPECT_EQ(*numbers.rbegin(), "0099");
}

TEST_F(LogDump, DumpSitesAreSilentWhenTheDataLevelIsOff) {
  MakeDumpFolder();
  std::u16string feature = Feature(u"Dump.Off", 7, 0);
  CDumper dumper(feature, published_.Slot());
  RZD_LOG_DATA_FILE_OF(dumper, u"Caller", u"text", LogEntryInfo);
  EXPECT_TRUE(FilesUnder(DumpFolder()).empty());
  EXPECT_TRUE(published_.Logger().Lines().empty());
}

}  // namespace
}  // namespace rzd
