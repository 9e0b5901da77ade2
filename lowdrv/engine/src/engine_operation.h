// The entry and exit lines every engine operation writes.
#pragma once

#include "foundation/log_client.h"
#include "platform/types.h"

namespace rzd::lowdrv {

class EngineOperation {
 public:
  // `dotted`: the entry line ends with " Entered." rather than " Entered".
  EngineOperation(const CLogClient& owner, const char16_t* name, bool dotted = false) : owner_(owner), name_(name) {
    RZD_LOG_INFO_OF(owner_, dotted ? u"%s Entered." : u"%s Entered", name_);
  }
  ~EngineOperation() { RZD_LOG_INFO_OF(owner_, u"%s Exit. [%s]", name_, result_ ? u"TRUE" : u"FALSE"); }
  EngineOperation(const EngineOperation&) = delete;
  EngineOperation& operator=(const EngineOperation&) = delete;

  BOOL Done(BOOL result) {
    result_ = result;
    return result;
  }

 private:
  const CLogClient& owner_;
  const char16_t* name_;
  BOOL result_ = FALSE;
};

// True when the object's data level asks for dumps (bit 4).
inline bool DataDumpsOn(const CLogClient& owner) { return RZD_LOG_DATA_ON_OF(owner, LOG_LEVEL_INFO); }

}  // namespace rzd::lowdrv
