// CRZDBaseLLD: the base driver of one opened unit. It keeps the unit's registry facts, the file
// versions, the firmware version text, the stored background raster, the error texts, and the
// unit's named semaphore and wake-up event.
//
// The driver object is built in three layers: CRZDBaseLLD <- CRZDREduzidLLD (the engine driver,
// driver_engine.h) <- CScannerLLD (the model driver, driver_model.h). Each layer logs under its
// own feature name: "RZD Base LLD", "RZD REduzid LLD", "RZD M48tz LLD".
//
// Virtual operations, counted from 0 in declaration order with the bases' first: 0 the
// destructor, 1-15 the logging mix-in, 16-21 declared here, 22-82 in the engine driver.
#pragma once

#include "foundation/log_client.h"
#include "lowdrv/core/driver_codes.h"
#include "lowdrv/core/driver_object.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/kernel.h"
#include "platform/types.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::lowdrv {

// The text of a driver result code that the error document carries; nullptr for a code whose
// text comes from the driver object (GetLastErrorString).
const char16_t* DriverResultText(LLDError code);

// The error document: "<Result><ErrorCode>%d</ErrorCode><Description>text</Description></Result>".
std::u16string ResultDocument(LLDError code, std::u16string_view text);

// The open-device list holds the object as the IDriverObject it derives from first (driver_object.h).
class CRZDBaseLLD : public IDriverObject, public CLogClient {
 public:
  explicit CRZDBaseLLD(std::u16string_view devicePath);
  ~CRZDBaseLLD() override;
  CRZDBaseLLD(const CRZDBaseLLD&) = delete;
  CRZDBaseLLD& operator=(const CRZDBaseLLD&) = delete;

  // ---- Operations 16-21.
  // 16: the base answers 0xA0000011 (firmware version) and 0xA000001D (background data); every
  // other code 0x800A. Buffers may be null; sizes are checked by each code.
  LLDError DoControlCode(uint32_t dwControlCode, const char16_t* strIn, BSTR* pstrOut, void* pbyBufferIn,
                         uint32_t stSizeIn, void* pbyBufferOut, uint32_t* pstActualSizeOut) override;
  // 17: image read; the base has none (0x800A).
  LLDError Read(uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut, BSTR* pstrMetaOut, uint32_t* pdwBoundary) override;
  // 18: TRUE; nothing calls it.
  virtual BOOL ControlCodeHook();
  // 19: the model's power time-out limits into the process-wide limits; result bits 1 power-off,
  // 2 sleep, 4 ERP found; 0 when the device description cannot be loaded.
  virtual uint32_t LoadPowerTimeoutLimits();
  // 20: a new BSTR with the error document of `error` (the caller frees it).
  BSTR GetLastError(LLDError error) override;
  // 21: the text of a code that the driver result table does not name.
  std::u16string GetLastErrorString(LLDError error) override;

  // ---- Internal operations.
  // The resource of type "XML" with `id` of the module holding `addressInModule`: it must start
  // with the byte-order mark 0xFEFF; the rest becomes a new BSTR. False when missing or unmarked.
  static bool GetXMLfromResources(const void* addressInModule, uint32_t id, BSTR* pstrOut);
  // The stored background raster and its metadata (code 0xA000001D).
  LLDError GetBackgroundData(void* pOut, uint32_t* pstOutBuffSize, BSTR* pstrOut);
  // The stored firmware version text as a new BSTR (code 0xA0000011).
  LLDError GetFirmwareVersion(BSTR* pstrOut);
  // The named value of the device class subkey whose SymbolicName equals `devicePath` exactly;
  // empty when no subkey matches or the value is missing.
  static std::u16string FindDeviceRegistryValue(std::u16string_view devicePath, std::u16string_view valueName);

  // Unit semaphore: opened first, created (count 1, maximum 1) when missing. 0 or 0x8009.
  LLDError CreateScannerSemaphore(std::u16string_view prefix);
  // Takes the unit semaphore (made first when there is no handle), waiting with the calling
  // thread's messages flowing. 0; 0x8008 on a time-out; 0x8009 otherwise. On failure the handle
  // is closed.
  LLDError ReserveSemaphore(uint32_t timeoutMs);
  // Gives back the count this object took (nothing when it holds none).
  void ReleaseScannerSemaphore();
  void CloseScannerSemaphore();
  // The wake-up event: `prefix` + the friendly name without its first "#"; opened first, created
  // (auto-reset, not signalled) when missing. 0 or 0x8009.
  LLDError OpenNamedEvent(std::u16string_view prefix);
  // Sets the wake-up event when it exists.
  void SetWakeupEvent() const;

  // ---- Read access for the open-device list, the service and tests.
  const std::u16string& DevicePath() const { return m_strDevicePath; }
  uint32_t Status() const { return m_ulStatus; }
  bool HoldsSemaphore() const { return m_bSemaphoreHeld; }
  const std::u16string& InstanceName() const { return m_strInstanceName; }

  // ---- Members, in the order of the base driver.
  std::u16string m_strDevicePath;
  std::u16string m_strFriendlyName;      // FriendlyName of the device class key
  std::u16string m_strHalModel;          // HAL_MODEL of the device class key
  std::u16string m_strSemaphorePrefix;   // set by the model driver
  std::u16string m_strTwainDSVersion;    // file version of the TWAIN data source
  std::u16string m_strDriverVersion;     // file version of this library
  std::u16string m_strFirmwareVersion;   // filled by the configuration read
  std::u16string m_strInstanceName;      // cut from the path when the semaphore is made
  std::vector<uint8_t> m_Background;     // the stored background raster (empty: none)
  Bstr m_bstrBackgroundMeta;             // its page metadata
  Semaphore m_hSemaphore;
  Event m_hWakeupEvent;
  uint32_t m_ulStatus = state::kClosed;
  uint32_t m_ulSubState = 0;             // the read boundary kept for Read
  uint32_t m_ulLargeReadSize = 0x80000;
  uint32_t m_ulSmallReadSize = 0x20000;
  uint32_t m_ulMaxIndicator = 9;
  uint32_t m_ulCmdTimeout = 5000;        // the engine command (general) time-out
  uint32_t m_ulCalibThreadWait = 2000;
  bool m_bSemaphoreHeld = false;         // this object took the semaphore's count

 protected:
  // The logging mix-in of this layer ("RZD Base LLD").
  CLogClient& BaseLog() { return *this; }
};

}  // namespace rzd::lowdrv
