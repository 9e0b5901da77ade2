// Engine commands of CReduzidInterface: READ and SEND of typed data (image, calibration,
// non-volatile record, tables, firmware).
#include "engine_operation.h"
#include "lowdrv/engine/byte_order.h"
#include "lowdrv/engine/command_blocks.h"
#include "lowdrv/engine/hex_dump.h"
#include "lowdrv/engine/reduzid_interface.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace rzd::lowdrv {

namespace {

constexpr uint32_t kClassicMaxLength = 0xFFFFFF;  // READ(10)/SEND(10) carry 24 bits
constexpr uint32_t kFlashHeaderSize = 9;

}  // namespace

// ---- Generic reads and sends.

BOOL CReduzidInterface::ReadNew(uint16_t dataType, void* buffer, uint32_t length) {
  RZD_LOG_DATA_INFO(u"Data Type: 0x%02X", dataType);
  RZD_LOG_DATA_INFO(u"Data size: 0x%04X", length);
  const BOOL ok = Run(NewReadCdb(dataType, length), buffer, length, kDataIn);
  if (ok && DataDumpsOn(*this))
    RZD_LOG_DATA_INFO(u"%S", HexDumpBytes(static_cast<const uint8_t*>(buffer), m_ulDataTransferred).c_str());
  return ok;
}

BOOL CReduzidInterface::SendNew(uint16_t dataType, const void* data, uint32_t length) {
  RZD_LOG_DATA_INFO(u"Data Type: 0x%02X", dataType);
  RZD_LOG_DATA_INFO(u"Data size: 0x%04X", length);
  if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%S", HexDumpBytes(static_cast<const uint8_t*>(data), length).c_str());
  // The command layer only reads the data of a write.
  return Run(NewSendCdb(dataType, length), const_cast<void*>(data), length, kDataOut);
}

BOOL CReduzidInterface::ReadClassic(uint8_t dataType, void* buffer, uint32_t length) {
  if (length > kClassicMaxLength) return Refuse(lld::kInternal);
  RZD_LOG_DATA_INFO(u"Data Type: 0x%02X", dataType);
  RZD_LOG_DATA_INFO(u"Data Type Qualifier: 0x%04X", kClassicReadQualifier);
  return Run(ClassicReadCdb(dataType, length), buffer, length, kDataIn);
}

BOOL CReduzidInterface::SendClassic(uint8_t dataType, uint16_t qualifier, const void* data, uint32_t length) {
  if (length > kClassicMaxLength) return Refuse(lld::kInternal);
  RZD_LOG_DATA_INFO(u"Data Type: 0x%02X", dataType);
  RZD_LOG_DATA_INFO(u"Data Type Qualifier: 0x%04X", qualifier);
  return Run(ClassicSendCdb(dataType, qualifier, length), const_cast<void*>(data), length, kDataOut);
}

// ---- Image data.

BOOL CReduzidInterface::ReadImageData(uint8_t* buffer, uint32_t length, uint8_t& endFlag, ImageReadResult& result) {
  EngineOperation op(*this, u"ReadImageData");
  result.secondFlag = 0;
  const BOOL ok = m_bNewCommandSet ? ReadNew(dt::kImageData, buffer, length) : ReadClassic(dt::kImageData, buffer, length);
  BOOL answer = FALSE;
  if (ok) {
    // Only the bytes that arrived are image data.
    result.actualLength = m_ulDataTransferred;
    endFlag = 0;
    answer = TRUE;
  } else {
    result.actualLength = 0;
    const bool endSense = (SenseKeyOf(m_Sense) == 3 || (m_Sense.SenseKey & kSenseIncorrectLength)) && m_Sense.ASC == 0x80 &&
                          (m_Sense.ASCQ == 0x04 || m_Sense.ASCQ == 0x21 || m_Sense.ASCQ == 0x22);
    if (endSense) {
      const uint32_t info = m_Sense.InfoBytes;
      uint32_t actual = 0;
      if (info > length) actual = length;
      else if (endFlag) actual = length - info;  // the information field counts bytes not delivered
      else actual = info;
      // Never more than the read delivered.
      const uint32_t delivered = m_Sense.CommandInfo;  // a copy: the record is packed
      result.actualLength = std::min(actual, delivered);
      result.value1 = SenseValue1(m_Sense);
      result.value2 = SenseValue2(m_Sense);
      result.value3 = m_Sense.Value3;
      if (m_Sense.ASCQ == 0x04) {
        endFlag = 1;
        answer = TRUE;
      } else if (m_Sense.ASCQ == 0x21) {
        endFlag = 1;
      } else {
        result.secondFlag = 1;
        answer = TRUE;
      }
    }
  }
  result.transferred = m_Sense.CommandInfo;
  return op.Done(answer);
}

BOOL CReduzidInterface::ReadBackgroundRaster(uint8_t* buffer, uint32_t length) {
  EngineOperation op(*this, u"ReadBackgroundRaster");
  if (!m_bNewCommandSet) return op.Done(ReadClassic(dt::kBackgroundRaster, buffer, length));
  if (!ReadNew(dt::kBackgroundRaster, buffer, length)) return op.Done(FALSE);
  const uint32_t received = m_ulDataTransferred;
  if (m_bBackgroundCheck && received >= 20) {
    const uint32_t step = received / 20;
    uint32_t bright = 0;
    uint32_t dark = 0;
    for (uint32_t at = step; at < received; at += step) (buffer[at] >= 64 ? bright : dark) += 1;
    const uint32_t share = bright * 100 / (bright + dark);
    // The mean of the last calibration group, as the unsigned byte values it is made of.
    const unsigned mean = (m_Caps.Calibration[6] + m_Caps.Calibration[7] + m_Caps.Calibration[8]) / 3u;
    if (share > 70 && mean < 64) std::memset(buffer, 0, length);
  }
  if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"\nBackground Raster: %S", HexDumpBytes(buffer, received).c_str());
  return op.Done(TRUE);
}

// ---- Calibration.

BOOL CReduzidInterface::ReadCalibrationFormat(ReduzidCalibFormat& format) {
  EngineOperation op(*this, u"ReadCalibrationFormat", true);
  BOOL ok = FALSE;
  if (m_bNewCommandSet) {
    uint8_t answer[36] = {};
    ok = ReadNew(dt::kCalibration, answer, sizeof answer);
    if (ok) std::memcpy(&format, answer + 4, sizeof format);
  } else {
    ok = ReadClassic(dt::kCalibration, &format, sizeof format);
  }
  if (ok) {
    ConvertByteOrder(format);
    if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%S", DumpCalibFormat(format).c_str());
  }
  return op.Done(ok);
}

BOOL CReduzidInterface::PollEngineState6D(uint8_t* answer8) {
  EngineOperation op(*this, u"PollEngineState6D");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  if (!m_bCalibPollStarted) {
    const Bytes start = CalibrationPollStartRecord();
    if (!SendNew(dt::kCalibration, start.data(), static_cast<uint32_t>(start.size()))) {
      m_bCalibPollStarted = 0;
      return op.Done(FALSE);
    }
    m_bCalibPollStarted = 1;
  }
  uint8_t answer[8] = {};
  if (!ReadNew(dt::kEngineState, answer, sizeof answer)) return op.Done(FALSE);
  if (answer[4] == 0) m_bCalibPollStarted = 0;
  if (answer8) std::memcpy(answer8, answer, sizeof answer);
  return op.Done(TRUE);
}

BOOL CReduzidInterface::ReadEngineValue6F(uint32_t* value) {
  EngineOperation op(*this, u"ReadEngineValue6F");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  uint8_t answer[8] = {};
  const BOOL ok = ReadNew(dt::kEngineValue, answer, sizeof answer);
  if (ok && value) *value = answer[4] * 4096u + answer[5] * 256u + answer[6] * 16u + answer[7];
  return op.Done(ok);
}

// ---- Non-volatile record.

BOOL CReduzidInterface::ReadNVRAM(ReduzidNVMData& nvm) { return m_bNewCommandSet ? ReadNVRAMNew(nvm) : ReadNVRAMClassic(nvm); }

BOOL CReduzidInterface::ReadNVRAMNew(ReduzidNVMData& nvm) {
  EngineOperation op(*this, u"ReadNVRAM", true);
  nvm = {};
  uint8_t head[5] = {};
  if (!ReadNew(dt::kNVRAM, head, sizeof head)) return op.Done(FALSE);
  const bool wide = head[2] == 2;
  const uint32_t size = wide ? GetBE16(head + 3) : head[3];
  if (size <= sizeof head) return op.Done(TRUE);
  std::vector<uint8_t> answer(size, 0);
  if (!ReadNew(dt::kNVRAM, answer.data(), size)) return op.Done(FALSE);
  const uint32_t offset = wide ? 5 : 4;
  const uint32_t received = m_ulDataTransferred;
  if (received > offset) {
    // Only what arrived is copied; the rest of the record stays 0.
    std::memcpy(&nvm, answer.data() + offset, std::min<size_t>(received - offset, sizeof nvm));
  }
  ConvertByteOrder(nvm);
  if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%S", DumpNVRAM(nvm).c_str());
  return op.Done(TRUE);
}

BOOL CReduzidInterface::ReadNVRAMClassic(ReduzidNVMData& nvm) {
  EngineOperation op(*this, u"ReadNVRAM", true);
  const BOOL ok = ReadClassic(dt::kNVRAM, &nvm, sizeof nvm);
  if (ok) {
    ConvertByteOrder(nvm);
    if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%S", DumpNVRAM(nvm).c_str());
  }
  return op.Done(ok);
}

BOOL CReduzidInterface::SendNVRAM(const ReduzidNVMData& nvm) {
  EngineOperation op(*this, u"SendNVRAM");
  if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%S", DumpNVRAM(nvm).c_str());
  if (m_bNewCommandSet) {
    const Bytes record = NVRAMRecordNew(nvm);
    return op.Done(SendNew(dt::kSendNVRAM, record.data(), static_cast<uint32_t>(record.size())));
  }
  const Bytes record = NVRAMRecordClassic(nvm);
  return op.Done(SendClassic(dt::kSendNVRAM, dtq::kNVRAM, record.data(), static_cast<uint32_t>(record.size())));
}

BOOL CReduzidInterface::SendNVRAMFieldNew(uint32_t value) {
  EngineOperation op(*this, u"SendNVRAMFieldNew");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  const Bytes record = NVRAMFieldRecord(value);
  return op.Done(SendNew(dt::kNVRAMField, record.data(), static_cast<uint32_t>(record.size())));
}

// ---- Tables.

BOOL CReduzidInterface::SendGammaTables(const uint8_t* red, const uint8_t* green, const uint8_t* blue, uint16_t length) {
  EngineOperation op(*this, u"SendGammaTables");
  const uint8_t* tables[3] = {red, green, blue};
  const char16_t* labels[3] = {u"\nGamma Red: ", u"\nGamma Green: ", u"\nGamma Blue: "};
  if (!red || !green || !blue) return op.Done(Refuse(lld::kInternal));
  for (uint16_t channel = 0; channel < 3; ++channel) {
    if (DataDumpsOn(*this)) RZD_LOG_DATA_INFO(u"%s%S", labels[channel], HexDumpBytes(tables[channel], length).c_str());
    BOOL ok = FALSE;
    if (m_bNewCommandSet) {
      const Bytes record = GammaRecordNew(channel, tables[channel], length);
      ok = SendNew(dt::kGamma, record.data(), static_cast<uint32_t>(record.size()));
    } else {
      ok = SendClassic(dt::kGamma, channel, tables[channel], length);
    }
    if (!ok) return op.Done(FALSE);
  }
  return op.Done(TRUE);
}

BOOL CReduzidInterface::SendMatrix(const uint16_t (&matrix)[9]) {
  EngineOperation op(*this, u"SendMatrix");
  if (m_bNewCommandSet) {
    const Bytes record = MatrixRecordNew(matrix);
    return op.Done(SendNew(dt::kMatrix, record.data(), static_cast<uint32_t>(record.size())));
  }
  if (!(ReduzidInq.AbilityEx3 & 0x10)) RZD_LOG_INFO(u"SendMatrix Not Supported");
  const Bytes record = MatrixRecordClassic(matrix);
  return op.Done(SendClassic(dt::kMatrix, dtq::kMatrix, record.data(), static_cast<uint32_t>(record.size())));
}

BOOL CReduzidInterface::SendJPEGQuantizationTables(const uint8_t (&tables)[kJPEGTablesSize]) {
  EngineOperation op(*this, u"SendJPEGQuantizationTables");
  if (m_bNewCommandSet) {
    const Bytes record = JPEGTablesRecordNew(tables);
    return op.Done(SendNew(dt::kJPEGTables, record.data(), static_cast<uint32_t>(record.size())));
  }
  return op.Done(SendClassic(dt::kJPEGTables, dtq::kJPEGTables, tables, kJPEGTablesSize));
}

BOOL CReduzidInterface::SendFlashRAM(const uint8_t* block, uint32_t length) {
  EngineOperation op(*this, u"SendFlashRAM");
  if (!block || length == 0 || length > kClassicMaxLength - kFlashHeaderSize) return op.Done(Refuse(lld::kInternal));
  if (DataDumpsOn(*this)) {
    RZD_LOG_DATA_INFO(u"\ndtq: 0x%04X\n", dtq::kFlashRAM);
    RZD_LOG_DATA_INFO(u"Flash RAM: %S", HexDumpBytes(block, length).c_str());
  }
  if (m_bNewCommandSet) {
    const Bytes record = FlashRAMRecordNew(block, length);
    return op.Done(SendNew(dt::kFlashRAM, record.data(), static_cast<uint32_t>(record.size())));
  }
  return op.Done(SendClassic(dt::kFlashRAM, dtq::kFlashRAM, block, length));
}

BOOL CReduzidInterface::SendTruncLen(bool tail, uint16_t length, uint16_t secondLength) {
  EngineOperation op(*this, u"SendTruncLen");
  RZD_LOG_DATA_INFO(u"\nTrunk %s\n", tail ? u"Tail" : u"Head");
  RZD_LOG_DATA_INFO(u"Length: %d\n", length);
  RZD_LOG_DATA_INFO(u"Hort Length: %d\n\n", secondLength);
  const uint16_t dataType = tail ? dt::kTruncTail : dt::kTruncHead;
  if (m_bNewCommandSet) {
    const Bytes record = TruncLenRecordNew(length);
    return op.Done(SendNew(dataType, record.data(), static_cast<uint32_t>(record.size())));
  }
  const Bytes record = TruncLenRecordClassic(length, secondLength, m_bLongSense != 0);
  return op.Done(SendClassic(static_cast<uint8_t>(dataType), dtq::kTruncLen, record.data(),
                             static_cast<uint32_t>(record.size())));
}

BOOL CReduzidInterface::SendIP(const uint8_t (&block)[kIPBlockSize]) {
  EngineOperation op(*this, u"SendIP");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  const Bytes record = IPRecord(block);
  return op.Done(SendNew(dt::kImageProcessing, record.data(), static_cast<uint32_t>(record.size())));
}

BOOL CReduzidInterface::SendControlIndividualUltrasonicSensorNew(uint32_t sensorMask) {
  EngineOperation op(*this, u"SendControlIndividualUltrasonicSensorNew");
  if (!m_bNewCommandSet) return op.Done(RefuseClassic());
  RZD_LOG_DATA_INFO(u"\nUltrasonicSensor: 0x%x", sensorMask);
  const Bytes record = UltrasonicRecord(sensorMask);
  // The command's own result: a refused sensor setting is reported, not hidden.
  return op.Done(SendNew(dt::kUltrasonic, record.data(), static_cast<uint32_t>(record.size())));
}

}  // namespace rzd::lowdrv
