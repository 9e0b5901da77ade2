// Root and known folders, modules, process start and liveness, sessions.
#include "platform/account.h"
#include "platform/errors.h"
#include "platform/kernel.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/root.h"
#include "platform/session.h"
#include "root/kept_line.h"
#include "testsupport/file_bytes.h"
#include "testsupport/file_modes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <sys/stat.h>  // the root's mode
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class SystemTest : public rzd::test::TempRoot {};

using rzd::test::ModeOf;

// Known folders lie under the root and, as every folder the system makes there, are the user's
// alone (0700, also each folder on the way) under a common umask.
TEST_F(SystemTest, KnownFoldersLieUnderTheRoot) {
  const rzd::test::ScopedUmask commonMask(022);
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
  auto expectPrivateUpToTheRoot = [&](const fs::path& path) {
    for (fs::path at = path; at != RootPath() && at != at.parent_path(); at = at.parent_path()) {
      EXPECT_EQ(ModeOf(at), 0700u) << at;
    }
  };
  for (const auto& c : cases) {
    fs::path path = rzd::KnownFolderPath(c.folder);
    EXPECT_EQ(path, RootPath() / c.relative);
    EXPECT_TRUE(fs::is_directory(path)) << path;
    expectPrivateUpToTheRoot(path);
  }
  // The user's own folder: Users/<user name>/AppData/Local.
  const fs::path local = rzd::KnownFolderPath(rzd::KnownFolder::LocalAppData);
  EXPECT_TRUE(fs::is_directory(local)) << local;
  EXPECT_EQ(local.parent_path().parent_path().parent_path(), RootPath() / "Users");
  EXPECT_EQ(local.parent_path().filename(), "AppData");
  EXPECT_EQ(local.filename(), "Local");
  expectPrivateUpToTheRoot(local);
}

// A file the system keeps is made 0600 under a common umask; one an earlier build left open to
// others keeps its bytes and its owner's bits and loses the others'; a folder is narrowed alike.
TEST_F(SystemTest, FilesTheSystemKeepsAreTheUsersAloneAlsoThoseAnEarlierBuildLeftOpen) {
  const rzd::test::ScopedUmask commonMask(022);
  const fs::path file = RootPath() / "kept";
  ASSERT_EQ(rzd::EnsurePrivateFile(file), ERROR_SUCCESS);
  EXPECT_EQ(ModeOf(file), 0600u);
  EXPECT_EQ(rzd::test::ReadBytes(file), "");

  rzd::test::WriteBytes(file, "bytes");
  ASSERT_EQ(chmod(file.c_str(), 0755), 0);
  ASSERT_EQ(rzd::EnsurePrivateFile(file), ERROR_SUCCESS);
  EXPECT_EQ(ModeOf(file), 0700u);
  EXPECT_EQ(rzd::test::ReadBytes(file), "bytes");
  ASSERT_EQ(chmod(file.c_str(), 0666), 0);
  ASSERT_EQ(rzd::MakeOwnerOnly(file), ERROR_SUCCESS);
  EXPECT_EQ(ModeOf(file), 0600u);

  const fs::path folder = RootPath() / "wide";
  ASSERT_TRUE(fs::create_directory(folder));
  ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
  ASSERT_EQ(rzd::MakeOwnerOnly(folder), ERROR_SUCCESS);
  EXPECT_EQ(ModeOf(folder), 0700u);
  EXPECT_EQ(rzd::MakeOwnerOnly(RootPath() / "missing"), ERROR_SUCCESS);
  EXPECT_FALSE(fs::exists(RootPath() / "missing"));
  EXPECT_EQ(rzd::EnsurePrivateFile(RootPath() / "no" / "such"), ERROR_PATH_NOT_FOUND);

  ASSERT_EQ(rzd::CreatePrivateFolders(RootPath() / "a" / "b" / "c"), ERROR_SUCCESS);
  for (const char* made : {"a", "a/b", "a/b/c"}) EXPECT_EQ(ModeOf(RootPath() / made), 0700u) << made;
  EXPECT_EQ(ModeOf(folder), 0700u);
  EXPECT_EQ(rzd::CreatePrivateFolders(file), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(rzd::CreatePrivateFolders(file / "under"), ERROR_PATH_NOT_FOUND) << "a file on the way";
}

// The root in force follows $RZD_ROOT, then $XDG_STATE_HOME, then $HOME, read on every call.
TEST(Root, DefaultFollowsTheEnvironment) {
  const char* names[] = {"RZD_ROOT", "XDG_STATE_HOME", "HOME"};
  std::optional<std::string> saved[3];
  for (int i = 0; i < 3; ++i) saved[i] = rzd::GetEnv(names[i]);
  struct Case {
    const char* root;   // nullptr: unset
    const char* state;
    const char* home;
    const char* want;
  };
  const Case cases[] = {
      {"/r/explicit", "/x/state", "/h/user", "/r/explicit"},
      {nullptr, "/x/state", "/h/user", "/x/state/rzd"},
      {"", "/x/state", "/h/user", "/x/state/rzd"},  // an empty variable counts as unset
      {nullptr, nullptr, "/h/user", "/h/user/.local/state/rzd"},
      {nullptr, "", "/h/user", "/h/user/.local/state/rzd"},
  };
  for (const Case& c : cases) {
    const char* values[] = {c.root, c.state, c.home};
    for (int i = 0; i < 3; ++i) {
      if (values[i] == nullptr) {
        rzd::UnsetEnv(names[i]);
      } else {
        rzd::SetEnv(names[i], values[i]);
      }
    }
    EXPECT_EQ(rzd::SystemRoot(), fs::path(c.want)) << c.want;
  }
  std::string tokenOfHome = rzd::RootNamespaceToken();
  rzd::SetEnv("RZD_ROOT", "/h/user/.local/state/rzd");
  EXPECT_EQ(rzd::RootNamespaceToken(), tokenOfHome) << "the same folder is the same namespace";
  for (int i = 0; i < 3; ++i) {
    if (saved[i]) {
      rzd::SetEnv(names[i], *saved[i]);
    } else {
      rzd::UnsetEnv(names[i]);
    }
  }
}

// Whoever points the system at a root, it is the user's alone once the system uses it: a wide
// root is narrowed, a missing one is made private, one whose parent is missing is not made on
// the way (and is made once the parent is there).
TEST_F(SystemTest, TheRootBecomesItsUsersAloneWhenTheSystemFirstUsesIt) {
  const rzd::test::ScopedUmask openToAll(0);
  const fs::path wide = RootPath() / "wide";
  ASSERT_TRUE(fs::create_directory(wide));
  ASSERT_EQ(chmod(wide.c_str(), 0777), 0);
  rzd::SetEnv("RZD_ROOT", wide.string());
  EXPECT_EQ(rzd::SystemRoot(), wide);
  EXPECT_EQ(ModeOf(wide), 0700u);

  const fs::path fresh = RootPath() / "fresh";
  rzd::SetEnv("RZD_ROOT", fresh.string());
  EXPECT_EQ(rzd::SystemRoot(), fresh);
  EXPECT_EQ(ModeOf(fresh), 0700u);

  const fs::path deep = RootPath() / "missing" / "root";
  rzd::SetEnv("RZD_ROOT", deep.string());
  EXPECT_EQ(rzd::SystemRoot(), deep);
  EXPECT_FALSE(fs::exists(RootPath() / "missing")) << "nothing is made on the way to a root";
  ASSERT_TRUE(fs::create_directory(RootPath() / "missing"));
  rzd::SystemRoot();
  EXPECT_EQ(ModeOf(deep), 0700u);
}

// A shared folder of the user (sticky, as /tmp) is never narrowed, neither as a root nor as the
// folder of what the system makes there; the folders made in it are private.
TEST_F(SystemTest, ASharedFolderStaysShared) {
  for (const mode_t mode : {01777u, 01755u}) {
    SCOPED_TRACE(mode);
    const fs::path shared = RootPath() / ("shared" + std::to_string(mode));
    ASSERT_TRUE(fs::create_directory(shared));
    ASSERT_EQ(chmod(shared.c_str(), mode), 0);
    EXPECT_EQ(rzd::EnsurePrivateFolder(shared), ERROR_SUCCESS);
    EXPECT_EQ(ModeOf(shared), mode);
    rzd::SetEnv("RZD_ROOT", shared.string());
    EXPECT_EQ(rzd::SystemRoot(), shared);
    EXPECT_EQ(ModeOf(shared), mode);
    ASSERT_EQ(rzd::EnsurePrivateFolder(shared / "own"), ERROR_SUCCESS);
    EXPECT_EQ(ModeOf(shared / "own"), 0700u);
  }
}

// A kept record is replaced whole, 0600; one that cannot be replaced keeps what it held, and no
// temporary file of the attempt is left beside it.
TEST_F(SystemTest, AKeptRecordThatCannotBeReplacedKeepsWhatItHeld) {
  const rzd::test::ScopedUmask commonMask(022);
  const fs::path folder = RootPath() / "records";
  const fs::path record = folder / "line";
  rzd::root_internal::WriteKeptLine(record, "first");
  rzd::root_internal::WriteKeptLine(record, "second");
  EXPECT_EQ(rzd::test::ReadBytes(record), "second\n");
  EXPECT_EQ(ModeOf(record), 0600u);

  // A folder where the record should be: the rename fails.
  ASSERT_TRUE(fs::create_directories(folder / "taken" / "inside"));
  rzd::root_internal::WriteKeptLine(folder / "taken", "third");
  EXPECT_TRUE(fs::is_directory(folder / "taken" / "inside"));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"line", "taken"}));

  // A folder that takes no new file (the superuser's writes pass regardless).
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(folder.c_str(), 0500), 0);
    EXPECT_EQ(rzd::root_internal::ReplaceOwnerOnlyFile(record, "third\n"), EACCES);
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    EXPECT_EQ(rzd::test::ReadBytes(record), "second\n");
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

TEST(Modules, FindBesideProgramLooksBesideThenInLib) {
  const std::optional<fs::path> beside = rzd::FindBesideProgram("print_exe_path");
  ASSERT_TRUE(beside.has_value());
  EXPECT_TRUE(fs::equivalent(*beside, rzd::test::BinaryDir() / "print_exe_path"));
  const std::optional<fs::path> inLib = rzd::FindBesideProgram("libmodule_fixture.so");
  ASSERT_TRUE(inLib.has_value());
  EXPECT_TRUE(fs::equivalent(*inLib, rzd::test::BinaryDir().parent_path() / "lib" / "libmodule_fixture.so"));
  EXPECT_EQ(rzd::FindBesideProgram("missing.so"), std::nullopt);
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

TEST(Process, ProcessesAreFoundByTheirExecutablesFileName) {
  EXPECT_TRUE(rzd::ProcessWithExecutableNameRuns(u"platform_tests")) << "this program";
  EXPECT_TRUE(rzd::ProcessWithExecutableNameRuns(u"PLATFORM_TESTS")) << "compared in upper case";
  EXPECT_FALSE(rzd::ProcessWithExecutableNameRuns(u"platform_test"));
  EXPECT_FALSE(rzd::ProcessWithExecutableNameRuns(u""));
  auto sleeper = rzd::ChildProcess::Start("/bin/sleep", {"60"});
  ASSERT_TRUE(sleeper);
  EXPECT_TRUE(rzd::ProcessWithExecutableNameRuns(u"Sleep"));
  sleeper->Kill();
}

// A live process owned by another user answers EPERM to a probe; it still counts as alive.
TEST(Process, AProcessWeMayNotSignalCountsAsAlive) {
  if (geteuid() != 0) {
    // Not privileged: init is such a process already.
    ASSERT_NE(kill(1, 0), 0);
    EXPECT_TRUE(rzd::IsProcessAlive(1));
    return;
  }
  // Privileged: probe this (root-owned) process from a child that gave up its privileges.
  const pid_t parent = getpid();
  auto ended = rzd::ChildProcess::Start("/bin/sh", {"-c", "exit 0"});
  ASSERT_TRUE(ended);
  const uint32_t endedPid = ended->Pid();
  ASSERT_EQ(ended->Wait(30000), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(10);
    if (kill(parent, 0) == 0 || errno != EPERM) _exit(11);  // the case this test is about
    if (!rzd::IsProcessAlive(static_cast<uint32_t>(parent))) _exit(12);
    if (rzd::IsProcessAlive(endedPid)) _exit(13);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not drop privileges, 11: no EPERM, 12: reported dead, "
                                       "13: an ended process reported alive";
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

// A process known by id and start time runs only while that very process runs: not once it
// ended (reaped or not), and never when none ran with the id when it was taken.
TEST(Process, AProcessIdentityRunsOnlyWhileThatProcessRuns) {
  const rzd::ProcessIdentity self = rzd::ProcessIdentity::Of(rzd::CurrentProcessId());
  EXPECT_NE(self.startTime, 0u);
  EXPECT_TRUE(self.Runs());

  auto child = rzd::ChildProcess::Start("/bin/sleep", {"60"});
  ASSERT_TRUE(child);
  const rzd::ProcessIdentity taken = rzd::ProcessIdentity::Of(child->Pid());
  EXPECT_TRUE(taken.Runs());
  // The same id with another start time is another process.
  EXPECT_FALSE((rzd::ProcessIdentity{taken.processId, taken.startTime + 1}.Runs()));
  child->Kill();
  EXPECT_FALSE(taken.Runs());

  const rzd::ProcessIdentity ended = rzd::ProcessIdentity::Of(taken.processId);
  EXPECT_EQ(ended.startTime, 0u) << "no process runs with that id";
  EXPECT_FALSE(ended.Runs());
  EXPECT_FALSE(rzd::ProcessIdentity{}.Runs());
}

TEST(Process, ExtraEnvironmentReachesTheChild) {
  auto child = rzd::ChildProcess::Start("/bin/sh", {"-c", "test \"$RZD_PROBE\" = yes"}, {"RZD_PROBE=yes"});
  ASSERT_TRUE(child);
  EXPECT_EQ(child->Wait(30000), 0);
}

// A child started with its standard output on standard error writes both lines there and
// nothing to this process's standard output; an inherited one writes each to its own stream.
TEST_F(SystemTest, AChildsStandardOutputCanGoToStandardError) {
  struct Case {
    rzd::ChildOutput output;
    const char* out;
    const char* err;
  };
  for (const Case& c : {Case{rzd::ChildOutput::ToStandardError, "", "out\nerr\n"},
                        Case{rzd::ChildOutput::Inherited, "out\n", "err\n"}}) {
    const fs::path outFile = RootPath() / "out.txt";
    const fs::path errFile = RootPath() / "err.txt";
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = dup(1);
    const int savedErr = dup(2);
    const int toOut = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int toErr = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_TRUE(savedOut >= 0 && savedErr >= 0 && toOut >= 0 && toErr >= 0);
    dup2(toOut, 1);
    dup2(toErr, 2);
    auto child = rzd::ChildProcess::Start("/bin/sh", {"-c", "echo out; echo err >&2"}, {}, c.output);
    const std::optional<int> exit = child ? child->Wait(30000) : std::nullopt;
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    for (int fd : {savedOut, savedErr, toOut, toErr}) close(fd);
    EXPECT_EQ(exit, 0);
    EXPECT_EQ(rzd::test::ReadBytes(outFile), c.out);
    EXPECT_EQ(rzd::test::ReadBytes(errFile), c.err);
  }
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

// Without a record the account's own rights answer (tests run as root here: elevated); a record
// in the root is what every process of the root answers, and removing it restores the account's.
TEST_F(SystemTest, AccountRightsFollowTheAccountUnlessTheRootRecordsOthers) {
  using rzd::AccountRights;
  const AccountRights own = rzd::CurrentAccountRights();
  if (geteuid() == 0) {
    EXPECT_EQ(own, AccountRights::ElevatedAdministrator);
  }
  struct Case {
    AccountRights rights;
    bool elevated;
    bool member;
  };
  const Case cases[] = {{AccountRights::StandardUser, false, false},
                        {AccountRights::AdministratorsMember, false, true},
                        {AccountRights::ElevatedAdministrator, true, true}};
  for (const Case& c : cases) {
    rzd::SetAccountRightsForTests(c.rights);
    EXPECT_EQ(rzd::CurrentAccountRights(), c.rights);
    EXPECT_EQ(rzd::IsRunningAsAdmin(), c.elevated);
    EXPECT_EQ(rzd::IsUserInAdminGroup(), c.member);
  }
  rzd::SetAccountRightsForTests(std::nullopt);
  EXPECT_EQ(rzd::CurrentAccountRights(), own);
}
