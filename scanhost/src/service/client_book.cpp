// The service module: the scanner list, the client registrations that pause the own object's
// button polling, the reaping of clients whose process has ended, and events to every object.
#include "service/service_module.h"

#include "hal/process_state.h"

#include "platform/process.h"
#include "platform/session.h"

#include <algorithm>
#include <chrono>

namespace rzd::scanhost {

namespace {

constexpr uint32_t kEndWaitLogMs = 60000;

}  // namespace

std::shared_ptr<ScannerSlot> ServiceModule::AddClient(std::optional<ProcessIdentity> peer) {
  auto* made = new CRZDHALScanner(this, values_.symbolicName, values_.driverFileName, values_.firmwareUpdater, false);
  {
    std::lock_guard guard(endLock_);
    ++unendedClients_;
  }
  // Counted until its end is over (a shared_ptr that cannot be made deletes it here and then).
  std::shared_ptr<CRZDHALScannerBase> scanner(made, [this](CRZDHALScannerBase* object) {
    delete object;
    ClientEnded();
  });
  auto slot = std::make_shared<ScannerSlot>(scanner);
  std::lock_guard guard(lockA_);
  // Once EndClients has let the list go, no object joins it: nothing would let that one go, and
  // the end would wait for it. A refused object ends on return, outside the lock.
  if (ending_) return nullptr;
  scanners_.push_back({scanner.get(), slot, peer});
  return slot;
}

std::shared_ptr<CRZDHALScannerBase> ServiceModule::TakeOutLocked(CRZDHALScannerBase* scanner) {
  auto at = std::find_if(scanners_.begin(), scanners_.end(), [&](const ClientEntry& e) { return e.scanner == scanner; });
  if (at == scanners_.end()) return nullptr;
  std::shared_ptr<CRZDHALScannerBase> object = at->slot->Drop();
  scanners_.erase(at);
  // Its client is gone: a read still running in it ends soon, and the object with it.
  hal_process::ScanOwnerGone(scanner);
  return object;
}

void ServiceModule::UnregisterLocked(const CRZDHALScannerBase* scanner) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), scanner), clients_.end());
  registrations_.erase(scanner);
}

void ServiceModule::DestroyScanner(CRZDHALScannerBase* scanner) {
  std::shared_ptr<CRZDHALScannerBase> object;
  {
    std::lock_guard guardA(lockA_);
    object = TakeOutLocked(scanner);
    std::lock_guard guardB(lockB_);
    UnregisterLocked(scanner);
  }
  // Its registration went with it: polling may resume.
  UpdateServicePolling();
  // `object` ends here unless a call still runs in it (that call's end ends it).
}

bool ServiceModule::IsAlive(const ClientEntry& entry, uint32_t ownerProcessId) const {
  // The process behind the connection is the owner, whatever process id the client named.
  if (entry.peer) return entry.peer->Runs();
  return IsProcessAlive(ownerProcessId);
}

void ServiceModule::ReapDeadClients() {
  std::vector<std::shared_ptr<CRZDHALScannerBase>> dead;
  {
    std::lock_guard guardA(lockA_);
    for (size_t i = 0; i < scanners_.size();) {
      const ClientEntry& entry = scanners_[i];
      std::shared_ptr<CRZDHALScannerBase> object = entry.slot->Get();
      const uint32_t owner = object ? object->OwnerProcessId() : 0;
      if (object && (owner == 0 || IsAlive(entry, owner))) {
        ++i;
        continue;
      }
      {
        std::lock_guard guardB(lockB_);
        // Every registration the dead owner made goes with it, and the object's own.
        std::vector<const CRZDHALScannerBase*> gone;
        for (const auto& [client, registration] : registrations_) {
          if (owner != 0 && registration.processId == owner) gone.push_back(client);
        }
        for (const CRZDHALScannerBase* client : gone) UnregisterLocked(client);
        UnregisterLocked(entry.scanner);
      }
      object.reset();
      dead.push_back(TakeOutLocked(entry.scanner));
    }
  }
  if (!dead.empty()) UpdateServicePolling();
  // The dead clients' objects end here, or when the last call still running in them returns.
}

void ServiceModule::RegisterClient(CRZDHALScannerBase* scanner, uint32_t processId) {
  ReapDeadClients();
  {
    std::lock_guard guard(lockB_);
    if (registrations_.count(scanner) != 0) return;
    clients_.push_back(scanner);
    registrations_[scanner] = {processId, ActiveConsoleSessionId()};
  }
  if (std::shared_ptr<CRZDHALScanner> own = OwnScanner()) own->SetPollingFlag(false);
}

void ServiceModule::UnregisterClient(CRZDHALScannerBase* scanner) {
  {
    std::lock_guard guard(lockB_);
    UnregisterLocked(scanner);
  }
  UpdateServicePolling();
}

void ServiceModule::UpdateServicePolling() {
  std::shared_ptr<CRZDHALScanner> own = OwnScanner();
  if (!own) return;
  std::lock_guard guard(lockB_);
  const uint32_t console = ActiveConsoleSessionId();
  const bool clientAtConsole = std::any_of(registrations_.begin(), registrations_.end(),
                                           [&](const auto& r) { return r.second.sessionId == console; });
  own->SetPollingFlag(!clientAtConsole);
}

void ServiceModule::NotifyAllLLDs(uint32_t code) {
  if (std::shared_ptr<CRZDHALScanner> own = OwnScanner()) {
    own->SessionStateChanged(code);
    if (code == event_code::kConsoleConnect) UpdateServicePolling();
  }
  std::lock_guard guard(lockA_);
  for (const ClientEntry& entry : scanners_) {
    if (std::shared_ptr<CRZDHALScannerBase> object = entry.slot->Get()) object->SessionStateChanged(code);
  }
}

void ServiceModule::ClientEnded() {
  // Notified under the lock: EndClients (and the module's end after it) cannot go on before
  // this thread has left the module.
  std::lock_guard guard(endLock_);
  --unendedClients_;
  clientEnded_.notify_all();
}

void ServiceModule::EndClients() {
  std::vector<std::shared_ptr<CRZDHALScannerBase>> held;
  {
    std::lock_guard guardA(lockA_);
    ending_ = true;
    for (ClientEntry& entry : scanners_) {
      if (std::shared_ptr<CRZDHALScannerBase> object = entry.slot->Drop()) held.push_back(std::move(object));
    }
    scanners_.clear();
    std::lock_guard guardB(lockB_);
    clients_.clear();
    registrations_.clear();
  }
  held.clear();
  // Calls still running in an object end it when they return, on their own thread; objects
  // reaped or released earlier may still be ending so too. Each end is waited for to its close.
  std::unique_lock guard(endLock_);
  const auto allEnded = [this] { return unendedClients_ == 0; };
  if (!clientEnded_.wait_for(guard, std::chrono::milliseconds(kEndWaitLogMs), allEnded)) {
    guard.unlock();
    RZD_LOG_ERROR(u"EndClients: calls still run in client objects after %u ms; still waiting", kEndWaitLogMs);
    guard.lock();
    clientEnded_.wait(guard, allEnded);
  }
}

size_t ServiceModule::ClientCount() const {
  std::lock_guard guard(lockA_);
  return scanners_.size();
}

std::vector<std::weak_ptr<CRZDHALScannerBase>> ServiceModule::ClientObjects() const {
  std::vector<std::weak_ptr<CRZDHALScannerBase>> objects;
  std::lock_guard guard(lockA_);
  for (const ClientEntry& entry : scanners_) objects.push_back(entry.slot->Get());
  return objects;
}

bool ServiceModule::IsRegisteredClient(const CRZDHALScannerBase* scanner) const {
  std::lock_guard guard(lockB_);
  return registrations_.count(scanner) != 0;
}

}  // namespace rzd::scanhost
