// The logger slot: publishing, withdrawing, and pinning a logger for the length of one call.
#include "foundation/log_interface.h"

#include "foundation/module_objects.h"

#include <chrono>
#include <thread>

namespace rzd {

LogObjectUse::LogObjectUse(CLogInterfacePtr slot) : slot_(slot) {
  if (slot_ == nullptr) return;
  // Count this use before reading the logger: Withdraw empties the slot first and then waits for
  // the count, so either it sees this use or this use sees the empty slot.
  slot_->users_.fetch_add(1, std::memory_order_seq_cst);
  logger_ = slot_->logger_.load(std::memory_order_seq_cst);
  if (logger_ == nullptr) {
    slot_->users_.fetch_sub(1, std::memory_order_seq_cst);
    slot_ = nullptr;
  }
}

LogObjectUse::~LogObjectUse() {
  if (slot_ != nullptr) slot_->users_.fetch_sub(1, std::memory_order_seq_cst);
}

CLogInterface* LogObjectSlot::Withdraw() {
  CLogInterface* old = logger_.exchange(nullptr, std::memory_order_seq_cst);
  auto pause = std::chrono::microseconds(50);
  while (users_.load(std::memory_order_seq_cst) != 0) {
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(5)) pause *= 2;
  }
  return old;
}

CLogInterfacePtr GetGlobalLogObject() {
  // A module object: classes may log from static destructors at process end, and the unload
  // after them still logs.
  static ModuleObject<LogObjectSlot> slot;
  return &slot.Get();
}

}  // namespace rzd
