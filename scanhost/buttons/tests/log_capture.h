// Captures what the scanner object's feature logs while the capture lives.
#pragma once

#include "foundation/log_interface.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace rzd::scanhost::test {

class LogCapture : public CLogInterface {
 public:
  static constexpr char16_t kFeature[] = u"CRZDHALScannerBase Interface";

  LogCapture() {
    LookupFeatureLevel(kFeature)->store(7);
    GetGlobalLogObject()->Publish(this);
  }
  ~LogCapture() override {
    GetGlobalLogObject()->Withdraw();
    LookupFeatureLevel(kFeature)->store(0);
  }

  void Log(uint32_t, uint32_t, uint32_t, const char16_t*, const char16_t*, const char16_t* text) override {
    std::lock_guard guard(lock_);
    lines_.push_back(text ? text : u"");
  }
  bool Contains(const std::u16string& part) const {
    std::lock_guard guard(lock_);
    return std::any_of(lines_.begin(), lines_.end(), [&](const std::u16string& l) { return l.find(part) != l.npos; });
  }

 private:
  mutable std::mutex lock_;
  std::vector<std::u16string> lines_;
};

}  // namespace rzd::scanhost::test
