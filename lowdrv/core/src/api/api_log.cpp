// The entry points' logging object.
#include "api/api_log.h"

#include "foundation/module_objects.h"

namespace rzd::lowdrv::api {

CLogClient& ApiLog() {
  static ModuleObject<CLogClient> log;
  return log.Get(u"M48tz LLD API");
}

void RefreshApiLog() { ApiLog().SetLogObject2(GetGlobalLogObject()); }

}  // namespace rzd::lowdrv::api
