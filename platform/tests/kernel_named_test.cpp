// Named kernel objects: names, namespaces, lifetime, and sharing with a second process.
#include "platform/kernel.h"

#include "platform/process.h"
#include "platform/root.h"
#include "testsupport/file_modes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <any>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

namespace rzd {
namespace {

constexpr uint32_t kLong = 30000;  // for what must happen
constexpr uint32_t kShort = 200;   // for expected time-outs

using NamedObjectTest = test::TempRoot;

// Runs the helper process to its end; its exit code, or -1000 when it did not end in time.
int RunChild(const std::vector<std::string>& args) {
  auto child = ChildProcess::Start(test::BinaryDir() / "kernel_child", args);
  if (!child) return -2000;
  auto code = child->Wait(60000);
  return code ? *code : -1000;
}

std::optional<ChildProcess> StartChild(const std::vector<std::string>& args) {
  return ChildProcess::Start(test::BinaryDir() / "kernel_child", args);
}

// ---- Error answers for every kind

// A handle of any kind, kept alive for as long as the Held is.
struct Held {
  std::any handle;
  bool valid = false;
  uint32_t error = 0;
};

struct KindOps {
  const char* kind;
  std::function<Held(const std::string&)> create;
  std::function<Held(const std::string&)> open;
  std::function<bool(const std::string&)> createReturnsSameObject;
};

template <typename T>
Held Flatten(const ObjectResult<T>& r) {
  return {r.handle, static_cast<bool>(r.handle), r.error};
}

std::vector<KindOps> AllKinds() {
  return {
      {"event", [](const std::string& n) { return Flatten(Event::Create(n, true, false)); },
       [](const std::string& n) { return Flatten(Event::Open(n)); },
       [](const std::string& n) {
         auto a = Event::Create(n, true, false);
         auto b = Event::Create(n, false, true);  // the second creation's parameters are ignored
         return b.handle.SameObject(a.handle) && b.handle.Wait(0) == WAIT_TIMEOUT;
       }},
      {"semaphore", [](const std::string& n) { return Flatten(Semaphore::Create(n, 0, 2)); },
       [](const std::string& n) { return Flatten(Semaphore::Open(n)); },
       [](const std::string& n) {
         auto a = Semaphore::Create(n, 0, 2);
         auto b = Semaphore::Create(n, 2, 5);
         return b.handle.SameObject(a.handle) && b.handle.Wait(0) == WAIT_TIMEOUT;
       }},
      {"mutex", [](const std::string& n) { return Flatten(Mutex::Create(n, false)); },
       [](const std::string& n) { return Flatten(Mutex::Open(n)); },
       [](const std::string& n) {
         auto a = Mutex::Create(n, false);
         auto b = Mutex::Create(n, true);  // initial ownership is ignored for an existing mutex
         return b.handle.SameObject(a.handle) && b.handle.Release() == ERROR_NOT_OWNER;
       }},
      {"mapping", [](const std::string& n) { return Flatten(FileMapping::Create(n, 4096)); },
       [](const std::string& n) { return Flatten(FileMapping::Open(n)); },
       [](const std::string& n) {
         auto a = FileMapping::Create(n, 4096);
         auto b = FileMapping::Create(n, 100);
         return b.handle.SameObject(a.handle) && b.handle.Size() == 4096;
       }},
  };
}

TEST_F(NamedObjectTest, OpenMissingCreateNewCreateExistingForEveryKind) {
  for (const KindOps& k : AllKinds()) {
    SCOPED_TRACE(k.kind);
    std::string name = std::string("Global\\Answers_") + k.kind;
    auto missing = k.open(name);
    EXPECT_FALSE(missing.valid);
    EXPECT_EQ(missing.error, ERROR_FILE_NOT_FOUND);
    {
      auto first = k.create(name);
      EXPECT_TRUE(first.valid);
      EXPECT_EQ(first.error, ERROR_SUCCESS);
      auto again = k.create(name);
      EXPECT_TRUE(again.valid);
      EXPECT_EQ(again.error, ERROR_ALREADY_EXISTS);
      auto opened = k.open(name);
      EXPECT_TRUE(opened.valid);
      EXPECT_EQ(opened.error, ERROR_SUCCESS);
    }
    // Every handle is gone, so the object is too.
    EXPECT_EQ(k.open(name).error, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(k.createReturnsSameObject(name + "_same"));
  }
}

TEST_F(NamedObjectTest, NameOfAnotherKindIsRefused) {
  for (const KindOps& holder : AllKinds()) {
    std::string name = std::string("Taken_") + holder.kind;
    auto held = holder.create(name);
    ASSERT_TRUE(held.valid);
    for (const KindOps& other : AllKinds()) {
      if (std::string(other.kind) == holder.kind) continue;
      SCOPED_TRACE(std::string(other.kind) + " on a " + holder.kind);
      EXPECT_EQ(other.open(name).error, ERROR_INVALID_HANDLE);
      auto created = other.create(name);
      EXPECT_FALSE(created.valid);
      EXPECT_EQ(created.error, ERROR_INVALID_HANDLE);
    }
  }
}

TEST_F(NamedObjectTest, BadNamesAndSizes) {
  std::string tooLong(261, 'x');
  EXPECT_EQ(Event::Create(tooLong, true, false).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Event::Create(std::string(260, 'x'), true, false).error, ERROR_SUCCESS);
  EXPECT_EQ(Event::Create("Global\\", true, false).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Event::Open("").error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Semaphore::Create("S", 3, 2).error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(FileMapping::Create("M", 0).error, ERROR_INVALID_PARAMETER);
}

struct NameCase {
  const char* created;
  const char* opened;
  bool same;
};

TEST_F(NamedObjectTest, NamesIgnoreCaseAndKeepGlobalApartFromLocal) {
  const NameCase cases[] = {
      {"Global\\RZD_VID_04C5_PID_1234_ON", "global\\rzd_vid_04c5_pid_1234_on", true},
      {"Global\\Abc", "GLOBAL\\ABC", true},
      {"Local\\Abc", "abc", true},
      {"abc", "LOCAL\\ABC", true},
      {"Global\\Abc", "Abc", false},
      {"Global\\Abc", "Local\\Abc", false},
      {"Local\\Abc", "Global\\Abc", false},
      {"Stra\xC3\x9F" "e\xC3\xA9", "STRA\xC3\x9F" "E\xC3\x89", true},  // non-ASCII letters fold too
      {"with space/and\\slash", "WITH SPACE/AND\\SLASH", true},
      {"a.b", "a_b", false},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(std::string(c.created) + " vs " + c.opened);
    auto created = Event::Create(c.created, true, false);
    ASSERT_EQ(created.error, ERROR_SUCCESS);
    auto opened = Event::Open(c.opened);
    EXPECT_EQ(opened.error, c.same ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    if (c.same) {
      // Really the same object: a Set through one handle shows through the other.
      created.handle.Set();
      EXPECT_EQ(opened.handle.Wait(0), WAIT_OBJECT_0);
    }
  }
  // Wide names reach the same objects as UTF-8 ones.
  auto narrow = Event::Create("Global\\Wide", true, false);
  auto wide = Event::Open(u"GLOBAL\\wide");
  EXPECT_TRUE(wide.handle.SameObject(narrow.handle));
}

TEST_F(NamedObjectTest, ObjectEndsWithItsLastHandleAndComesBackFresh) {
  auto first = Semaphore::Create("Global\\Life", 0, 3);
  ASSERT_EQ(first.error, ERROR_SUCCESS);
  Semaphore second = Semaphore::Open("Global\\Life").handle;
  ASSERT_TRUE(second);
  EXPECT_EQ(first.handle.Release(2), ERROR_SUCCESS);
  first.handle.Close();
  // One handle left: the object and its count are still there.
  EXPECT_EQ(Semaphore::Open("Global\\Life").error, ERROR_SUCCESS);
  int32_t previous = -1;
  EXPECT_EQ(second.Release(1, &previous), ERROR_SUCCESS);
  EXPECT_EQ(previous, 2);
  second.Close();
  EXPECT_EQ(Semaphore::Open("Global\\Life").error, ERROR_FILE_NOT_FOUND);
  auto again = Semaphore::Create("Global\\Life", 0, 3);
  EXPECT_EQ(again.error, ERROR_SUCCESS);
  EXPECT_EQ(again.handle.Wait(0), WAIT_TIMEOUT);  // initial count, not the old 3
}

TEST_F(NamedObjectTest, EachRootIsItsOwnNamespace) {
  auto inFirst = Event::Create("Global\\Shared", true, true);
  ASSERT_EQ(inFirst.error, ERROR_SUCCESS);
  {
    test::ScopedRoot second;  // points $RZD_ROOT elsewhere until the end of the block
    EXPECT_EQ(Event::Open("Global\\Shared").error, ERROR_FILE_NOT_FOUND);
    auto inSecond = Event::Create("Global\\Shared", true, false);
    EXPECT_EQ(inSecond.error, ERROR_SUCCESS);
    EXPECT_FALSE(inSecond.handle.SameObject(inFirst.handle));
    EXPECT_EQ(inSecond.handle.Wait(0), WAIT_TIMEOUT);
    // A process started now lives in the second root too.
    EXPECT_EQ(RunChild({"wait", "event", "Global\\Shared", "0"}), 1);
  }
  auto back = Event::Open("Global\\Shared");
  EXPECT_TRUE(back.handle.SameObject(inFirst.handle));
  EXPECT_EQ(RunChild({"wait", "event", "Global\\Shared", "0"}), 0);
}

TEST_F(NamedObjectTest, WaitsMixNamedAndUnnamedObjects) {
  Event local = Event::Unnamed(false, false);
  Event named = Event::Create("Global\\MixA", false, false).handle;
  Semaphore named2 = Semaphore::Create("Global\\MixB", 0, 1).handle;
  std::vector<WaitHandle> set{named, local, named2};

  auto setLater = [](std::function<void()> action) {
    return std::thread([action] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      action();
    });
  };
  struct Case {
    const char* label;
    std::function<void()> signal;
    uint32_t expected;
  };
  const Case cases[] = {
      {"unnamed", [&] { local.Set(); }, WAIT_OBJECT_0 + 1},
      {"named slept on", [&] { named.Set(); }, WAIT_OBJECT_0},
      {"second named", [&] { named2.Release(); }, WAIT_OBJECT_0 + 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::thread t = setLater(c.signal);
    EXPECT_EQ(WaitAny(set, kLong), c.expected);
    t.join();
    EXPECT_EQ(WaitAny(set, 0), WAIT_TIMEOUT);  // taken by the wait
  }
  // The second named object set by another process.
  std::thread t = setLater([] { EXPECT_EQ(RunChild({"release", "Global\\MixB", "0"}), 0); });
  EXPECT_EQ(WaitAny(set, kLong), WAIT_OBJECT_0 + 2);
  t.join();

  local.Set();
  named.Set();
  EXPECT_EQ(WaitAll(set, kShort), WAIT_TIMEOUT);
  named2.Release();
  EXPECT_EQ(WaitAll(set, kLong), WAIT_OBJECT_0);
  EXPECT_EQ(WaitAny(set, 0), WAIT_TIMEOUT);
}

TEST_F(NamedObjectTest, NamedMutexAbandonedByEndingThread) {
  Mutex m = Mutex::Create("Global\\Abandon", false).handle;
  std::thread([] { EXPECT_EQ(Mutex::Open("Global\\Abandon").handle.Wait(0), WAIT_OBJECT_0); }).join();
  EXPECT_EQ(m.Wait(kLong), WAIT_ABANDONED_0);
  EXPECT_EQ(m.Release(), ERROR_SUCCESS);
}

// ---- Across processes

TEST_F(NamedObjectTest, SemaphoreHeldByChildBlocksParentUntilReleased) {
  Semaphore sem = Semaphore::Create("Global\\RZD_Unit", 1, 1).handle;
  Event ready = Event::Create("Local\\Ready", true, false).handle;
  Event go = Event::Create("Local\\Go", true, false).handle;
  auto child = StartChild({"take-and-hold", "Global\\RZD_Unit", "Local\\Ready", "Local\\Go"});
  ASSERT_TRUE(child);
  ASSERT_EQ(ready.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(sem.Wait(kShort), WAIT_TIMEOUT);
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    go.Set();
  });
  EXPECT_EQ(sem.Wait(kLong), WAIT_OBJECT_0);  // woken by the child's release
  releaser.join();
  EXPECT_EQ(child->Wait(kLong), 0);
  // Taken by us now: the child's release cannot pass the maximum either.
  EXPECT_EQ(sem.Release(), ERROR_SUCCESS);
  EXPECT_EQ(RunChild({"release", "Global\\RZD_Unit", "298"}), 0);
  EXPECT_EQ(RunChild({"release", "Global\\RZD_Unit", "0"}), 1);
}

struct ResetCase {
  const char* label;
  bool manualReset;
  int secondWaiter;  // exit code of a second process waiting after the first took the event
};
void PrintTo(const ResetCase& c, std::ostream* os) { *os << c.label; }

class CrossProcessEventTest : public test::TempRoot, public ::testing::WithParamInterface<ResetCase> {};

TEST_P(CrossProcessEventTest, SetIsSeenByOtherProcesses) {
  const ResetCase& c = GetParam();
  Event ev = Event::Create("Global\\Evt", c.manualReset, false).handle;
  EXPECT_EQ(RunChild({"wait", "event", "Global\\Evt", std::to_string(kShort)}), 1);
  auto waiter = StartChild({"wait", "event", "Global\\Evt", std::to_string(kLong)});
  ASSERT_TRUE(waiter);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ev.Set();
  EXPECT_EQ(waiter->Wait(kLong), 0);
  EXPECT_EQ(RunChild({"wait", "event", "Global\\Evt", std::to_string(kShort)}), c.secondWaiter);
  EXPECT_EQ(ev.Wait(0), c.manualReset ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
}

INSTANTIATE_TEST_SUITE_P(Modes, CrossProcessEventTest,
                         ::testing::Values(ResetCase{"Manual", true, 0}, ResetCase{"Auto", false, 1}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(NamedObjectTest, OpenAnswersAcrossProcesses) {
  EXPECT_EQ(RunChild({"open", "semaphore", "Global\\Missing"}), 1);
  auto m = FileMapping::Create("Global\\Present", 10);
  EXPECT_EQ(RunChild({"open", "mapping", "global\\PRESENT"}), 0);
  EXPECT_EQ(RunChild({"open", "event", "Global\\Present"}), 3);
}

struct EndCase {
  const char* label;
  bool kill;  // SIGKILL the child, else SIGTERM
  bool parentKeepsHandle;
};
void PrintTo(const EndCase& c, std::ostream* os) { *os << c.label; }

class LastHandleTest : public test::TempRoot, public ::testing::WithParamInterface<EndCase> {};

// The child creates a semaphore and changes its count; the parent opens it too. When the last
// holder is gone (also by SIGKILL) the name is free, and a new creation starts from its own
// initial state.
TEST_P(LastHandleTest, ObjectEndsWithTheLastHolder) {
  const EndCase& c = GetParam();
  Event ready = Event::Create("Local\\Ready", true, false).handle;
  auto child = StartChild({"create-and-hold", "Global\\Held", "0", "5", "3", "Local\\Ready"});
  ASSERT_TRUE(child);
  ASSERT_EQ(ready.Wait(kLong), WAIT_OBJECT_0);
  auto opened = Semaphore::Open("Global\\Held");
  ASSERT_EQ(opened.error, ERROR_SUCCESS);
  int32_t previous = -1;
  ASSERT_EQ(opened.handle.Release(1, &previous), ERROR_SUCCESS);
  EXPECT_EQ(previous, 3);  // the child's releases
  if (!c.parentKeepsHandle) opened.handle.Close();
  if (c.kill) {
    child->Kill();
  } else {
    child->Terminate();
    child->Wait(kLong);
  }
  if (c.parentKeepsHandle) {
    EXPECT_EQ(RunChild({"open", "semaphore", "Global\\Held"}), 0);
    opened.handle.Close();
  }
  EXPECT_EQ(RunChild({"open", "semaphore", "Global\\Held"}), 1);
  EXPECT_EQ(Semaphore::Open("Global\\Held").error, ERROR_FILE_NOT_FOUND);
  auto fresh = Semaphore::Create("Global\\Held", 1, 5);
  EXPECT_EQ(fresh.error, ERROR_SUCCESS);
  EXPECT_EQ(fresh.handle.Release(1, &previous), ERROR_SUCCESS);
  EXPECT_EQ(previous, 1);
}

INSTANTIATE_TEST_SUITE_P(Ends, LastHandleTest,
                         ::testing::Values(EndCase{"ChildKilledLast", true, false},
                                           EndCase{"ChildTerminatedLast", false, false},
                                           EndCase{"ChildKilledParentLast", true, true}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(NamedObjectTest, MutexOfDeadProcessIsAbandoned) {
  Mutex m = Mutex::Create("Global\\Owned", false).handle;
  Event ready = Event::Create("Local\\Ready", true, false).handle;

  // The owner exits without releasing.
  EXPECT_EQ(RunChild({"own-mutex", "Global\\Owned", "Local\\Ready", "exit"}), 0);
  EXPECT_EQ(m.Wait(kLong), WAIT_ABANDONED_0);
  EXPECT_EQ(m.Release(), ERROR_SUCCESS);

  // The owner is killed while we wait for it.
  ready.Reset();
  auto child = StartChild({"own-mutex", "Global\\Owned", "Local\\Ready", "hold"});
  ASSERT_TRUE(child);
  ASSERT_EQ(ready.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(m.Wait(kShort), WAIT_TIMEOUT);
  std::thread killer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    child->Kill();
  });
  EXPECT_EQ(m.Wait(kLong), WAIT_ABANDONED_0);
  killer.join();
  EXPECT_EQ(m.Release(), ERROR_SUCCESS);
  EXPECT_EQ(RunChild({"wait", "mutex", "Global\\Owned", "0"}), 0);  // free and not abandoned
}

TEST_F(NamedObjectTest, ProcessDyingInsideTheObjectsGuardDoesNotWedgeOthers) {
  Event ev = Event::Create("Global\\Guarded", false, false).handle;
  int code = RunChild({"die-holding-guard", "Global\\Guarded"});
  EXPECT_EQ(code, -9);
  std::atomic<uint32_t> result{0xDEAD};
  std::thread waiter([&] { result = ev.Wait(kLong); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ev.Set(), ERROR_SUCCESS);
  waiter.join();
  EXPECT_EQ(result.load(), WAIT_OBJECT_0);
}

TEST_F(NamedObjectTest, FileMappingWrittenInOneProcessReadInAnother) {
  constexpr uint64_t kSize = 3 * 4096 + 100;
  auto mapping = FileMapping::Create("Global\\Pages", kSize);
  ASSERT_EQ(mapping.error, ERROR_SUCCESS);
  EXPECT_EQ(mapping.handle.Size(), kSize);
  {
    MappedView all = mapping.handle.Map();
    ASSERT_TRUE(all);
    ASSERT_EQ(all.Size(), kSize);
    const auto* bytes = all.As<unsigned char>();
    bool zero = true;
    for (size_t i = 0; i < all.Size(); ++i) zero = zero && bytes[i] == 0;
    EXPECT_TRUE(zero);
  }
  // Child writes at an offset that is not page-aligned; the parent reads through another view.
  const std::string childText = "written by the child";
  ASSERT_EQ(RunChild({"map-write", "Global\\Pages", "5000", childText}), 0);
  {
    MappedView view = mapping.handle.Map(4096, 2000);
    ASSERT_TRUE(view);
    EXPECT_EQ(std::string(view.As<char>() + 904, childText.size()), childText);
  }
  // Parent writes at the very end; the child reads it.
  const std::string parentText = "tail";
  {
    MappedView tail = mapping.handle.Map(kSize - parentText.size());
    ASSERT_EQ(tail.Size(), parentText.size());
    std::memcpy(tail.Data(), parentText.data(), parentText.size());
  }
  EXPECT_EQ(RunChild({"map-check", "Global\\Pages", std::to_string(kSize - 4), parentText, std::to_string(kSize)}), 0);
  EXPECT_EQ(RunChild({"map-check", "Global\\Pages", "5000", "something else", std::to_string(kSize)}), 1);
}

TEST_F(NamedObjectTest, MappingViewsAreBoundedAndKeepTheMappingAlive) {
  auto mapping = FileMapping::Create("Global\\Bounded", 8192);
  struct Region {
    uint64_t offset;
    size_t length;
    bool ok;
  };
  for (Region r : {Region{0, 8192, true}, Region{8191, 1, true}, Region{8191, 2, false}, Region{8192, 0, false},
                   Region{100, 0, true}, Region{~uint64_t{0}, 1, false}}) {
    uint32_t error = 12345;
    MappedView v = mapping.handle.Map(r.offset, r.length, &error);
    EXPECT_EQ(static_cast<bool>(v), r.ok) << r.offset << "+" << r.length;
    EXPECT_EQ(error, r.ok ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
  }
  MappedView view = mapping.handle.Map(0, 16);
  std::memcpy(view.Data(), "kept", 4);
  mapping.handle.Close();
  // The view still holds the object: it can be opened and shows the data.
  auto reopened = FileMapping::Open("Global\\Bounded");
  ASSERT_EQ(reopened.error, ERROR_SUCCESS);
  EXPECT_EQ(std::memcmp(reopened.handle.Map(0, 4).Data(), "kept", 4), 0);
  reopened.handle.Close();
  view = MappedView();
  EXPECT_EQ(FileMapping::Open("Global\\Bounded").error, ERROR_FILE_NOT_FOUND);
}

TEST_F(NamedObjectTest, ViewsAreRegionsOfTheProcesssOneMappingOfTheData) {
  auto mapping = FileMapping::Create("Global\\Chunks", 1 << 20);
  ASSERT_TRUE(mapping);
  MappedView first = mapping.handle.Map(0, 64 << 10);
  ASSERT_TRUE(first);
  // Every later view, of any region, lies in the same mapping at its own offset.
  for (uint64_t offset : {uint64_t{64} << 10, uint64_t{5000}, uint64_t{(1 << 20) - 1}}) {
    MappedView region = mapping.handle.Map(offset, 1);
    ASSERT_TRUE(region);
    EXPECT_EQ(region.As<uint8_t>() - first.As<uint8_t>(), static_cast<ptrdiff_t>(offset));
  }
}

// The shared memory behind a named mapping, as a peer could change it.
std::filesystem::path SegmentFile(const std::string& encodedName) {
  return std::filesystem::path("/dev/shm") / ("rzd." + RootNamespaceToken() + "." + encodedName);
}

TEST_F(NamedObjectTest, AMappingWhoseMemoryAPeerCutShortIsNeverMappedPastItsEnd) {
  auto mapping = FileMapping::Create("Global\\Short", 1 << 20);
  ASSERT_TRUE(mapping);
  const std::filesystem::path segment = SegmentFile("g_SHORT");
  ASSERT_TRUE(std::filesystem::exists(segment));
  std::filesystem::resize_file(segment, 4096);  // the record's page and no data
  // Reading the region would fault: it is refused instead.
  uint32_t error = 0;
  EXPECT_FALSE(mapping.handle.Map(0, 4096, &error));
  EXPECT_EQ(error, ERROR_ACCESS_DENIED);
  // A process opening the name finds the record claiming more than the memory holds.
  EXPECT_EQ(RunChild({"map-check", "Global\\Short", "0", "x", std::to_string(1 << 20)}), 10);
}

// /dev/shm is open to every user: an object's memory (a scan's pages in a mapping, a unit's
// state in an event) and its lock file are the root's user's alone, whatever the umask, and the
// kernel folder is private, also one an earlier build left open.
TEST_F(NamedObjectTest, AnObjectsMemoryAndLockFileBelongToTheRootsUserAlone) {
  const std::filesystem::path kernel = RootPath() / "kernel";
  std::filesystem::create_directories(kernel);
  ASSERT_EQ(chmod(kernel.c_str(), 0777), 0);
  const test::ScopedUmask openToAll(0);
  auto mapping = FileMapping::Create("Global\\Pages", 1 << 16);
  auto event = Event::Create("Local\\Online", true, false);
  ASSERT_TRUE(mapping);
  ASSERT_TRUE(event);
  using test::ModeOf;
  EXPECT_EQ(ModeOf(SegmentFile("g_PAGES")), 0600u);
  EXPECT_EQ(ModeOf(SegmentFile("l_ONLINE")), 0600u);
  EXPECT_EQ(ModeOf(kernel / "g_PAGES.lock"), 0600u);
  EXPECT_EQ(ModeOf(kernel / "l_ONLINE.lock"), 0600u);
  EXPECT_EQ(ModeOf(kernel), 0700u);
  // Another process of the user opens them as before.
  EXPECT_EQ(RunChild({"open", "event", "Local\\Online"}), 0);
}

// A segment an earlier build left open to others is the user's alone once another process opens it.
TEST_F(NamedObjectTest, AnOpenedSegmentAnEarlierBuildLeftOpenIsNarrowed) {
  auto mapping = FileMapping::Create("Global\\Wide", 1 << 16);
  ASSERT_TRUE(mapping);
  const std::filesystem::path segment = SegmentFile("g_WIDE");
  ASSERT_EQ(chmod(segment.c_str(), 0666), 0);
  EXPECT_EQ(RunChild({"open", "mapping", "Global\\Wide"}), 0);
  EXPECT_EQ(test::ModeOf(segment), 0600u);
}

TEST_F(NamedObjectTest, AWaitOnASharedWordEndsWhenAnotherProcessChangesItAndWakes) {
  // Two hand-overs through the first word of a mapping: the child waits for 1 and answers 2, so
  // each side sleeps until the other wakes it.
  auto mapping = FileMapping::Create("Global\\Word", 4096);
  ASSERT_TRUE(mapping);
  MappedView view = mapping.handle.Map(0, sizeof(uint32_t));
  ASSERT_TRUE(view);
  auto* word = view.As<std::atomic<uint32_t>>();
  auto child = StartChild({"map-wake", "Global\\Word", "1", "2"});
  ASSERT_TRUE(child);
  word->store(1);
  WakeBySharedAddress(word);
  for (uint32_t seen; (seen = word->load()) == 1;) WaitOnSharedAddress(word, seen, INFINITE);
  EXPECT_EQ(word->load(), 2u);
  EXPECT_EQ(child->Wait(kLong), 0);
  // A word that already differs from the expected value does not sleep.
  WaitOnSharedAddress(word, 7, INFINITE);
}

TEST(FileMappingTest, UnnamedMappingIsZeroedAndSharedBetweenViews) {
  auto mapping = FileMapping::Create("", 10000);
  ASSERT_EQ(mapping.error, ERROR_SUCCESS);
  EXPECT_FALSE(mapping.handle.IsNamed());
  MappedView a = mapping.handle.Map(0, 10000);
  MappedView b = mapping.handle.Map(9000, 1000);
  EXPECT_EQ(a.As<char>()[9500], 0);
  a.As<char>()[9500] = 'x';
  EXPECT_EQ(b.As<char>()[500], 'x');
}


// ---- Bookkeeping on disk

// What the root's named objects keep outside the processes: lock files in its kernel folder and
// memory segments in /dev/shm.
struct Bookkeeping {
  size_t lockFiles = 0;
  size_t segments = 0;
  bool operator==(const Bookkeeping&) const = default;
};
void PrintTo(const Bookkeeping& b, std::ostream* os) { *os << b.lockFiles << " lock files, " << b.segments << " segments"; }

Bookkeeping CountBookkeeping() {
  namespace fs = std::filesystem;
  Bookkeeping b;
  std::error_code ec;
  for (fs::directory_iterator it(SystemRoot() / "kernel", ec), end; !ec && it != end; it.increment(ec)) ++b.lockFiles;
  const std::string prefix = "rzd." + RootNamespaceToken() + ".";
  for (fs::directory_iterator it("/dev/shm", ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().filename().string().starts_with(prefix)) ++b.segments;
  }
  return b;
}

TEST_F(NamedObjectTest, NamesLeaveNothingBehindOnceTheirHoldersAreGoneAlsoWhenKilled) {
  const Bookkeeping start = CountBookkeeping();
  // Names of every kind made and closed here, and opens of missing names.
  for (int i = 0; i < 100; ++i) {
    const std::string n = std::to_string(i);
    ASSERT_TRUE(Event::Create("Local\\Event" + n, false, false));
    ASSERT_TRUE(Semaphore::Create("Global\\Semaphore" + n, 0, 1));
    ASSERT_TRUE(Mutex::Create("Mutex" + n, true));
    ASSERT_TRUE(FileMapping::Create("Global\\Mapping" + n, 4096));
    ASSERT_EQ(Event::Open("Local\\Missing" + n).error, ERROR_FILE_NOT_FOUND);
  }
  EXPECT_EQ(CountBookkeeping(), start);

  {
    Event ready = Event::Create("Local\\Ready", true, false).handle;
    // A mutex owner killed; then holders killed alone with their name, or sharing it with this
    // process.
    ready.Reset();
    ObjectResult<Mutex> owned = Mutex::Create("Global\\Owned", false);
    ASSERT_TRUE(owned);
    auto owner = StartChild({"own-mutex", "Global\\Owned", "Local\\Ready", "hold"});
    ASSERT_TRUE(owner);
    ASSERT_EQ(ready.Wait(kLong), WAIT_OBJECT_0);
    owner->Kill();
    Semaphore shared;
    for (int k = 0; k < 3; ++k) {
      ready.Reset();
      const std::string name = "Global\\Held" + std::to_string(k);
      auto child = StartChild({"create-and-hold", name, "0", "5", "1", "Local\\Ready"});
      ASSERT_TRUE(child);
      ASSERT_EQ(ready.Wait(kLong), WAIT_OBJECT_0);
      if (k == 0) shared = Semaphore::Open(name).handle;
      child->Kill();
    }
  }
  // The names this process shared went with its last handle; those only killed holders had stay
  // until a process of the root looks for leftovers, as every process's first named-object call
  // does (each holder started here cleared what the ones before it left).
  EXPECT_NE(CountBookkeeping(), start);
  EXPECT_EQ(RunChild({"open", "event", "Local\\Missing"}), 1);
  EXPECT_EQ(CountBookkeeping(), start);
}

TEST_F(NamedObjectTest, ANameThatComesAndGoesWhileOthersOpenItIsAlwaysOneObject) {
  constexpr int kProcesses = 4;
  constexpr int kIterations = 300;
  ObjectResult<FileMapping> counter = FileMapping::Create("Global\\RaceCounter", 4096);
  ASSERT_TRUE(counter);
  std::vector<ChildProcess> racers;
  for (int p = 0; p < kProcesses; ++p) {
    auto child = StartChild({"race", "Global\\RaceCounter", std::to_string(kIterations)});
    ASSERT_TRUE(child);
    racers.push_back(std::move(*child));
  }
  for (ChildProcess& racer : racers) EXPECT_EQ(racer.Wait(120000), 0);
  // Two objects under one name would have let two takers in at once, losing counts.
  EXPECT_EQ(*counter.handle.Map(0, 4).As<uint32_t>(), static_cast<uint32_t>(kProcesses * kIterations));
  EXPECT_EQ(Semaphore::Open("Global\\Race").error, ERROR_FILE_NOT_FOUND);
}


// ---- Takes of a process that ended

struct TakeCase {
  const char* label;
  const char* kind;  // "event" (auto-reset, signalled) or "semaphore" (count 1 of 1)
  TakeRule rule;
  bool givenBack;  // whether the take of a killed holder comes back
};
void PrintTo(const TakeCase& c, std::ostream* os) { *os << c.label; }

class TakerEndTest : public test::TempRoot, public ::testing::WithParamInterface<TakeCase> {
 protected:
  WaitHandle Make(const std::string& name) const {
    const TakeCase& c = GetParam();
    if (std::string(c.kind) == "event") return Event::Create(name, false, true, c.rule).handle;
    return Semaphore::Create(name, 1, 1, c.rule).handle;
  }
};

// A process takes the object and is killed holding the take; a waiter that was waiting already
// gets the object under the give-back rule, and never under the plain one.
TEST_P(TakerEndTest, TheTakeOfAKilledHolderComesBackOnlyUnderTheGiveBackRule) {
  const TakeCase& c = GetParam();
  WaitHandle lock = Make("Global\\Lock");
  ASSERT_TRUE(lock);
  Event ready = Event::Create("Local\\Ready", true, false).handle;
  auto holder = StartChild({"take-and-keep", c.kind, "Global\\Lock", "Local\\Ready"});
  ASSERT_TRUE(holder);
  ASSERT_EQ(ready.Wait(kLong), WAIT_OBJECT_0);
  EXPECT_EQ(lock.Wait(kShort), WAIT_TIMEOUT);  // the holder runs: its take stands

  std::atomic<uint32_t> waited{WAIT_FAILED};
  std::thread waiter([&] { waited = lock.Wait(c.givenBack ? kLong : 1000); });
  holder->Kill();
  waiter.join();
  EXPECT_EQ(waited.load(), c.givenBack ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
  if (c.givenBack) {
    // Given back once: this process holds it now.
    EXPECT_EQ(RunChild({"wait", c.kind, "Global\\Lock", "0"}), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Rules, TakerEndTest,
                         ::testing::Values(TakeCase{"EventGivenBack", "event", TakeRule::kGivenBackWhenTakerEnds, true},
                                           TakeCase{"EventStays", "event", TakeRule::kStays, false},
                                           TakeCase{"SemaphoreGivenBack", "semaphore",
                                                    TakeRule::kGivenBackWhenTakerEnds, true},
                                           TakeCase{"SemaphoreStays", "semaphore", TakeRule::kStays, false}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(NamedObjectTest, ATakeGivenBackBySomeoneElseIsNotGivenBackAgainWhenItsTakerEnds) {
  ObjectResult<Event> lock = Event::Create("Global\\Lock", false, true, TakeRule::kGivenBackWhenTakerEnds);
  ASSERT_TRUE(lock);
  Event ready = Event::Create("Local\\Ready", true, false).handle;
  auto holder = StartChild({"take-and-keep", "event", "Global\\Lock", "Local\\Ready"});
  ASSERT_TRUE(holder);
  ASSERT_EQ(ready.Wait(kLong), WAIT_OBJECT_0);
  // This process sets the event for the holder and takes it itself.
  ASSERT_EQ(lock.handle.Set(), ERROR_SUCCESS);
  ASSERT_EQ(lock.handle.Wait(0), WAIT_OBJECT_0);
  holder->Kill();
  // The holder's take was given back by the set: its end gives nothing back a second time.
  EXPECT_EQ(RunChild({"wait", "event", "Global\\Lock", "300"}), 1);
  ASSERT_EQ(lock.handle.Set(), ERROR_SUCCESS);
  EXPECT_EQ(RunChild({"wait", "event", "Global\\Lock", "0"}), 0);
}

TEST_F(NamedObjectTest, AGiveBackSemaphoreHasABoundedMaximum) {
  EXPECT_EQ(Semaphore::Create("Global\\Wide", 0, kMaximumGiveBackCount + 1, TakeRule::kGivenBackWhenTakerEnds).error,
            ERROR_INVALID_PARAMETER);
  ObjectResult<Semaphore> widest =
      Semaphore::Create("Global\\Wide", kMaximumGiveBackCount, kMaximumGiveBackCount, TakeRule::kGivenBackWhenTakerEnds);
  ASSERT_TRUE(widest);
  for (int i = 0; i < kMaximumGiveBackCount; ++i) ASSERT_EQ(widest.handle.Wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(widest.handle.Wait(0), WAIT_TIMEOUT);
  int32_t previous = -1;
  EXPECT_EQ(widest.handle.Release(kMaximumGiveBackCount, &previous), ERROR_SUCCESS);
  EXPECT_EQ(previous, 0);
}

}  // namespace
}  // namespace rzd
