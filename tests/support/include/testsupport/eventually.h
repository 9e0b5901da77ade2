// Waiting for something another thread or process does on its own time.
#pragma once

#include <chrono>
#include <thread>

namespace rzd::test {

// Checks `condition` every 10 ms until it holds or `limit` has passed; answers the last check.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

}  // namespace rzd::test
