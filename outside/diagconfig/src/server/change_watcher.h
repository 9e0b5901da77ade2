// A thread that waits for the configuration's change notifications and reports each one.
#pragma once

#include "diagconfig/config_store.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace cordiag {

class ChangeWatcher {
 public:
  // Starts listening; `onChange` runs on the watcher's thread for every notification. Null when
  // the listener's event cannot be made.
  static std::unique_ptr<ChangeWatcher> Start(std::function<void()> onChange);
  // Stops and joins the thread. Called on the watcher's own thread (the last reference of its
  // owner dropped by a handler), it lets the thread end by itself instead.
  ~ChangeWatcher();
  ChangeWatcher(const ChangeWatcher&) = delete;
  ChangeWatcher& operator=(const ChangeWatcher&) = delete;

 private:
  struct Shared {
    std::unique_ptr<ChangeListener> listener;
    rzd::Event stop = rzd::Event::Unnamed(true, false);
    std::function<void()> onChange;
    std::atomic<bool> stopping{false};
  };
  explicit ChangeWatcher(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
  static void Run(std::shared_ptr<Shared> shared);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace cordiag
