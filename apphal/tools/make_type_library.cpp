// Writes the model's type library in its text form to the file named on the command line; the
// build embeds it as the module's resource TYPELIB 1.
#include "apphal/type_library.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << rzd::apphal::WriteTypeLibrary(rzd::apphal::BuildModelTypeLibrary());
  return out.good() ? 0 : 1;
}
