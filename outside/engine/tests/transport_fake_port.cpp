#include "transport_fake_port.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>

namespace rzd::engine::fake {

std::string ToHex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char digits[3];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    text += digits;
  }
  return text;
}

std::optional<std::vector<uint8_t>> FromHex(const std::string& text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned value = 0;
    if (std::sscanf(text.substr(i, 2).c_str(), "%2x", &value) != 1) return std::nullopt;
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

PortStatus FakeUnit::Refusal() const {
  if (stalled_) return PortStatus::Stall;
  if (mute_) return PortStatus::NoAnswer;
  return PortStatus::Ok;
}

PortStatus FakeUnit::VendorOut(const VendorRequest& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (PortStatus refusal = Refusal(); refusal != PortStatus::Ok) return refusal;
  char head[64];
  std::snprintf(head, sizeof head, "%02x %02x %04x %04x ", request.requestType, request.request, request.value,
                request.index);
  lastVendor_ = head + ToHex(request.data);
  readQueue_.insert(readQueue_.end(), request.data.begin(), request.data.end());
  return PortStatus::Ok;
}

PortStatus FakeUnit::BulkOut(const uint8_t* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (PortStatus refusal = Refusal(); refusal != PortStatus::Ok) return refusal;
  readQueue_.insert(readQueue_.end(), data, data + size);
  return PortStatus::Ok;
}

PortStatus FakeUnit::BulkIn(size_t maxSize, std::vector<uint8_t>& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++reads_;
  if (PortStatus refusal = Refusal(); refusal != PortStatus::Ok) return refusal;
  if (readQueue_.empty()) return PortStatus::NoAnswer;
  size_t n = std::min(maxSize, readQueue_.size());
  out.assign(readQueue_.begin(), readQueue_.begin() + static_cast<std::ptrdiff_t>(n));
  readQueue_.erase(readQueue_.begin(), readQueue_.begin() + static_cast<std::ptrdiff_t>(n));
  return PortStatus::Ok;
}

void FakeUnit::ResetPipe(int pipeType) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pipeType == 1) readQueue_.clear();
  stalled_ = false;
}

void FakeUnit::SetEventListener(EventListener listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  listener_ = std::move(listener);
}

std::string FakeUnit::Control(const std::string& line) {
  std::istringstream words(line);
  std::string command;
  std::string argument;
  words >> command >> argument;
  EventListener listener;
  std::vector<uint8_t> report;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (command == "queue") {
      std::optional<std::vector<uint8_t>> bytes = FromHex(argument);
      if (!bytes) return "error bad hex";
      readQueue_.insert(readQueue_.end(), bytes->begin(), bytes->end());
      return "ok";
    }
    if ((command == "stall" || command == "mute") && (argument == "on" || argument == "off")) {
      (command == "stall" ? stalled_ : mute_) = argument == "on";
      return "ok";
    }
    if (command == "last-vendor") return "ok " + lastVendor_;
    if (command == "queued") return "ok " + std::to_string(readQueue_.size());
    if (command == "reads") return "ok " + std::to_string(reads_);
    if (command != "event") return "error unknown command \"" + command + "\"";
    std::optional<std::vector<uint8_t>> bytes = FromHex(argument);
    if (!bytes || bytes->size() > kEventReportSize) return "error bad report";
    report = *bytes;
    report.resize(kEventReportSize, 0);  // the fake's reports are always whole
    listener = listener_;
  }
  // The listener is called without the unit's lock, as a unit calls it from its own threads.
  if (listener) listener(report);
  return "ok";
}

std::string FakeUnit::ControlHelp() const {
  return "queue HEX       put bytes on the read pipe\n"
         "stall on|off    both pipes stall (a pipe reset ends it)\n"
         "mute on|off     the unit answers no transfer\n"
         "event HEX       raise a device event with these report bytes\n"
         "last-vendor     show the last vendor request\n"
         "queued          count the bytes waiting on the read pipe\n"
         "reads           count the bulk reads the unit was asked for\n";
}

}  // namespace rzd::engine::fake
