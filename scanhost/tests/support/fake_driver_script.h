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
