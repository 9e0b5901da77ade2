// CScannerBase: holds the device of a scanner engine and offers the command entry with its
// data-log dumps. The engine's dialects live in CReduzidInterface.
#pragma once

#include "foundation/log_client.h"
#include "lowdrv/engine/usb_device.h"
#include "platform/types.h"

#include <cstdint>

namespace rzd::lowdrv {

// Device kinds of SetDevice.
constexpr int kDeviceKindUsb = 0;
constexpr int kDeviceKindScsi = 1;  // no SCSI device exists in this system: always refused

// Data directions of an engine command.
constexpr int kDataNone = 0;
constexpr int kDataIn = 1;   // read from the engine
constexpr int kDataOut = 2;  // write to the engine

class CScannerBase : public CLogClient {
 public:
  CScannerBase();
  ~CScannerBase() override;
  CScannerBase(const CScannerBase&) = delete;
  CScannerBase& operator=(const CScannerBase&) = delete;

  // ---- Operations 16 and 17.
  // Kind 0 takes a CUSBDevice; every other kind (or object) is refused. TRUE when a device is set.
  virtual BOOL SetDevice(CDevice* device, int kind);
  // Runs one command; the base has no engine and answers FALSE.
  virtual BOOL DoSCSICommand(const uint8_t* cdb, uint32_t cdbLength, void* data, uint32_t dataLength, int direction);

  // The entry of every engine command: data-log dumps around operation 17.
  BOOL DoSCSICommandLogged(const uint8_t* cdb, uint32_t cdbLength, void* data, uint32_t dataLength, int direction);

  CUSBDevice* GetUSBDevice() const { return m_pUSBDevice; }

 protected:
  explicit CScannerBase(std::u16string featureName);

  CUSBDevice* m_pUSBDevice = nullptr;  // not owned
};

}  // namespace rzd::lowdrv
