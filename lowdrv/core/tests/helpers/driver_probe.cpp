// lowdrv_driver_probe: runs model driver objects in a process of its own for the driver tests, so
// that locking, the unit semaphore and the buttons thread can be seen across processes.
//
//   lowdrv_driver_probe --path <device path> --out <file> <step>...
//
// Steps, run in order (each answer is one line appended to the file, written at once):
//   open [timeout-ms]  makes a new driver object (the current one) and opens it ("open <result>");
//                      the optional time-out replaces the engine command time-out first
//   lock <ms>          LockScanner on the current object ("lock <result>")
//   unlock             UnlockScanner ("unlock <result>")
//   close              CloseScanner and destruction of the current object ("close <result>")
//   status             "status <m_ulStatus>"
//   buttons            "buttons <1 when this process runs the unit's buttons thread, else 0>"
//   signal <name>      sets the manual-reset event "Global\<name>" (made when missing)
//   wait <name>        waits up to 60 s for that event ("wait <name> timeout" when it does not come)
// The exit code is 0 after the last step, 2 for a bad command line.
#include "lowdrv/core/driver_model.h"
#include "lowdrv/core/driver_process.h"
#include "platform/kernel.h"
#include "platform/text.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using rzd::Event;
using rzd::lowdrv::CScannerLLD;

class Probe {
 public:
  Probe(std::u16string path, std::string out) : path_(std::move(path)), out_(std::move(out)) {}

  void Answer(const std::string& line) {
    std::ofstream file(out_, std::ios::app);
    file << line << '\n';
  }

  Event Named(const std::string& name) {
    rzd::ObjectResult<Event> made = Event::Create("Global\\" + name, true, false);
    if (made) events_.push_back(made.handle);
    return made.handle;
  }

  bool Step(const std::vector<std::string>& args, size_t& i) {
    const std::string& verb = args[i];
    auto argument = [&]() -> std::string { return i + 1 < args.size() ? args[++i] : std::string(); };
    if (verb == "open") {
      objects_.push_back(std::make_unique<CScannerLLD>(path_));
      if (i + 1 < args.size() && !args[i + 1].empty() && std::isdigit(static_cast<unsigned char>(args[i + 1][0])))
        objects_.back()->m_ulCmdTimeout = static_cast<uint32_t>(std::stoul(argument()));
      Answer("open " + std::to_string(objects_.back()->OpenScanner()));
    } else if (verb == "lock") {
      const uint32_t timeout = static_cast<uint32_t>(std::stoul(argument()));
      Answer("lock " + std::to_string(Current().LockScanner(&timeout, sizeof timeout)));
    } else if (verb == "unlock") {
      Answer("unlock " + std::to_string(Current().UnlockScanner()));
    } else if (verb == "close") {
      Answer("close " + std::to_string(Current().CloseScanner()));
      objects_.pop_back();
    } else if (verb == "status") {
      Answer("status " + std::to_string(Current().m_ulStatus));
    } else if (verb == "buttons") {
      Answer(std::string("buttons ") + (rzd::lowdrv::ButtonsThreadRunsHere() ? "1" : "0"));
    } else if (verb == "signal") {
      Named(argument()).Set();
    } else if (verb == "wait") {
      const std::string name = argument();
      if (Named(name).Wait(60000) != WAIT_OBJECT_0) Answer("wait " + name + " timeout");
    } else {
      return false;
    }
    return true;
  }

 private:
  CScannerLLD& Current() {
    if (objects_.empty()) std::exit(3);
    return *objects_.back();
  }

  std::u16string path_;
  std::string out_;
  std::vector<std::unique_ptr<CScannerLLD>> objects_;
  std::vector<Event> events_;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::u16string path;
  std::string out;
  size_t i = 0;
  for (; i + 1 < args.size() && args[i].rfind("--", 0) == 0; i += 2) {
    if (args[i] == "--path") path = rzd::FromUtf8(args[i + 1]);
    else if (args[i] == "--out") out = args[i + 1];
    else return 2;
  }
  if (path.empty() || out.empty()) return 2;
  Probe probe(path, out);
  for (; i < args.size(); ++i) {
    if (!probe.Step(args, i)) return 2;
  }
  return 0;
}
