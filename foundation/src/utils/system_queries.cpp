#include "foundation/system_queries.h"

#include "platform/file_version.h"
#include "platform/registry.h"

#include <filesystem>
#include <optional>

namespace rzd {

bool IsDisablePowerOff() {
  RegKey key;
  if (RegKey::Open(Hive::LocalMachine, u"software\\corvanite", &key) != ERROR_SUCCESS) return false;
  uint32_t value = 0;
  return key.GetDword(u"DisablePowerOff", &value) == ERROR_SUCCESS && value != 0;
}

std::u16string GetFileVersionString(std::u16string_view path) {
  std::u16string version = u"X, X, X, X";
  if (path.empty()) return version;
  // The FileVersion string of the record's (first and only) translation.
  const std::optional<FileVersionInfo> info = ReadFileVersionInfo(std::filesystem::path(std::u16string(path)));
  if (!info) return version;
  if (const std::u16string* text = info->Find(u"FileVersion"); text != nullptr && !text->empty()) version = *text;
  return version;
}

}  // namespace rzd
