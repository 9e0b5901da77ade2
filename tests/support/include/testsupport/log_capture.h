// Captures what the named features log while the capture lives: a recording logger published in
// this program's logger slot, with every level of those features switched on.
#pragma once

#include "foundation/log_interface.h"
#include "platform/text.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace rzd::test {

class LogCapture : public CLogInterface {
 public:
  explicit LogCapture(std::vector<std::u16string> features) : features_(std::move(features)) {
    for (const std::u16string& feature : features_) LookupFeatureLevel(feature)->store(7);
    GetGlobalLogObject()->Publish(this);
  }
  // Each feature followed by its ".Data" companion (the record and descriptor dumps).
  static std::vector<std::u16string> WithData(const std::vector<std::u16string>& features) {
    std::vector<std::u16string> all;
    for (const std::u16string& feature : features) {
      all.push_back(feature);
      all.push_back(feature + u".Data");
    }
    return all;
  }
  ~LogCapture() override {
    GetGlobalLogObject()->Withdraw();
    for (const std::u16string& feature : features_) LookupFeatureLevel(feature)->store(0);
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
  // Lines of any level with exactly this text.
  size_t Count(const std::u16string& text) const {
    std::lock_guard guard(lock_);
    return static_cast<size_t>(
        std::count_if(lines_.begin(), lines_.end(), [&](const Line& l) { return l.text == text; }));
  }
  bool Contains(const std::u16string& part) const {
    std::lock_guard guard(lock_);
    return std::any_of(lines_.begin(), lines_.end(), [&](const Line& l) { return l.text.find(part) != l.text.npos; });
  }
  // Every recorded line, for failure messages.
  std::string All() const {
    std::lock_guard guard(lock_);
    std::string out;
    for (const Line& l : lines_) out += ToUtf8(l.text) + "\n";
    return out;
  }
  void Clear() {
    std::lock_guard guard(lock_);
    lines_.clear();
  }

 private:
  std::vector<std::u16string> features_;
  mutable std::mutex lock_;
  std::vector<Line> lines_;
};

}  // namespace rzd::test
