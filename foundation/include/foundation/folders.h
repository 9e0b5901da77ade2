// The maker's folders, creation of directory paths, access for every local user, and the
// maker's common folder in front of the program search path.
//
// Folders are native paths under the system root; the functions answer directory paths without a
// trailing separator. Sub-folder texts may use "\" or "/" between their parts.
#pragma once

#include <filesystem>
#include <string_view>

namespace rzd {

// The maker's folder name under the common folders.
inline constexpr char16_t kCompanyName[] = u"Corvanite";

// Gives every local user full access (read, write, and search for folders) to the file or folder;
// true when the access was written.
bool GrantUsersFullAccess(const std::filesystem::path& path);

// Creates every missing folder of `path`. A path whose last part has no trailing separator names
// a file: only the folders above it are made. Each folder made is opened to every local user
// when `grant` is set. True when the folder exists at the end.
bool CreateDirectoryPath(const std::filesystem::path& path, bool grant);

// The common application-data folder / company / subFolder (one leading and one trailing
// separator of subFolder removed). With `create`, CreateDirectoryPath(out, grant) decides the
// result; without it the folder is not created and the answer is true.
bool GetCommonAppDataFolder(std::u16string_view company, std::u16string_view subFolder,
                            std::filesystem::path* out, bool create, bool grant);

// The common program files folder / "Corvanite".
bool GetCommonFilesFolder(std::filesystem::path* out);
// The 32-bit common program files folder (else the common one) / "Corvanite".
bool GetCommonFilesX86Folder(std::filesystem::path* out);
// The program files folder / "Corvanite" / name.
bool GetProgramFilesFolder(std::u16string_view name, std::filesystem::path* out);
// On a 64-bit system the 32-bit program files folder / "Corvanite" / name, else
// GetProgramFilesFolder.
bool GetProgramFilesX86Folder(std::u16string_view name, std::filesystem::path* out);

// Puts `folder` in front of the program search path (PATH) once per process: when the
// environment variable `guardName` exists nothing is done; else the folder is prepended and the
// guard is set to "true". False when the path could not be set.
bool PrependToPath(const std::filesystem::path& folder, std::u16string_view guardName);
// PrependToPath of GetCommonFilesFolder.
bool AddCommonFilesFolderToPath(std::u16string_view guardName);

}  // namespace rzd
