// CRZDHALScannerBase: the scanner HAL object, the one place of the service that loads and calls
// the driver library. One object serves each client connection (through its coclass) and one
// more belongs to the service itself. Each loads the driver by file name, keeps its own driver
// handle and guards its own state with its own lock.
//
// Objects are shared (std::shared_ptr): the module's scanner list, the coclass and every call in
// flight hold one, so an object that is reaped or released ends only after the last call in it
// has returned. Destroy() runs the end (unlock, close, unload) once; the destructor calls it.
//
// Where the object's parts live: construction, destruction, lock and unlock in scanner_base.cpp;
// open and close in open_close.cpp; the worker thread in worker_thread.cpp; device, power and
// session events in session_events.cpp; the HAL control codes in control_codes.cpp; reads in
// read.cpp.
#pragma once

#include "hal/driver_code_table.h"
#include "hal/driver_link.h"
#include "hal/scanner_parent.h"

#include "foundation/log_client.h"
#include "interfaces/raster_buffers.h"
#include "interfaces/rzdhal_codes.h"
#include "lowdrv/core/driver_codes.h"
#include "platform/kernel.h"
#include "platform/types.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace rzd::scanhost {

// A result of IRZDHAL besides the HRESULTs and kHalBusy: the driver refused a driver code.
constexpr HRESULT kHalDriverRefused = 12;
// Driver result code: the unit is in use by another application.
constexpr int32_t kDriverInUse = static_cast<int32_t>(lowdrv::lld::kInUse);

// The driver codes the object sends (kOpen, kClose, kLock, kUnlock, kSessionStateChanged, ...).
namespace driver_code = lowdrv::cc;

// The event codes of SessionStateChanged and of the driver's notification code.
namespace event_code {
constexpr uint32_t kServiceStop = 0;
constexpr uint32_t kConsoleConnect = 1;
constexpr uint32_t kArrival = 0x8000;
constexpr uint32_t kQueryRemoveFailed = 0x8002;
constexpr uint32_t kRemoval = 0x8004;
constexpr uint32_t kSuspend = 0x4004;
constexpr uint32_t kResumeFromSuspend = 0x4006;
constexpr uint32_t kResumeAutomatic = 0x4012;
constexpr uint32_t kAfterResume = 0x4112;  // sent by the service's own object after a resume
constexpr uint32_t kBeforeClose = 0x8024;  // sent before the service's own object closes the unit
}  // namespace event_code

// How long the worker thread may take to start and to stop.
constexpr uint32_t kThreadWaitMs = 60000;
// Opens of the unit: attempts and the pause after each failed one.
constexpr int kOpenAttempts = 10;
constexpr uint32_t kOpenRetryPauseMs = 500;

class CRZDHALScannerBase : public CLogClient {
 public:
  CRZDHALScannerBase(IHALScannerParent* parent, std::u16string symbolicName, std::u16string driverFileName,
                     std::u16string firmwareUpdater, bool serviceOwned);
  ~CRZDHALScannerBase() override;
  CRZDHALScannerBase(const CRZDHALScannerBase&) = delete;
  CRZDHALScannerBase& operator=(const CRZDHALScannerBase&) = delete;

  // ---- IRZDHAL, as the coclass calls it.
  virtual HRESULT raw_LockScanner(LONG lPID, LONG* lpStatus, DWORD dwTimeout);
  virtual HRESULT raw_UnlockScanner(LONG* lpStatus);
  virtual HRESULT raw_Control(LONG lCC, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut);
  virtual HRESULT raw_Read(BSTR strMMRasterName, BSTR strMMMetaData, LONG lSessionBoundary);

  // A device, power or session event (event_code); 0, or 12 when the driver refused it.
  virtual uint32_t SessionStateChanged(uint32_t code);
  // The worker thread's body: the base keeps the unit's connection open until it is stopped.
  virtual uint32_t ThreadBody();

  uint32_t OwnerProcessId() const { return ownerProcessId_.load(); }
  uint32_t OwnerSessionId() const { return ownerSessionId_.load(); }
  IHALScannerParent* Parent() const { return parent_; }
  void SetPollingFlag(bool polling) { polling_.store(polling); }
  bool PollingFlag() const { return polling_.load(); }
  // A device-interface event reaching the service's own object: the orphan clean-up on arrivals.
  virtual void DeviceEvent(uint32_t eventType, const std::u16string& interfaceName, const CLSID& instanceClass);

  bool OpenScanner();
  void CloseScanner();
  void StartThread();
  void StopThread();
  // Copies the unit's counters into the registry (service-owned objects, after an open).
  virtual void UpdateCountersInRegistry(void* handle);
  // Redraws the LCD profile screens after an open; the base has none.
  virtual void RefreshLcdProfiles() {}

  // Unlocks, closes and unloads, once; later calls do nothing.
  void Destroy();

  // ---- State, for the parts of the object and for tests.
  bool IsServiceOwned() const { return serviceOwned_; }
  bool IsLocked() const { return locked_.load(); }
  bool IsOpened() const { return opened_.load(); }
  void* DriverHandle() const { return handle_.load(); }
  bool IsThreadRunning() const;
  const DriverLink& Driver() const { return driver_; }
  const std::u16string& SymbolicName() const { return symbolicName_; }
  const std::u16string& FirmwareUpdater() const { return firmwareUpdater_; }
  // HWProps.ini [HAL] UpdateCountersInRegistry, read at construction.
  bool CountersToRegistry() const { return countersToRegistry_; }

  // Owner process and session, as RZDHAL_CC_SET_PROCESS_ID sets them.
  void SetOwner(uint32_t processId, uint32_t sessionId);

 protected:
  // Runs `body` on the worker thread's side: true when it should go on (the stop event was not
  // signalled within `waitMs`).
  bool WaitForStop(uint32_t waitMs) const;
  // Marks the thread as running and signals the start to StartThread.
  void SignalStarted();
  void SignalEnded();
  void ClearRunning() { threadRunning_.store(false); }

  // Opens the unit once (under the open lock, which the caller holds); true on success.
  bool OpenOnce();
  // Closes the driver handle with the close code; false when the driver refused (the handle stays).
  bool CloseHandle(const char16_t* what);
  // Unlocks for the owner (clearing the scan-in-progress record it names); failures log `failure`.
  void UnlockForEnd();

  bool unloadOnDeviceRemove_ = false;  // m_bUnloadLLDOnDeviceRemove
  mutable CriticalSection objectLock_;

 private:
  // ---- The HAL control codes the object answers itself (control_codes.cpp).
  HRESULT Connect();
  HRESULT Disconnect();
  HRESULT DisableButtonThread(const VARIANT* pvBufIn);
  HRESULT EnableButtonThread();
  HRESULT SetProcessId(const VARIANT* pvBufIn);
  // A plain driver call of the code table.
  HRESULT RunDriverCode(const DriverCodeRow& row, BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut);
  // Codes 16, 17, 20 and 21 (shared_buffers.cpp).
  HRESULT AllocateRasterBlocks(BSTR strXMLIn, BSTR* strXMLOut);
  HRESULT ReleaseRasterBlocks();
  HRESULT OpenSharedBuffer(BSTR strXMLIn);
  HRESULT CloseSharedBuffer(BSTR strXMLIn);
  // Releases the raster-block manager and closes every shared buffer (the object's end).
  void ReleaseAllBuffers();
  // Codes 30 and 36 (pass_through.cpp).
  HRESULT PassThrough(BSTR strXMLIn, BSTR* strXMLOut, VARIANT* pvBufIn, VARIANT* pvBufOut);
  HRESULT ExtractHelp(BSTR strXMLIn);
  // One driver read into a region (read.cpp): the export's answer; at level 6 or more the
  // counters go to the registry.
  DriverAnswer ReadFromLLD(uint8_t* region, uint32_t* size, BSTR* metadata, uint32_t* boundary);
  // The driver's background data for this scan into *data (left empty when it keeps none); false
  // when it has some but the fetch failed (the error code goes to `own`).
  bool FetchBackground(std::vector<uint8_t>* data, IRasterBlockDescriptor* own);

  IHALScannerParent* const parent_;
  const std::u16string symbolicName_;
  const std::u16string driverFileName_;
  const std::u16string firmwareUpdater_;
  const bool serviceOwned_;

  std::atomic<uint32_t> ownerProcessId_{0};
  std::atomic<uint32_t> ownerSessionId_{0xFFFFFFFF};
  std::atomic<bool> locked_{false};
  std::atomic<bool> polling_{true};
  bool countersToRegistry_ = false;

  // The open shared buffers (name -> mapping) and the raster-block manager of code 16; codes 16,
  // 17, 20, 21 and the object's end change them under buffersLock_, which no driver call holds.
  std::mutex buffersLock_;
  std::map<std::u16string, FileMapping> sharedBuffers_;
  ComPtr<IRasterBlocks> rasterBlocks_;

  DriverLink driver_;
  std::atomic<bool> opened_{false};  // m_bScannerOpened
  std::atomic<void*> handle_{nullptr};

  // The worker thread: started and stopped under threadLock_.
  std::mutex threadLock_;
  Thread thread_;
  Event stopEvent_;
  Event startedEvent_;
  std::atomic<bool> threadRunning_{false};

  std::once_flag destroyed_;
};

}  // namespace rzd::scanhost
