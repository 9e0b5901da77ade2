// Opening and closing units.
#include "api/device_open.h"

#include "api/api_log.h"
#include "lowdrv/core/driver_codes.h"
#include "lowdrv/engine/unit_names.h"

#include "foundation/diag_sink.h"
#include "foundation/folders.h"
#include "foundation/module_objects.h"
#include "platform/kernel.h"
#include "platform/text.h"

#include <cstring>
#include <mutex>
#include <new>

namespace rzd::lowdrv::api {

namespace {

struct FactoryHolder {
  std::mutex lock;
  DriverFactory factory;
};

FactoryHolder& Factory() {
  static ModuleObject<FactoryHolder> holder;
  return holder.Get();
}

std::unique_ptr<IDriverObject> MakeDriverObject(const std::u16string& devicePath) {
  DriverFactory factory;
  {
    std::lock_guard guard(Factory().lock);
    factory = Factory().factory;
  }
  return factory ? factory(devicePath) : CreateModelDriver(devicePath);
}

// Opens in progress; the diagnostics thread is not stopped while one runs, so an open never
// finds its thread stopped by a close of another unit.
struct DiagnosticsGate {
  std::mutex lock;
  uint32_t pendingOpens = 0;
};

DiagnosticsGate& Gate() {
  static DiagnosticsGate gate;
  return gate;
}

}  // namespace

void SetDriverFactory(DriverFactory factory) {
  std::lock_guard guard(Factory().lock);
  Factory().factory = std::move(factory);
}

bool IsDeviceSwitchedOn(std::u16string_view devicePath) {
  const std::optional<std::u16string> name = lowdrv::DeviceOnlineEventName(devicePath);
  if (!name) return false;
  ObjectResult<Event> online = Event::Open(*name);
  if (!online) return false;
  return online.handle.Wait(0) == WAIT_OBJECT_0;
}

LLDError OpenDeviceHandle(const char16_t* devicePath, void* pbyBufferOut, uint32_t* pstOutBufferSize,
                          DeviceLease& lease) {
  CLogClient& log = ApiLog();
  // The size is checked before anything is written: the handle is one pointer.
  const uint32_t given = *pstOutBufferSize;
  *pstOutBufferSize = 0;
  if (given < sizeof(void*)) {
    RZD_LOG_ERROR_OF(log, u"OpenDeviceHandle failed because the output buffer holds %u bytes, %u needed", given,
                     static_cast<uint32_t>(sizeof(void*)));
    return lld::kInvalidParameter;
  }
  std::memset(pbyBufferOut, 0, sizeof(void*));
  const std::u16string path(devicePath);
  if (!IsDeviceSwitchedOn(path)) {
    RZD_LOG_ERROR_OF(log, u"OpenDeviceHandle failed because the device %s is not switched on", path.c_str());
    return lld::kUnreachable;
  }
  std::unique_ptr<IDriverObject> object;
  try {
    object = MakeDriverObject(path);
  } catch (const std::bad_alloc&) {
    object.reset();
  }
  if (!object) {
    RZD_LOG_ERROR_OF(log, u"OpenDeviceHandle failed because the driver object for %s cannot be made", path.c_str());
    return lld::kNoMemory;
  }
  const LLDError opened = object->OpenScanner();
  if (opened != lld::kSuccess) {
    RZD_LOG_ERROR_OF(log, u"OpenDeviceHandle failed because OpenScanner failed with error %d",
                     static_cast<int32_t>(opened));
    return opened;  // the object is destroyed; no entry, no document
  }
  void* handle = DeviceTable::Instance().Add(object, lease);
  if (handle == nullptr) {
    object->CloseScanner();
    RZD_LOG_ERROR_OF(log, u"OpenDeviceHandle failed because the device list cannot grow");
    return lld::kNoMemory;
  }
  std::memcpy(pbyBufferOut, &handle, sizeof handle);
  *pstOutBufferSize = sizeof handle;
  return lld::kSuccess;
}

LLDError CloseDeviceHandle(DeviceLease& lease) {
  std::unique_ptr<IDriverObject> object;
  const LLDError removed = DeviceTable::Instance().Remove(lease, object);
  if (removed != lld::kSuccess) {
    RZD_LOG_ERROR_OF(ApiLog(), u"CloseDeviceHandle failed because another call is running on the device");
    return removed;
  }
  // Out of the list: no call can reach the object any more. Closed and destroyed without the
  // list's lock, so calls on other units go on meanwhile.
  object->CloseScanner();
  object.reset();
  StopDiagnosticsWhenIdle();
  return lld::kSuccess;
}

void CloseAllDevices() {
  std::vector<std::unique_ptr<IDriverObject>> objects = DeviceTable::Instance().RemoveAll();
  for (std::unique_ptr<IDriverObject>& object : objects) {
    object->CloseScanner();
    object.reset();
  }
}

void BeginOpen() {
  std::lock_guard guard(Gate().lock);
  ++Gate().pendingOpens;
  try {
    StartDiagnostics(kCompanyName, kDiagnosticsProduct);
    RefreshApiLog();
  } catch (...) {
    // The open goes on without diagnostics.
  }
}

void EndOpen() {
  std::lock_guard guard(Gate().lock);
  --Gate().pendingOpens;
}

void StopDiagnosticsWhenIdle() {
  std::lock_guard guard(Gate().lock);
  if (Gate().pendingOpens == 0 && DeviceTable::Instance().Count() == 0) StopDiagnostics();
}

}  // namespace rzd::lowdrv::api
