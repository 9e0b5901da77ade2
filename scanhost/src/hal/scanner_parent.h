// What a scanner HAL object asks of its owner: the coclass that carries a client's object, or the
// service module for the service's own object.
#pragma once

#include <cstdint>
#include <string>

namespace rzd::scanhost {

class CRZDHALScannerBase;

class IHALScannerParent {
 public:
  // Destroys the scanner: the coclass takes it out of the module's scanner list and lets it go
  // (it ends once no call runs in it any more); the module does nothing.
  virtual void DestroyScanner(CRZDHALScannerBase* scanner) = 0;
  // Reaps the client objects whose process has ended (the module; the coclass does nothing).
  virtual void ReapDeadClients() = 0;
  // Registers and unregisters a client that pauses the service's button polling.
  virtual void RegisterClient(CRZDHALScannerBase* scanner, uint32_t processId) = 0;
  virtual void UnregisterClient(CRZDHALScannerBase* scanner) = 0;
  // The unit's friendly name and its device class key (a path under the local machine), which
  // the own object's LCD screens and button thread name their objects and values by.
  virtual std::u16string FriendlyName() const = 0;
  virtual std::u16string DeviceClassKey() const = 0;

 protected:
  ~IHALScannerParent() = default;
};

}  // namespace rzd::scanhost
