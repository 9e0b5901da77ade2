// Structured storage: compound files, a small file system of named streams inside one file, as
// desktop applications keep their caches. Only the streams at a file's root are used here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rzd {

// A compound file opened for reading. Safe to use from one thread at a time.
class CompoundFile {
 public:
  // Null when the file cannot be opened or is no compound file.
  static std::unique_ptr<CompoundFile> Open(const std::filesystem::path& file);
  ~CompoundFile();
  CompoundFile(const CompoundFile&) = delete;
  CompoundFile& operator=(const CompoundFile&) = delete;

  // The bytes of the root's stream `name` (names compare as the file stores them); nullopt when
  // there is no such stream, it cannot be read whole, or it is longer than `maxBytes` (then
  // nothing is read).
  std::optional<std::vector<uint8_t>> ReadStream(std::string_view name, size_t maxBytes) const;

 private:
  struct Impl;
  explicit CompoundFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Writes a compound file whose root holds these streams, replacing the file; false on failure.
bool WriteCompoundFile(const std::filesystem::path& file,
                       const std::vector<std::pair<std::string, std::vector<uint8_t>>>& streams);

}  // namespace rzd
