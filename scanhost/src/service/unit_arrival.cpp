// The service module: the own unit's arrival and removal. On arrival the unit's USB serial
// number goes into its device class key (`SerialNumber`), with `Remote` 0 when one was found and
// 1 when none was; then the device-online event is set and every object hears of the arrival.
#include "service/service_module.h"

#include "serial/usb_serial.h"

#include "scanhost/class_key_values.h"

#include "platform/registry.h"

namespace rzd::scanhost {

namespace {

constexpr uint32_t kRemoteUnknown = 2;

}  // namespace

void ServiceModule::OwnUnitArrived() {
  const std::optional<UsbIds> ids = ParseUsbIds(values_.symbolicName);
  // The driver key: the device class key path from its "{".
  const size_t brace = values_.classKeyPath.find(u'{');
  const std::u16string driverKey = brace == std::u16string::npos ? std::u16string() : values_.classKeyPath.substr(brace);
  const std::u16string serial = ids ? LookUpUsbSerialNumber(*ids, driverKey) : std::u16string();
  RegKey key;
  if (RegKey::Open(Hive::LocalMachine, values_.classKeyPath, &key) == ERROR_SUCCESS) {
    std::u16string recorded;
    if (!serial.empty() && (key.GetString(kValueSerialNumber, &recorded) != ERROR_SUCCESS || recorded != serial)) {
      key.SetString(kValueSerialNumber, serial);
    }
    uint32_t remote = kRemoteUnknown;
    key.GetDword(kValueRemote, &remote);
    if (!serial.empty() && remote != 0) key.SetDword(kValueRemote, 0);
    if (serial.empty() && remote != 1) key.SetDword(kValueRemote, 1);
  } else {
    RZD_LOG_ERROR(u"OwnUnitArrived failed because the device class key %s cannot be opened",
                  values_.classKeyPath.c_str());
  }
  if (online_) online_.Set();
  NotifyAllLLDs(event_code::kArrival);
}

void ServiceModule::OwnUnitLeft(uint32_t eventType) {
  // A failed query-remove leaves the unit where it is: only a removal takes it offline.
  if (eventType == event_code::kRemoval && online_) online_.Reset();
  NotifyAllLLDs(eventType);
}

}  // namespace rzd::scanhost
