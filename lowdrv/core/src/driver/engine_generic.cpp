// The generic and binary control codes: this engine has neither, so both answer "not
// implemented" (0x800A) without touching the unit.
#include "lowdrv/core/driver_engine.h"

namespace rzd::lowdrv {

LLDError CRZDREduzidLLD::GenericControl(const char16_t*, uint32_t) { return lld::kNotImplemented; }
LLDError CRZDREduzidLLD::BinaryControl(const void*, const char16_t*) { return lld::kNotImplemented; }

}  // namespace rzd::lowdrv
