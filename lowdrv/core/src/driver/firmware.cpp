// Firmware writing: the caller's image (operation 43), the image the driver carries (44), and
// the flash send (42), the checksum (55) and the buffer check (56) they share.
#include "firmware_check.h"

#include "foundation/func_trace.h"
#include "lowdrv/core/driver_engine.h"
#include "platform/resources.h"

#include <cstring>
#include <span>

namespace rzd::lowdrv {

namespace {

// The flash writes of one part take long: their time-out.
constexpr uint32_t kFlashTimeoutMs = 120000;
constexpr char16_t kFirmwareResourceType[] = u"BINARY";

// Sets the engine's command time-out for the length of a scope and puts the earlier one back on
// every way out.
class TimeoutScope {
 public:
  TimeoutScope(CReduzidInterface& engine, uint32_t timeoutMs) : engine_(engine), saved_(engine.m_ulCmdTimeout) {
    engine_.m_ulCmdTimeout = timeoutMs;
  }
  ~TimeoutScope() { engine_.m_ulCmdTimeout = saved_; }
  TimeoutScope(const TimeoutScope&) = delete;
  TimeoutScope& operator=(const TimeoutScope&) = delete;

 private:
  CReduzidInterface& engine_;
  uint32_t saved_;
};

// The address of something of this library: the module whose resources are its own.
const void* OwnModule() { return reinterpret_cast<const void*>(&DriverResultText); }

}  // namespace

LLDError CRZDREduzidLLD::ComputeFirmwareChecksum(const uint8_t* pPart, uint32_t size, uint8_t* pRecord,
                                                 uint32_t* pRecordSize) {
  if (!pPart || size < 6 || !pRecord || !pRecordSize) return lld::kInvalidParameter;
  const uint32_t given = *pRecordSize;
  *pRecordSize = firmware::kChecksumRecordSize;
  if (given < firmware::kChecksumRecordSize) return firmware::kChecksumRecordTooSmall;
  uint8_t record[firmware::kChecksumRecordSize];
  firmware::ChecksumRecord(pPart, size, record);
  std::memcpy(pRecord, record, sizeof record);
  return 0;
}

bool CRZDREduzidLLD::CheckFirmwareBuffers(const uint8_t* pMaster, uint32_t masterSize, const uint8_t* pSlave,
                                          uint32_t slaveSize) {
  const char16_t* failure = firmware::CheckParts(pMaster, masterSize, pSlave, slaveSize);
  if (failure) RZD_LOG_ERROR_OF(EngineLog(), failure);
  return failure == nullptr;
}

LLDError CRZDREduzidLLD::SendFirmwareBuffers(const uint8_t* pMaster, uint32_t masterSize, const uint8_t* pSlave,
                                             uint32_t slaveSize) {
  const bool hasSlave = pSlave != nullptr && slaveSize != 0;
  uint8_t masterSum[firmware::kChecksumRecordSize] = {};
  uint8_t slaveSum[firmware::kChecksumRecordSize] = {};
  uint32_t recordSize = sizeof masterSum;
  LLDError result = ComputeFirmwareChecksum(pMaster, masterSize, masterSum, &recordSize);
  if (result == 0 && hasSlave) {
    recordSize = sizeof slaveSum;
    result = ComputeFirmwareChecksum(pSlave, slaveSize, slaveSum, &recordSize);
  }
  if (result != 0) return result;

  TimeoutScope flash(m_ReduzidScanner, kFlashTimeoutMs);
  struct Send {
    const uint8_t* block;
    uint32_t size;
    const char16_t* failure;
  };
  const Send sends[] = {
      {pMaster, masterSize, u"WriteFirmware failed because SendFlashRAM(MasterBuffer) failed with %d"},
      {masterSum, sizeof masterSum, u"WriteFirmware failed because SendFlashRAM(MasterBuffer2) failed with %d"},
      {pSlave, slaveSize, u"WriteFirmware failed because SendFlashRAM(SlaveBuffer) failed with %d"},
      {slaveSum, sizeof slaveSum, u"WriteFirmware failed because SendFlashRAM(SlaveBuffer2) failed with %d"},
  };
  for (size_t i = 0; i < (hasSlave ? 4u : 2u); ++i) {
    if (m_ReduzidScanner.SendFlashRAM(sends[i].block, sends[i].size)) continue;
    const LLDError code = m_ReduzidScanner.m_ulLastError != 0 ? m_ReduzidScanner.m_ulLastError : lld::kInternal;
    RZD_LOG_ERROR_OF(EngineLog(), sends[i].failure, static_cast<int>(code));
    return code;
  }
  return 0;
}

LLDError CRZDREduzidLLD::WriteFirmware(const void* pIn, uint32_t stSizeIn, const char16_t* strFirmware) {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"WriteFirmware");
  RZD_TRACE_DWORD(&result, u"pIn = 0x%X, stSizeIn = %d, strFirmware = %s",
                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pIn)), static_cast<int>(stSizeIn),
                  strFirmware ? strFirmware : u"(null)");
  if (m_ulStatus != state::kLocked) {
    RZD_LOG_ERROR_OF(EngineLog(), u"WriteFirmware failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  // A model with a slave image (its identifier is not 0) needs the slave part named.
  const firmware::SlavePart slavePart =
      m_uFirmwareSlaveResource != 0 ? firmware::SlavePart::Required : firmware::SlavePart::Optional;
  const firmware::LayoutResult read =
      firmware::ReadLayout(strFirmware ? std::u16string_view(strFirmware) : u"", slavePart);
  const char16_t* failure = read.failure;
  const uint64_t inputSize = pIn ? stSizeIn : 0;
  if (!failure) failure = firmware::CheckLocation(read.layout, inputSize);
  if (failure) {
    RZD_LOG_ERROR_OF(EngineLog(), failure);
    return result = lld::kInvalidXmlValue;
  }
  // The location check keeps both parts inside the caller's buffer.
  const uint8_t* input = static_cast<const uint8_t*>(pIn);
  const uint8_t* master = input + read.layout.master.offset;
  const uint8_t* slave = input + read.layout.slave.offset;
  const uint32_t masterSize = static_cast<uint32_t>(read.layout.master.size);
  const uint32_t slaveSize = static_cast<uint32_t>(read.layout.slave.size);
  if (!CheckFirmwareBuffers(master, masterSize, slave, slaveSize)) return result = lld::kInvalidXmlValue;
  return result = SendFirmwareBuffers(master, masterSize, slave, slaveSize);
}

LLDError CRZDREduzidLLD::WriteDefaultFirmware() {
  LLDError result = 0;
  RZD_FUNC_TRACE_OF(EngineLog(), u"WriteDefaultFirmware");
  RZD_TRACE_DWORD(&result);
  if (!m_pSettings->m_bCanUpdateFirmware) {
    RZD_LOG_INFO_OF(EngineLog(), u"WriteDefaultFirmware: the firmware of this unit is not updated");
    return result = lld::kNotImplemented;
  }
  if (m_strFirmwareVersion == m_pSettings->m_strDefaultFirmwareVersion) return result = 0;
  // The images the library carries: the master, and the slave when the model has one.
  std::span<const uint8_t> master;
  std::span<const uint8_t> slave;
  bool found = false;
  if (m_uFirmwareMasterResource != 0) {
    if (const auto bytes = FindResource(OwnModule(), kFirmwareResourceType, m_uFirmwareMasterResource)) {
      master = *bytes;
      found = true;
    }
  }
  if (found && m_uFirmwareSlaveResource != 0) {
    const auto bytes = FindResource(OwnModule(), kFirmwareResourceType, m_uFirmwareSlaveResource);
    found = bytes.has_value();
    if (bytes) slave = *bytes;
  }
  if (!found) {
    RZD_LOG_INFO_OF(EngineLog(), u"WriteDefaultFirmware: the library carries no firmware image");
    return result = 0;
  }
  // Flashing talks to the unit: only while this object holds it.
  if (m_ulStatus != state::kLocked) {
    RZD_LOG_ERROR_OF(EngineLog(), u"WriteDefaultFirmware failed because m_ulStatus is %d", static_cast<int>(m_ulStatus));
    return result = lld::kWrongSequence;
  }
  if (master.size() > UINT32_MAX || slave.size() > UINT32_MAX) return result = lld::kInvalidXmlValue;
  const uint32_t masterSize = static_cast<uint32_t>(master.size());
  const uint32_t slaveSize = static_cast<uint32_t>(slave.size());
  const uint8_t* slaveBytes = slave.empty() ? nullptr : slave.data();
  if (!CheckFirmwareBuffers(master.data(), masterSize, slaveBytes, slaveSize)) return result = lld::kInvalidXmlValue;
  return result = SendFirmwareBuffers(master.data(), masterSize, slaveBytes, slaveSize);
}

}  // namespace rzd::lowdrv
