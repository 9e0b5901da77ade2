// Root and known folders, modules, process start and liveness, sessions.
#include "platform/kernel.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/root.h"
#include "platform/session.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class SystemTest : public rzd::test::TempRoot {};

TEST_F(SystemTest, KnownFoldersLieUnderTheRoot) {
  struct Case {
    rzd::KnownFolder folder;
    const char* relative;
  };
  const Case cases[] = {
      {rzd::KnownFolder::CommonAppData, "ProgramData"},
      {rzd::KnownFolder::ProgramFiles, "Program Files"},
      {rzd::KnownFolder::ProgramFilesX86, "Program Files (x86)"},
      {rzd::KnownFolder::CommonFiles, "Program Files/Common Files"},
      {rzd::KnownFolder::CommonFilesX86, "Program Files (x86)/Common Files"},
      {rzd::KnownFolder::Windows, "Windows"},
      {rzd::KnownFolder::System, "Windows/System32"},
      {rzd::KnownFolder::InstallLog, "Log"},
  };
  for (const auto& c : cases) {
    fs::path path = rzd::KnownFolderPath(c.folder);
    EXPECT_EQ(path, RootPath() / c.relative);
    EXPECT_TRUE(fs::is_directory(path)) << path;
  }
}

TEST_F(SystemTest, EachRootHasItsOwnNamespaceToken) {
  std::string first = rzd::RootNamespaceToken();
  EXPECT_EQ(first, rzd::RootNamespaceToken());
  rzd::test::ScopedRoot other;
  EXPECT_NE(first, rzd::RootNamespaceToken());
}

TEST(Modules, LoadBindUnload) {
  fs::path library = rzd::test::BinaryDir().parent_path() / "lib" / "libmodule_fixture.so";
  auto module = rzd::Module::Load(library);
  ASSERT_NE(module, nullptr);
  auto answer = module->Bind<int (*)()>("FixtureAnswer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(module->Symbol("NoSuchExport"), nullptr);
  auto ownPath = module->Bind<const char* (*)()>("FixtureOwnPath");
  EXPECT_EQ(fs::path(ownPath()).filename(), "libmodule_fixture.so");
  std::string error;
  EXPECT_EQ(rzd::Module::Load(library.parent_path() / "missing.so", &error), nullptr);
  EXPECT_FALSE(error.empty());
}

TEST_F(SystemTest, ExecutableKeepsTheNameItWasStartedBy) {
  fs::path original = rzd::test::BinaryDir() / "print_exe_path";
  struct Case {
    const char* name;
    bool symlink;
  };
  for (const auto& c : {Case{"scanhost_0001_3", false}, Case{"scanhost_0002_4", true}}) {
    fs::path copy = RootPath() / c.name;
    if (c.symlink) {
      fs::create_symlink(original, copy);
    } else {
      fs::create_hard_link(original, copy);
    }
    fs::path out = RootPath() / "out.txt";
    auto child = rzd::ChildProcess::Start("/bin/sh", {"-c", "\"" + copy.string() + "\" > \"" + out.string() + "\""});
    ASSERT_TRUE(child);
    ASSERT_EQ(child->Wait(30000), 0);
    std::ifstream in(out);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(fs::path(line).filename(), c.name);
  }
}

TEST(Process, StartWaitKillAndLiveness) {
  auto quick = rzd::ChildProcess::Start("/bin/sh", {"-c", "exit 7"});
  ASSERT_TRUE(quick);
  EXPECT_EQ(quick->Wait(30000), 7);
  auto slow = rzd::ChildProcess::Start("/bin/sleep", {"60"});
  ASSERT_TRUE(slow);
  uint32_t pid = slow->Pid();
  EXPECT_TRUE(rzd::IsProcessAlive(pid));
  EXPECT_FALSE(slow->Wait(10).has_value());
  slow->Kill();
  EXPECT_FALSE(rzd::IsProcessAlive(pid));
  EXPECT_TRUE(rzd::IsProcessAlive(1)) << "a process we may not signal counts as alive";
  EXPECT_FALSE(rzd::IsProcessAlive(0x80000001u)) << "never a process group";
  EXPECT_FALSE(rzd::KillProcess(0xFFFFFFFFu));
  EXPECT_FALSE(rzd::ChildProcess::Start("/no/such/program", {}).has_value());
}

TEST(Process, AnEndedButUnreapedChildIsNotAlive) {
  auto child = rzd::ChildProcess::Start("/bin/sh", {"-c", "exit 0"});
  ASSERT_TRUE(child);
  // Not reaped yet: the child is a zombie until Wait.
  for (int i = 0; i < 3000 && rzd::IsProcessAlive(child->Pid()); ++i) {
    rzd::WaitOne(rzd::Event::Unnamed(true, false), 10);
  }
  EXPECT_FALSE(rzd::IsProcessAlive(child->Pid()));
  EXPECT_EQ(child->Wait(30000), 0);
}

TEST(Process, ExtraEnvironmentReachesTheChild) {
  auto child = rzd::ChildProcess::Start("/bin/sh", {"-c", "test \"$RZD_PROBE\" = yes"}, {"RZD_PROBE=yes"});
  ASSERT_TRUE(child);
  EXPECT_EQ(child->Wait(30000), 0);
}

TEST_F(SystemTest, SessionsDefaultToTheUserAndCanBeMoved) {
  EXPECT_EQ(rzd::ActiveConsoleSessionId(), 1u);
  EXPECT_EQ(rzd::ProcessSessionId(rzd::CurrentProcessId()), 1u);
  auto child = rzd::ChildProcess::Start("/bin/sleep", {"60"});
  ASSERT_TRUE(child);
  rzd::SetProcessSessionForTests(child->Pid(), 2);
  EXPECT_EQ(rzd::ProcessSessionId(child->Pid()), 2u);
  rzd::SetConsoleSessionForTests(2);
  EXPECT_EQ(rzd::ActiveConsoleSessionId(), 2u);
  child->Kill();
  EXPECT_FALSE(rzd::ProcessSessionId(child->Pid()).has_value()) << "an ended process has no session";
}

}  // namespace
