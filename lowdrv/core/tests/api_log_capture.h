// Captures what the entry points log: a recording logger published in this program's logger
// slot, with every level switched on for the entry points' feature while the capture lives.
#pragma once

#include "foundation/log_interface.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {

class ApiLogCapture : public CLogInterface {
 public:
  static constexpr char16_t kFeature[] = u"M48tz LLD API";

  ApiLogCapture() {
    LookupFeatureLevel(kFeature)->store(7);
    LookupFeatureLevel(std::u16string(kFeature) + u".Data")->store(7);
    GetGlobalLogObject()->Publish(this);
  }
  ~ApiLogCapture() override {
    GetGlobalLogObject()->Withdraw();
    LookupFeatureLevel(kFeature)->store(0);
    LookupFeatureLevel(std::u16string(kFeature) + u".Data")->store(0);
  }

  void Log(uint32_t level, uint32_t, uint32_t, const char16_t*, const char16_t* feature,
           const char16_t* text) override {
    std::lock_guard guard(lock_);
    lines_.push_back({level, feature ? feature : u"", text ? text : u""});
  }

  struct Line {
    uint32_t level;
    std::u16string feature;
    std::u16string text;
  };
  std::vector<Line> Lines() const {
    std::lock_guard guard(lock_);
    return lines_;
  }
  size_t Count(uint32_t level, const std::u16string& text) const {
    std::lock_guard guard(lock_);
    return static_cast<size_t>(std::count_if(lines_.begin(), lines_.end(),
                                             [&](const Line& l) { return l.level == level && l.text == text; }));
  }
  bool Contains(const std::u16string& part) const {
    std::lock_guard guard(lock_);
    return std::any_of(lines_.begin(), lines_.end(), [&](const Line& l) { return l.text.find(part) != l.text.npos; });
  }
  void Clear() {
    std::lock_guard guard(lock_);
    lines_.clear();
  }

 private:
  mutable std::mutex lock_;
  std::vector<Line> lines_;
};

}  // namespace rzd::lowdrv::test
