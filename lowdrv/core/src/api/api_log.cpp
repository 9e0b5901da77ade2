// The entry points' logging object.
#include "api/api_log.h"

namespace rzd::lowdrv::api {

CLogClient& ApiLog() {
  static CLogClient log(u"M48tz LLD API");
  return log;
}

void RefreshApiLog() { ApiLog().SetLogObject2(GetGlobalLogObject()); }

}  // namespace rzd::lowdrv::api
