#include "testsupport/temp_root.h"

#include "platform/modules.h"
#include "platform/process.h"
#include "platform/root.h"

#include <system_error>

namespace rzd::test {

ScopedRoot::ScopedRoot() : path_(CreateUniqueTempFolder("rzd-test-")), previous_(GetEnv("RZD_ROOT")) {
  SetEnv("RZD_ROOT", path_.string());
}

ScopedRoot::~ScopedRoot() {
  if (previous_) {
    SetEnv("RZD_ROOT", *previous_);
  } else {
    UnsetEnv("RZD_ROOT");
  }
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path BinaryDir() { return ExecutablePath().parent_path(); }

}  // namespace rzd::test
