// Prints the executable's own path as the platform sees it (for the start-name test).
#include "platform/modules.h"

#include <cstdio>

int main() {
  std::printf("%s\n", rzd::ExecutablePath().c_str());
  return 0;
}
