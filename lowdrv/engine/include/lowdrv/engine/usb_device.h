// CUSBDevice: CDevice for the still-image USB driver: pipe reset and cancel, the vendor and
// product id taken from the path, and an open that drains stale input.
#pragma once

#include "lowdrv/engine/device.h"

namespace rzd::lowdrv {

class CUSBDevice : public CDevice {
 public:
  CUSBDevice();
  ~CUSBDevice() override;

  void UniqueNameChanged() override;
  // After the base: a first failure with error 31 resets the transfer's pipe and repeats once.
  BOOL IoErrorOccurred(uint32_t error, int attempt, int direction) override;
  // ---- Operation 24: opens and, with `flush`, resets both pipes and reads away stale input.
  virtual BOOL OpenAndFlush(bool flush);

  BOOL ResetPipe(uint32_t pipeType);
  BOOL CancelPipeIo(uint32_t pipeType);

  uint32_t m_ulVendorId = 0;
  uint32_t m_ulProductId = 0;

 protected:
  explicit CUSBDevice(std::u16string featureName);
};

}  // namespace rzd::lowdrv
