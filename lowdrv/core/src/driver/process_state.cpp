#include "process_state.h"

#include "foundation/module_objects.h"
#include "lowdrv/core/driver_process.h"

namespace rzd::lowdrv::driver_process {

namespace {

struct State {
  std::mutex lock;
  uint32_t openCount = 0;
  const void* oldDriverHolder = nullptr;
  std::optional<EngineCapabilities> inquiryCaps;  // set when an inquiry record was stored
  bool nvmStored = false;
  std::optional<LcdStringTable> lcd;
  RZDPowerTimeoutLimits limits;
};

// A module object: the unload's closes, after every static destructor at the end of the process,
// still find it.
State& TheState() {
  static ModuleObject<State> state;
  return state.Get();
}

}  // namespace

std::mutex& Lock() { return TheState().lock; }

std::mutex& OpenLock() {
  static std::mutex lock;  // nothing to destroy: usable to the end of the process
  return lock;
}

uint32_t OpenCount() {
  std::lock_guard guard(Lock());
  return TheState().openCount;
}

uint32_t RaiseOpenCount() {
  std::lock_guard guard(Lock());
  return ++TheState().openCount;
}

uint32_t LowerOpenCount() {
  std::lock_guard guard(Lock());
  State& s = TheState();
  if (s.openCount > 0) --s.openCount;
  return s.openCount;
}

const void* OldDriverHolder() {
  std::lock_guard guard(Lock());
  return TheState().oldDriverHolder;
}

void SetOldDriverHolder(const void* holder) {
  std::lock_guard guard(Lock());
  TheState().oldDriverHolder = holder;
}

bool ClearOldDriverHolder(const void* holder) {
  std::lock_guard guard(Lock());
  if (TheState().oldDriverHolder != holder) return false;
  TheState().oldDriverHolder = nullptr;
  return true;
}

std::optional<EngineInquiryCache> CachedInquiry() {
  std::lock_guard guard(Lock());
  if (!TheState().inquiryCaps) return std::nullopt;
  EngineInquiryCache cache;
  cache.Inquiry = CRZDScannerSettingsBase::InquiryCopy();
  cache.Caps = *TheState().inquiryCaps;
  return cache;
}

void StoreInquiry(const EngineInquiryCache& cache) {
  std::lock_guard guard(Lock());
  TheState().inquiryCaps = cache.Caps;
  CRZDScannerSettingsBase::SetInquiryCopy(cache.Inquiry);
}

void StoreInquiryCaps(const EngineCapabilities& caps) {
  std::lock_guard guard(Lock());
  TheState().inquiryCaps = caps;
}

std::optional<ReduzidNVMData> CachedNVMData() {
  std::lock_guard guard(Lock());
  if (!TheState().nvmStored) return std::nullopt;
  return CRZDScannerSettingsBase::NVMDataCopy();
}

void StoreNVMData(const ReduzidNVMData& nvm) {
  std::lock_guard guard(Lock());
  TheState().nvmStored = true;
  CRZDScannerSettingsBase::SetNVMDataCopy(nvm);
}

bool HasLcdStringTable() {
  std::lock_guard guard(Lock());
  return TheState().lcd.has_value();
}

void StoreLcdStringTable(LcdStringTable table) {
  std::lock_guard guard(Lock());
  TheState().lcd = std::move(table);
}

std::optional<LcdStringTable> CachedLcdStringTable() {
  std::lock_guard guard(Lock());
  return TheState().lcd;
}

RZDPowerTimeoutLimits PowerLimits() {
  std::lock_guard guard(Lock());
  return TheState().limits;
}

void StorePowerLimits(const RZDPowerTimeoutLimits& limits) {
  std::lock_guard guard(Lock());
  TheState().limits = limits;
}

void ForgetRecords() {
  std::lock_guard guard(Lock());
  State& s = TheState();
  s.inquiryCaps.reset();
  CRZDScannerSettingsBase::SetInquiryCopy({});
  s.nvmStored = false;
  CRZDScannerSettingsBase::SetNVMDataCopy({});
  s.lcd.reset();
  s.limits = {};
}

}  // namespace rzd::lowdrv::driver_process

namespace rzd::lowdrv {

uint32_t DriverOpenCount() { return driver_process::OpenCount(); }

std::optional<ReduzidInq> DriverCachedInquiry() {
  auto cache = driver_process::CachedInquiry();
  if (!cache) return std::nullopt;
  return cache->Inquiry;
}

std::optional<std::vector<uint8_t>> DriverLcdStringBlock() {
  auto table = driver_process::CachedLcdStringTable();
  if (!table) return std::nullopt;
  return table->block;
}

}  // namespace rzd::lowdrv
