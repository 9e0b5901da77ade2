// The model driver: the model's constants and its overrides of the engine driver.
#include "lowdrv/core/driver_model.h"

#include "foundation/func_trace.h"
#include "lowdrv/core/driver_names.h"
#include "lowdrv/core/driver_system.h"
#include "lowdrv/engine/model_ids.h"
#include "lowdrv/settings/m48tz_settings.h"
#include "process_state.h"

#include <cstring>
#include <vector>

namespace rzd::lowdrv {

const uint8_t kModelQuantTables[kJPEGTablesSize] = {
    // Luminance.
    4, 4, 4, 4, 5, 9, 11, 13,       //
    4, 4, 4, 4, 6, 13, 13, 12,      //
    4, 4, 4, 5, 9, 12, 15, 12,      //
    4, 4, 5, 6, 11, 19, 17, 14,     //
    4, 5, 8, 12, 15, 24, 22, 17,    //
    5, 8, 12, 14, 18, 23, 25, 20,   //
    11, 14, 17, 19, 22, 26, 26, 22, //
    16, 20, 21, 21, 24, 22, 22, 21, //
    // Chrominance.
    4, 4, 5, 10, 21, 21, 21, 21,    //
    4, 5, 6, 14, 21, 21, 21, 21,    //
    5, 6, 12, 21, 21, 21, 21, 21,   //
    10, 14, 21, 21, 21, 21, 21, 21, //
    21, 21, 21, 21, 21, 21, 21, 21, //
    21, 21, 21, 21, 21, 21, 21, 21, //
    21, 21, 21, 21, 21, 21, 21, 21, //
    21, 21, 21, 21, 21, 21, 21, 21, //
};

namespace {

// Descriptor bytes of the current window description the overrides read.
constexpr uint8_t kTwoImageSources = 0x10;  // SetCapEx1 (descriptor byte 57)
constexpr uint8_t kBackSideOnly = 0x08;
constexpr size_t kCropModeModelByte = 87 - 65;  // descriptor byte 87: hardware crop mode

}  // namespace

CScannerLLD::CScannerLLD(std::u16string_view devicePath)
    : CRZDREduzidLLD(devicePath), m_ModelLog(u"RZD M48tz LLD") {
  auto settings = std::make_unique<CM48tzScannerSettings>();
  settings->m_strProductName = kModelProductName;
  settings->m_strVendorName = kModelMakerName;
  settings->m_strModelName = kModelName;
  settings->m_wModelID = kModelUsbProductId;
  settings->m_wVendorID = kModelUsbVendorId;
  settings->m_lFrameReserved1 = 200;
  settings->m_lFrameReserved2 = 200;
  settings->m_lMaxLongLength = 236000;
  settings->m_lOverScanMargin = 500;
  settings->m_lFrontTruncLen = 200;
  settings->m_lBackTruncLen = 200;
  settings->m_byVSPLength = 29;
  settings->m_wHalftone = 127;
  settings->m_byJpegQualityMax = 87;
  settings->m_byJpegQualityMin = 24;
  ReplaceSettings(std::move(settings));

  m_strSemaphorePrefix = kModelSemaphorePrefix;
  m_strOldDriverEventPrefix = kModelOldDriverEventPrefix;
  m_uDescriptionResource = IDR_XML_SUPPORTED_SETTINGS;
  m_uReadResultResource = kReadResultResourceId;
  m_uFirmwareMasterResource = kModelFirmwareMasterResource;
  m_uFirmwareSlaveResource = kModelFirmwareSlaveResource;
  m_ulLargeReadSize = 0x40000;
  m_ulCmdTimeout = 10000;
  m_ulReleaseTimeout = 60000;
  m_bNewCommandSet = 1;
  m_ulAlign[0] = 16;
  m_ulAlign[1] = 16;
  m_bBatchReservation = 1;
  m_bReadLoopFlag = 1;
  m_InquiryPatch.apply = true;
  m_InquiryPatch.shadingTableType = kModelShadingTableType;
  m_InquiryPatch.overscanWidth = kModelOverscanWidth;
  m_InquiryPatch.modelRule = &CM48tzScannerSettings::ApplyModelInquiryRule;
}

CScannerLLD::~CScannerLLD() = default;

LLDError CScannerLLD::Read(uint8_t* pbyBufferOut, uint32_t* pstActualSizeOut, BSTR* pstrMetaOut, uint32_t* pdwBoundary) {
  RZD_FUNC_TRACE_OF(ModelLog(), u"CScannerLLD::Read");
  m_ulReadTimeout = 60000;
  return CRZDREduzidLLD::Read(pbyBufferOut, pstActualSizeOut, pstrMetaOut, pdwBoundary);
}

LLDError CScannerLLD::OpenScanner() {
  const LLDError result = CRZDREduzidLLD::OpenScanner();
  if (result != 0) return result;
  // Every later reader of the process's record sees the model's bytes (the configuration read
  // already gave them to the settings).
  if (std::optional<EngineInquiryCache> cache = driver_process::CachedInquiry()) {
    cache->Inquiry.ASICShadingTableType = kModelShadingTableType;
    cache->Inquiry.OverscanWidth = kModelOverscanWidth;
    driver_process::StoreInquiry(*cache);
  }
  return result;
}

LLDError CScannerLLD::ResetScannerCounter(const void* pIn, uint32_t stSizeIn, const char16_t* strXPath) {
  return CRZDREduzidLLD::ResetScannerCounter(pIn, stSizeIn, strXPath);
}

LLDError CScannerLLD::ReadEngineImageData(uint8_t* pbyBuffer, uint32_t request, uint8_t& endFlag,
                                          ImageReadResult& result) {
  if (const ReduzidWindowDescriptor* desc = m_pSettings->GetWindowDescription()) {
    if (desc->CompressType == 0 && desc->ModelBytes[kCropModeModelByte] == 0 && desc->ImageComp < 2) {
      const uint64_t lineBytes = desc->PixelNum | (static_cast<uint64_t>(desc->HiBytePixelNum) << 16);
      const uint64_t block = lineBytes * 16;
      if (block != 0) {
        const uint64_t rounded = request / block * block;
        if (rounded != 0) request = static_cast<uint32_t>(rounded);
      }
    }
  }
  const LLDError read = CRZDREduzidLLD::ReadEngineImageData(pbyBuffer, request, endFlag, result);
  SetWakeupEvent();
  return read;
}

bool CScannerLLD::ChrominanceQuantizationTable(uint32_t scale, uint8_t (&tables)[kJPEGTablesSize]) {
  if (scale > 26) return CRZDREduzidLLD::ChrominanceQuantizationTable(scale, tables);
  std::memcpy(tables, kModelQuantTables, kJPEGTablesSize);
  m_ReduzidScanner.m_ulCmdTimeout = m_ulCmdTimeout;
  return m_ReduzidScanner.SendJPEGQuantizationTables(tables) != FALSE;
}

LLDError CScannerLLD::GetScannerCfg(bool read) {
  const LLDError result = CRZDREduzidLLD::GetScannerCfg(read);
  if (result != 0 || !read) return result;
  // The installed versions of the maker's products on the unit's panel; their results do not count.
  for (size_t i = 0; i < kModelProductUpgradeCodes.size(); ++i) {
    const std::u16string version = GetInstalledProductVersion(kModelProductUpgradeCodes[i]);
    SendLCDString(static_cast<uint16_t>(kFirstVersionLcdString + i), version.c_str());
  }
  return result;
}

LLDError CScannerLLD::ReadBackgroundRaster(uint8_t* pbyBuffer, uint32_t length) {
  if (!pbyBuffer || length == 0) {
    RZD_LOG_ERROR_OF(ModelLog(), u"ReadBackgroundRaster failed because of invalid parameter.");
    return lld::kInvalidParameter;
  }
  const ReduzidWindowDescriptor* desc = m_pSettings->GetWindowDescription();
  const uint8_t sides = desc ? desc->SetCapEx1 : 0;
  if (sides & kTwoImageSources) {
    // Both sides: front half, then back half, each read into the caller's buffer.
    const uint32_t half = length / 2;
    LLDError result = EngineReadBackgroundRaster(pbyBuffer, half);
    if (result == 0) result = EngineReadBackgroundRaster(pbyBuffer + half, half);
    return result;
  }
  // One side: the engine delivers both rasters; the other side's goes to a scratch buffer.
  std::vector<uint8_t> scratch(length, 0);
  const bool backOnly = (sides & kBackSideOnly) != 0;
  uint8_t* first = backOnly ? scratch.data() : pbyBuffer;
  uint8_t* second = backOnly ? pbyBuffer : scratch.data();
  LLDError result = EngineReadBackgroundRaster(first, length);
  if (result == 0) result = EngineReadBackgroundRaster(second, length);
  return result;
}

std::unique_ptr<IDriverObject> CreateModelDriver(const std::u16string& devicePath) {
  return std::make_unique<CScannerLLD>(devicePath);
}

}  // namespace rzd::lowdrv
