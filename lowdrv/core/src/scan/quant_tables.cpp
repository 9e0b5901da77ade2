// The JPEG quantisation tables: the engine driver scales the example tables by the scan's
// quality and sends them; the tables of the last preparation are the ones the headers carry.
#include "lowdrv/core/driver_engine.h"
#include "scan/jpeg_header.h"

namespace rzd::lowdrv {

bool CRZDREduzidLLD::ChrominanceQuantizationTable(uint32_t scale, uint8_t (&tables)[kJPEGTablesSize]) {
  static_assert(kJPEGTablesSize == jpeg::kTablesSize);
  jpeg::ScaleTables(scale, tables);
  return m_ReduzidScanner.SendJPEGQuantizationTables(tables) != FALSE;
}

uint32_t CRZDREduzidLLD::GetLuminanceQuantTable(uint8_t** ppTable) {
  if (ppTable) *ppTable = m_Scan.luminance.data();
  return static_cast<uint32_t>(m_Scan.luminance.size());
}

uint32_t CRZDREduzidLLD::GetChrominanceQuantTable(uint8_t** ppTable) {
  if (ppTable) *ppTable = m_Scan.chrominance.data();
  return static_cast<uint32_t>(m_Scan.chrominance.size());
}

}  // namespace rzd::lowdrv
