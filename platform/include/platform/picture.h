// Icons, image lists and picture objects: what a component hands out as a picture of itself.
//
// An icon is a small picture with transparency (blue, green, red and alpha per pixel, alpha 0
// transparent). Icons come from icon files (an icon group with its images), or from an image
// list that cuts a strip bitmap into equal images and makes one colour transparent. A picture
// object (IPicture) wraps an icon for a caller across a component boundary; it keeps the icon
// alive while it lives, so nothing is left for the caller to destroy.
#pragma once

#include "platform/com.h"
#include "platform/gdi.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace rzd {

// Largest side of an icon, in pixels.
inline constexpr int32_t kMaxIconSide = 256;

class Icon {
 public:
  struct Pixel {
    uint8_t b = 0, g = 0, r = 0, a = 0;
    friend bool operator==(const Pixel&, const Pixel&) = default;
  };
  // A transparent icon; null when a side is not 1 to kMaxIconSide.
  static std::shared_ptr<Icon> Create(int32_t width, int32_t height);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // Coordinates from the top-left pixel; outside the icon: a transparent pixel, and nothing set.
  Pixel At(int32_t x, int32_t y) const;
  void Set(int32_t x, int32_t y, Pixel pixel);

 private:
  Icon(int32_t width, int32_t height);
  int32_t width_;
  int32_t height_;
  std::vector<Pixel> pixels_;  // top row first
};

// What ReadBitmapFile found beside the pixels.
struct BitmapFileFacts {
  size_t size = 0;             // bytes from the file header to the end of the last row
  uint16_t bitsPerPixel = 0;   // the file's own depth
  std::vector<uint8_t> alpha;  // 32-bit files: each pixel's fourth byte, top row first
};

// A bitmap file (file header, an information header of 40 bytes or more, uncompressed rows of 1,
// 4 or 8 bits with their palette, or of 24 or 32 bits, bottom-up or top-down) as a 24-bit bitmap.
// Null when the bytes break the form (the palette or the rows pass the end of the bytes) or a side
// passes gdi::kMaxBitmapSide. A pixel whose palette index passes the palette reads as black.
std::shared_ptr<gdi::Bitmap> ReadBitmapFile(std::span<const uint8_t> bytes, BitmapFileFacts* facts = nullptr);

// The BITMAP resource `id` of the module that contains `addressInModule` (platform/resources.h),
// a bitmap file as ReadBitmapFile reads it. Null when the module has no such resource or its bytes
// are no such file.
std::shared_ptr<gdi::Bitmap> LoadBitmapResource(const void* addressInModule, uint32_t id);

// The image of an icon file whose width is `size`, else its largest: a 32-bit image takes its
// alpha (or its AND mask when every alpha is 0), a 24-bit one its AND mask. Null when the bytes
// break the form, the image is compressed, or no image has a side of 1 to kMaxIconSide.
std::shared_ptr<Icon> ReadIconFile(std::span<const uint8_t> bytes, int32_t size);

// Most images an image-list stream may hold.
inline constexpr int32_t kMaxImageListImages = 4096;

// Images of equal size, each with its mask.
class ImageList {
 public:
  // `initial` and `grow` are the list's room and its growth, as counts of images.
  ImageList(int32_t width, int32_t height, int32_t initial, int32_t grow);

  // A list from its stream: a head of 28 bytes ("IL", version 0x101, then 16-bit image count,
  // room, growth, image width and height, the 32-bit background colour, 16-bit flags and four
  // overlay indexes), the images as one bitmap file (four images in a row, rows of images top
  // first), and with the flag ILC_MASK (1) the mask as a second bitmap file of the same layout
  // (white pixels transparent). A 32-bit image bitmap with any alpha takes its alpha; otherwise the
  // mask decides, and without a mask every pixel is opaque. Sides must be 1 to kMaxIconSide, the
  // count at most kMaxImageListImages, and both bitmaps must hold every image's place; nullopt
  // when the bytes break the form. `used` receives the bytes the stream took.
  static std::optional<ImageList> Read(std::span<const uint8_t> stream, size_t* used = nullptr);
  // The stream of this list: 24-bit images with a mask (pixels whose alpha is below 128 masked).
  std::vector<uint8_t> Write() const;
  // Draws image `index` with its top-left pixel at (x, y) of `target`: transparent pixels leave
  // the target as it is, partly transparent ones are blended into it; nothing outside the target.
  // False outside the list.
  bool Draw(int32_t index, gdi::Bitmap& target, int32_t x, int32_t y) const;
  int32_t ImageWidth() const { return width_; }
  int32_t ImageHeight() const { return height_; }

  // Cuts `strip` left to right into images of the list's size (a part narrower than one image
  // is left out); pixels of the colour `mask` become transparent. The index of the first image
  // added, or -1 when none fits.
  int32_t AddMasked(const gdi::Bitmap& strip, gdi::Rgb mask);
  int32_t Count() const { return static_cast<int32_t>(images_.size()); }
  // The image at `index`, drawn transparently; null outside the list.
  std::shared_ptr<Icon> GetIcon(int32_t index) const;

 private:
  int32_t width_;
  int32_t height_;
  std::vector<std::shared_ptr<Icon>> images_;
};

// ---- Picture objects.
using OLE_HANDLE = uintptr_t;
using OLE_XSIZE_HIMETRIC = LONG;
using OLE_YSIZE_HIMETRIC = LONG;
constexpr int16_t PICTYPE_ICON = 3;

struct IPicture : IUnknown {
  // The picture's icon as a handle (IconFromHandle reads it while the picture lives).
  virtual HRESULT get_Handle(OLE_HANDLE* handle) = 0;
  virtual HRESULT get_Type(int16_t* type) = 0;
  // Sizes in hundredths of a millimetre, at 96 pixels per inch.
  virtual HRESULT get_Width(OLE_XSIZE_HIMETRIC* width) = 0;
  virtual HRESULT get_Height(OLE_YSIZE_HIMETRIC* height) = 0;

 protected:
  ~IPicture() = default;
};

// {7BF80980-BF32-101A-8BBB-00AA00300CAB}
constexpr IID IID_IPicture{0x7BF80980, 0xBF32, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};

// A picture of type PICTYPE_ICON holding `icon`, queried for `iid`. E_INVALIDARG without an icon.
HRESULT CreateIconPicture(std::shared_ptr<Icon> icon, const IID& iid, void** picture);
// The icon behind a handle of get_Handle; valid while its picture lives.
const Icon* IconFromHandle(OLE_HANDLE handle);

}  // namespace rzd
