// The driver library a scanner HAL object loads, its two bound entry points, and the calls made
// through them.
//
// Every call gets an error slot of its own, null on entry (the driver does not free a BSTR it
// finds there), and frees what the driver left in it once the answer has been read. Unload
// waits for the calls in flight and clears both entry points with the library, so nothing ever
// calls into an unloaded library; a call after it answers "not bound".
#pragma once

#include "foundation/log_client.h"
#include "lowdrv/core/api.h"
#include "platform/modules.h"
#include "platform/types.h"

#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>

namespace rzd::scanhost {

// The driver's answer to one call.
struct DriverAnswer {
  bool bound = false;  // false: no driver was bound, nothing was called
  bool ok = false;     // the driver answered TRUE
  Bstr error;          // its error document (a `Result` document), when it gave one
  // /Result/ErrorCode of the error document; -1 without one (or one that does not parse).
  int32_t ErrorCode() const;
  // The error document's text, or "NULL" without one (for log lines).
  std::u16string ErrorText() const;
};

class DriverLink {
 public:
  DriverLink() = default;
  ~DriverLink() { Unload(); }
  DriverLink(const DriverLink&) = delete;
  DriverLink& operator=(const DriverLink&) = delete;

  // Loads the library and binds "Control" and "Read", logging each step on `log`. A bare file
  // name is looked for beside the running executable first (as the system loader looks in the
  // program's folder first), then beside the stack's own libraries, then on the library search
  // path. When either export is missing the library is unloaded again. True when both are bound.
  bool Load(const std::u16string& fileName, const CLogClient& log);
  // Unloads the library once no call runs in it; both entry points are cleared. Harmless when
  // nothing is loaded.
  void Unload();
  bool Bound() const;

  DriverAnswer Control(void* handle, uint32_t code, const char16_t* text, BSTR* result, void* input,
                       uint32_t inputSize, void* output, uint32_t* outputSize) const;
  // A call with a 4-byte input value and nothing else.
  DriverAnswer ControlWithValue(void* handle, uint32_t code, uint32_t value) const;
  // A failed read's error document (which the driver leaves in *metadata) becomes the answer's.
  DriverAnswer Read(void* handle, uint8_t* buffer, uint32_t* size, BSTR* metadata, uint32_t* boundary) const;

 private:
  mutable std::shared_mutex lock_;  // shared by calls, exclusive for load and unload
  std::unique_ptr<Module> library_;
  ControlFunction control_ = nullptr;
  ReadFunction read_ = nullptr;
};

}  // namespace rzd::scanhost
