// A recording logger for the settings tests: published in this program's logger slot, with the
// settings features switched on for as long as it lives.
#pragma once

#include "foundation/log_interface.h"
#include "platform/text.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::lowdrv::fixtures {

class SettingsLogCapture : public CLogInterface {
 public:
  // `dataLevel` is the level of each feature's ".Data" companion (the record dumps) meanwhile.
  explicit SettingsLogCapture(int32_t dataLevel = 0) {
    for (const std::u16string& f : Features()) {
      LookupFeatureLevel(f)->store(7);
      LookupFeatureLevel(f + u".Data")->store(dataLevel);
    }
    GetGlobalLogObject()->Publish(this);
  }
  ~SettingsLogCapture() override {
    GetGlobalLogObject()->Withdraw();
    for (const std::u16string& f : Features()) {
      LookupFeatureLevel(f)->store(0);
      LookupFeatureLevel(f + u".Data")->store(0);
    }
  }
  void Log(uint32_t, uint32_t, uint32_t, const char16_t*, const char16_t*, const char16_t* text) override {
    std::lock_guard guard(lock_);
    texts_.push_back(text ? text : u"");
  }
  bool Contains(std::u16string_view part) const {
    std::lock_guard guard(lock_);
    return std::any_of(texts_.begin(), texts_.end(), [&](const std::u16string& t) { return t.find(part) != t.npos; });
  }
  // Every recorded line, for failure messages.
  std::string All() const {
    std::lock_guard guard(lock_);
    std::string out;
    for (const auto& t : texts_) out += ToUtf8(t) + "\n";
    return out;
  }
  void Clear() {
    std::lock_guard guard(lock_);
    texts_.clear();
  }

 private:
  static std::vector<std::u16string> Features() {
    return {u"RZD ScannerSettingsBase", u"CScannerSettings_AV LLD settings", u"CM48tzScannerSettings LLD settings"};
  }
  mutable std::mutex lock_;
  std::vector<std::u16string> texts_;
};

}  // namespace rzd::lowdrv::fixtures
