// CRZDHALM48tzServiceModule: a running copy of the service. It runs under the service control
// manager (the service main routine, the control handler and the message loop) or as a plain
// local server, keeps the device-online event, the service's own scanner HAL object and the
// bookkeeping of client objects and their owner processes, and reaps clients whose process has
// ended.
//
// Locks: A guards the scanner list, B the client registrations; B is taken inside A, never the
// other way round. Where the module's parts live: running in service_main.cpp, the handler in
// service_handler.cpp, the own unit's arrival in unit_arrival.cpp, client bookkeeping in
// client_book.cpp.
#pragma once

#include "hal/scanner.h"
#include "hal/scanner_parent.h"
#include "service/scanner_slot.h"
#include "startup/startup_values.h"

#include "foundation/log_client.h"
#include "platform/com_object.h"
#include "platform/kernel.h"
#include "platform/process.h"
#include "platform/service_host.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace rzd::scanhost {

// `NoButtonPoll` of HKLM\software\corvanite\RZD: this value means no scanner object of the
// service's own.
constexpr uint32_t kNoButtonPollValue = 17527;
// The message loop's wait; each time-out reaps dead clients.
constexpr uint32_t kMessageLoopWaitMs = 2000;
// A plain local server ends this long after its last object went.
constexpr uint32_t kIdleShutdownMs = 5000;

class ServiceModule final : public IHALScannerParent, public CLogClient {
 public:
  explicit ServiceModule(StartupValues values);
  ~ServiceModule() override;
  ServiceModule(const ServiceModule&) = delete;
  ServiceModule& operator=(const ServiceModule&) = delete;

  // The module the instance class and the static entries use.
  static ServiceModule* Current();
  static void SetCurrent(ServiceModule* module);

  // Runs the copy without a registration switch: under the service control manager when the
  // instance's application identifier names it as a local service, else as a plain local
  // server. The process's exit code.
  int Run();
  // The service main routine and the handler (the platform calls them through static entries).
  void ServiceMain();
  uint32_t HandlerEx(uint32_t control, uint32_t eventType, void* eventData);

  // ---- IHALScannerParent.
  // Takes a client's object out of the scanner list and lets it go (nothing for the own object).
  void DestroyScanner(CRZDHALScannerBase* scanner) override;
  void ReapDeadClients() override;
  void RegisterClient(CRZDHALScannerBase* scanner, uint32_t processId) override;
  void UnregisterClient(CRZDHALScannerBase* scanner) override;
  // FriendlyName of the device class key (read again by the message loop while it is empty).
  std::u16string FriendlyName() const override;
  std::u16string DeviceClassKey() const override { return values_.classKeyPath; }

  void ForwardDeviceEvent(uint32_t eventType, const std::u16string& interfaceName, const CLSID& instanceClass);
  // Passes an event code to the own object, then (under lock A) to every client object.
  void NotifyAllLLDs(uint32_t code);
  // The own object polls unless a registered client's session is the active console session.
  void UpdateServicePolling();

  // ---- The instance class's side.
  // A new client object, created for a connection from `peer`, the process behind it (none for a
  // call in this process). Null once EndClients has begun.
  std::shared_ptr<ScannerSlot> AddClient(std::optional<ProcessIdentity> peer);
  ComModule& ComLock() { return comModule_; }

  // ---- Parts of the service main routine (also used by tests).
  // Creates the device-online event and sets it when the unit is present (reset otherwise).
  bool CreateDeviceOnlineEvent();
  bool IsOnLine() const;
  const Event& DeviceOnlineEvent() const { return online_; }
  // Creates the own object unless NoButtonPoll says otherwise; passes it the arrival when the
  // unit is present.
  void CreateOwnScanner();
  // Passes the service stop to the own object and ends it.
  void DestroyOwnScanner();
  std::shared_ptr<CRZDHALScanner> OwnScanner() const;
  // Ends every client object (their units unlocked and closed) and returns once each has ended:
  // calls still in them have returned, and ends that run on the thread of such a call (or of a
  // connection's final release) are done, as are those of objects taken out of the list earlier.
  void EndClients();
  // The own unit arrived: its serial number and Remote into the device class key, then the
  // device-online event and the arrival to every object.
  void OwnUnitArrived();
  void OwnUnitLeft(uint32_t eventType);

  const StartupValues& Values() const { return values_; }
  size_t ClientCount() const;
  // The client objects of the list (for tests: a weak reference does not keep an object).
  std::vector<std::weak_ptr<CRZDHALScannerBase>> ClientObjects() const;
  bool IsRegisteredClient(const CRZDHALScannerBase* scanner) const;

 private:
  struct ClientEntry {
    CRZDHALScannerBase* scanner = nullptr;  // the key (the object itself is held by the slot)
    std::shared_ptr<ScannerSlot> slot;
    std::optional<ProcessIdentity> peer;
  };
  struct Registration {
    uint32_t processId = 0;
    uint32_t sessionId = 0;
  };

  // Takes the entry of `scanner` out of the list (lock A held); its object, to be let go
  // outside the locks.
  std::shared_ptr<CRZDHALScannerBase> TakeOutLocked(CRZDHALScannerBase* scanner);
  void UnregisterLocked(const CRZDHALScannerBase* scanner);
  bool IsAlive(const ClientEntry& entry, uint32_t ownerProcessId) const;
  // A client object's end has finished (its deleter, on whichever thread let it go last).
  void ClientEnded();

  void ReportStatus(uint32_t state, uint32_t exitCode = 0);
  void RunMessageLoop();
  HRESULT RegisterClassObject();
  void RevokeClassObject();
  void HandleDeviceEvent(uint32_t eventType, const void* eventData);
  bool NamedAsLocalService() const;

  StartupValues values_;
  mutable std::mutex friendlyNameLock_;
  std::u16string friendlyName_;
  ComModule comModule_;

  mutable std::mutex lockA_;  // the scanner list
  std::vector<ClientEntry> scanners_;
  bool ending_ = false;  // (lock A) EndClients has begun: AddClient refuses
  mutable std::mutex lockB_;  // the client registrations
  std::vector<const CRZDHALScannerBase*> clients_;
  std::map<const CRZDHALScannerBase*, Registration> registrations_;
  // Client objects made whose end has not finished yet. An object's last reference may go on a
  // server thread (a call's return, a connection's final release), and its end (unlock, close,
  // unload, each logged) runs there: a weak reference expires before that end has begun, so
  // only this count tells that it is over.
  std::mutex endLock_;  // taken alone, never with A or B
  std::condition_variable clientEnded_;
  size_t unendedClients_ = 0;

  mutable std::mutex ownLock_;
  std::shared_ptr<CRZDHALScanner> own_;

  Event online_;
  Event stopEvent_ = Event::Unnamed(false, false);
  std::atomic<uint32_t> mainThreadId_{0};
  bool runningAsService_ = false;
  ServiceStatusHandle status_ = nullptr;
  DeviceNotifyHandle notification_ = nullptr;
  DWORD classCookie_ = 0;
  std::mutex statusLock_;
  uint32_t state_ = SERVICE_STOPPED;
  uint32_t exitCode_ = 0;
};

}  // namespace rzd::scanhost
