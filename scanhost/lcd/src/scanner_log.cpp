#include "scanhost/lcd/scanner_log.h"

#include "foundation/module_objects.h"

namespace rzd::scanhost {

CLogClient& ScannerObjectLog() {
  static ModuleObject<CLogClient> log;
  return log.Get(kScannerObjectFeature);
}

}  // namespace rzd::scanhost
