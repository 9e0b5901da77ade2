// The data sources' presets of a model: the files of its presets folder that are settings
// documents.
#pragma once

#include <QString>
#include <QStringList>

#include <filesystem>

namespace rzd::panel {

// The settings node a preset file holds (the path text as the data sources store it).
inline constexpr char16_t kPresetNodePath[] =
    u"/Scanner/DocumentSources/List/Item[@Name=\"DocumentSource\"]      /ImageSources/List/Item[@Name=\"ImageSource\"]"
    u"/Streams/List/Item[@Name=\"Stream\"]";

// The entries of the presets in `folder` (created when missing): each regular file (no symbolic
// links) that loads as XML and holds the settings node, except files whose name begins with
// "LastUsed"; an entry is the file name up to its last dot. Sorted by name.
QStringList ListPresets(const std::filesystem::path& folder);

}  // namespace rzd::panel
