// Control lines for the maintenance conditions of the unit: the scanner lock, the NVRAM
// counters and power times, commands made to fail, and releases answered as aborted.
#include "engine.h"
#include "wire.h"

#include <charconv>
#include <cstdio>

namespace rzd::engine {

namespace {

// The NVRAM counters by control-line name, with their byte offsets (32-bit, big-endian).
struct CounterField {
  const char* name;
  size_t offset;
};
constexpr CounterField kCounters[] = {
    {"pad", 0},        {"adfsimplex", 4}, {"adfduplex", 8}, {"flatbed", 12},   {"roller", 73},    {"multifeed", 77},
    {"jam", 81},       {"reverse", 128},  {"pickup", 132},  {"friction", 154}, {"clean", 163},
};
// The power times (16-bit minutes).
struct TimeField {
  const char* name;
  size_t offset;
};
constexpr TimeField kTimes[] = {{"sleep", 70}, {"off", 122}, {"erp", 148}};

template <typename T>
bool ParseNumber(const std::string& text, T& value, int base = 10) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  return ec == std::errc() && ptr == end && !text.empty();
}

std::string Error(const std::string& text) { return "error " + text; }

}  // namespace

std::string Engine::ControlMaintenance(const std::vector<std::string>& words) {
  const std::string& verb = words[0];
  if (verb == "lock") {
    if (words.size() != 2 || (words[1] != "on" && words[1] != "off")) return Error("usage: lock on|off");
    locked_ = words[1] == "on";
    return "ok lock " + words[1];
  }
  if (verb == "counters") {
    for (size_t i = 1; i < words.size(); ++i) {
      const size_t equals = words[i].find('=');
      const std::string name = equals == std::string::npos ? std::string() : words[i].substr(0, equals);
      const CounterField* counter = nullptr;
      for (const CounterField& c : kCounters) {
        if (name == c.name) counter = &c;
      }
      const TimeField* time = nullptr;
      for (const TimeField& t : kTimes) {
        if (name == t.name) time = &t;
      }
      if (counter != nullptr) {
        uint32_t value = 0;
        if (!ParseNumber(words[i].substr(equals + 1), value)) return Error("bad counter: " + words[i]);
        wire::Put32(&nvram_[counter->offset], value);
      } else if (time != nullptr) {
        uint16_t value = 0;
        if (!ParseNumber(words[i].substr(equals + 1), value)) return Error("bad counter: " + words[i]);
        wire::Put16(&nvram_[time->offset], value);
      } else {
        return Error("bad counter: " + words[i]);
      }
    }
    std::string reply = "ok";
    for (const CounterField& c : kCounters) reply += " " + std::string(c.name) + "=" + std::to_string(Nvram32(c.offset));
    for (const TimeField& t : kTimes) reply += " " + std::string(t.name) + "=" + std::to_string(wire::Get16(&nvram_[t.offset]));
    return reply;
  }
  if (verb == "refuse") {
    if (words.size() == 2 && words[1] == "off") {
      refusals_.clear();
      return "ok";
    }
    Refusal r;
    uint32_t type = 0;
    if (words.size() < 3 || words.size() > 4 || (words[1] != "send" && words[1] != "read") ||
        !ParseNumber(words[2], type, 16) || type > 0xFFFF || (words.size() == 4 && words[3] != "once"))
      return Error("usage: refuse send|read <type> [once] | refuse off");
    r.send = words[1] == "send";
    r.dataType = static_cast<uint16_t>(type);
    r.once = words.size() == 4;
    refusals_.push_back(r);
    return "ok";
  }
  if (verb == "abort") {
    if (words.size() == 2 && words[1] == "off") {
      abortedReleases_.clear();
      return "ok";
    }
    uint32_t control = 0;
    if (words.size() < 3 || words.size() > 4 || words[1] != "release" || !ParseNumber(words[2], control) ||
        control > 2 || (words.size() == 4 && words[3] != "once"))
      return Error("usage: abort release <0|1|2> [once] | abort off");
    abortedReleases_.push_back({static_cast<uint8_t>(control), words.size() == 4});
    return "ok";
  }
  return Error("unknown command: " + verb);
}

std::optional<CommandResult> Engine::TakeRefusal(bool send, uint16_t dataType) {
  for (auto it = refusals_.begin(); it != refusals_.end(); ++it) {
    if (it->send != send || it->dataType != dataType) continue;
    if (it->once) refusals_.erase(it);
    return Check(sense::WriteFailed());
  }
  return std::nullopt;
}

bool Engine::TakeAbortedRelease(uint8_t control) {
  for (auto it = abortedReleases_.begin(); it != abortedReleases_.end(); ++it) {
    if (it->control != control) continue;
    if (it->once) abortedReleases_.erase(it);
    return true;
  }
  return false;
}

}  // namespace rzd::engine
