// Files the system keeps under the root that are replaced whole (a device entry, a one-line record
// such as a session's number or the account rights a test set), so that a reader sees the old
// bytes or the new, never a part.
#pragma once

#include <filesystem>
#include <string_view>

namespace rzd::root_internal {

// Writes `bytes` to a temporary file of mode 0600 beside `file` (".<name>.tmp<pid>-<n>", a name
// no other writer of this or another process uses) and renames it over `file` once every byte is
// written. 0, or the errno value of what failed; `file` then keeps what it held, and no temporary
// file is left. The folder must exist.
int ReplaceOwnerOnlyFile(const std::filesystem::path& file, std::string_view bytes);

// Writes `line` and a line end over `file` (ReplaceOwnerOnlyFile), its folders made private
// first. A record that cannot be written keeps what it held.
void WriteKeptLine(const std::filesystem::path& file, std::string_view line);

}  // namespace rzd::root_internal
