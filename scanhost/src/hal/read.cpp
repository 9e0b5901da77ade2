// The scanner HAL object: IRZDHAL::Read, the image transfer into the client's shared buffers.
// It comes with the data road: the driver's reads into regions of the raster buffer, the page
// metadata into the metadata buffer, and the scan-in-progress record (hal_process::BeginScan).
#include "hal/scanner_base.h"

namespace rzd::scanhost {

HRESULT CRZDHALScannerBase::raw_Read(BSTR /*strMMRasterName*/, BSTR /*strMMMetaData*/, LONG /*lSessionBoundary*/) {
  return E_NOTIMPL;
}

}  // namespace rzd::scanhost
