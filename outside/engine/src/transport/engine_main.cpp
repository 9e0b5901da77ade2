#include "engine/engine_main.h"

#include "engine/unit_server.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/root.h"
#include "platform/text.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <thread>

namespace rzd::engine {

namespace {

enum class Mode { Serve, Help, Control };

struct CommandLine {
  Mode mode = Mode::Serve;
  EngineOptions options;
  std::string controlLine;
  uint32_t parentPid = 0;  // --parent-pid: 0 for none
};

constexpr char kUsage[] = R"(Usage: rzd-engine [options]

Runs the simulated scanner unit. It adds its entry to the device table of the system root
($RZD_ROOT), which announces its arrival, serves its USB pipes on <root>/engine/unit-NNNN.usb
and takes control lines on <root>/engine/unit-NNNN.control, until SIGTERM or SIGINT; then it
removes its entry, which announces its removal.

Options:
  --serial TEXT         USB serial number of the unit (default QM48TZ000001): 1 to 24 of the
                        characters A-Z a-z 0-9 . _ -
  --instance N          device instance, the driver key number 0 to 9999 (default 0)
  --paper SHEETS        paper in the feeder when the unit starts, as the unit's "load"
                        control line takes it (for example 5, or "3 duplex")
  --friendly-name TEXT  friendly name of the device (default: the model's name)
  --lcd-dir DIR         also write each LCD screen uploaded as DIR/<slot>.png, for example
                        F4N33.png (the folder is made when missing)
  --parent-pid PID      stop (as on SIGTERM) when the process PID has ended, so a unit started
                        by a test program never outlives it, even when that program is killed
  --control LINE        send LINE to the running unit of --instance, print its reply and exit
                        (exit code 0 for an "ok" reply, 1 for an "error" reply, 3 when no
                        unit answers)
  --help                show this text and the control lines, and exit

Exit codes: 0 after a stop by SIGTERM or SIGINT, 1 when the unit cannot start, 2 for a bad
command line.

Control lines (rzd-engine --control "LINE"); replies begin with "ok" or "error".
)";

bool ValidSerial(const std::string& serial) {
  if (serial.empty() || serial.size() > 24) return false;
  for (char c : serial) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
              c == '-';
    if (!ok) return false;
  }
  return true;
}

std::optional<uint32_t> ParseInstance(std::string_view text) {
  uint32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > 9999) return std::nullopt;
  return value;
}

// nullopt with a message on stderr for a bad command line.
std::optional<CommandLine> Parse(int argc, char** argv) {
  CommandLine parsed;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool inlineValue = false;
    if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      inlineValue = true;
    }
    auto takeValue = [&]() -> bool {
      if (inlineValue) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      parsed.mode = Mode::Help;
      continue;
    }
    bool known = arg == "--serial" || arg == "--instance" || arg == "--paper" || arg == "--friendly-name" ||
                 arg == "--control" || arg == "--parent-pid" || arg == "--lcd-dir";
    if (!known) {
      std::fprintf(stderr, "rzd-engine: unknown argument \"%s\" (see --help)\n", argv[i]);
      return std::nullopt;
    }
    if (!takeValue()) {
      std::fprintf(stderr, "rzd-engine: %s needs a value\n", arg.c_str());
      return std::nullopt;
    }
    if (arg == "--serial") {
      if (!ValidSerial(value)) {
        std::fprintf(stderr, "rzd-engine: bad serial number \"%s\"\n", value.c_str());
        return std::nullopt;
      }
      parsed.options.serialNumber = value;
    } else if (arg == "--instance") {
      std::optional<uint32_t> instance = ParseInstance(value);
      if (!instance) {
        std::fprintf(stderr, "rzd-engine: bad instance \"%s\" (0 to 9999)\n", value.c_str());
        return std::nullopt;
      }
      parsed.options.instance = *instance;
    } else if (arg == "--paper") {
      parsed.options.paper = value;
    } else if (arg == "--friendly-name") {
      parsed.options.friendlyName = value;
    } else if (arg == "--lcd-dir") {
      if (value.empty()) {
        std::fprintf(stderr, "rzd-engine: --lcd-dir needs a folder\n");
        return std::nullopt;
      }
      parsed.options.lcdDir = value;
    } else if (arg == "--parent-pid") {
      uint32_t pid = 0;
      auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), pid);
      if (ec != std::errc() || end != value.data() + value.size() || pid == 0) {
        std::fprintf(stderr, "rzd-engine: bad process id \"%s\"\n", value.c_str());
        return std::nullopt;
      }
      parsed.parentPid = pid;
    } else {
      parsed.mode = parsed.mode == Mode::Help ? Mode::Help : Mode::Control;
      parsed.controlLine = value;
    }
  }
  return parsed;
}

int PrintHelp(const UnitFactory& makeUnit) {
  std::string error;
  std::unique_ptr<UnitPort> unit = makeUnit(EngineOptions{}, &error);
  std::string help = kUsage + TransportControlHelp();
  if (unit) help += unit->ControlHelp();
  if (!help.empty() && help.back() != '\n') help += '\n';
  std::fputs(help.c_str(), stdout);
  return 0;
}

int SendControl(const CommandLine& command) {
  std::optional<std::string> reply = SendControlLine(ControlSocketPath(command.options.instance), command.controlLine);
  if (!reply) {
    std::fprintf(stderr, "rzd-engine: no unit of instance %u answers in %s\n", command.options.instance,
                 SystemRoot().c_str());
    return 3;
  }
  std::printf("%s\n", reply->c_str());
  return reply->rfind("ok", 0) == 0 ? 0 : 1;
}

// Watches the process given by --parent-pid and sends this process SIGTERM when it has ended,
// which stops the unit as a stop signal does. The watch thread ends when the object goes.
class ParentWatch {
 public:
  // False when the process is already gone (or the watch cannot be set up).
  bool Start(uint32_t pid) {
    pid_ = static_cast<pid_t>(pid);
    if (pipe2(stopPipe_, O_CLOEXEC) != 0) return false;
    // A process descriptor is readable once the process has ended; kernels without one are
    // asked every 200 ms.
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    if (pidFd_ < 0 && errno == ESRCH) return false;
    if (!Alive()) return false;
    thread_ = std::thread([this] { Watch(); });
    return true;
  }
  ~ParentWatch() {
    if (thread_.joinable()) {
      const char stop = 1;
      ssize_t written = write(stopPipe_[1], &stop, 1);
      (void)written;
      thread_.join();
    }
    for (int fd : {pidFd_, stopPipe_[0], stopPipe_[1]}) {
      if (fd >= 0) close(fd);
    }
  }

 private:
  bool Alive() const { return kill(pid_, 0) == 0 || errno == EPERM; }
  void Watch() {
    for (;;) {
      pollfd fds[2] = {{stopPipe_[0], POLLIN, 0}, {pidFd_, POLLIN, 0}};
      const int ready = poll(fds, pidFd_ >= 0 ? 2 : 1, pidFd_ >= 0 ? -1 : 200);
      if (ready < 0 && errno != EINTR) return;
      if (fds[0].revents != 0) return;
      const bool ended = pidFd_ >= 0 ? fds[1].revents != 0 : !Alive();
      if (ended) {
        kill(getpid(), SIGTERM);
        return;
      }
    }
  }

  pid_t pid_ = 0;
  int pidFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  std::thread thread_;
};

int Serve(const CommandLine& command, const UnitFactory& makeUnit) {
  // The stop signals are taken by this thread alone: every thread started below inherits the
  // blocked mask, and sigwait below receives them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  // Started with the stop signals blocked, so the watch thread never takes one itself. An end of
  // the watched process from here on is a pending stop signal.
  ParentWatch parentWatch;
  if (command.parentPid != 0 && !parentWatch.Start(command.parentPid)) {
    std::fprintf(stderr, "rzd-engine: process %u has ended (or cannot be watched)\n", command.parentPid);
    return 1;
  }

  const EngineOptions& options = command.options;
  std::string error;
  std::unique_ptr<UnitPort> unit = makeUnit(options, &error);
  if (!unit) {
    std::fprintf(stderr, "rzd-engine: %s\n", error.c_str());
    return 1;
  }
  std::u16string friendlyName =
      options.friendlyName.empty() ? std::u16string(lowdrv::kModelFriendlyNameW) : FromUtf8(options.friendlyName);
  UnitServer server(*unit, ModelUnitOptions(options.instance, options.serialNumber, friendlyName));
  uint32_t started = server.Start();
  if (started != ERROR_SUCCESS) {
    std::fprintf(stderr, "rzd-engine: the unit of instance %u cannot start (error %u)\n", options.instance, started);
    return 1;
  }
  std::printf("rzd-engine: serving %s\n", ToUtf8(server.Entry().interfacePath).c_str());
  std::fflush(stdout);
  int received = 0;
  while (sigwait(&stopSignals, &received) != 0) {
  }
  server.Stop();
  return 0;
}

}  // namespace

int RunEngine(int argc, char** argv, const UnitFactory& makeUnit) {
  std::optional<CommandLine> command = Parse(argc, argv);
  if (!command) return 2;
  switch (command->mode) {
    case Mode::Help: return PrintHelp(makeUnit);
    case Mode::Control: return SendControl(*command);
    case Mode::Serve: return Serve(*command, makeUnit);
  }
  return 2;
}

}  // namespace rzd::engine
