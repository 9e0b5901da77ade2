#include "platform/process.h"

#include "platform/text.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace rzd {

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }
uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

namespace {
// Ids above the pid_t range would address process groups in kill().
bool ValidPid(uint32_t pid) { return pid != 0 && pid <= 0x7FFFFFFFu; }

// The fields of /proc/<pid>/stat after the command name (which is in parentheses and may itself
// hold ')'), starting with the state; empty when there is no such process.
std::string StatFieldsAfterName(uint32_t pid) {
  std::string path = "/proc/" + std::to_string(pid) + "/stat";
  FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return {};
  char buffer[1024];
  size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
  std::fclose(f);
  buffer[n] = 0;
  const char* close = std::strrchr(buffer, ')');
  if (close == nullptr || close[1] != ' ') return {};
  return close + 2;
}

// A process that has ended but was not yet reaped by its parent.
bool IsZombie(uint32_t pid) {
  std::string fields = StatFieldsAfterName(pid);
  return !fields.empty() && fields[0] == 'Z';
}
}  // namespace

std::optional<uint64_t> ProcessStartTime(uint32_t pid) {
  if (!ValidPid(pid)) return std::nullopt;
  std::string fields = StatFieldsAfterName(pid);
  if (fields.empty() || fields[0] == 'Z' || fields[0] == 'X') return std::nullopt;
  // The start time is field 22 of the line; the state is field 3.
  size_t at = 0;
  for (int field = 3; field < 22; ++field) {
    at = fields.find(' ', at);
    if (at == std::string::npos) return std::nullopt;
    ++at;
  }
  return std::strtoull(fields.c_str() + at, nullptr, 10);
}

bool IsProcessAlive(uint32_t pid) {
  if (!ValidPid(pid)) return false;
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
  return !IsZombie(pid);  // EPERM: it exists, but we may not signal it
}

bool ProcessWithExecutableNameRuns(std::u16string_view fileName) {
  if (fileName.empty()) return false;
  const std::u16string wanted = ToUpper(fileName);
  std::error_code ec;
  for (std::filesystem::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string pid = it->path().filename().string();
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    // The executable's file name; for a process whose link we may not read, its command name.
    std::error_code linkError;
    std::string name = std::filesystem::read_symlink(it->path() / "exe", linkError).filename().string();
    if (linkError) {
      FILE* f = std::fopen((it->path() / "comm").c_str(), "r");
      if (f == nullptr) continue;
      char buffer[64] = {};
      const size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
      std::fclose(f);
      name.assign(buffer, n);
      if (!name.empty() && name.back() == '\n') name.pop_back();
    }
    if (ToUpper(FromUtf8(name)) == wanted && IsProcessAlive(static_cast<uint32_t>(std::stoul(pid)))) return true;
  }
  return false;
}

std::optional<std::string> GetEnv(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void SetEnv(const std::string& name, const std::string& value) { setenv(name.c_str(), value.c_str(), 1); }
void UnsetEnv(const std::string& name) { unsetenv(name.c_str()); }

namespace {
std::optional<pid_t> Spawn(const std::filesystem::path& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& extraEnv, bool detached,
                           ChildOutput output = ChildOutput::Inherited) {
  std::vector<std::string> argStore;
  argStore.push_back(program.string());
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
  for (const auto& extra : extraEnv) {
    auto eq = extra.find('=');
    std::string key = extra.substr(0, eq == std::string::npos ? extra.size() : eq + 1);
    std::erase_if(envStore, [&](const std::string& s) { return s.compare(0, key.size(), key) == 0; });
    envStore.push_back(extra);
  }
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // A detached child (a server or service) lives in a session of its own and shares none of the
  // starter's descriptors: its standard streams are /dev/null (it logs through its own log), and
  // every other descriptor is closed, so a pipe the starter writes to ends when the starter does.
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  int rc = 0;
  if (detached) {
    rc = posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    if (rc == 0) rc = posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    if (rc == 0) rc = posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    if (rc == 0) rc = posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&files, 3);
  } else if (output == ChildOutput::ToStandardError) {
    rc = posix_spawn_file_actions_adddup2(&files, 2, 1);
  }
  pid_t pid = 0;
  if (rc == 0) rc = posix_spawn(&pid, argStore[0].c_str(), &files, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return std::nullopt;
  return pid;
}
}  // namespace

std::optional<ChildProcess> ChildProcess::Start(const std::filesystem::path& program,
                                                const std::vector<std::string>& args,
                                                const std::vector<std::string>& extraEnv, ChildOutput output) {
  auto pid = Spawn(program, args, extraEnv, false, output);
  if (!pid) return std::nullopt;
  return ChildProcess(static_cast<uint32_t>(*pid));
}

std::optional<uint32_t> ChildProcess::StartDetached(const std::filesystem::path& program,
                                                    const std::vector<std::string>& args,
                                                    const std::vector<std::string>& extraEnv) {
  // Double fork through a short-lived intermediate is not needed: the child gets its own session
  // and is reaped by a thread of ours if it ends while we live.
  auto pid = Spawn(program, args, extraEnv, true);
  if (!pid) return std::nullopt;
  pid_t child = *pid;
  std::thread([child] { waitpid(child, nullptr, 0); }).detach();
  return static_cast<uint32_t>(child);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), reaped_(other.reaped_), exitCode_(other.exitCode_) {
  other.pid_ = 0;
  other.reaped_ = true;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    if (!reaped_ && pid_ != 0) Kill();
    pid_ = other.pid_;
    reaped_ = other.reaped_;
    exitCode_ = other.exitCode_;
    other.pid_ = 0;
    other.reaped_ = true;
  }
  return *this;
}

ChildProcess::~ChildProcess() {
  if (!reaped_ && pid_ != 0) Kill();
}

std::optional<int> ChildProcess::Wait(uint32_t timeoutMs) {
  if (reaped_) return exitCode_;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(static_cast<pid_t>(pid_), &status, WNOHANG);
    if (r == static_cast<pid_t>(pid_)) {
      reaped_ = true;
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
      return exitCode_;
    }
    if (r < 0 && errno != EINTR) {
      reaped_ = true;
      return exitCode_;
    }
    if (timeoutMs != 0xFFFFFFFFu && std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(20)) pause *= 2;
  }
}

void ChildProcess::Kill() {
  if (reaped_ || pid_ == 0) return;
  kill(static_cast<pid_t>(pid_), SIGKILL);
  int status = 0;
  while (waitpid(static_cast<pid_t>(pid_), &status, 0) < 0 && errno == EINTR) {
  }
  reaped_ = true;
  exitCode_ = -SIGKILL;
}

void ChildProcess::Terminate() {
  if (!reaped_ && pid_ != 0) kill(static_cast<pid_t>(pid_), SIGTERM);
}

bool KillProcess(uint32_t pid) { return ValidPid(pid) && kill(static_cast<pid_t>(pid), SIGKILL) == 0; }

std::vector<std::string> SplitCommandLine(std::u16string_view line) {
  std::vector<std::string> words;
  std::u16string word;
  bool inWord = false;
  bool quoted = false;
  for (char16_t c : line) {
    if (c == u'"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == u' ' || c == u'\t') && !quoted) {
      if (inWord) words.push_back(ToUtf8(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(ToUtf8(word));
  return words;
}

std::u16string ExpandEnvironmentStrings(std::u16string_view text) {
  std::u16string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t open = text.find(u'%', at);
    size_t close = open == std::u16string_view::npos ? open : text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) {
      out.append(text.substr(at));
      break;
    }
    out.append(text.substr(at, open - at));
    std::u16string_view name = text.substr(open + 1, close - open - 1);
    std::optional<std::string> value = name.empty() ? std::nullopt : GetEnv(ToUtf8(name));
    if (value) {
      out += FromUtf8(*value);
    } else {
      out.append(text.substr(open, close - open + 1));
    }
    at = close + 1;
  }
  return out;
}

}  // namespace rzd
