#include "hal/scanner.h"

namespace rzd::scanhost {

CRZDHALScanner::CRZDHALScanner(IHALScannerParent* parent, std::u16string symbolicName, std::u16string driverFileName,
                               std::u16string firmwareUpdater, bool serviceOwned)
    : CRZDHALScannerBase(parent, std::move(symbolicName), std::move(driverFileName), std::move(firmwareUpdater),
                         serviceOwned) {
  unloadOnDeviceRemove_ = true;
}

CRZDHALScanner::~CRZDHALScanner() { Destroy(); }

void CRZDHALScanner::RefreshLcdProfiles() {
  // The LCD profile screens are drawn by their own part; until it is here there is nothing to redraw.
}

}  // namespace rzd::scanhost
