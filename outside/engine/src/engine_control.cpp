// The unit's control lines: paper, faults, buttons and other conditions a test or a user causes.
#include "engine.h"
#include "wire.h"

#include <charconv>
#include <sstream>

namespace rzd::engine {

namespace {

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

// "key=value" words.
bool Option(const std::string& word, const char* key, std::string& value) {
  const std::string prefix = std::string(key) + "=";
  if (word.rfind(prefix, 0) != 0) return false;
  value = word.substr(prefix.size());
  return true;
}

std::string Error(const std::string& text) { return "error " + text; }

}  // namespace

std::string Engine::Help() {
  return "Control commands of the simulated unit (one per line; replies start with ok or error):\n"
         "  load <n> [duplex|simplex] [lines=<l>] [width=<w>] [kind=a|b]  put n sheets on the\n"
         "                                  feeder stack; duplex sheets are printed on both sides,\n"
         "                                  simplex ones have a white back; lines=<l> makes each\n"
         "                                  sheet l lines long (default: as long as the window);\n"
         "                                  width=<w> makes it w pixels wide, which a cropping\n"
         "                                  window finds; kind=a|b the media kind the feeder reports\n"
         "                                  for it; sheets are numbered on from 1\n"
         "  empty                           take every sheet off the feeder\n"
         "  cover open|close                open or close the feeder cover\n"
         "  jam <sheet> [front|back] [line=<l>]        the sheet jams at that line (default: half\n"
         "                                  way down the first side read)\n"
         "  multifeed <sheet> [front|back] [line=<l>]  a double feed is detected there\n"
         "  staple <sheet> [front|back] [line=<l>]     a staple is detected there\n"
         "  misfeed <sheet>                 the pick of that sheet fails once\n"
         "  blank <sheet> front|back        that side is white and its end reports a blank side\n"
         "  faults [clear]                  list or drop the faults not yet hit\n"
         "  lamp warming [<reads>]|ready|on|off|fault  the lamp warms up (until ready, or for the\n"
         "                                  next <reads> status reads), is ready, on or off, or\n"
         "                                  cannot light (its status reads 3 until ready)\n"
         "  press <n>[,<n>...] [short|long] [function=<f>]  press buttons: one device-event report\n"
         "  event <hex> [<hex>...]          one raw device-event report of these 1 to 16 bytes\n"
         "                                  (fewer than 16 make a short report)\n"
         "  function <f>                    the function number shown and reported (byte 6)\n"
         "  dfd ignore|retry|stop|none      the double-feed decision button pressed (1, 2, 3, 0)\n"
         "  duplexmode 0|3|5|6|7            duplex transfer: 0 and 7 the sides alternate per read;\n"
         "                                  3 raster sides in one stream of 16-line blocks (JPEG as\n"
         "                                  0); 5 front side then back side; 6 the sides alternate\n"
         "                                  at restart points (every 64 lines; also in simplex)\n"
         "  jpegheaders engine|host         who writes the JPEG headers (the unit's inquiry says it;\n"
         "                                  the host reads that when it opens the unit)\n"
         "  reset                           a power-on reset: reservations go, a sheet in the paper\n"
         "                                  path leaves it (the transport sends it on unplug)\n"
         "  calib steps <n>|fail <k>|ok     calibration step count (0 or more); step k fails once\n"
         "  ink <whole> <tenth>             the imprinter's ink level\n"
         "  lock on|off                     the scanner lock closes (test unit ready and the sense\n"
         "                                  report it) or opens\n"
         "  counters [<name>=<n>...]        set NVRAM counters (pad, adfsimplex, adfduplex, flatbed,\n"
         "                                  roller, multifeed, jam, reverse, pickup, friction, clean)\n"
         "                                  and power times in minutes (sleep, off, erp; 0 to 65535);\n"
         "                                  the reply lists them all\n"
         "  refuse send|read <type> [once]  SEND or READ of that data type (hexadecimal) fails with a\n"
         "                                  hardware error, every time or once; refuse off ends it\n"
         "  abort release <control> [once]  RELEASE UNIT with that control byte (0, 1 or 2) does\n"
         "                                  its work and answers an aborted command (0x0B/0x00/0x00:\n"
         "                                  the scan was cancelled), every time or once; abort off\n"
         "                                  ends it\n"
         "  imprinter                       the imprinter blocks of the current line (data types\n"
         "                                  0x202 to 0x207), one hex line each: <type> <size>: <bytes>\n"
         "  state                           one line of the unit's state\n"
         "  stall [once]                    answer nothing (host transfers time out) until resume\n"
         "  halt [once]                     stall the pipes (pipe error) until a pipe reset\n"
         "  resume                          answer again\n"
         "  failedreads empty|padded        a failed read without data ends its data phase with\n"
         "                                  zero bytes, or with one byte (default)\n"
         "  unanswered                      how many requests the unit met while keeping quiet\n"
         "                                  (since the last stall or halt)\n"
         "  log [clear]                     every command and data block received, one hex line\n"
         "                                  each, or forget them\n"
         "  unplug                          handled by the transport (ignored by the unit)\n"
         "  help                            this text\n";
}

std::string Engine::Control(const std::string& line, std::vector<EventBytes>& events) {
  const std::vector<std::string> words = Split(line);
  if (words.empty()) return Error("empty command");
  const std::string& verb = words[0];
  if (verb == "help") return "ok\n" + Help();
  if (verb == "load") return ControlLoad(words);
  if (verb == "empty") {
    const size_t count = feeder_.size();
    feeder_.clear();
    return "ok removed " + std::to_string(count);
  }
  if (verb == "cover" && words.size() == 2 && (words[1] == "open" || words[1] == "close")) {
    coverOpen_ = words[1] == "open";
    return "ok cover " + words[1];
  }
  if (verb == "jam") return ControlFault(FaultKind::Jam, words);
  if (verb == "multifeed") return ControlFault(FaultKind::Multifeed, words);
  if (verb == "staple") return ControlFault(FaultKind::Staple, words);
  if (verb == "misfeed") return ControlFault(FaultKind::Misfeed, words);
  if (verb == "blank") {
    uint32_t sheet = 0;
    if (words.size() != 3 || !ParseNumber(words[1], sheet) ||
        (words[2] != "front" && words[2] != "back"))
      return Error("usage: blank <sheet> front|back");
    blankSides_.insert({sheet, words[2] == "back" ? 1 : 0});
    return "ok";
  }
  if (verb == "faults") {
    if (words.size() == 2 && words[1] == "clear") {
      faults_.clear();
      blankSides_.clear();
      return "ok";
    }
    std::string reply = "ok";
    static const char* kNames[] = {"jam", "multifeed", "staple", "misfeed"};
    for (const Fault& f : faults_)
      reply += " " + std::string(kNames[static_cast<int>(f.kind)]) + ":" + std::to_string(f.sheet);
    return reply;
  }
  if (verb == "lamp" && words.size() >= 2) {
    const std::string& how = words[1];
    if (how == "ready") {
      lampWarmingReads_ = 0;
      lampWarmingUntilReady_ = false;
      lampFault_ = false;
    } else if (how == "fault") {
      lampFault_ = true;
    } else if (how == "warming") {
      uint32_t reads = 0;
      if (words.size() == 3 && !ParseNumber(words[2], reads)) return Error("bad read count");
      lampWarmingUntilReady_ = words.size() < 3;
      lampWarmingReads_ = reads;
    } else if (how == "on" || how == "off") {
      lampOn_ = how == "on";
    } else {
      return Error("usage: lamp warming [<reads>]|ready|on|off|fault");
    }
    return "ok lamp " + how;
  }
  if (verb == "press") return ControlPress(words, events);
  if (verb == "event") return ControlEvent(words, events);
  if (verb == "function") {
    uint32_t f = 0;
    if (words.size() != 2 || !ParseNumber(words[1], f) || f > 255) return Error("usage: function <f>");
    functionNumber_ = static_cast<uint8_t>(f);
    return "ok";
  }
  if (verb == "dfd" && words.size() == 2) {
    static const std::pair<const char*, uint8_t> kChoices[] = {
        {"none", 0}, {"ignore", 1}, {"retry", 2}, {"stop", 3},
        {"0", 0},    {"1", 1},      {"2", 2},     {"3", 3}};
    for (const auto& [name, code] : kChoices) {
      if (words[1] == name) {
        dfdChoice_ = code;
        return "ok dfd " + std::to_string(code);
      }
    }
    return Error("usage: dfd ignore|retry|stop|none");
  }
  if (std::optional<std::string> reply = ControlScan(words)) return *reply;
  if (verb == "calib" && words.size() >= 2) {
    uint32_t n = 0;
    if (words[1] == "ok" && words.size() == 2) {
      calibrationFailAt_ = 0;
      return "ok";
    }
    if (words.size() == 3 && ParseNumber(words[2], n)) {
      if (words[1] == "steps" && n <= 0xFFFF) {
        calibrationSteps_ = n;
        return "ok";
      }
      if (words[1] == "fail" && n >= 1) {
        calibrationFailAt_ = n;
        return "ok";
      }
    }
    return Error("usage: calib steps <n>|fail <k>|ok");
  }
  if (verb == "ink") {
    uint32_t whole = 0, tenth = 0;
    if (words.size() != 3 || !ParseNumber(words[1], whole) || !ParseNumber(words[2], tenth) ||
        whole > 255 || tenth > 255)
      return Error("usage: ink <whole> <tenth>");
    imprinter_.inkWhole = static_cast<uint8_t>(whole);
    imprinter_.inkTenth = static_cast<uint8_t>(tenth);
    return "ok";
  }
  if (verb == "lock" || verb == "counters" || verb == "refuse" || verb == "abort") return ControlMaintenance(words);
  if (verb == "imprinter" && words.size() == 1) {
    std::string reply = "ok " + std::to_string(imprinter_.blocks.size());
    for (const auto& [type, bytes] : imprinter_.blocks) {
      char head[32];
      std::snprintf(head, sizeof head, "\n%03X %zu:", type, bytes.size());
      reply += head;
      for (uint8_t b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        reply += hex;
      }
    }
    return reply;
  }
  if (verb == "state") return ControlState();
  return Error("unknown command: " + verb);
}

std::string Engine::ControlLoad(const std::vector<std::string>& words) {
  uint32_t count = 0;
  if (words.size() < 2 || !ParseNumber(words[1], count) || count == 0 || count > 100000)
    return Error("usage: load <n> [duplex|simplex] [lines=<l>]");
  Sheet sheet;
  for (size_t i = 2; i < words.size(); ++i) {
    std::string value;
    if (words[i] == "duplex") sheet.twoSided = true;
    else if (words[i] == "simplex") sheet.twoSided = false;
    else if (Option(words[i], "lines", value) && ParseNumber(value, sheet.lines) && sheet.lines > 0) {}
    else if (Option(words[i], "width", value) && ParseNumber(value, sheet.width) && sheet.width > 0) {}
    else if (Option(words[i], "kind", value) && (value == "a" || value == "b")) sheet.kind = value == "a" ? 0x20 : 0x10;
    else return Error("bad word: " + words[i]);
  }
  const uint32_t first = nextSheet_;
  for (uint32_t i = 0; i < count; ++i) {
    sheet.number = nextSheet_++;
    feeder_.push_back(sheet);
  }
  return "ok sheets " + std::to_string(first) + "-" + std::to_string(nextSheet_ - 1) + " feeder " +
         std::to_string(feeder_.size());
}

std::string Engine::ControlFault(FaultKind kind, const std::vector<std::string>& words) {
  Fault f;
  f.kind = kind;
  if (words.size() < 2 || !ParseNumber(words[1], f.sheet) || f.sheet == 0)
    return Error("usage: " + words[0] + " <sheet> [front|back] [line=<l>]");
  for (size_t i = 2; i < words.size(); ++i) {
    std::string value;
    if (kind != FaultKind::Misfeed && words[i] == "front") f.side = 0;
    else if (kind != FaultKind::Misfeed && words[i] == "back") f.side = 1;
    else if (kind != FaultKind::Misfeed && Option(words[i], "line", value) && ParseNumber(value, f.line) && f.line >= 0) {}
    else return Error("bad word: " + words[i]);
  }
  faults_.push_back(f);
  return "ok";
}

std::string Engine::ControlPress(const std::vector<std::string>& words,
                                 std::vector<EventBytes>& events) {
  if (words.size() < 2) return Error("usage: press <n>[,<n>...] [short|long] [function=<f>]");
  std::vector<uint8_t> buttons;
  std::istringstream list(words[1]);
  std::string item;
  while (std::getline(list, item, ',')) {
    uint32_t n = 0;
    if (!ParseNumber(item, n) || n > 15) return Error("bad button number: " + item);
    buttons.push_back(static_cast<uint8_t>(n));
  }
  if (buttons.empty() || buttons.size() > 5) return Error("one to five buttons");
  bool isLong = false;
  for (size_t i = 2; i < words.size(); ++i) {
    std::string value;
    uint32_t f = 0;
    if (words[i] == "long") isLong = true;
    else if (words[i] == "short") isLong = false;
    else if (Option(words[i], "function", value) && ParseNumber(value, f) && f <= 255)
      functionNumber_ = static_cast<uint8_t>(f);
    else return Error("bad word: " + words[i]);
  }
  EventReport report{};
  report[0] = static_cast<uint8_t>(0x80 | (isLong ? 0x40 : 0) | buttons.size());
  for (size_t i = 0; i < buttons.size(); ++i) report[1 + i] = buttons[i];
  report[6] = functionNumber_;
  lastButtons_ = report;
  events.emplace_back(report.begin(), report.end());
  return "ok";
}

std::string Engine::ControlEvent(const std::vector<std::string>& words, std::vector<EventBytes>& events) {
  if (words.size() < 2 || words.size() > 1 + UnitPort::kEventReportSize)
    return Error("usage: event <byte> [<byte>...] (1 to 16 hex bytes)");
  EventBytes report;
  for (size_t i = 1; i < words.size(); ++i) {
    uint32_t value = 0;
    const char* end = words[i].data() + words[i].size();
    auto [ptr, ec] = std::from_chars(words[i].data(), end, value, 16);
    if (ec != std::errc() || ptr != end || value > 0xFF) return Error("bad byte: " + words[i]);
    report.push_back(static_cast<uint8_t>(value));
  }
  events.push_back(std::move(report));
  return "ok";
}

std::string Engine::ControlState() const {
  std::ostringstream out;
  out << "ok feeder=" << feeder_.size();
  if (page_) {
    out << " page=" << page_->sheet.number << (page_->Complete() ? "(done)" : "");
  } else {
    out << " page=none";
  }
  out << " reserved=" << (batchReserved_ ? "batch" : "-") << "," << (pageReserved_ ? "page" : "-")
      << " cover=" << (coverOpen_ ? "open" : "closed") << " revision=" << revision_
      << " duplexmode=" << static_cast<int>(transferMode_)
      << " jpegheaders=" << (engineJpegHeaders_ ? "engine" : "host");
  if (pendingSense_) {
    char text[32];
    std::snprintf(text, sizeof text, " sense=%X/%02X/%02X", pendingSense_->key, pendingSense_->asc,
                  pendingSense_->ascq);
    out << text;
  }
  if (window_) {
    out << " window=" << window_->pixelsPerLine << "x" << window_->lineCount << "@"
        << window_->xResolution << (window_->jpeg ? "/jpeg" : "");
  }
  return out.str();
}

}  // namespace rzd::engine
