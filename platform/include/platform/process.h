// Processes: identity, environment, start, wait, kill and liveness.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
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

// A process known by its id and start time, so that a later process given the same id is not
// taken for it.
struct ProcessIdentity {
  uint32_t processId = 0;
  uint64_t startTime = 0;  // 0: none ran with that id when it was taken

  // The process that runs with this id now.
  static ProcessIdentity Of(uint32_t pid) { return {pid, ProcessStartTime(pid).value_or(0)}; }
  // True while that very process runs.
  bool Runs() const { return startTime != 0 && ProcessStartTime(processId) == startTime; }
};

// True while some process runs whose executable's file name equals `fileName`, compared in upper
// case ("EXPLORER.EXE" finds explorer.exe).
bool ProcessWithExecutableNameRuns(std::u16string_view fileName);

// Environment variables of this process.
std::optional<std::string> GetEnv(const std::string& name);
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// Where a started child's standard output goes: where this process's goes, or to this process's
// standard error (a program whose own standard output carries a document, such as a benchmark's
// JSON, keeps its children's lines out of it).
enum class ChildOutput { Inherited, ToStandardError };

// A started child process. The destructor kills and reaps a child that still runs, so no test
// leaves one behind.
class ChildProcess {
 public:
  // Starts `program` with `args` (not including argv[0]). The child inherits the environment
  // plus `extraEnv` entries ("NAME=value"), and this process's standard streams (its standard
  // output as `output` says). Returns nullopt when the program cannot start.
  static std::optional<ChildProcess> Start(const std::filesystem::path& program,
                                           const std::vector<std::string>& args,
                                           const std::vector<std::string>& extraEnv = {},
                                           ChildOutput output = ChildOutput::Inherited);
  // Starts a child in a session of its own that outlives this object and this process (no kill
  // on destruction; a thread of this process reaps it if it ends first). Its standard streams are
  // /dev/null and it inherits no other descriptor of this process.
  static std::optional<uint32_t> StartDetached(const std::filesystem::path& program,
                                               const std::vector<std::string>& args,
                                               const std::vector<std::string>& extraEnv = {});

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

// Splits a command line as registered for a program (a service's ImagePath, a class's
// LocalServer32): words separated by blanks, a word may be quoted with double quotes (which are
// removed; blanks inside stay). Empty for a line without words.
std::vector<std::string> SplitCommandLine(std::u16string_view line);

// `text` with every %NAME% replaced by the environment variable's value (left as it stands when
// the variable is unset).
std::u16string ExpandEnvironmentStrings(std::u16string_view text);

}  // namespace rzd
