// A recording logger for the settings tests: the shared capture over the settings features, for
// as long as it lives.
#pragma once

#include "testsupport/log_capture.h"

#include <string>
#include <vector>

namespace rzd::lowdrv::fixtures {

class SettingsLogCapture : public rzd::test::LogCapture {
 public:
  // `withData`: also each feature's ".Data" companion (the record dumps).
  explicit SettingsLogCapture(bool withData = false) : LogCapture(withData ? WithData(Features()) : Features()) {}

 private:
  static std::vector<std::u16string> Features() {
    return {u"RZD ScannerSettingsBase", u"CScannerSettings_AV LLD settings", u"CM48tzScannerSettings LLD settings"};
  }
};

}  // namespace rzd::lowdrv::fixtures
