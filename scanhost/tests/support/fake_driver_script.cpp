#include "fake_driver_script.h"
#include "testsupport/eventually.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace rzd::scanhost::test {

namespace {

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

void AddRule(const std::string& line) {
  std::filesystem::create_directories(FakeDriverFolder());
  std::ofstream out(FakeDriverScript(), std::ios::app);
  out << line << '\n';
}

}  // namespace

void FakeFail(uint32_t code, uint32_t result, std::optional<uint32_t> count) {
  AddRule("fail " + Hex(code) + " " + Hex(result) + (count ? " " + std::to_string(*count) : ""));
}

void FakeBlock(uint32_t code, const std::filesystem::path& release) {
  AddRule("block " + Hex(code) + " " + release.string());
}

void FakeRead(uint32_t result, uint32_t boundary, std::optional<uint32_t> count) {
  AddRule("read " + Hex(result) + " " + std::to_string(boundary) + (count ? " " + std::to_string(*count) : ""));
}

std::vector<FakeCall> FakeCallsWithArguments(uint32_t code) {
  std::vector<FakeCall> calls;
  for (const std::string& line : FakeCalls(code)) {
    FakeCall call;
    call.code = code;
    std::istringstream words(line);
    std::string verb, codeText, value, slot;
    words >> verb >> call.handle >> codeText >> value >> slot;
    const auto field = [&line](const std::string& name) {
      const size_t at = line.find(" " + name + "=");
      if (at == std::string::npos) return std::string("-");
      const size_t from = at + name.size() + 2;
      return line.substr(from, name == "text" ? std::string::npos : line.find(' ', from) - from);
    };
    const auto number = [](const std::string& text) -> std::optional<uint32_t> {
      if (text == "-") return std::nullopt;
      return static_cast<uint32_t>(std::stoul(text));
    };
    call.inSize = number(field("in"));
    call.bytes = field("bytes");
    call.outSize = number(field("out"));
    call.bstrSlot = field("bstr") == "1";
    if (const std::string text = field("text"); text != "-") call.text = text;
    calls.push_back(std::move(call));
  }
  return calls;
}

std::vector<std::string> FakeJournal() {
  std::vector<std::string> lines;
  std::ifstream in(FakeDriverJournal());
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> FakeCalls(uint32_t code) {
  std::vector<std::string> calls;
  for (const std::string& line : FakeJournal()) {
    std::istringstream words(line);
    std::string verb, handle, codeText;
    words >> verb >> handle >> codeText;
    if (verb == "Control" && codeText == Hex(code)) calls.push_back(line);
  }
  return calls;
}

bool WaitForFakeCalls(uint32_t code, size_t count) {
  return rzd::test::Eventually([&] { return FakeCalls(code).size() >= count; });
}

std::vector<std::string> FakeCallSequence() {
  std::vector<std::string> calls;
  for (const std::string& line : FakeJournal()) {
    std::istringstream words(line);
    std::string verb, handle, code, value;
    words >> verb >> handle >> code >> value;
    if (verb == "Control") calls.push_back(code + " " + value);
  }
  return calls;
}

std::vector<std::string> FakeCallSequenceWithoutPolls() {
  const std::set<std::string> polls = {"0x90000001 -", "0xA000001B -", "0x80000002 -", "0xA000000B -"};
  std::vector<std::string> calls = FakeCallSequence();
  std::erase_if(calls, [&](const std::string& call) { return polls.count(call) != 0; });
  return calls;
}

std::vector<std::string> NineLcdUploads() { return std::vector<std::string>(9, "0x90000023 -"); }

}  // namespace rzd::scanhost::test
