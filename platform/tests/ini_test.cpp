#include "platform/ini.h"

#include "platform/errors.h"
#include "platform/process.h"
#include "platform/text.h"
#include "testsupport/eventually.h"
#include "testsupport/file_bytes.h"
#include "testsupport/file_modes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using rzd::test::ModeOf;
using rzd::test::ReadBytes;
using rzd::test::Utf16BeWithMark;
using rzd::test::Utf16LeWithMark;
using rzd::test::WriteBytes;
using rzd::GetPrivateProfileInt;
using rzd::GetPrivateProfileString;
using rzd::WritePrivateProfileString;

class IniFile : public rzd::test::TempRoot {
 protected:
  fs::path File() const { return RootPath() / "test.ini"; }
};

TEST_F(IniFile, ReadsFollowProfileRules) {
  WriteBytes(File(), Utf16LeWithMark(u"orphan=before any section\r\n"
                             u"; a comment line\r\n"
                             u"[TWAIN]\r\n"
                             u"  HWIP_BDR =  0  \r\n"
                             u"Quoted=\"  padded  \"\r\n"
                             u"Single='x'\r\n"
                             u"Unpaired=\"x\r\n"
                             u"Empty=\r\n"
                             u"Dup=first\r\n"
                             u"Dup=second\r\n"
                             u"[ Counters ]\r\n"
                             u"MaxCleanCount=5000\r\n"
                             u"[twain]\r\n"
                             u"OnlyInSecond=yes\r\n"
                             u"Dup=third\r\n"));
  struct Case {
    const char16_t* section;
    const char16_t* key;
    const char16_t* def;
    std::u16string want;
  };
  const Case cases[] = {
      {u"TWAIN", u"HWIP_BDR", u"d", u"0"},               // blanks around name and value trimmed
      {u"twain", u"hwip_bdr", u"d", u"0"},               // names without case
      {u"TWAIN", u"Quoted", u"d", u"  padded  "},        // matching quotes removed, inside kept
      {u"TWAIN", u"Single", u"d", u"x"},
      {u"TWAIN", u"Unpaired", u"d", u"\"x"},             // unpaired quote stays
      {u"TWAIN", u"Empty", u"d", u""},                   // present but empty: empty, not default
      {u"TWAIN", u"Dup", u"d", u"first"},                // first entry wins
      {u"TWAIN", u"OnlyInSecond", u"d", u"yes"},         // a later section of the same name
      {u"Counters", u"MaxCleanCount", u"d", u"5000"},    // "[ Counters ]" trimmed
      {u"TWAIN", u"Missing", u"dflt  ", u"dflt"},        // default loses trailing blanks
      {u"Nowhere", u"HWIP_BDR", u"dflt", u"dflt"},
      {u"", u"orphan", u"dflt", u"dflt"},                // lines before the first section are no entries
      {u"TWAIN", u"; a comment line", u"dflt", u"dflt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rzd::ToUtf8(std::u16string(c.section) + u"/" + c.key));
    EXPECT_EQ(GetPrivateProfileString(c.section, c.key, c.def, File()), c.want);
  }
  EXPECT_EQ(GetPrivateProfileString(u"TWAIN", u"HWIP_BDR", u"d", RootPath() / "missing.ini"), u"d");
  EXPECT_EQ(rzd::GetPrivateProfileSectionNames(File()), (std::vector<std::u16string>{u"TWAIN", u"Counters"}));
  EXPECT_EQ(rzd::GetPrivateProfileKeyNames(u"twain", File()),
            (std::vector<std::u16string>{u"HWIP_BDR", u"Quoted", u"Single", u"Unpaired", u"Empty", u"Dup",
                                         u"OnlyInSecond"}));
}

TEST_F(IniFile, IntegerValues) {
  struct Case {
    const char16_t* text;
    int32_t want;
  };
  const Case cases[] = {
      {u"12", 12},        {u"  -5", -5},        {u"+7", 7},        {u"12abc", 12},
      {u"abc", 0},        {u"0x1F", 31},        {u"0b101", 5},     {u"0o17", 15},
      {u"4294967295", -1}, {u"4294967296", 0},  {u"-0x10", -16},   {u"2", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(rzd::ToUtf8(c.text));
    ASSERT_TRUE(WritePrivateProfileString(u"S", u"K", std::u16string_view(c.text), File()));
    EXPECT_EQ(GetPrivateProfileInt(u"S", u"K", 99, File()), c.want);
  }
  ASSERT_TRUE(WritePrivateProfileString(u"S", u"K", u"", File()));
  EXPECT_EQ(GetPrivateProfileInt(u"S", u"K", 99, File()), 99);  // empty value: the default
  EXPECT_EQ(GetPrivateProfileInt(u"S", u"Other", -3, File()), -3);
}

TEST_F(IniFile, ReadsEveryEncoding) {
  const std::u16string text = u"[Sec]\r\nName=Gr\u00fc\u00dfe\r\n";
  struct Case {
    const char* label;
    std::string bytes;
  };
  const Case cases[] = {
      {"UTF-16LE with mark", Utf16LeWithMark(text)},
      {"UTF-16BE with mark", Utf16BeWithMark(text)},
      {"UTF-8 with mark", "\xEF\xBB\xBF" + rzd::ToUtf8(text)},
      {"UTF-8 without mark", rzd::ToUtf8(text)},
      {"ANSI without mark", "[Sec]\nName=Gr\xFC\xDF" "e\n"},  // Windows-1252, LF only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    WriteBytes(File(), c.bytes);
    EXPECT_EQ(GetPrivateProfileString(u"sec", u"name", u"", File()), u"Gr\u00fc\u00dfe");
  }
}

TEST_F(IniFile, WritingCreatesFileSectionAndKey) {
  ASSERT_FALSE(fs::exists(File()));
  ASSERT_TRUE(WritePrivateProfileString(u"TWAIN", u"MaintenanceWarning", u"1", File()));
  EXPECT_EQ(ReadBytes(File()), Utf16LeWithMark(u"[TWAIN]\r\nMaintenanceWarning=1\r\n"));
  ASSERT_TRUE(WritePrivateProfileString(u"Counters", u"MaxCleanCount", u"5000", File()));
  ASSERT_TRUE(WritePrivateProfileString(u"twain", u"HWIP_BDR", u"0", File()));
  ASSERT_TRUE(WritePrivateProfileString(u"TWAIN", u"maintenancewarning", u"0", File()));
  EXPECT_EQ(ReadBytes(File()), Utf16LeWithMark(u"[TWAIN]\r\nMaintenanceWarning=0\r\nHWIP_BDR=0\r\n"
                                       u"[Counters]\r\nMaxCleanCount=5000\r\n"));
}

// Under a common umask a profile file the system makes, and its lock file, are the user's alone.
// A file that exists keeps the mode its owner gave it across the rewrite (the rename would lose
// it otherwise); a lock file an earlier build left open to everyone is narrowed.
TEST_F(IniFile, ANewFileAndItsLockAreTheUsersAloneAndAnExistingFileKeepsItsMode) {
  const rzd::test::ScopedUmask commonMask(022);
  ASSERT_TRUE(WritePrivateProfileString(u"S", u"K", u"1", File()));
  EXPECT_EQ(ModeOf(File()), 0600u);
  EXPECT_EQ(ModeOf(RootPath() / "test.ini.lock"), 0600u);
  ASSERT_TRUE(rzd::EnsureUnicodeProfileFile(RootPath() / "marked.ini"));
  EXPECT_EQ(ModeOf(RootPath() / "marked.ini"), 0600u);

  const fs::path shared = RootPath() / "shared.ini";
  WriteBytes(shared, "[S]\r\nK=1\r\n");
  ASSERT_EQ(chmod(shared.c_str(), 0644), 0);
  const fs::path lock = RootPath() / "shared.ini.lock";
  WriteBytes(lock, "");
  ASSERT_EQ(chmod(lock.c_str(), 0666), 0);
  ASSERT_TRUE(WritePrivateProfileString(u"S", u"K", u"2", shared));
  EXPECT_EQ(GetPrivateProfileString(u"S", u"K", u"", shared), u"2");
  EXPECT_EQ(ModeOf(shared), 0644u);
  EXPECT_EQ(ModeOf(lock), 0600u);
}

TEST_F(IniFile, EditsKeepOtherLinesAsTheyStand) {
  WriteBytes(File(), "; settings\r\n[A]\r\nkeep = me \r\nX=1\r\n\r\n[B]\r\nY=2\r\n");  // UTF-8, no mark
  ASSERT_TRUE(WritePrivateProfileString(u"a", u"x", u"\u00e9t\u00e9", File()));
  ASSERT_TRUE(WritePrivateProfileString(u"A", u"New", u"v", File()));  // before the blank line
  EXPECT_EQ(ReadBytes(File()), Utf16LeWithMark(u"; settings\r\n[A]\r\nkeep = me \r\nX=\u00e9t\u00e9\r\nNew=v\r\n\r\n[B]\r\nY=2\r\n"));

  ASSERT_TRUE(WritePrivateProfileString(u"A", u"KEEP", std::nullopt, File()));  // delete a key
  ASSERT_TRUE(WritePrivateProfileString(u"b", std::nullopt, std::nullopt, File()));  // delete a section
  EXPECT_EQ(ReadBytes(File()), Utf16LeWithMark(u"; settings\r\n[A]\r\nX=\u00e9t\u00e9\r\nNew=v\r\n\r\n"));
  EXPECT_EQ(GetPrivateProfileString(u"B", u"Y", u"gone", File()), u"gone");
}

TEST_F(IniFile, DeletingNothingLeavesTheFileAlone) {
  ASSERT_TRUE(WritePrivateProfileString(u"S", u"K", std::nullopt, File()));
  ASSERT_TRUE(WritePrivateProfileString(u"S", std::nullopt, std::nullopt, File()));
  EXPECT_FALSE(fs::exists(File()));  // a delete in a missing file creates nothing
  WriteBytes(File(), "[S]\nK=1\n");
  ASSERT_TRUE(WritePrivateProfileString(u"S", u"Other", std::nullopt, File()));
  EXPECT_EQ(ReadBytes(File()), "[S]\nK=1\n");
}

TEST_F(IniFile, RefusesBadArgumentsAndMissingFolders) {
  struct Case {
    std::u16string section;
    std::optional<std::u16string> key;
    std::optional<std::u16string> value;
  };
  const Case cases[] = {
      {u"", u"K", u"v"},          {u"A]B", u"K", u"v"},     {u"A\nB", u"K", u"v"},
      {u"S", u"", u"v"},          {u"S", u"K=1", u"v"},     {u"S", u"[K", u"v"},
      {u"S", u"K\rX", u"v"},      {u"S", u"K", u"v\r\nX=1"},
  };
  for (const Case& c : cases) {
    uint32_t error = 0;
    std::optional<std::u16string_view> key, value;
    if (c.key) key = *c.key;
    if (c.value) value = *c.value;
    EXPECT_FALSE(WritePrivateProfileString(c.section, key, value, File(), &error));
    EXPECT_EQ(error, ERROR_INVALID_PARAMETER);
  }
  EXPECT_FALSE(fs::exists(File()));
  uint32_t error = 0;
  EXPECT_FALSE(WritePrivateProfileString(u"S", u"K", u"v", RootPath() / "no" / "such.ini", &error));
  EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
}

TEST_F(IniFile, NonAsciiRoundTrip) {
  const std::u16string values[] = {u"Gr\u00fc\u00dfe", u"\u65e5\u672c\u8a9e", u"\U0001F600 smile",
                                   u"\u041f\u0440\u0438\u0432\u0435\u0442", u"  spaced\tvalue"};
  const std::u16string keys[] = {u"Stra\u00dfe", u"\u30ad\u30fc", u"Emoji", u"\u041a\u043b\u044e\u0447", u"Plain"};
  for (size_t i = 0; i < std::size(values); ++i) {
    ASSERT_TRUE(WritePrivateProfileString(u"\u00c9t\u00e9", keys[i], values[i], File()));
  }
  for (size_t i = 0; i < std::size(values); ++i) {
    SCOPED_TRACE(i);
    std::u16string want = std::u16string(rzd::TrimView(values[i]));  // blanks around a value are not kept
    EXPECT_EQ(GetPrivateProfileString(u"\u00e9T\u00c9", keys[i], u"", File()), want);
  }
  // Case folding of non-ASCII key names.
  EXPECT_EQ(GetPrivateProfileString(u"\u00c9t\u00e9", u"\u043a\u043b\u044e\u0447", u"", File()),
            u"\u041f\u0440\u0438\u0432\u0435\u0442");
}

TEST_F(IniFile, AnotherToolReadsTheFileAsUtf16) {
  ASSERT_TRUE(WritePrivateProfileString(u"TWAIN", u"DriversProfile", u"Gr\u00fc\u00dfe \u65e5\u672c", File()));
  fs::path converted = RootPath() / "converted.txt";
  auto child = rzd::ChildProcess::Start("/usr/bin/iconv",
                                        {"-f", "UTF-16", "-t", "UTF-8", "-o", converted.string(), File().string()});
  ASSERT_TRUE(child.has_value());
  auto code = child->Wait(60000);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0);
  EXPECT_EQ(ReadBytes(converted), "[TWAIN]\r\nDriversProfile=Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC\r\n");
}

TEST_F(IniFile, EnsureUnicodeProfileFile) {
  ASSERT_TRUE(rzd::EnsureUnicodeProfileFile(File()));
  EXPECT_EQ(ReadBytes(File()), "\xFF\xFE");  // missing: only the mark
  WriteBytes(File(), "");
  ASSERT_TRUE(rzd::EnsureUnicodeProfileFile(File()));
  EXPECT_EQ(ReadBytes(File()), "\xFF\xFE");  // empty: only the mark
  WriteBytes(File(), "[S]\nK=1\n");
  ASSERT_TRUE(rzd::EnsureUnicodeProfileFile(File()));
  EXPECT_EQ(ReadBytes(File()), "[S]\nK=1\n");  // content: untouched
  uint32_t error = 0;
  EXPECT_FALSE(rzd::EnsureUnicodeProfileFile(RootPath() / "no" / "such.ini", &error));
  EXPECT_EQ(error, ERROR_PATH_NOT_FOUND);
}

TEST_F(IniFile, ConcurrentWritersInSeveralProcessesLoseNothing) {
  constexpr int kProcesses = 4;
  constexpr int kKeys = 40;
  fs::path helper = rzd::test::BinaryDir() / "ini_concurrent_writer";
  std::vector<rzd::ChildProcess> children;
  for (int p = 0; p < kProcesses; ++p) {
    auto child = rzd::ChildProcess::Start(helper, {File().string(), "Shared", "p" + std::to_string(p), std::to_string(kKeys)});
    ASSERT_TRUE(child.has_value());
    children.push_back(std::move(*child));
  }
  // Threads of this process write at the same time.
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      for (int n = 0; n < kKeys; ++n) {
        std::u16string key = rzd::FromUtf8("t" + std::to_string(t) + "_" + std::to_string(n));
        EXPECT_TRUE(WritePrivateProfileString(u"Shared", key, rzd::FromUtf8(std::to_string(n)), File()));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (auto& child : children) {
    auto code = child.Wait(120000);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0);
  }
  EXPECT_EQ(rzd::GetPrivateProfileKeyNames(u"Shared", File()).size(), static_cast<size_t>((kProcesses + 2) * kKeys));
  for (std::string prefix : {"p0", "p3", "t1"}) {
    EXPECT_EQ(GetPrivateProfileInt(u"Shared", rzd::FromUtf8(prefix + "_" + std::to_string(kKeys - 1)), -1, File()),
              kKeys - 1);
  }
  // No temporary file is left behind; only the file and its lock file remain.
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(RootPath())) {
    if (entry.path().filename().string().find(".tmp") != std::string::npos) ADD_FAILURE() << entry.path();
    ++entries;
  }
  EXPECT_GE(entries, 2u);
}

}  // namespace

namespace {

// Waits (generously) until the file exists.
bool WaitForFile(const fs::path& file) {
  return rzd::test::Eventually([&] { return fs::exists(file); });
}

size_t TempFilesIn(const fs::path& folder) {
  size_t count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().ends_with(".tmp")) ++count;
  }
  return count;
}

TEST_F(IniFile, AWriterStoppedInsideItsWriteBlocksOthersOnlyForTheLockWaitAndLeavesNoTemporaryFile) {
  ASSERT_TRUE(WritePrivateProfileString(u"Setup", u"Before", u"1", File()));
  const fs::path ready = RootPath() / "holder.ready";
  auto holder = rzd::ChildProcess::Start(rzd::test::BinaryDir() / "ini_lock_holder", {File().string(), ready.string()});
  ASSERT_TRUE(holder.has_value());
  ASSERT_TRUE(WaitForFile(ready));
  ASSERT_EQ(TempFilesIn(RootPath()), 1u);

  // The holder keeps the lock: the write gives up after the lock wait and changes nothing.
  uint32_t error = 0;
  EXPECT_FALSE(WritePrivateProfileString(u"Setup", u"During", u"2", File(), &error));
  EXPECT_EQ(error, ERROR_SHARING_VIOLATION);
  EXPECT_EQ(GetPrivateProfileString(u"Setup", u"During", u"none", File()), u"none");
  EXPECT_EQ(TempFilesIn(RootPath()), 1u);  // its writer still runs

  // Killed inside its write: the next write goes through and clears what the holder left.
  holder->Kill();
  EXPECT_TRUE(WritePrivateProfileString(u"Setup", u"After", u"3", File(), &error));
  EXPECT_EQ(error, ERROR_SUCCESS);
  EXPECT_EQ(GetPrivateProfileInt(u"Setup", u"Before", 0, File()), 1);
  EXPECT_EQ(GetPrivateProfileInt(u"Setup", u"After", 0, File()), 3);
  EXPECT_EQ(TempFilesIn(RootPath()), 0u);
}

}  // namespace
