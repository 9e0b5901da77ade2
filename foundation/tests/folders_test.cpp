#include "foundation/folders.h"
#include "foundation/module_info.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

namespace rzd {
namespace {

class Folders : public test::TempRoot {};

TEST_F(Folders, CreateDirectoryPathWithAndWithoutATrailingFileName) {
  struct Case {
    fs::path path;
    fs::path made;       // must exist as a folder afterwards
    fs::path notMade;    // must not exist afterwards (empty: none)
  };
  fs::path root = RootPath();
  const Case cases[] = {
      {root / "a" / "b" / "c" / "", root / "a" / "b" / "c", {}},
      {root / "d" / "e" / "file.txt", root / "d" / "e", root / "d" / "e" / "file.txt"},
      {root / "f" / "g", root / "f", root / "f" / "g"},  // no trailing separator: "g" is a file name
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(CreateDirectoryPath(c.path, false)) << c.path;
    EXPECT_TRUE(fs::is_directory(c.made)) << c.path;
    if (!c.notMade.empty()) {
      EXPECT_FALSE(fs::exists(c.notMade)) << c.path;
    }
    EXPECT_TRUE(CreateDirectoryPath(c.path, false)) << "again: " << c.path;
  }
}

TEST_F(Folders, CreateDirectoryPathFailsBelowAFile) {
  fs::path file = RootPath() / "plain";
  { std::ofstream(file) << "x"; }
  EXPECT_FALSE(CreateDirectoryPath(file / "sub" / "", false));
}

TEST_F(Folders, GrantOpensEveryMadeFolderToAllUsers) {
  fs::path top = RootPath() / "open";
  ASSERT_TRUE(CreateDirectoryPath(top / "inner" / "", true));
  for (const fs::path& folder : {top, top / "inner"}) {
    fs::perms perms = fs::status(folder).permissions();
    for (fs::perms bit : {fs::perms::group_read, fs::perms::group_write, fs::perms::group_exec, fs::perms::others_read,
                          fs::perms::others_write, fs::perms::others_exec}) {
      EXPECT_NE(perms & bit, fs::perms::none) << folder;
    }
  }
  fs::path file = top / "data.txt";
  { std::ofstream(file) << "x"; }
  EXPECT_TRUE(GrantUsersFullAccess(file));
  EXPECT_NE(fs::status(file).permissions() & fs::perms::others_write, fs::perms::none);
  EXPECT_FALSE(GrantUsersFullAccess(top / "missing"));
}

TEST_F(Folders, CommonAppDataFolderIsMadeOnlyWhenAsked) {
  fs::path expected = RootPath() / "ProgramData" / "Corvanite" / "Diagnostics" / "LOGDATA";
  fs::path out;
  ASSERT_TRUE(GetCommonAppDataFolder(u"Corvanite", u"\\Diagnostics\\LOGDATA\\", &out, false, false));
  EXPECT_EQ(out, expected);
  EXPECT_FALSE(fs::exists(expected));
  ASSERT_TRUE(GetCommonAppDataFolder(u"Corvanite", u"Diagnostics/LOGDATA", &out, true, false));
  EXPECT_EQ(out, expected);
  EXPECT_TRUE(fs::is_directory(expected));
}

TEST_F(Folders, MakersProgramFolders) {
  fs::path root = RootPath();
  fs::path out;
  ASSERT_TRUE(GetCommonFilesFolder(&out));
  EXPECT_EQ(out, root / "Program Files" / "Common Files" / "Corvanite");
  ASSERT_TRUE(GetCommonFilesX86Folder(&out));
  EXPECT_EQ(out, root / "Program Files (x86)" / "Common Files" / "Corvanite");
  ASSERT_TRUE(GetProgramFilesFolder(u"M48tz", &out));
  EXPECT_EQ(out, root / "Program Files" / "Corvanite" / "M48tz");
  ASSERT_TRUE(Is64BitWindows());
  ASSERT_TRUE(GetProgramFilesX86Folder(u"M48tz", &out));
  EXPECT_EQ(out, root / "Program Files (x86)" / "Corvanite" / "M48tz");
}

// Restores PATH and removes the guard variables a test sets.
class PathEnv : public Folders {
 protected:
  PathEnv() : previousPath_(GetEnv("PATH")) {}
  ~PathEnv() override {
    if (previousPath_) SetEnv("PATH", *previousPath_);
    else UnsetEnv("PATH");
    for (const char* guard : {"RzdTestGuard1", "RzdTestGuard2", "RzdTestGuard3", "RzdTestGuard4"}) UnsetEnv(guard);
  }
  std::optional<std::string> previousPath_;
};

TEST_F(PathEnv, PrependedOncePerProcess) {
  SetEnv("PATH", "/usr/bin:/bin");
  EXPECT_TRUE(PrependToPath("/opt/first", u"RzdTestGuard1"));
  EXPECT_EQ(GetEnv("PATH"), "/opt/first:/usr/bin:/bin");
  EXPECT_EQ(GetEnv("RzdTestGuard1"), "true");
  EXPECT_TRUE(PrependToPath("/opt/first", u"RzdTestGuard1"));
  EXPECT_EQ(GetEnv("PATH"), "/opt/first:/usr/bin:/bin");

  // A guard that exists with any value stops it too.
  SetEnv("RzdTestGuard2", "no");
  EXPECT_TRUE(PrependToPath("/opt/second", u"RzdTestGuard2"));
  EXPECT_EQ(GetEnv("PATH"), "/opt/first:/usr/bin:/bin");
}

TEST_F(PathEnv, AnEmptyPathGetsTheFolderAlone) {
  SetEnv("PATH", "");
  EXPECT_TRUE(PrependToPath("/opt/only", u"RzdTestGuard3"));
  EXPECT_EQ(GetEnv("PATH"), "/opt/only");
}

TEST_F(PathEnv, CommonFilesFolderOfTheMaker) {
  SetEnv("PATH", "/bin");
  EXPECT_TRUE(AddCommonFilesFolderToPath(u"RzdTestGuard4"));
  EXPECT_TRUE(AddCommonFilesFolderToPath(u"RzdTestGuard4"));
  EXPECT_EQ(GetEnv("PATH"), (RootPath() / "Program Files" / "Common Files" / "Corvanite").string() + ":/bin");
  EXPECT_FALSE(PrependToPath("/opt/x", u""));
  EXPECT_FALSE(PrependToPath("/opt/a:b", u"RzdTestGuard1"));
}

TEST(ModuleInfo, ModulePathDefaultsToTheExecutable) {
  EXPECT_EQ(GetModulePath(), ExecutablePath());
  static int inThisModule = 0;
  SetModuleInstance(&inThisModule);
  EXPECT_EQ(GetModulePath(), ExecutablePath());
}

}  // namespace
}  // namespace rzd
