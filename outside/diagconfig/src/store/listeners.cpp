// Change events of listening server objects, and the release of hanging operations.
#include "diagconfig/config_store.h"

#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <atomic>

namespace cordiag {

namespace {

constexpr std::string_view kHangingEvent = "CorDiagConfigHanging";
constexpr std::string_view kReleaseEvent = "CorDiagConfigRelease";

std::u16string ListenersKey() { return std::u16string(kConfigKey) + u"\\Listeners"; }

}  // namespace

std::unique_ptr<ChangeListener> ChangeListener::Create() {
  static std::atomic<uint32_t> serial{0};
  std::u16string name = rzd::FormatW(u"CorDiagConfigChanged.%u.%u", rzd::CurrentProcessId(), ++serial);
  auto created = rzd::Event::Create(name, false, false);
  if (!created) return nullptr;
  rzd::RegKey key;
  if (rzd::RegKey::Create(rzd::Hive::LocalMachine, ListenersKey(), &key) != ERROR_SUCCESS ||
      key.SetDword(name, rzd::CurrentProcessId()) != ERROR_SUCCESS) {
    return nullptr;
  }
  return std::unique_ptr<ChangeListener>(new ChangeListener(std::move(name), std::move(created.handle)));
}

ChangeListener::~ChangeListener() {
  rzd::RegKey key;
  if (rzd::RegKey::Open(rzd::Hive::LocalMachine, ListenersKey(), &key) == ERROR_SUCCESS) key.DeleteValue(name_);
}

size_t NotifyChanged() {
  rzd::RegKey key;
  std::vector<rzd::RegValue> values;
  if (rzd::RegKey::Open(rzd::Hive::LocalMachine, ListenersKey(), &key) != ERROR_SUCCESS ||
      key.EnumValues(&values) != ERROR_SUCCESS) {
    return 0;
  }
  size_t signalled = 0;
  for (const auto& value : values) {
    auto opened = rzd::Event::Open(value.name);
    if (!opened) {
      // The listener's process ended without removing its entry.
      if (opened.error == ERROR_FILE_NOT_FOUND) key.DeleteValue(value.name);
      continue;
    }
    if (opened.handle.Set() == ERROR_SUCCESS) ++signalled;
  }
  return signalled;
}

void HangHere(uint32_t limitMs) {
  // The release event is held before the hang is announced, so a release that follows the
  // announcement always reaches this wait.
  auto release = rzd::Event::Create(kReleaseEvent, true, false);
  auto hanging = rzd::Event::Create(kHangingEvent, true, false);
  if (!release || !hanging) return;
  hanging.handle.Set();
  release.handle.Wait(limitMs);
}

bool WaitForHanging(uint32_t timeoutMs) {
  auto hanging = rzd::Event::Create(kHangingEvent, true, false);
  return hanging && hanging.handle.Wait(timeoutMs) == WAIT_OBJECT_0;
}

uint32_t ReleaseHanging() {
  uint32_t error = SetHangingOperations({});
  auto release = rzd::Event::Create(kReleaseEvent, true, false);
  if (!release) return release.error;
  release.handle.Set();
  return error;
}

}  // namespace cordiag
