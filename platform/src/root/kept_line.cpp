#include "root/kept_line.h"

#include "platform/process.h"
#include "platform/root.h"

#include <atomic>
#include <cerrno>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace rzd::root_internal {

int ReplaceOwnerOnlyFile(const std::filesystem::path& file, std::string_view bytes) {
  static std::atomic<uint32_t> counter{0};
  const std::filesystem::path temp =
      file.parent_path() / ("." + file.filename().string() + ".tmp" + std::to_string(CurrentProcessId()) + "-" +
                            std::to_string(counter.fetch_add(1)));
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  int error = 0;
  while (!bytes.empty() && error == 0) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      error = n == 0 ? EIO : errno;
    }
  }
  if (close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
  if (error == 0 && rename(temp.c_str(), file.c_str()) != 0) error = errno;
  if (error != 0) unlink(temp.c_str());
  return error;
}

void WriteKeptLine(const std::filesystem::path& file, std::string_view line) {
  CreatePrivateFolders(file.parent_path());
  std::string bytes(line);
  bytes += '\n';
  ReplaceOwnerOnlyFile(file, bytes);
}

}  // namespace rzd::root_internal
