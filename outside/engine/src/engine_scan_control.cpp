// Control words of the scan modes: the duplex transfer mode, who writes the JPEG headers, and
// the reset the unit makes when it loses power.
#include "engine.h"
#include "lowdrv/engine/engine_caps.h"

namespace rzd::engine {

namespace caps = rzd::lowdrv::caps;

std::optional<std::string> Engine::ControlScan(const std::vector<std::string>& words) {
  const std::string& verb = words[0];
  if (verb == "duplexmode") {
    static const std::pair<const char*, uint8_t> kModes[] = {
        {"0", caps::kDuplexAlternateReads}, {"3", caps::kDuplexBlocks},         {"5", caps::kDuplexFrontThenBack},
        {"6", caps::kDuplexRestartPoints},  {"7", caps::kDuplexAlternateReads7}};
    if (words.size() == 2) {
      for (const auto& [name, mode] : kModes) {
        if (words[1] == name) {
          transferMode_ = mode;
          return "ok duplexmode " + words[1];
        }
      }
    }
    return "error usage: duplexmode 0|3|5|6|7";
  }
  if (verb == "jpegheaders") {
    if (words.size() != 2 || (words[1] != "engine" && words[1] != "host"))
      return "error usage: jpegheaders engine|host";
    engineJpegHeaders_ = words[1] == "engine";
    BuildInquiryAnswer();
    return "ok jpegheaders " + words[1];
  }
  if (verb == "reset" && words.size() == 1) {
    // A power-on reset: reservations and pending sense go, a sheet in the paper path leaves it.
    EjectPage();
    ResetUnit();
    return "ok reset";
  }
  return std::nullopt;
}

}  // namespace rzd::engine
