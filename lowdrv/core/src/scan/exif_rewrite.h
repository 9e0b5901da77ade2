// The Make and Model of an engine-made JPEG header. An engine that writes its own headers names
// itself in the Exif segment; the driver puts the system's maker and the unit's model there
// instead. The bytes come from the unit, so every offset and length is checked before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rzd::lowdrv::jpeg {

// Rewrites the Make (0x010F) and Model (0x0110) entries of the first Exif segment of the stream
// in data[0, length). A text that fits four bytes with its terminating zero goes into the entry's
// value field; one that fits its old place is copied over it; a longer one gets room at the end
// of the segment (the bytes after the segment move up, the segment length grows). A missing entry
// is added by writing the IFD again, with the entry, at the end of the segment. Nothing is
// written beyond `capacity`.
// Returns the stream's new length; `length` unchanged when the stream has no complete Exif
// segment in the bytes given, the segment cannot be read, or the growth does not fit.
size_t RewriteExifMakeModel(uint8_t* data, size_t length, size_t capacity, std::string_view make,
                            std::string_view model);

// Bytes the driver keeps free behind the first piece of an engine-made stream so the rewrite of
// these texts always fits (room for both texts and two new entries, and then some).
uint32_t ExifRewriteReserve(std::string_view make, std::string_view model);

}  // namespace rzd::lowdrv::jpeg
