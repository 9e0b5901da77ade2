// The LCD screens a person can look at: each uploaded screen that holds a bitmap file is written
// to the unit's LCD folder as a PNG named after its slot.
#include "engine.h"

#include "lowdrv/engine/send_records.h"
#include "platform/gdi.h"
#include "platform/picture.h"

#include <cstdio>
#include <string>
#include <system_error>

namespace rzd::engine {

void Engine::SaveLcdScreen(uint16_t slotValue, uint8_t screens, const std::vector<uint8_t>& data) const {
  const std::shared_ptr<gdi::Bitmap> screen = ReadBitmapFile(data);
  if (!screen || slotValue < lowdrv::kLCDSlotBase) return;
  const std::string name =
      "F" + std::to_string(slotValue - lowdrv::kLCDSlotBase) + "N" + std::to_string(screens) + ".png";
  std::error_code ec;
  std::filesystem::create_directories(options_.lcdDir, ec);
  // Written beside and renamed, so a reader never meets half a picture.
  const std::filesystem::path file = options_.lcdDir / name;
  const std::filesystem::path partial = options_.lcdDir / ("." + name + ".part");
  if (!gdi::WritePngFile(partial, *screen)) {
    std::fprintf(stderr, "rzd-engine: cannot write %s\n", file.c_str());
    return;
  }
  std::filesystem::rename(partial, file, ec);
  if (ec) std::fprintf(stderr, "rzd-engine: cannot write %s\n", file.c_str());
}

}  // namespace rzd::engine
