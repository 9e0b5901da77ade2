// The icons of the desktop application's links, from its link cache: a compound file whose stream
// "LINKS" holds a record per link and whose stream "ICONS" holds the links' images as an image
// list.
#pragma once

#include "platform/gdi.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace rzd::scanhost::lcd {

// A link with this name has no icon.
inline constexpr std::string_view kLinkWithoutIcon = "QUICKARC4_INTERNAL:STICLIENT";
// The records of "LINKS": 396 bytes each, the link's name as a zero-terminated ANSI string at
// byte 128 (when the record holds no terminator, its name runs to the record's end).
inline constexpr size_t kLinkRecordSize = 396;
inline constexpr size_t kLinkNameAt = 128;
// The largest streams read from a cache.
inline constexpr size_t kMaxLinksStreamBytes = kLinkRecordSize * 16384;
inline constexpr size_t kMaxIconsStreamBytes = 16u << 20;
// The side of a link icon.
inline constexpr int32_t kLinkIconSide = 32;

// The position of the first whole record named `name` in a "LINKS" stream: its image's index.
// A piece shorter than a record at the end is no record. nullopt when no record has the name.
std::optional<int32_t> FindLinkRecord(std::span<const uint8_t> links, std::string_view name);

// Image `index` of an "ICONS" stream drawn into a new 32 x 32 bitmap of 32 bits on white; null
// when the stream is no image list or has no such image.
std::shared_ptr<gdi::Bitmap> LinkIconFromStream(std::span<const uint8_t> icons, int32_t index);

// The icon of the link named `linkName` (compared in the ANSI code page) from the link cache the
// user's registry names (value LinkCache under "<sid>\Software\Corvanite\Quickarc 4.0\Relaybox
// 4.0"); null for the link without an icon, a link the cache does not list, or any failure.
std::shared_ptr<gdi::Bitmap> ReadLinkCacheIcons(std::u16string_view userSid, std::u16string_view linkName);

}  // namespace rzd::scanhost::lcd
