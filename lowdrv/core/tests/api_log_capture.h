// Captures what the entry points log: every level of the entry points' feature while the capture
// lives.
#pragma once

#include "testsupport/log_capture.h"

namespace rzd::lowdrv::test {

class ApiLogCapture : public rzd::test::LogCapture {
 public:
  static constexpr char16_t kFeature[] = u"M48tz LLD API";
  ApiLogCapture() : LogCapture(WithData({kFeature})) {}
};

}  // namespace rzd::lowdrv::test
