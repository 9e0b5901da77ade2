// A tiny shared library the module tests load, bind and unload.
#include "platform/modules.h"

extern "C" __attribute__((visibility("default"))) int FixtureAnswer() { return 42; }

extern "C" __attribute__((visibility("default"))) const char* FixtureOwnPath() {
  static std::string path = rzd::ModulePathOf(reinterpret_cast<const void*>(&FixtureAnswer)).string();
  return path.c_str();
}
