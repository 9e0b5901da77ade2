#include "button_log.h"

#include "foundation/module_objects.h"

namespace rzd::scanhost::buttons {

CLogClient& ButtonLog() {
  static ModuleObject<CLogClient> log;
  return log.Get(u"CRZDHALScannerBase Interface");
}

}  // namespace rzd::scanhost::buttons
