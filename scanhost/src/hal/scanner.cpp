#include "hal/scanner.h"

#include "scanhost/lcd/lcd_profiles.h"
#include "scanhost/lcd/scanner_driver.h"

namespace rzd::scanhost {

class CRZDHALScanner::ThreadHost final : public buttons::ButtonThreadHost, public ScannerDriver {
 public:
  explicit ThreadHost(CRZDHALScanner& scanner) : scanner_(scanner) {}

  // ---- ScannerDriver: the object's driver with its own handle.
  bool HasHandle() override { return scanner_.DriverHandle() != nullptr; }
  bool Control(uint32_t code, const char16_t* text, std::u16string* result, const void* in, uint32_t inSize, void* out,
               uint32_t* outSize) override {
    void* handle = scanner_.DriverHandle();
    if (handle == nullptr) return false;
    Bstr answer;
    const DriverAnswer called = scanner_.Driver().Control(handle, code, text, result != nullptr ? answer.Out() : nullptr,
                                                          const_cast<void*>(in), inSize, out, outSize);
    if (result != nullptr) *result = answer.Str();
    return called.ok;
  }

  // ---- ButtonThreadHost.
  ScannerDriver& Driver() override { return *this; }
  bool UnitOpened() override { return scanner_.IsOpened(); }
  bool PollingEnabled() override { return scanner_.PollingFlag(); }
  void ReapDeadClients() override { scanner_.Parent()->ReapDeadClients(); }
  void ClearRunning() override { scanner_.ClearRunning(); }
  void SignalStarted() override { scanner_.SignalStarted(); }
  void SignalEnded() override { scanner_.SignalEnded(); }
  bool WaitForStop(uint32_t waitMs) override { return scanner_.WaitForStop(waitMs); }
  std::u16string FriendlyName() override { return scanner_.Parent()->FriendlyName(); }
  std::u16string DeviceClassKey() override { return scanner_.Parent()->DeviceClassKey(); }

 private:
  CRZDHALScanner& scanner_;
};

CRZDHALScanner::CRZDHALScanner(IHALScannerParent* parent, std::u16string symbolicName, std::u16string driverFileName,
                               std::u16string firmwareUpdater, bool serviceOwned)
    : CRZDHALScannerBase(parent, std::move(symbolicName), std::move(driverFileName), std::move(firmwareUpdater),
                         serviceOwned),
      host_(std::make_unique<ThreadHost>(*this)),
      poller_(std::make_unique<buttons::ButtonPoller>(*host_)) {
  unloadOnDeviceRemove_ = true;
}

CRZDHALScanner::~CRZDHALScanner() { Destroy(); }

void CRZDHALScanner::RefreshLcdProfiles() { lcd::RefreshLcdOperation(*host_, Parent()->FriendlyName()); }

}  // namespace rzd::scanhost
