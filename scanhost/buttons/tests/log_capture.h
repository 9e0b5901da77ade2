// Captures what the scanner object's feature logs while the capture lives.
#pragma once

#include "scanhost/lcd/scanner_log.h"
#include "testsupport/log_capture.h"

namespace rzd::scanhost::test {

class LogCapture : public rzd::test::LogCapture {
 public:
  LogCapture() : rzd::test::LogCapture({kScannerObjectFeature}) {}
};

}  // namespace rzd::scanhost::test
