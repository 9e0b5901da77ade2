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
