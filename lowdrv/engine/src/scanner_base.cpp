// CScannerBase: device binding and the logged command entry.
#include "lowdrv/engine/scanner_base.h"

#include "engine_operation.h"
#include "lowdrv/engine/hex_dump.h"

#include <algorithm>

namespace rzd::lowdrv {

CScannerBase::CScannerBase() : CScannerBase(u"Scanner Base") {}

CScannerBase::CScannerBase(std::u16string featureName) : CLogClient(std::move(featureName)) {}

CScannerBase::~CScannerBase() = default;

BOOL CScannerBase::SetDevice(CDevice* device, int kind) {
  m_pUSBDevice = nullptr;
  if (kind == kDeviceKindUsb) m_pUSBDevice = dynamic_cast<CUSBDevice*>(device);
  if (!m_pUSBDevice) {
    // There is no SCSI device class in this system: kind 1 is refused like an unknown kind.
    RZD_LOG_ERROR(u"Attempt to set an incompatible device object failed.");
    return FALSE;
  }
  return TRUE;
}

BOOL CScannerBase::DoSCSICommand(const uint8_t*, uint32_t, void*, uint32_t, int) {
  RZD_LOG_INFO(u"DoSCSICommand Entered.");
  RZD_LOG_INFO(u"DoSCSICommand Exit. [%s]", u"FALSE");
  return FALSE;
}

BOOL CScannerBase::DoSCSICommandLogged(const uint8_t* cdb, uint32_t cdbLength, void* data, uint32_t dataLength,
                                       int direction) {
  RZD_LOG_INFO(u"DoSCSICommand Entered.");
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (DataDumpsOn(*this)) {
    RZD_LOG_DATA_INFO(u"Before Sending Command:\n");
    RZD_LOG_DATA_INFO(direction == 1 ? u"(Read Data)\n" : direction == 2 ? u"(Write Data)\n" : u"(No Data)\n");
    RZD_LOG_DATA_INFO(u"Cmd [%d]: %S", static_cast<int>(cdbLength), HexDumpBytes(cdb, cdbLength).c_str());
    if (direction == 2) RZD_LOG_DATA_INFO(u"Data [%d]:%S", static_cast<int>(dataLength), HexDumpBytes(bytes, dataLength).c_str());
  }
  const BOOL ok = DoSCSICommand(cdb, cdbLength, data, dataLength, direction);
  if (ok && direction == 1 && DataDumpsOn(*this)) {
    RZD_LOG_DATA_INFO(u"After Sending Command:\n");
    RZD_LOG_DATA_INFO(u"(Read Data)\n");
    RZD_LOG_DATA_INFO(u"Cmd [%d]: %S", static_cast<int>(cdbLength), HexDumpBytes(cdb, cdbLength).c_str());
    RZD_LOG_DATA_INFO(u"Data [%d]: %S", static_cast<int>(dataLength), HexDumpBytes(bytes, dataLength).c_str());
  }
  RZD_LOG_INFO(u"DoSCSICommand Exit. [%s]", ok ? u"TRUE" : u"FALSE");
  return ok;
}

}  // namespace rzd::lowdrv
