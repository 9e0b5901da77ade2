// One-line records the system keeps under the root (a session's number, the account rights a test
// set), written so that a reader sees the old line or the new one, never a part.
#pragma once

#include <filesystem>
#include <string_view>

namespace rzd::root_internal {

// Writes `line` and a line end to a temporary file beside `file` (the user's alone, its folders
// made private first) and renames it over `file`. A record that cannot be written keeps what it
// held.
void WriteKeptLine(const std::filesystem::path& file, std::string_view line);

}  // namespace rzd::root_internal
