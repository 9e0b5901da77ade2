// CScannerLLD: the model driver, the class every open makes. It sets the model's constants (the
// settings class CM48tzScannerSettings, names, time-outs, the new command set) and overrides a
// few engine-driver operations with the model's behaviour.
#pragma once

#include "lowdrv/core/driver_engine.h"
#include "lowdrv/engine/model_ids.h"

#include <array>
#include <string>
#include <string_view>

namespace rzd::lowdrv {

// The model's identity as the settings object carries it.
inline constexpr char16_t kModelProductName[] = u"Quarx M48tz Scanner";
inline constexpr char16_t kModelMakerName[] = u"Quarx Incorporated";
// Resources of the library: the device description and the read-result template.
inline constexpr uint32_t kReadResultResourceId = 120;
// The firmware images a build of the library may carry (type "BINARY"): the master and, since
// the model has a slave part, the slave. The library as delivered carries neither.
inline constexpr uint32_t kModelFirmwareMasterResource = 129;
inline constexpr uint32_t kModelFirmwareSlaveResource = 130;

// The model's change to the engine's inquiry record: byte 91 (shading table type: one-byte tone
// tables) and the wider over-scan width at bytes 165-166 (1/300 inch).
inline constexpr uint8_t kModelShadingTableType = 0x80;
inline constexpr uint16_t kModelOverscanWidth = 0x0A5A;

// The three products of the maker whose installed versions the unit's LCD shows as strings 5001,
// 5002 and 5003: their upgrade codes in the installer's packed form.
inline constexpr uint16_t kFirstVersionLcdString = 5001;
inline constexpr std::array<const char16_t*, 3> kModelProductUpgradeCodes = {
    u"4D2C6B1A0F9E48D7A3B2C1D0E9F8A7B6",
    u"5E3D7C2B1A0F59E8B4C3D2E1F0A9B8C7",
    u"6F4E8D3C2B1A6AF9C5D4E3F2A1B0C9D8",
};

// The fixed quantisation tables of the model for scales 0 to 26 (luminance, then chrominance,
// natural order).
extern const uint8_t kModelQuantTables[kJPEGTablesSize];

class CScannerLLD : public CRZDREduzidLLD {
 public:
  explicit CScannerLLD(std::u16string_view devicePath);
  ~CScannerLLD() override;

  // 17: the read time-out becomes 60000 ms, then the engine driver's read.
  LLDError Read(uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut, BSTR* pstrMetaOut, uint32_t* pdwBoundary) override;
  // 25: the engine driver's open, then the model's inquiry change on the process's cached record.
  LLDError OpenScanner() override;
  // 47: the engine driver's.
  LLDError ResetScannerCounter(const void* pIn, uint32_t stSizeIn, const char16_t* strXPath) override;
  // 52: a request of uncompressed, uncropped line art or gray/halftone is rounded down to whole
  // 16-line blocks; then the engine driver's read; then the wake-up event is set.
  LLDError ReadEngineImageData(uint8_t* pbyBuffer, uint32_t request, uint8_t& endFlag,
                               ImageReadResult& result) override;
  // 54: scales 0 to 26 take the model's fixed tables.
  bool ChrominanceQuantizationTable(uint32_t scale, uint8_t (&tables)[kJPEGTablesSize]) override;
  // 69: the engine driver's, then, when `read`, the installed versions as LCD strings 5001-5003.
  LLDError GetScannerCfg(bool read) override;
  // 80: two reads by the window's side bits: both sides, front only or back only.
  LLDError ReadBackgroundRaster(uint8_t* pbyBuffer, uint32_t length) override;

  // The three unused model members.
  std::u16string m_strModelText1;
  std::u16string m_strModelText2;
  std::u16string m_strModelText3;
  uint32_t m_ulModelCount = 0;

 protected:
  CLogClient& ModelLog() { return m_ModelLog; }

 private:
  CLogClient m_ModelLog;
};

}  // namespace rzd::lowdrv
