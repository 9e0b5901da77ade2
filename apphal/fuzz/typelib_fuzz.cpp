// libFuzzer target: the type library's text form, as a module's resource carries it.
#include "apphal/type_library.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  std::optional<rzd::apphal::TypeLibrary> library =
      rzd::apphal::ParseTypeLibrary(std::string_view(reinterpret_cast<const char*>(data), size), &error);
  if (library) {
    // What was read is written back to the same library.
    std::optional<rzd::apphal::TypeLibrary> again = rzd::apphal::ParseTypeLibrary(rzd::apphal::WriteTypeLibrary(*library));
    if (!again || !(*again == *library)) __builtin_trap();
  }
  return 0;
}
