#include "lcd_log.h"

#include "foundation/module_objects.h"

namespace rzd::scanhost::lcd {

CLogClient& LcdLog() {
  static ModuleObject<CLogClient> log;
  return log.Get(u"CRZDHALScannerBase Interface");
}

}  // namespace rzd::scanhost::lcd
