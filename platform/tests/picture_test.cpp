// Icons from bitmap strips and icon files, and the picture objects that carry them.
#include "platform/picture.h"
#include "platform/resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace rzd {
namespace {

template <typename T>
void Put(std::vector<uint8_t>& bytes, size_t offset, T value) {
  if (bytes.size() < offset + sizeof(T)) bytes.resize(offset + sizeof(T));
  std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

// A bitmap file of `width` x `height` (negative: top-down) pixels of `bits` bits; pixel (x, y)
// from the top is colour(x, y).
std::vector<uint8_t> BitmapFile(int32_t width, int32_t height, uint16_t bits,
                                const std::function<gdi::Rgb(int32_t, int32_t)>& colour) {
  const int32_t rows = height < 0 ? -height : height;
  const size_t stride = (static_cast<size_t>(width) * bits / 8 + 3) / 4 * 4;
  std::vector<uint8_t> bytes(54 + stride * rows);
  Put<uint16_t>(bytes, 0, 0x4D42);
  Put<uint32_t>(bytes, 2, static_cast<uint32_t>(bytes.size()));
  Put<uint32_t>(bytes, 10, 54);
  Put<uint32_t>(bytes, 14, 40);
  Put<int32_t>(bytes, 18, width);
  Put<int32_t>(bytes, 22, height);
  Put<uint16_t>(bytes, 26, 1);
  Put<uint16_t>(bytes, 28, bits);
  for (int32_t y = 0; y < rows; ++y) {
    const size_t fileRow = static_cast<size_t>(height < 0 ? y : rows - 1 - y);
    for (int32_t x = 0; x < width; ++x) {
      const gdi::Rgb c = colour(x, y);
      uint8_t* p = bytes.data() + 54 + fileRow * stride + static_cast<size_t>(x) * bits / 8;
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
    }
  }
  return bytes;
}

// An icon file with one image per size: 32-bit with alpha 255 except the top-left pixel, or
// 24-bit with that pixel masked.
std::vector<uint8_t> IconFile(const std::vector<int32_t>& sizes, uint16_t bits) {
  std::vector<uint8_t> bytes(6 + 16 * sizes.size());
  Put<uint16_t>(bytes, 2, 1);
  Put<uint16_t>(bytes, 4, static_cast<uint16_t>(sizes.size()));
  for (size_t i = 0; i < sizes.size(); ++i) {
    const int32_t side = sizes[i];
    const size_t stride = (static_cast<size_t>(side) * bits / 8 + 3) / 4 * 4;
    const size_t maskStride = (static_cast<size_t>(side) + 31) / 32 * 4;
    std::vector<uint8_t> image(40 + stride * side + maskStride * side);
    Put<uint32_t>(image, 0, 40);
    Put<int32_t>(image, 4, side);
    Put<int32_t>(image, 8, side * 2);
    Put<uint16_t>(image, 12, 1);
    Put<uint16_t>(image, 14, bits);
    for (int32_t y = 0; y < side; ++y) {
      const size_t row = static_cast<size_t>(side - 1 - y);
      for (int32_t x = 0; x < side; ++x) {
        uint8_t* p = image.data() + 40 + row * stride + static_cast<size_t>(x) * bits / 8;
        p[0] = static_cast<uint8_t>(side);  // blue tells the sizes apart
        p[2] = 200;
        if (bits == 32) p[3] = (x == 0 && y == 0) ? 0 : 255;
      }
    }
    if (bits == 24) image[40 + stride * side + static_cast<size_t>(side - 1) * maskStride] = 0x80;
    const size_t at = bytes.size();
    bytes.insert(bytes.end(), image.begin(), image.end());
    bytes[6 + 16 * i] = static_cast<uint8_t>(side == 256 ? 0 : side);
    bytes[6 + 16 * i + 1] = static_cast<uint8_t>(side == 256 ? 0 : side);
    Put<uint16_t>(bytes, 6 + 16 * i + 6, bits);
    Put<uint32_t>(bytes, 6 + 16 * i + 8, static_cast<uint32_t>(image.size()));
    Put<uint32_t>(bytes, 6 + 16 * i + 12, static_cast<uint32_t>(at));
  }
  return bytes;
}

gdi::Rgb Checker(int32_t x, int32_t y) { return gdi::Rgb{static_cast<uint8_t>(x * 10), static_cast<uint8_t>(y * 10), 7}; }

TEST(Picture, BitmapFilesBothWaysUp) {
  for (int32_t height : {3, -3}) {
    for (uint16_t bits : {uint16_t{24}, uint16_t{32}}) {
      std::shared_ptr<gdi::Bitmap> bitmap = ReadBitmapFile(BitmapFile(5, height, bits, Checker));
      ASSERT_TRUE(bitmap) << height << " " << bits;
      EXPECT_EQ(bitmap->Width(), 5);
      EXPECT_EQ(bitmap->Height(), 3);
      for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(bitmap->GetPixel(x, y), Checker(x, y)) << x << "," << y;
      }
    }
  }
}

// A bitmap file of `bits` bits per pixel (1, 4 or 8) with a palette of `entries` entries, each
// pixel's index given by index(x, y) (top row first, rows bottom-up in the file).
std::vector<uint8_t> PalettedFile(int32_t width, int32_t height, uint16_t bits, uint32_t entries, uint32_t used,
                                  const std::function<uint32_t(int32_t, int32_t)>& index) {
  const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
  const size_t pixelsAt = 54 + 4 * static_cast<size_t>(entries);
  std::vector<uint8_t> bytes(pixelsAt + stride * height);
  Put<uint16_t>(bytes, 0, 0x4D42);
  Put<uint32_t>(bytes, 10, static_cast<uint32_t>(pixelsAt));
  Put<uint32_t>(bytes, 14, 40);
  Put<int32_t>(bytes, 18, width);
  Put<int32_t>(bytes, 22, height);
  Put<uint16_t>(bytes, 26, 1);
  Put<uint16_t>(bytes, 28, bits);
  Put<uint32_t>(bytes, 46, used);
  for (uint32_t i = 0; i < entries; ++i) {
    bytes[54 + 4 * i] = static_cast<uint8_t>(i);             // blue: the index
    bytes[54 + 4 * i + 1] = static_cast<uint8_t>(100 + i);   // green
    bytes[54 + 4 * i + 2] = 7;                               // red
  }
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = bytes.data() + pixelsAt + static_cast<size_t>(height - 1 - y) * stride;
    for (int32_t x = 0; x < width; ++x) {
      const size_t bit = static_cast<size_t>(x) * bits;
      row[bit / 8] |= static_cast<uint8_t>(index(x, y) << (8 - bits - bit % 8));
    }
  }
  return bytes;
}

TEST(Picture, PalettedBitmapFilesAndWhatAFileTakes) {
  for (uint16_t bits : {uint16_t{1}, uint16_t{4}, uint16_t{8}}) {
    SCOPED_TRACE(bits);
    const uint32_t entries = bits == 1 ? 2 : 6;  // a short palette, as "colours used" says
    const auto index = [&](int32_t x, int32_t y) { return static_cast<uint32_t>(x + y) % entries; };
    std::vector<uint8_t> file = PalettedFile(13, 3, bits, entries, bits == 1 ? 0 : entries, index);
    file.resize(file.size() + 9, 0xEE);  // whatever follows the file
    BitmapFileFacts facts;
    const std::shared_ptr<gdi::Bitmap> bitmap = ReadBitmapFile(file, &facts);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(facts.size, file.size() - 9);
    EXPECT_EQ(facts.bitsPerPixel, bits);
    EXPECT_TRUE(facts.alpha.empty());
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t x = 0; x < 13; ++x) {
        const uint32_t i = index(x, y);
        EXPECT_EQ(bitmap->GetPixel(x, y), (gdi::Rgb{7, static_cast<uint8_t>(100 + i), static_cast<uint8_t>(i)}));
      }
    }
  }
  // An index past a short palette reads black; a palette past the pixels' offset is refused.
  const std::vector<uint8_t> beyond = PalettedFile(2, 1, 8, 2, 2, [](int32_t x, int32_t) { return x == 0 ? 1u : 9u; });
  const std::shared_ptr<gdi::Bitmap> bitmap = ReadBitmapFile(beyond);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->GetPixel(0, 0), (gdi::Rgb{7, 101, 1}));
  EXPECT_EQ(bitmap->GetPixel(1, 0), gdi::kBlack);
  EXPECT_FALSE(ReadBitmapFile(PalettedFile(2, 1, 8, 2, 3, [](int32_t, int32_t) { return 0u; })));
  EXPECT_FALSE(ReadBitmapFile(PalettedFile(2, 1, 4, 2, 0, [](int32_t, int32_t) { return 0u; })))
      << "no count given: all 16 entries must be there";
  // A 32-bit file keeps its fourth bytes aside.
  std::vector<uint8_t> withAlpha = BitmapFile(2, 2, 32, Checker);
  withAlpha[54 + 3] = 0x11;  // bottom-left pixel
  BitmapFileFacts facts;
  ASSERT_TRUE(ReadBitmapFile(withAlpha, &facts));
  EXPECT_EQ(facts.alpha, (std::vector<uint8_t>{0, 0, 0x11, 0}));
}

TEST(Picture, BitmapResourcesAreBitmapFiles) {
  static const std::vector<uint8_t> file = BitmapFile(4, 2, 24, Checker);
  static const uint8_t broken[] = {'B', 'M', 0, 0};
  const ResourceRegistration good(&file, kResourceTypeBitmap, 7301, file.data(), file.size());
  const ResourceRegistration bad(&file, kResourceTypeBitmap, 7302, broken, sizeof broken);
  const std::shared_ptr<gdi::Bitmap> bitmap = LoadBitmapResource(&file, 7301);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->GetPixel(3, 1), Checker(3, 1));
  EXPECT_FALSE(LoadBitmapResource(&file, 7302));
  EXPECT_FALSE(LoadBitmapResource(&file, 7303));
}

TEST(Picture, BrokenBitmapFilesAreRefused) {
  const std::vector<uint8_t> good = BitmapFile(4, 4, 24, Checker);
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> spoil;
  } cases[] = {
      {"empty", [](std::vector<uint8_t>& b) { b.clear(); }},
      {"no magic", [](std::vector<uint8_t>& b) { b[0] = 'X'; }},
      {"short header", [](std::vector<uint8_t>& b) { b.resize(30); }},
      {"header size", [](std::vector<uint8_t>& b) { Put<uint32_t>(b, 14, 12); }},
      {"8 bits", [](std::vector<uint8_t>& b) { Put<uint16_t>(b, 28, 8); }},
      {"compressed", [](std::vector<uint8_t>& b) { Put<uint32_t>(b, 30, 1); }},
      {"no width", [](std::vector<uint8_t>& b) { Put<int32_t>(b, 18, 0); }},
      {"no height", [](std::vector<uint8_t>& b) { Put<int32_t>(b, 22, 0); }},
      {"huge", [](std::vector<uint8_t>& b) { Put<int32_t>(b, 18, 1 << 30); }},
      {"most negative height", [](std::vector<uint8_t>& b) { Put<int32_t>(b, 22, INT32_MIN); }},
      {"rows past the end", [](std::vector<uint8_t>& b) { b.resize(b.size() - 1); }},
      {"pixels past the end", [](std::vector<uint8_t>& b) { Put<uint32_t>(b, 10, 0xFFFFFFF0); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.spoil(bytes);
    EXPECT_FALSE(ReadBitmapFile(bytes)) << c.name;
  }
}

TEST(Picture, IconFilesTakeTheSizeAskedFor) {
  const std::vector<uint8_t> file = IconFile({16, 48, 32}, 32);
  std::shared_ptr<Icon> icon = ReadIconFile(file, 48);
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->Width(), 48);
  EXPECT_EQ(icon->Height(), 48);
  EXPECT_EQ(icon->At(0, 0).a, 0);
  EXPECT_EQ(icon->At(1, 0), (Icon::Pixel{48, 0, 200, 255}));
  icon = ReadIconFile(file, 20);  // none of that size: the largest
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->Width(), 48);
  // A 24-bit image is made transparent by its mask.
  icon = ReadIconFile(IconFile({24}, 24), 24);
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->At(0, 0).a, 0);
  EXPECT_EQ(icon->At(1, 0).a, 255);
  EXPECT_EQ(icon->At(5, 5), (Icon::Pixel{24, 0, 200, 255}));
}

TEST(Picture, BrokenIconFilesAreRefused) {
  const std::vector<uint8_t> good = IconFile({16}, 32);
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> spoil;
  } cases[] = {
      {"empty", [](std::vector<uint8_t>& b) { b.clear(); }},
      {"not an icon", [](std::vector<uint8_t>& b) { Put<uint16_t>(b, 2, 2); }},
      {"no images", [](std::vector<uint8_t>& b) { Put<uint16_t>(b, 4, 0); }},
      {"more images than entries", [](std::vector<uint8_t>& b) { Put<uint16_t>(b, 4, 500); }},
      {"image past the end", [](std::vector<uint8_t>& b) { Put<uint32_t>(b, 6 + 12, 0xFFFFFF00); }},
      {"image too long", [](std::vector<uint8_t>& b) { Put<uint32_t>(b, 6 + 8, 0x7FFFFFFF); }},
      {"odd height", [](std::vector<uint8_t>& b) { Put<int32_t>(b, 22 + 8, 31); }},
      {"too wide", [](std::vector<uint8_t>& b) { Put<int32_t>(b, 22 + 4, 4096); }},
      {"mask cut", [](std::vector<uint8_t>& b) { b.resize(b.size() - 4); }},
      {"compressed", [](std::vector<uint8_t>& b) { Put<uint32_t>(b, 22 + 16, 1); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.spoil(bytes);
    EXPECT_FALSE(ReadIconFile(bytes, 16)) << c.name;
  }
}

TEST(Picture, AnImageListCutsAStripAndMasksItsColour) {
  gdi::BitmapInfo info;
  info.width = 75;  // two whole images and a sliver
  info.height = 36;
  info.bitsPerPixel = 24;
  std::shared_ptr<gdi::Bitmap> strip = gdi::Bitmap::Create(info);
  strip->Fill(gdi::kWhite);
  strip->SetPixel(5, 6, gdi::Rgb{1, 2, 3});
  strip->SetPixel(36 + 7, 8, gdi::Rgb{9, 8, 7});
  ImageList images(36, 36, 2, 2);
  EXPECT_EQ(images.AddMasked(*strip, gdi::kWhite), 0);
  EXPECT_EQ(images.Count(), 2);
  std::shared_ptr<Icon> first = images.GetIcon(0);
  std::shared_ptr<Icon> second = images.GetIcon(1);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->At(5, 6), (Icon::Pixel{3, 2, 1, 255}));
  EXPECT_EQ(first->At(0, 0).a, 0);
  EXPECT_EQ(second->At(7, 8), (Icon::Pixel{7, 8, 9, 255}));
  EXPECT_FALSE(images.GetIcon(2));
  EXPECT_FALSE(images.GetIcon(-1));
  info.width = 20;
  EXPECT_EQ(images.AddMasked(*gdi::Bitmap::Create(info), gdi::kWhite), -1);
}

TEST(Picture, AnIconPictureKeepsItsIcon) {
  std::shared_ptr<Icon> icon = Icon::Create(48, 24);
  ASSERT_TRUE(icon);
  const Icon* raw = icon.get();
  IPicture* picture = nullptr;
  ASSERT_EQ(CreateIconPicture(std::move(icon), IID_IPicture, reinterpret_cast<void**>(&picture)), S_OK);
  int16_t type = 0;
  ASSERT_EQ(picture->get_Type(&type), S_OK);
  EXPECT_EQ(type, PICTYPE_ICON);
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  ASSERT_EQ(picture->get_Width(&width), S_OK);
  ASSERT_EQ(picture->get_Height(&height), S_OK);
  EXPECT_EQ(width, 1270);
  EXPECT_EQ(height, 635);
  OLE_HANDLE handle = 0;
  ASSERT_EQ(picture->get_Handle(&handle), S_OK);
  EXPECT_EQ(IconFromHandle(handle), raw);
  EXPECT_EQ(raw->Width(), 48);  // alive while the picture lives
  EXPECT_EQ(picture->get_Type(nullptr), E_POINTER);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(picture->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  unknown->Release();
  EXPECT_EQ(picture->Release(), 0u);

  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateIconPicture(nullptr, IID_IPicture, &none), E_INVALIDARG);
  EXPECT_EQ(none, nullptr);
  EXPECT_FALSE(Icon::Create(0, 5));
  EXPECT_FALSE(Icon::Create(5, kMaxIconSide + 1));
}

}  // namespace
}  // namespace rzd

namespace rzd {
namespace {

// A strip of `count` 5 x 3 images: image i's pixel (x, y) has red 10 i + x, green y, and its
// top-left pixel is the mask colour (transparent).
const gdi::Rgb kMaskColour{255, 0, 255};
ImageList Strip(int32_t count) {
  gdi::BitmapInfo info;
  info.width = 5 * count;
  info.height = 3;
  info.bitsPerPixel = 24;
  std::shared_ptr<gdi::Bitmap> strip = gdi::Bitmap::Create(info);
  for (int32_t x = 0; x < info.width; ++x) {
    for (int32_t y = 0; y < 3; ++y) {
      const bool corner = x % 5 == 0 && y == 0;
      strip->SetPixel(x, y, corner ? kMaskColour : gdi::Rgb{static_cast<uint8_t>(10 * (x / 5) + x % 5), static_cast<uint8_t>(y), 9});
    }
  }
  ImageList list(5, 3, count, 4);
  list.AddMasked(*strip, kMaskColour);
  return list;
}

TEST(ImageListStream, WrittenAndReadBackImageByImage) {
  for (int32_t count : {1, 4, 5, 9}) {
    SCOPED_TRACE(count);
    const ImageList written = Strip(count);
    std::vector<uint8_t> stream = written.Write();
    const size_t length = stream.size();
    stream.push_back(0x42);  // what follows the list in its storage
    size_t used = 0;
    const std::optional<ImageList> read = ImageList::Read(stream, &used);
    ASSERT_TRUE(read);
    EXPECT_EQ(used, length);
    ASSERT_EQ(read->Count(), count);
    EXPECT_EQ(read->ImageWidth(), 5);
    EXPECT_EQ(read->ImageHeight(), 3);
    for (int32_t i = 0; i < count; ++i) {
      for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
          EXPECT_EQ(read->GetIcon(i)->At(x, y), written.GetIcon(i)->At(x, y)) << i << ": " << x << "," << y;
        }
      }
    }
  }
}

TEST(ImageListStream, DrawingLeavesTransparentPixelsAndBlendsPartlyTransparentOnes) {
  const ImageList list = Strip(3);
  const std::shared_ptr<gdi::Bitmap> target = gdi::CreateDibSection(8, 8, 32);
  target->Fill(gdi::kWhite);
  EXPECT_FALSE(list.Draw(3, *target, 0, 0));
  EXPECT_FALSE(list.Draw(-1, *target, 0, 0));
  ASSERT_TRUE(list.Draw(2, *target, 4, 6));  // partly outside: clipped
  EXPECT_EQ(target->GetPixel(4, 6), gdi::kWhite) << "the masked corner";
  EXPECT_EQ(target->GetPixel(5, 6), (gdi::Rgb{21, 0, 9}));
  EXPECT_EQ(target->GetPixel(7, 7), (gdi::Rgb{23, 1, 9}));
  EXPECT_EQ(target->GetPixel(3, 6), gdi::kWhite);

  // A 32-bit list with alpha: half transparent over white.
  std::vector<uint8_t> stream = list.Write();
  // Rewrite the head's flags to 32-bit colour and the image bitmap to 32 bits with alpha 128.
  const std::optional<ImageList> read = ImageList::Read(stream);
  ASSERT_TRUE(read);
  ImageList half(1, 1, 1, 1);
  gdi::BitmapInfo info;
  info.width = 1;
  info.height = 1;
  info.bitsPerPixel = 24;
  std::shared_ptr<gdi::Bitmap> one = gdi::Bitmap::Create(info);
  one->SetPixel(0, 0, gdi::Rgb{0, 0, 0});
  half.AddMasked(*one, gdi::kWhite);
  std::vector<uint8_t> halfStream = half.Write();
  // Head 28, then the image file: 54 bytes of headers and one row of 12 bytes (4 pixels of a row).
  std::vector<uint8_t> alphaStream(halfStream.begin(), halfStream.begin() + 28);
  alphaStream[18] = 0x20;  // ILC_COLOR32, no mask
  std::vector<uint8_t> file(54 + 16, 0);
  file[0] = 'B';
  file[1] = 'M';
  Put<uint32_t>(file, 10, 54);
  Put<uint32_t>(file, 14, 40);
  Put<int32_t>(file, 18, 4);
  Put<int32_t>(file, 22, 1);
  Put<uint16_t>(file, 26, 1);
  Put<uint16_t>(file, 28, 32);
  file[54 + 3] = 128;  // the first pixel: black, alpha 128
  alphaStream.insert(alphaStream.end(), file.begin(), file.end());
  const std::optional<ImageList> blended = ImageList::Read(alphaStream);
  ASSERT_TRUE(blended);
  target->Fill(gdi::kWhite);
  ASSERT_TRUE(blended->Draw(0, *target, 0, 0));
  EXPECT_EQ(target->GetPixel(0, 0), (gdi::Rgb{127, 127, 127}));
}

TEST(ImageListStream, BrokenStreamsAreRefused) {
  const std::vector<uint8_t> good = Strip(5).Write();
  ASSERT_TRUE(ImageList::Read(good));
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> spoil;
  } cases[] = {
      {"empty", [](std::vector<uint8_t>& b) { b.clear(); }},
      {"short head", [](std::vector<uint8_t>& b) { b.resize(27); }},
      {"no magic", [](std::vector<uint8_t>& b) { b[0] = 'X'; }},
      {"another version", [](std::vector<uint8_t>& b) { Put<uint16_t>(b, 2, 0x600); }},
      {"no width", [](std::vector<uint8_t>& b) { Put<uint16_t>(b, 10, 0); }},
      {"no height", [](std::vector<uint8_t>& b) { Put<uint16_t>(b, 12, 0); }},
      {"images wider than an icon", [](std::vector<uint8_t>& b) { Put<uint16_t>(b, 10, 257); }},
      {"too many images", [](std::vector<uint8_t>& b) { Put<uint16_t>(b, 4, kMaxImageListImages + 1); }},
      {"more images than the bitmap holds", [](std::vector<uint8_t>& b) { Put<uint16_t>(b, 4, 9); }},
      {"images taller than the bitmap's rows", [](std::vector<uint8_t>& b) { Put<uint16_t>(b, 12, 4); }},
      {"no image bitmap", [](std::vector<uint8_t>& b) { b.resize(28); }},
      {"the mask cut short", [](std::vector<uint8_t>& b) { b.resize(b.size() - 1); }},
      {"image rows past the end", [](std::vector<uint8_t>& b) { Put<int32_t>(b, 28 + 22, 3000); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.spoil(bytes);
    EXPECT_FALSE(ImageList::Read(bytes)) << c.name;
  }
  // Without the mask flag the mask is not read: a list cut after its images still reads.
  std::vector<uint8_t> noMask = good;
  Put<uint16_t>(noMask, 18, 0x18);
  BitmapFileFacts facts;
  ASSERT_TRUE(ReadBitmapFile(std::span<const uint8_t>(noMask).subspan(28), &facts));
  noMask.resize(28 + facts.size);
  const std::optional<ImageList> opaque = ImageList::Read(noMask);
  ASSERT_TRUE(opaque);
  EXPECT_EQ(opaque->GetIcon(0)->At(0, 0).a, 255) << "no mask: every pixel opaque";
}

}  // namespace
}  // namespace rzd
