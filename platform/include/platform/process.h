// Processes: identity, environment, start, wait, kill and liveness.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rzd {

uint32_t CurrentProcessId();
uint32_t CurrentThreadId();

// True while a process with this id exists (one we may not signal counts as alive).
bool IsProcessAlive(uint32_t pid);

// When the running process with this id started (clock ticks since boot): it tells the process
// from a later one that is given the same id. nullopt when no such process runs (one that has
// ended but was not reaped yet included).
std::optional<uint64_t> ProcessStartTime(uint32_t pid);

// Environment variables of this process.
std::optional<std::string> GetEnv(const std::string& name);
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// A started child process. The destructor kills and reaps a child that still runs, so no test
// leaves one behind.
class ChildProcess {
 public:
  // Starts `program` with `args` (not including argv[0]). The child inherits the environment
  // plus `extraEnv` entries ("NAME=value"). Returns nullopt when the program cannot start.
  static std::optional<ChildProcess> Start(const std::filesystem::path& program,
                                           const std::vector<std::string>& args,
                                           const std::vector<std::string>& extraEnv = {});
  // Starts a child that outlives this object (no kill on destruction, not reaped here).
  static std::optional<uint32_t> StartDetached(const std::filesystem::path& program,
                                               const std::vector<std::string>& args);

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  uint32_t Pid() const { return pid_; }
  // Waits up to `timeoutMs` for the child to end; its exit code, or -signal when a signal
  // ended it; nullopt on time-out.
  std::optional<int> Wait(uint32_t timeoutMs);
  // Ends the child with SIGKILL and reaps it.
  void Kill();
  // Sends SIGTERM.
  void Terminate();

 private:
  explicit ChildProcess(uint32_t pid) : pid_(pid) {}
  uint32_t pid_ = 0;
  bool reaped_ = false;
  std::optional<int> exitCode_;
};

// Ends a process by id with SIGKILL; false when it does not exist or may not be signalled.
bool KillProcess(uint32_t pid);

}  // namespace rzd
