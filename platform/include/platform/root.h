// The system root: the folder that plays the role of the system drive. Every file the system
// keeps (registry database, named objects, device table, program folders, logs) lies under it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace rzd {

// The root in force: $RZD_ROOT, else $XDG_STATE_HOME/rzd, else ~/.local/state/rzd.
// Read on every call, so a test that sets $RZD_ROOT sees it at once.
//
// The root belongs to the user whose processes run the system: the first call of a process for
// a root makes it private (EnsurePrivateFolder), so no other user reaches anything in it; a
// missing root is made so when its parent folder exists. A root of another user is left as it
// is (the system's own objects in it refuse that user anyway).
std::filesystem::path SystemRoot();

// What the system keeps under the root is the root's user's alone, whatever the umask: folders
// it makes are 0700, files 0600, sockets 0600 (local_socket.h).
//
// Makes `folder` (with missing parents, made as CreatePrivateFolders makes them) owned by this
// user with mode 0700. An existing folder of another user answers ERROR_ACCESS_DENIED; one of
// this user gets mode 0700, unless it is a shared folder (sticky, as /tmp), which is left as it
// is.
uint32_t EnsurePrivateFolder(const std::filesystem::path& folder);

// Makes each missing folder on the way to `folder`, and `folder`, with mode 0700; folders that
// exist are left as they are. ERROR_SUCCESS when `folder` is a folder afterwards; a file where
// `folder` should be answers ERROR_ALREADY_EXISTS, one on the way ERROR_PATH_NOT_FOUND.
uint32_t CreatePrivateFolders(const std::filesystem::path& folder);

// Makes `file` an empty file of mode 0600 when it is missing; a file of this user that exists
// keeps its bytes and loses its group and other permission bits. For a file the system keeps
// that is then written by means that cannot give a mode (a stream, a library). Its folder must
// exist.
uint32_t EnsurePrivateFile(const std::filesystem::path& file);

// Takes the group and other permission bits off `path`, a file or folder of this user; a missing
// path stays missing (ERROR_SUCCESS), a symbolic link is left alone, one of another user answers
// ERROR_ACCESS_DENIED.
uint32_t MakeOwnerOnly(const std::filesystem::path& path);

// A short stable token naming the root, used to keep named objects of different roots apart.
std::string RootNamespaceToken();

// Known folders, as native paths under the root. Created on first use (CreatePrivateFolders).
enum class KnownFolder {
  CommonAppData,       // ProgramData
  ProgramFiles,        // Program Files
  ProgramFilesX86,     // Program Files (x86)
  CommonFiles,         // Program Files/Common Files
  CommonFilesX86,      // Program Files (x86)/Common Files
  Windows,             // Windows
  System,              // Windows/System32
  InstallLog,          // Log
  Temp,                // Windows/Temp
  LocalAppData,        // Users/<user name>/AppData/Local: the calling user's own folder
};
std::filesystem::path KnownFolderPath(KnownFolder folder);

// Creates a new empty folder with a unique name under the system's temporary folder.
std::filesystem::path CreateUniqueTempFolder(const std::string& prefix);

}  // namespace rzd
