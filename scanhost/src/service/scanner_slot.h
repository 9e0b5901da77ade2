// The hold a coclass and the module's scanner list share on one client's scanner HAL object.
// Calls take their own reference (Get) for as long as they run; Drop lets the object go, and it
// ends once the last call in it has returned. After Drop, Get answers null.
#pragma once

#include "hal/scanner_base.h"

#include <memory>
#include <mutex>

namespace rzd::scanhost {

class ScannerSlot {
 public:
  explicit ScannerSlot(std::shared_ptr<CRZDHALScannerBase> scanner) : scanner_(std::move(scanner)) {}

  std::shared_ptr<CRZDHALScannerBase> Get() const {
    std::lock_guard guard(lock_);
    return scanner_;
  }
  // The object as it was held (the caller lets it go outside its own locks).
  std::shared_ptr<CRZDHALScannerBase> Drop() {
    std::lock_guard guard(lock_);
    return std::move(scanner_);
  }

 private:
  mutable std::mutex lock_;
  std::shared_ptr<CRZDHALScannerBase> scanner_;
};

}  // namespace rzd::scanhost
