// Events, semaphores and mutexes: creation, opening and the operations that change them.
#include "platform/kernel.h"

#include "kernel/core.h"
#include "kernel/named.h"
#include "platform/text.h"

namespace rzd {

using kernel_detail::Core;
using kernel_detail::CoreResult;
using kernel_detail::Kind;
using kernel_detail::LocalCore;
using kernel_detail::NamedRequest;
using kernel_detail::SyncRecord;

namespace {

CoreResult CreateNamed(std::u16string_view name, Kind kind, std::function<void(SyncRecord&)> init) {
  return kernel_detail::AcquireNamed(name, NamedRequest{kind, true, 0, std::move(init)});
}

CoreResult OpenNamed(std::u16string_view name, Kind kind) {
  if (name.empty()) return {nullptr, ERROR_INVALID_PARAMETER};
  return kernel_detail::AcquireNamed(name, NamedRequest{kind, false, 0, nullptr});
}

std::shared_ptr<Core> MakeLocal(Kind kind, const std::function<void(SyncRecord&)>& init) {
  auto core = std::make_shared<LocalCore>(kind);
  init(*core->record());
  return core;
}

bool ValidSemaphoreCounts(int32_t initial, int32_t maximum) {
  return maximum > 0 && initial >= 0 && initial <= maximum;
}

}  // namespace

bool WaitHandle::IsNamed() const { return core_ && core_->named(); }

// ---- Event

namespace {
std::function<void(SyncRecord&)> EventInit(bool manualReset, bool initialState, TakeRule rule) {
  return [=](SyncRecord& r) {
    r.manualReset = manualReset ? 1 : 0;
    r.signalled = initialState ? 1 : 0;
    r.takeRule = static_cast<uint32_t>(rule);
  };
}
}  // namespace

Event Event::Unnamed(bool manualReset, bool initialState) {
  return Event(MakeLocal(Kind::Event, EventInit(manualReset, initialState, TakeRule::kStays)));
}

ObjectResult<Event> Event::Create(std::u16string_view name, bool manualReset, bool initialState, TakeRule rule) {
  if (name.empty()) return {Unnamed(manualReset, initialState), ERROR_SUCCESS};
  auto r = CreateNamed(name, Kind::Event, EventInit(manualReset, initialState, rule));
  return {Event(std::move(r.core)), r.error};
}

ObjectResult<Event> Event::Create(std::string_view name, bool manualReset, bool initialState, TakeRule rule) {
  return Create(FromUtf8(name), manualReset, initialState, rule);
}

ObjectResult<Event> Event::Open(std::u16string_view name) {
  auto r = OpenNamed(name, Kind::Event);
  return {Event(std::move(r.core)), r.error};
}

ObjectResult<Event> Event::Open(std::string_view name) { return Open(FromUtf8(name)); }

uint32_t Event::Set() const {
  if (!core_ || core_->kind() != Kind::Event) return ERROR_INVALID_HANDLE;
  core_->Lock();
  core_->record()->signalled = 1;
  core_->ForgetTakesLocked(kernel_detail::CurrentSelf(), kernel_detail::kMaxTakers);
  core_->Unlock();
  core_->NotifyChanged();
  return ERROR_SUCCESS;
}

uint32_t Event::Reset() const {
  if (!core_ || core_->kind() != Kind::Event) return ERROR_INVALID_HANDLE;
  core_->Lock();
  core_->record()->signalled = 0;
  core_->Unlock();
  return ERROR_SUCCESS;
}

// ---- Semaphore

namespace {
std::function<void(SyncRecord&)> SemaphoreInit(int32_t initial, int32_t maximum, TakeRule rule) {
  return [=](SyncRecord& r) {
    r.count = initial;
    r.maximum = maximum;
    r.takeRule = static_cast<uint32_t>(rule);
  };
}
}  // namespace

Semaphore Semaphore::Unnamed(int32_t initialCount, int32_t maximumCount) {
  if (!ValidSemaphoreCounts(initialCount, maximumCount)) return Semaphore();
  return Semaphore(MakeLocal(Kind::Semaphore, SemaphoreInit(initialCount, maximumCount, TakeRule::kStays)));
}

ObjectResult<Semaphore> Semaphore::Create(std::u16string_view name, int32_t initialCount, int32_t maximumCount,
                                          TakeRule rule) {
  if (!ValidSemaphoreCounts(initialCount, maximumCount) ||
      (rule == TakeRule::kGivenBackWhenTakerEnds && maximumCount > kMaximumGiveBackCount)) {
    return {Semaphore(), ERROR_INVALID_PARAMETER};
  }
  if (name.empty()) return {Unnamed(initialCount, maximumCount), ERROR_SUCCESS};
  auto r = CreateNamed(name, Kind::Semaphore, SemaphoreInit(initialCount, maximumCount, rule));
  return {Semaphore(std::move(r.core)), r.error};
}

ObjectResult<Semaphore> Semaphore::Create(std::string_view name, int32_t initialCount, int32_t maximumCount,
                                          TakeRule rule) {
  return Create(FromUtf8(name), initialCount, maximumCount, rule);
}

ObjectResult<Semaphore> Semaphore::Open(std::u16string_view name) {
  auto r = OpenNamed(name, Kind::Semaphore);
  return {Semaphore(std::move(r.core)), r.error};
}

ObjectResult<Semaphore> Semaphore::Open(std::string_view name) { return Open(FromUtf8(name)); }

uint32_t Semaphore::Release(int32_t count, int32_t* previousCount) const {
  if (!core_ || core_->kind() != Kind::Semaphore) return ERROR_INVALID_HANDLE;
  if (count <= 0) return ERROR_INVALID_PARAMETER;
  SyncRecord& r = *core_->record();
  core_->Lock();
  if (count > r.maximum - r.count) {
    core_->Unlock();
    return ERROR_TOO_MANY_POSTS;
  }
  int32_t previous = r.count;
  r.count += count;
  core_->ForgetTakesLocked(kernel_detail::CurrentSelf(), static_cast<uint32_t>(count));
  core_->Unlock();
  core_->NotifyChanged();
  if (previousCount) *previousCount = previous;
  return ERROR_SUCCESS;
}

// ---- Mutex

namespace {
std::function<void(SyncRecord&)> MutexInit(bool initialOwner) {
  return [=](SyncRecord& r) {
    if (initialOwner) kernel_detail::TakeInitialOwnership(r);
  };
}
}  // namespace

Mutex Mutex::Unnamed(bool initialOwner) { return Mutex(MakeLocal(Kind::Mutex, MutexInit(initialOwner))); }

ObjectResult<Mutex> Mutex::Create(std::u16string_view name, bool initialOwner) {
  if (name.empty()) return {Unnamed(initialOwner), ERROR_SUCCESS};
  auto r = CreateNamed(name, Kind::Mutex, MutexInit(initialOwner));
  return {Mutex(std::move(r.core)), r.error};
}

ObjectResult<Mutex> Mutex::Create(std::string_view name, bool initialOwner) {
  return Create(FromUtf8(name), initialOwner);
}

ObjectResult<Mutex> Mutex::Open(std::u16string_view name) {
  auto r = OpenNamed(name, Kind::Mutex);
  return {Mutex(std::move(r.core)), r.error};
}

ObjectResult<Mutex> Mutex::Open(std::string_view name) { return Open(FromUtf8(name)); }

uint32_t Mutex::Release() const {
  if (!core_ || core_->kind() != Kind::Mutex) return ERROR_INVALID_HANDLE;
  const auto self = kernel_detail::CurrentSelf();
  SyncRecord& r = *core_->record();
  core_->Lock();
  if (r.recursion == 0 || r.ownerPid != self.pid || r.ownerTid != self.tid) {
    core_->Unlock();
    return ERROR_NOT_OWNER;
  }
  bool freed = --r.recursion == 0;
  if (freed) {
    r.ownerPid = 0;
    r.ownerTid = 0;
    pthread_mutex_unlock(&r.token);
  }
  core_->Unlock();
  if (freed) core_->NotifyChanged();
  return ERROR_SUCCESS;
}

}  // namespace rzd
