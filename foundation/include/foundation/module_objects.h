// The process-wide objects of a deliverable: its open-device list, its locks, its logger slot and
// feature levels, its diagnostics thread's state.
//
// Each is made on first use and lives until the deliverable's unload destroys it
// (DestroyModuleObjects, newest first, so an object goes before the objects it was made with).
// None is a static with a destructor: at the end of a process every static destructor runs before
// a library's unload, and the unload still needs these objects to close what is open. A program
// never unloads, so its objects last as long as the process. An object used after the unload is
// made again.
//
//   DeviceTable& Table() {
//     static ModuleObject<DeviceTable> table;   // constant-initialised, no destructor
//     return table.Get();
//   }
#pragma once

#include <atomic>
#include <tuple>
#include <utility>

namespace rzd {

// Destroys the deliverable's objects, newest first. An object that a destructor uses (or makes
// again) meanwhile is destroyed too before this returns.
void DestroyModuleObjects();

class ModuleObjectSlot {
 public:
  ModuleObjectSlot(const ModuleObjectSlot&) = delete;
  ModuleObjectSlot& operator=(const ModuleObjectSlot&) = delete;

 protected:
  using Destroyer = void (*)(void*);
  using Maker = void* (*)(void* arguments);
  constexpr explicit ModuleObjectSlot(Destroyer destroy) : destroy_(destroy) {}
  ~ModuleObjectSlot() = default;

  void* Object() const { return object_.load(std::memory_order_acquire); }
  // Makes the object unless another thread made it first, and puts it on the list of the
  // deliverable's objects. A maker that throws leaves nothing made.
  void* Make(Maker make, void* arguments);

 private:
  friend void DestroyModuleObjects();
  std::atomic<void*> object_{nullptr};
  const Destroyer destroy_;
  ModuleObjectSlot* older_ = nullptr;  // the next object to destroy after this one
};

template <typename T>
class ModuleObject : public ModuleObjectSlot {
 public:
  constexpr ModuleObject() : ModuleObjectSlot(&Destroy) {}

  // The object, made from `arguments` at the first call (and the first after an unload).
  template <typename... Args>
  T& Get(Args&&... arguments) {
    if (void* object = Object()) return *static_cast<T*>(object);
    auto pack = std::forward_as_tuple(std::forward<Args>(arguments)...);
    using Pack = decltype(pack);
    Maker make = [](void* packed) -> void* {
      return std::apply([](auto&&... a) { return new T(std::forward<decltype(a)>(a)...); },
                        std::move(*static_cast<Pack*>(packed)));
    };
    return *static_cast<T*>(Make(make, &pack));
  }

 private:
  static void Destroy(void* object) { delete static_cast<T*>(object); }
};

}  // namespace rzd
