// Captures what the engine link logs: a recording logger published in this program's logger
// slot, with every level switched on for the named features while the capture lives.
#pragma once

#include "foundation/log_interface.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {

class LogCapture : public CLogInterface {
 public:
  explicit LogCapture(std::vector<std::u16string> features) : features_(std::move(features)) {
    for (const std::u16string& f : features_) {
      LookupFeatureLevel(f)->store(7);
      LookupFeatureLevel(f + u".Data")->store(7);
    }
    GetGlobalLogObject()->Publish(this);
  }
  ~LogCapture() override {
    GetGlobalLogObject()->Withdraw();
    for (const std::u16string& f : features_) {
      LookupFeatureLevel(f)->store(0);
      LookupFeatureLevel(f + u".Data")->store(0);
    }
  }

  void Log(uint32_t, uint32_t, uint32_t, const char16_t*, const char16_t*, const char16_t* text) override {
    std::lock_guard guard(lock_);
    texts_.push_back(text ? text : u"");
  }

  size_t Count(const std::u16string& text) const {
    std::lock_guard guard(lock_);
    return static_cast<size_t>(std::count(texts_.begin(), texts_.end(), text));
  }
  bool Contains(const std::u16string& part) const {
    std::lock_guard guard(lock_);
    return std::any_of(texts_.begin(), texts_.end(), [&](const std::u16string& t) { return t.find(part) != t.npos; });
  }
  void Clear() {
    std::lock_guard guard(lock_);
    texts_.clear();
  }

 private:
  std::vector<std::u16string> features_;
  mutable std::mutex lock_;
  std::vector<std::u16string> texts_;
};

}  // namespace rzd::lowdrv::test
