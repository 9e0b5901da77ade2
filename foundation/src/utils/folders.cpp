// The maker's folders, directory creation and access for every local user.
#include "foundation/folders.h"

#include "foundation/module_info.h"
#include "platform/errors.h"
#include "platform/root.h"

#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace rzd {

namespace {

// Appends the parts of a "\"- or "/"-separated text to a path.
fs::path AppendParts(fs::path base, std::u16string_view parts) {
  size_t start = 0;
  while (start <= parts.size()) {
    size_t end = parts.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos) end = parts.size();
    if (end > start) base /= fs::path(std::u16string(parts.substr(start, end - start)));
    start = end + 1;
  }
  return base;
}

bool KnownFolderUnder(KnownFolder folder, std::u16string_view parts, fs::path* out) {
  if (out == nullptr) return false;
  fs::path base = KnownFolderPath(folder);
  std::error_code ec;
  if (base.empty() || !fs::is_directory(base, ec)) return false;
  *out = AppendParts(base, parts);
  return true;
}

}  // namespace

bool GrantUsersFullAccess(const fs::path& path) {
  std::error_code ec;
  fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) return false;
  fs::perms access = fs::perms::group_read | fs::perms::group_write | fs::perms::others_read | fs::perms::others_write;
  if (fs::is_directory(status)) access |= fs::perms::group_exec | fs::perms::others_exec;
  fs::permissions(path, access, fs::perm_options::add, ec);
  return !ec;
}

bool CreateDirectoryPath(const fs::path& path, bool grant) {
  fs::path directory = path.has_filename() ? path.parent_path() : path;
  if (directory.empty()) return false;
  std::error_code ec;
  if (fs::is_directory(directory, ec)) return true;
  fs::path prefix;
  for (const fs::path& part : directory) {
    if (part.empty()) continue;
    prefix /= part;
    if (fs::exists(prefix, ec)) continue;
    if (CreatePrivateFolders(prefix) == ERROR_SUCCESS && grant) GrantUsersFullAccess(prefix);
  }
  return fs::is_directory(directory, ec);
}

bool GetCommonAppDataFolder(std::u16string_view company, std::u16string_view subFolder, fs::path* out, bool create,
                            bool grant) {
  if (out == nullptr) return false;
  fs::path folder;
  if (!KnownFolderUnder(KnownFolder::CommonAppData, company, &folder)) return false;
  folder = AppendParts(folder, subFolder);
  *out = folder;
  return create ? CreateDirectoryPath(folder / "", grant) : true;
}

bool GetCommonFilesFolder(fs::path* out) { return KnownFolderUnder(KnownFolder::CommonFiles, kCompanyName, out); }

bool GetCommonFilesX86Folder(fs::path* out) {
  return KnownFolderUnder(KnownFolder::CommonFilesX86, kCompanyName, out) || GetCommonFilesFolder(out);
}

bool GetProgramFilesFolder(std::u16string_view name, fs::path* out) {
  if (!KnownFolderUnder(KnownFolder::ProgramFiles, kCompanyName, out)) return false;
  *out = AppendParts(*out, name);
  return true;
}

bool GetProgramFilesX86Folder(std::u16string_view name, fs::path* out) {
  if (!Is64BitWindows()) return GetProgramFilesFolder(name, out);
  if (!KnownFolderUnder(KnownFolder::ProgramFilesX86, kCompanyName, out)) return false;
  *out = AppendParts(*out, name);
  return true;
}

}  // namespace rzd
