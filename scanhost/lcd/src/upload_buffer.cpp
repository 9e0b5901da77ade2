// The buffer a screen travels to the unit in.
#include "scanhost/lcd/lcd_screen.h"

#include <cstring>

namespace rzd::scanhost::lcd {

namespace {

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;

void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) { std::memcpy(bytes.data() + at, &value, 2); }
void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) { std::memcpy(bytes.data() + at, &value, 4); }

}  // namespace

std::vector<uint8_t> UploadBuffer(const gdi::Bitmap& screen) {
  const size_t width = static_cast<size_t>(screen.Width());
  const size_t height = static_cast<size_t>(screen.Height());
  const size_t pixels = width * height * 3;
  const size_t pixelsAt = kFileHeader + kInfoHeader;  // a 24-bit screen has no palette
  std::vector<uint8_t> buffer(pixelsAt + pixels + kUploadTrailerBytes, 0);
  buffer[0] = 'B';
  buffer[1] = 'M';
  Put32(buffer, 2, static_cast<uint32_t>(pixelsAt + pixels));
  Put32(buffer, 10, static_cast<uint32_t>(pixelsAt));
  Put32(buffer, 14, static_cast<uint32_t>(kInfoHeader));
  Put32(buffer, 18, static_cast<uint32_t>(width));
  Put32(buffer, 22, static_cast<uint32_t>(height));  // positive: rows bottom-up
  Put16(buffer, 26, 1);
  Put16(buffer, 28, 24);
  Put32(buffer, 30, 0);
  Put32(buffer, 34, static_cast<uint32_t>(pixels));
  // The rest as the screen's bitmap has it.
  Put32(buffer, 38, static_cast<uint32_t>(screen.Info().xPelsPerMeter));
  Put32(buffer, 42, static_cast<uint32_t>(screen.Info().yPelsPerMeter));
  // The screen read back as 32 bits per pixel; every fourth byte is dropped.
  const std::vector<uint8_t> bits = gdi::ReadBits32(screen);
  uint8_t* out = buffer.data() + pixelsAt;
  for (size_t i = 0; i + 4 <= bits.size(); i += 4, out += 3) std::memcpy(out, bits.data() + i, 3);
  return buffer;
}

}  // namespace rzd::scanhost::lcd
