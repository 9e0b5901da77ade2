// A deliverable's process-wide objects: made once on first use, destroyed newest first by its
// unload, made again when used after it.
#include "foundation/module_objects.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace rzd {
namespace {

std::vector<std::string>& Events() {
  static std::vector<std::string> events;
  return events;
}

struct Named {
  explicit Named(std::string n) : name(std::move(n)) { Events().push_back("make " + name); }
  ~Named() { Events().push_back("destroy " + name); }
  std::string name;
};

ModuleObject<Named> g_first;
ModuleObject<Named> g_second;

// Makes g_first while it is made itself.
struct MakesFirst {
  MakesFirst() { g_first.Get("first"); }
  ~MakesFirst() { Events().push_back("destroy outer"); }
};
ModuleObject<MakesFirst> g_outer;

// Uses g_second while it is destroyed.
struct UsesSecondWhenDestroyed {
  ~UsesSecondWhenDestroyed() { Events().push_back("destroy user, second is " + g_second.Get("second again").name); }
};
ModuleObject<UsesSecondWhenDestroyed> g_user;

class ModuleObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DestroyModuleObjects();
    Events().clear();
  }
  void TearDown() override { DestroyModuleObjects(); }
};

TEST_F(ModuleObjectsTest, NothingToDestroyAtTheEndOfTheProcess) {
  // A slot is constant-initialised and has no destructor, so no static destructor touches it.
  EXPECT_TRUE(std::is_trivially_destructible_v<ModuleObject<Named>>);
}

TEST_F(ModuleObjectsTest, MadeOnceAndDestroyedNewestFirst) {
  Named& first = g_first.Get("first");
  EXPECT_EQ(&g_first.Get("ignored"), &first);  // arguments count only when the object is made
  g_second.Get("second");
  DestroyModuleObjects();
  EXPECT_EQ(Events(), (std::vector<std::string>{"make first", "make second", "destroy second", "destroy first"}));
}

TEST_F(ModuleObjectsTest, AnObjectMadeDuringAnothersConstructionOutlivesIt) {
  g_outer.Get();
  DestroyModuleObjects();
  EXPECT_EQ(Events(), (std::vector<std::string>{"make first", "destroy outer", "destroy first"}));
}

TEST_F(ModuleObjectsTest, UsedAfterTheUnloadItIsMadeAgain) {
  g_first.Get("first");
  DestroyModuleObjects();
  EXPECT_EQ(g_first.Get("again").name, "again");
  DestroyModuleObjects();
  EXPECT_EQ(Events(), (std::vector<std::string>{"make first", "destroy first", "make again", "destroy again"}));
}

TEST_F(ModuleObjectsTest, AnObjectADestructorMakesAgainIsDestroyedToo) {
  g_user.Get();
  g_second.Get("second");
  DestroyModuleObjects();
  EXPECT_EQ(Events(), (std::vector<std::string>{"make second", "destroy second", "make second again",
                                                "destroy user, second is second again",
                                                "destroy second again"}));
}

struct Throws {
  explicit Throws(bool fail) {
    if (fail) throw std::runtime_error("no");
  }
};
ModuleObject<Throws> g_throws;

TEST_F(ModuleObjectsTest, AFailedMakeLeavesNothingAndIsTriedAgain) {
  EXPECT_THROW(g_throws.Get(true), std::runtime_error);
  Throws& made = g_throws.Get(false);
  EXPECT_EQ(&g_throws.Get(true), &made);
}

struct Counted {
  Counted() { ++made; }
  static inline std::atomic<int> made{0};
};
ModuleObject<Counted> g_counted;

TEST_F(ModuleObjectsTest, ThreadsMeetingAtTheFirstUseShareOneObject) {
  Counted::made = 0;
  std::atomic<bool> go{false};
  std::vector<Counted*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] {
      while (!go) std::this_thread::yield();
      seen[i] = &g_counted.Get();
    });
  }
  go = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(Counted::made.load(), 1);
  for (Counted* p : seen) EXPECT_EQ(p, seen[0]);
}

}  // namespace
}  // namespace rzd
