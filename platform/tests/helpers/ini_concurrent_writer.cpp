// Writes keys "<prefix>_<n>" = n for n in [0, count) into one section of a profile file, one
// write per key, so several of these running at once race on the same file.
// Usage: ini_concurrent_writer <file> <section> <prefix> <count>
// Exit code: 0 when every write succeeded, 1 on a failed write, 2 on bad arguments.
#include "platform/ini.h"
#include "platform/text.h"

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  std::filesystem::path file = argv[1];
  std::u16string section = rzd::FromUtf8(argv[2]);
  std::string prefix = argv[3];
  int count = std::atoi(argv[4]);
  for (int n = 0; n < count; ++n) {
    std::u16string key = rzd::FromUtf8(prefix + "_" + std::to_string(n));
    std::u16string value = rzd::FromUtf8(std::to_string(n));
    if (!rzd::WritePrivateProfileString(section, key, value, file)) return 1;
  }
  return 0;
}
