// Futex waits and wakes on a 32-bit word, private to the process or in shared memory.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

namespace rzd::kernel_detail {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "futex words are 32-bit");

// Sleeps while `*word == expected`, at most `timeout` (none: no limit). Returns on a wake, a
// change of the word, a signal or the time-out; callers re-check their condition.
void FutexWait(std::atomic<uint32_t>* word, uint32_t expected, bool shared,
               std::optional<std::chrono::nanoseconds> timeout);

// Wakes every thread (in any process, for a shared word) sleeping on `word`.
void FutexWakeAll(std::atomic<uint32_t>* word, bool shared);

}  // namespace rzd::kernel_detail
