// A handler for SIGUSR1 that counts the signals and does not restart interrupted system calls, in
// place while the counter lives: for tests of waits that a signal interrupts.
#pragma once

#include <atomic>

#include <signal.h>

namespace rzd::test {

class SignalCounter {
 public:
  SignalCounter() {
    Count().store(0);
    struct sigaction action{};
    action.sa_handler = [](int) { Count().fetch_add(1); };
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART
    installed_ = sigaction(SIGUSR1, &action, &previous_) == 0;
  }
  ~SignalCounter() {
    if (installed_) sigaction(SIGUSR1, &previous_, nullptr);
  }
  SignalCounter(const SignalCounter&) = delete;
  SignalCounter& operator=(const SignalCounter&) = delete;

  bool Installed() const { return installed_; }
  int Signals() const { return Count().load(); }

 private:
  static std::atomic<int>& Count() {
    static std::atomic<int> count{0};
    return count;
  }

  struct sigaction previous_{};
  bool installed_ = false;
};

}  // namespace rzd::test
