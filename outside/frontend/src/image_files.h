// The files of a side: the image (PNG from raw data, the JPEG stream as delivered) and its
// metadata document.
#pragma once

#include "page_assembler.h"

#include <filesystem>
#include <string>

namespace rzd::frontend {

struct ImageSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

// "page-NNN-front" or "page-NNN-back".
std::string SideFileStem(uint32_t page, int side);

// Writes the side's image to `file`: raw data as a PNG (24 bits RGB, 8-bit grey, 1-bit line art;
// BGR and white-is-zero data turned the right way), a JPEG stream byte for byte. The size written
// (for JPEG the metadata's); false with `error` set when the data cannot be written.
bool WriteSideImage(const std::filesystem::path& file, const SideImage& side, ImageSize* size, std::string* error);

// The page metadata of `side` (0 front, 1 back): the last Result of the side in the page's
// Operation document (for data of both sides in one stream, the last Result of the stream), or,
// without a document, one made from the side's description. Written as UTF-8 XML.
bool WriteSideMetadata(const std::filesystem::path& file, const std::u16string& operation, int side,
                       const SideImage& image, std::string* error);

}  // namespace rzd::frontend
