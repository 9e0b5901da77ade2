// The version record of a file: finding the file, reading its record section, parsing the record.
#include "platform/file_version.h"

#include "platform/modules.h"
#include "platform/text.h"

#include <link.h>

#include <charconv>
#include <fstream>
#include <system_error>

namespace rzd {

namespace {

bool IsKeyChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

std::optional<uint16_t> Hex16(std::string_view text) {
  uint16_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (ec != std::errc() || end != text.data() + text.size() || text.size() != 4) return std::nullopt;
  return value;
}

// The loaded module whose file name is `name`; empty when none is.
std::filesystem::path LoadedModuleNamed(const std::filesystem::path& name) {
  struct Search {
    std::filesystem::path wanted;
    std::filesystem::path found;
  } search{name, {}};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) -> int {
        auto* s = static_cast<Search*>(data);
        if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 0;
        const std::filesystem::path path(info->dlpi_name);
        if (path.filename() != s->wanted) return 0;
        s->found = path;
        return 1;
      },
      &search);
  return search.found;
}

// Where a file named without a folder is: a loaded module of that name, else the running
// executable's folder (where our programs and libraries lie side by side), else the name as given.
std::filesystem::path Locate(const std::filesystem::path& file) {
  if (file.has_parent_path()) return file;
  if (std::filesystem::path loaded = LoadedModuleNamed(file); !loaded.empty()) return loaded;
  const std::filesystem::path executable = ExecutablePath();
  if (executable.filename() == file) return executable;
  std::error_code ec;
  const std::filesystem::path beside = executable.parent_path() / file;
  if (!executable.empty() && std::filesystem::is_regular_file(beside, ec)) return beside;
  return file;
}

bool ReadFromStream(void* context, uint64_t offset, void* out, size_t size) {
  auto* in = static_cast<std::ifstream*>(context);
  in->clear();
  in->seekg(static_cast<std::streamoff>(offset));
  if (!*in) return false;
  in->read(static_cast<char*>(out), static_cast<std::streamsize>(size));
  return static_cast<size_t>(in->gcount()) == size;
}

}  // namespace

const std::u16string* FileVersionInfo::Find(std::u16string_view name) const {
  for (const auto& [key, value] : strings) {
    if (key == name) return &value;
  }
  return nullptr;
}

std::optional<FileVersionInfo> ParseVersionRecord(std::span<const uint8_t> bytes) {
  size_t length = 0;
  while (length < bytes.size() && bytes[length] != 0) ++length;
  if (length > kMaxVersionRecord) return std::nullopt;
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), length);

  FileVersionInfo info;
  bool head = false;
  bool translation = false;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    if (end == std::string_view::npos) return std::nullopt;  // every line ends with a line feed
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    for (char c : line) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
    }
    if (!head) {
      if (line != kVersionRecordHead) return std::nullopt;
      head = true;
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) return std::nullopt;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    for (char c : key) {
      if (!IsKeyChar(c)) return std::nullopt;
    }
    if (key == "Translation") {
      const std::optional<uint16_t> language = value.size() == 9 && value[4] == ' ' ? Hex16(value.substr(0, 4)) : std::nullopt;
      const std::optional<uint16_t> codePage = language ? Hex16(value.substr(5, 4)) : std::nullopt;
      if (!codePage || translation) return std::nullopt;
      info.language = *language;
      info.codePage = *codePage;
      translation = true;
      continue;
    }
    info.strings.emplace_back(FromUtf8(key), FromUtf8(value));
  }
  if (!head || !translation) return std::nullopt;
  return info;
}

std::optional<FileVersionInfo> ReadFileVersionInfo(const std::filesystem::path& file) {
  if (file.empty()) return std::nullopt;
  const std::filesystem::path path = Locate(file);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  const std::optional<std::vector<uint8_t>> section =
      ReadElfSection(&ReadFromStream, &in, static_cast<uint64_t>(size), kVersionRecordSection, kMaxVersionRecord + 1);
  if (!section) return std::nullopt;
  return ParseVersionRecord(*section);
}

}  // namespace rzd
