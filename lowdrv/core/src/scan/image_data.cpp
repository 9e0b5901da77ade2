// The engine's image data read and the fill of padded lines.
#include "lowdrv/core/driver_engine.h"
#include "scan/scan_steps.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace rzd::lowdrv {

LLDError CRZDREduzidLLD::ReadEngineImageData(uint8_t* pbyBuffer, uint32_t request, uint8_t& endFlag,
                                             ImageReadResult& result) {
  if (!pbyBuffer || request == 0) return lld::kInvalidParameter;
  // The unit reports in its side-end sense the bytes this read delivered, so the flag goes in
  // clear whatever the caller left in it.
  endFlag = 0;
  if (!m_ReduzidScanner.ReadImageData(pbyBuffer, request, endFlag, result)) {
    return m_ReduzidScanner.m_ulLastError != 0 ? m_ReduzidScanner.m_ulLastError : lld::kInternal;
  }
  return 0;
}

LLDError CRZDREduzidLLD::FillBackgroundLine(uint8_t* pbyBuffer, uint32_t length) {
  if (!pbyBuffer) return lld::kInvalidParameter;
  const uint32_t line = m_Scan.bytesPerLine;
  // The side's background line: the back half of the block for a back side. An engine with a
  // background raster gives a one-sided scan one line, the side's own (the front half); the
  // separate background scan always reads both sides.
  const ReduzidWindowDescriptor* window = m_Scan.windowSent ? &m_Scan.window : ScanSteps::CurrentWindow(*this);
  const bool duplex = window && (window->SetCapEx1 & 0x10);
  const ReduzidInq inq = CRZDScannerSettingsBase::InquiryCopy();
  const bool raster = caps::IsSet(InqBytes(inq), sizeof inq, caps::kInqBackgroundRaster);
  size_t offset = 0;
  if (m_Scan.currentSide == 1 && !(raster && !duplex)) offset = m_Background.size() / 2;
  const size_t available = offset < m_Background.size() ? m_Background.size() - offset : 0;
  const size_t count = std::min<size_t>(line, available);
  uint8_t value = 0xFF;  // white when the unit gave no background
  if (count != 0) {
    const uint8_t* bytes = m_Background.data() + offset;
    const uint8_t composition = window ? window->ImageComp : 2;
    if (composition <= 1) {
      uint64_t bits = 0;
      for (size_t i = 0; i < count; ++i) bits += static_cast<unsigned>(std::popcount(bytes[i]));
      value = bits < count / 2 ? 0x00 : 0xFF;
    } else {
      uint64_t sum = 0;
      for (size_t i = 0; i < count; ++i) sum += bytes[i];
      value = static_cast<uint8_t>(sum / count);
    }
  }
  std::memset(pbyBuffer, value, length);
  return 0;
}

}  // namespace rzd::lowdrv
