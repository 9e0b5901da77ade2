// Link icons from the desktop application's link cache.
#include "scanhost/lcd/link_cache.h"

#include "platform/picture.h"
#include "platform/registry.h"
#include "platform/storage.h"
#include "platform/text.h"
#include "profile_values.h"

#include <algorithm>
#include <cstring>

namespace rzd::scanhost::lcd {

std::optional<int32_t> FindLinkRecord(std::span<const uint8_t> links, std::string_view name) {
  const size_t records = links.size() / kLinkRecordSize;
  for (size_t i = 0; i < records; ++i) {
    const uint8_t* record = links.data() + i * kLinkRecordSize;
    const char* text = reinterpret_cast<const char*>(record + kLinkNameAt);
    const size_t room = kLinkRecordSize - kLinkNameAt;
    const size_t length = strnlen(text, room);
    if (std::string_view(text, length) == name) return static_cast<int32_t>(i);
  }
  return std::nullopt;
}

std::shared_ptr<gdi::Bitmap> LinkIconFromStream(std::span<const uint8_t> icons, int32_t index) {
  const std::optional<ImageList> list = ImageList::Read(icons);
  if (!list || index < 0 || index >= list->Count()) return nullptr;
  std::shared_ptr<gdi::Bitmap> icon = gdi::CreateDibSection(kLinkIconSide, kLinkIconSide, 32);
  icon->Fill(gdi::kWhite);
  list->Draw(index, *icon, 0, 0);
  return icon;
}

std::shared_ptr<gdi::Bitmap> ReadLinkCacheIcons(std::u16string_view userSid, std::u16string_view linkName) {
  const std::string name = ToAnsi(linkName);
  if (name == kLinkWithoutIcon) return nullptr;
  RegKey key;
  if (RegKey::Open(Hive::Users, std::u16string(userSid) + u"\\Software\\Corvanite\\Quickarc 4.0\\Relaybox 4.0", &key) !=
      ERROR_SUCCESS) {
    return nullptr;
  }
  const std::optional<std::u16string> path = ReadProfileString(key, u"LinkCache");
  if (!path || path->empty()) return nullptr;
  const std::unique_ptr<CompoundFile> cache = CompoundFile::Open(std::filesystem::path(ToUtf8(*path)));
  if (!cache) return nullptr;
  const std::optional<std::vector<uint8_t>> links = cache->ReadStream("LINKS", kMaxLinksStreamBytes);
  if (!links) return nullptr;
  const std::optional<int32_t> index = FindLinkRecord(*links, name);
  if (!index) return nullptr;
  const std::optional<std::vector<uint8_t>> icons = cache->ReadStream("ICONS", kMaxIconsStreamBytes);
  return icons ? LinkIconFromStream(*icons, *index) : nullptr;
}

}  // namespace rzd::scanhost::lcd
