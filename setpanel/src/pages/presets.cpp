#include "presets.h"

#include "foundation/xml_store.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

namespace rzd::panel {

namespace {
// Settings documents are small; a larger file is no preset.
constexpr uintmax_t kMaxPresetBytes = 8u * 1024u * 1024u;
}  // namespace

QStringList ListPresets(const fs::path& folder) {
  QStringList entries;
  std::error_code ec;
  fs::create_directories(folder, ec);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& file = it->path();
    std::error_code statError;
    const fs::file_status status = fs::symlink_status(file, statError);
    if (statError || !fs::is_regular_file(status)) continue;
    const QString name = QString::fromStdU16String(file.filename().u16string());
    if (name.startsWith(QLatin1String("LastUsed"))) continue;
    if (fs::file_size(file, statError) > kMaxPresetBytes || statError) continue;
    MSXML6StoreSTL store;
    if (!store.LoadFromFile(file) || !store.SelectNode(kPresetNodePath)) continue;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    entries << (dot < 0 ? name : name.left(dot));
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace rzd::panel
