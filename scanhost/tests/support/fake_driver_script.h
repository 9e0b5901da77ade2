// The tests' side of the fake driver library: its script and its journal (fake_driver_files.h).
#pragma once

#include "fake_driver_files.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rzd::scanhost::test {

// Adds a rule: the next `count` calls of `code` (all without a count) fail with `result`.
void FakeFail(uint32_t code, uint32_t result, std::optional<uint32_t> count = std::nullopt);
// Adds a rule: calls of `code` wait until `release` exists.
void FakeBlock(uint32_t code, const std::filesystem::path& release);
// Adds a rule: the next `count` reads (all without a count) answer `result` with `boundary`.
void FakeRead(uint32_t result, uint32_t boundary, std::optional<uint32_t> count = std::nullopt);

// One Control call of the journal, its arguments as the fake saw them.
struct FakeCall {
  std::string handle;                 // "0" for none, else "h<n>"
  uint32_t code = 0;
  std::optional<uint32_t> inSize;     // no input buffer: nullopt
  std::string bytes;                  // the input in hex (up to 32 bytes), else "-"
  std::optional<uint32_t> outSize;    // no output buffer or size pointer: nullopt
  bool bstrSlot = false;              // a BSTR result slot was given
  std::optional<std::string> text;    // the string argument (line breaks as \n)
};
// The journal's calls of `code` with their arguments.
std::vector<FakeCall> FakeCallsWithArguments(uint32_t code);
// The journal's lines so far.
std::vector<std::string> FakeJournal();
// The journal's calls of `code` ("Control <handle> <code> ..." lines).
std::vector<std::string> FakeCalls(uint32_t code);
// Waits (up to 60 s) until the journal holds at least `count` calls of `code`.
bool WaitForFakeCalls(uint32_t code, size_t count);
// The driver call lines in order, as "<code> <value>" (e.g. "0x94000018 0x4004").
std::vector<std::string> FakeCallSequence();
// The same without what the service's own object does on its button thread's time: its polls
// (the lock with its 8-byte input, the Buttons poll, the unlock) and the supported-settings ask
// of the thread's start.
std::vector<std::string> FakeCallSequenceWithoutPolls();
// The nine LCD screens' uploads of one refresh (no user: the default screens), as the sequence
// shows them.
std::vector<std::string> NineLcdUploads();

}  // namespace rzd::scanhost::test
