// A driver link that records what the screens send: each LCD upload with its slot and bytes.
#pragma once

#include "lowdrv/core/driver_codes.h"
#include "platform/picture.h"
#include "platform/text.h"
#include "scanhost/lcd/scanner_driver.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace rzd::scanhost::test {

class RecordingDriver : public ScannerDriver {
 public:
  struct Upload {
    std::u16string slot;
    std::vector<uint8_t> bytes;
  };

  bool HasHandle() override { return true; }
  bool Control(uint32_t code, const char16_t* text, std::u16string*, const void* in, uint32_t inSize, void*,
               uint32_t*) override {
    std::lock_guard guard(lock_);
    if (code == lowdrv::cc::kWriteLcdScreen) {
      const auto* bytes = static_cast<const uint8_t*>(in);
      uploads_.push_back({text ? std::u16string(text) : u"", std::vector<uint8_t>(bytes, bytes + inSize)});
    }
    return true;
  }

  // The uploads since the last call (and forgets them).
  std::vector<Upload> Take() {
    std::lock_guard guard(lock_);
    return std::exchange(uploads_, {});
  }
  static std::vector<std::u16string> Slots(const std::vector<Upload>& uploads) {
    std::vector<std::u16string> slots;
    for (const Upload& u : uploads) slots.push_back(u.slot);
    return slots;
  }

 private:
  std::mutex lock_;
  std::vector<Upload> uploads_;
};

}  // namespace rzd::scanhost::test
