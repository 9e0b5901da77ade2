#include "root/kept_line.h"

#include "platform/process.h"
#include "platform/root.h"

#include <fstream>
#include <string>
#include <system_error>

namespace rzd::root_internal {

void WriteKeptLine(const std::filesystem::path& file, std::string_view line) {
  CreatePrivateFolders(file.parent_path());
  std::filesystem::path temp = file;
  temp += ".tmp" + std::to_string(CurrentProcessId());
  EnsurePrivateFile(temp);
  {
    std::ofstream out(temp, std::ios::trunc);
    out << line << '\n';
  }
  std::error_code ec;
  std::filesystem::rename(temp, file, ec);
}

}  // namespace rzd::root_internal
