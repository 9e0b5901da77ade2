// Captures what the scanner object's feature logs while the capture lives.
#pragma once

#include "testsupport/log_capture.h"

namespace rzd::scanhost::test {

class LogCapture : public rzd::test::LogCapture {
 public:
  LogCapture() : rzd::test::LogCapture({u"CRZDHALScannerBase Interface"}) {}
};

}  // namespace rzd::scanhost::test
