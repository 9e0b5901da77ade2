// A scanner object's way to its driver: the driver's Control with the object's own handle.
#pragma once

#include <cstdint>
#include <string>

namespace rzd::scanhost {

class ScannerDriver {
 public:
  virtual ~ScannerDriver() = default;
  // True while the object holds an open driver handle.
  virtual bool HasHandle() = 0;
  // One Control call with the object's handle: the code, the string (may be null), the BSTR
  // result of codes that give one (into `result` when not null), the input buffer and the output
  // buffer with its size. The driver's error document is freed. True when the driver answered
  // success; false also without a handle or a driver.
  virtual bool Control(uint32_t code, const char16_t* text, std::u16string* result, const void* in, uint32_t inSize,
                       void* out, uint32_t* outSize) = 0;
};

}  // namespace rzd::scanhost
