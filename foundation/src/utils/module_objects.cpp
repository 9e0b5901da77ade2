// The list of the deliverable's process-wide objects, and their destruction at its unload.
#include "foundation/module_objects.h"

#include <mutex>
#include <type_traits>

namespace rzd {

namespace {

struct ObjectList {
  // Recursive: an object's constructor may make another object.
  std::recursive_mutex lock;
  ModuleObjectSlot* newest = nullptr;
};

// Neither member has a destructor to run: the list outlives every static destructor.
ObjectList g_objects;
static_assert(std::is_trivially_destructible_v<ObjectList>);
static_assert(std::is_trivially_destructible_v<ModuleObject<ObjectList>>);

}  // namespace

void* ModuleObjectSlot::Make(Maker make, void* arguments) {
  std::lock_guard guard(g_objects.lock);
  if (void* made = Object()) return made;
  void* made = make(arguments);
  // On the list after its construction: whatever it made meanwhile is older, and outlives it.
  older_ = g_objects.newest;
  g_objects.newest = this;
  object_.store(made, std::memory_order_release);
  return made;
}

void DestroyModuleObjects() {
  for (;;) {
    ModuleObjectSlot* slot = nullptr;
    void* object = nullptr;
    {
      std::lock_guard guard(g_objects.lock);
      slot = g_objects.newest;
      if (slot == nullptr) return;
      g_objects.newest = slot->older_;
      slot->older_ = nullptr;
      object = slot->object_.exchange(nullptr, std::memory_order_acq_rel);
    }
    // Without the lock: a destructor may use, or make again, another object.
    slot->destroy_(object);
  }
}

}  // namespace rzd
