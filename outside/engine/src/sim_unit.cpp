// The USB side of the simulated unit: command, data and status phases on the pipes, the stall
// switches, the record of received blocks and the device-event listener.
#include "engine/sim_unit.h"

#include "engine.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <mutex>

namespace rzd::engine {

namespace {

// The record of received blocks keeps at most this many bytes (oldest blocks go first).
constexpr size_t kLogByteLimit = 64u * 1024 * 1024;

}  // namespace

std::string FormatReceived(const ReceivedBlock& block) {
  static const char* kKinds[] = {"new", "classic", "data"};
  std::string line = std::to_string(block.sequence) + " " + kKinds[static_cast<int>(block.kind)] +
                     " " + std::to_string(block.bytes.size()) + ":";
  line.reserve(line.size() + block.bytes.size() * 3);
  char hex[4];
  for (uint8_t b : block.bytes) {
    std::snprintf(hex, sizeof hex, " %02X", b);
    line += hex;
  }
  return line;
}

struct SimUnit::Impl {
  explicit Impl(const SimUnitOptions& options) : engine(options) {}

  enum class Stage : uint8_t { Idle, DataOut, DataIn };
  enum class Quiet : uint8_t { None, NoAnswer, Stall };

  mutable std::mutex mutex;  // guards everything below
  Engine engine;
  Stage stage = Stage::Idle;
  bool newSet = true;
  std::vector<uint8_t> cdb;
  CommandPlan plan;
  std::vector<uint8_t> outData;
  size_t outReceived = 0;
  std::deque<std::vector<uint8_t>> inQueue;  // data and status waiting for bulk IN

  Quiet quiet = Quiet::None;
  bool quietOnce = false;
  uint64_t unanswered = 0;  // requests met while quiet, since the last stall or halt
  // A failed command with a data-in phase and no data: its data phase brings zero bytes (a
  // zero-length packet) rather than one padding byte.
  bool emptyFailedReads = false;

  std::deque<ReceivedBlock> log;
  size_t logBytes = 0;
  uint64_t sequence = 0;

  std::mutex listenerMutex;  // guards listener (a copy is called with no lock held)
  EventListener listener;

  // When the unit keeps quiet, the status the port answers; nothing happens.
  std::optional<PortStatus> QuietAnswer() {
    if (quiet == Quiet::None) return std::nullopt;
    ++unanswered;
    const PortStatus status = quiet == Quiet::Stall ? PortStatus::Stall : PortStatus::NoAnswer;
    if (quietOnce) {
      quiet = Quiet::None;
      quietOnce = false;
    }
    return status;
  }

  void Record(ReceivedBlock::Kind kind, const uint8_t* data, size_t size) {
    ReceivedBlock block;
    block.sequence = ++sequence;
    block.kind = kind;
    block.bytes.assign(data, data + size);
    logBytes += size;
    log.push_back(std::move(block));
    while (logBytes > kLogByteLimit && log.size() > 1) {
      logBytes -= log.front().bytes.size();
      log.pop_front();
    }
  }

  // A new command block: whatever the previous command still had queued is dropped.
  void Begin(bool isNew, std::vector<uint8_t> block) {
    inQueue.clear();
    outData.clear();
    outReceived = 0;
    newSet = isNew;
    cdb = std::move(block);
    cdb.resize(std::max<size_t>(cdb.size(), 12), 0);
    plan = newSet ? Engine::PlanNew(cdb) : Engine::PlanClassic(cdb);
    switch (plan.dir) {
      case CommandPlan::Dir::Out: stage = Stage::DataOut; break;
      case CommandPlan::Dir::In: stage = Stage::DataIn; break;
      case CommandPlan::Dir::None: Run(0); break;
    }
  }

  // Runs the command; queues its data-in (at least one byte when the command has a data-in
  // phase, unless it failed and empty failed reads are asked for) and its status.
  void Run(size_t inAllowed) {
    CommandResult r = newSet ? engine.ExecuteNew(cdb, outData, inAllowed)
                             : engine.ExecuteClassic(cdb, outData, inAllowed);
    if (plan.dir == CommandPlan::Dir::In) {
      std::vector<uint8_t> data = std::move(r.data);
      if (data.empty() && !(r.check && emptyFailedReads)) data.push_back(0);
      if (data.size() > inAllowed) data.resize(inAllowed);
      inQueue.push_back(std::move(data));
    }
    const uint8_t status = r.check ? 2 : 0;
    inQueue.push_back(newSet ? std::vector<uint8_t>{0, 0, status} : std::vector<uint8_t>{status});
    stage = Stage::Idle;
    outData.clear();
    outReceived = 0;
  }
};

SimUnit::SimUnit(SimUnitOptions options) : impl_(std::make_unique<Impl>(options)) {}
SimUnit::~SimUnit() = default;

PortStatus SimUnit::VendorOut(const VendorRequest& request) {
  std::lock_guard lock(impl_->mutex);
  if (auto quiet = impl_->QuietAnswer()) return *quiet;
  impl_->Record(ReceivedBlock::Kind::NewCommand, request.data.data(), request.data.size());
  // Only the command-block request (vendor, host to device, request 4) is known.
  if (request.requestType != 0x40 || request.request != 4 || request.data.empty())
    return PortStatus::Stall;
  impl_->Begin(true, request.data);
  return PortStatus::Ok;
}

PortStatus SimUnit::BulkOut(const uint8_t* data, size_t size) {
  std::lock_guard lock(impl_->mutex);
  Impl& u = *impl_;
  if (auto quiet = u.QuietAnswer()) return *quiet;
  if (u.stage == Impl::Stage::DataOut) {
    u.Record(ReceivedBlock::Kind::Data, data, size);
    // Blocks above the unit's limit are counted, not kept; the command then fails.
    if (u.plan.length <= kMaxDataOut && u.outData.size() + size <= kMaxDataOut)
      u.outData.insert(u.outData.end(), data, data + size);
    u.outReceived += size;
    if (u.outReceived >= u.plan.length) {
      if (u.outData.size() != u.outReceived) u.outData.clear();
      u.Run(0);
    }
    return PortStatus::Ok;
  }
  // Outside a data-out phase the write pipe carries a classic command block.
  u.Record(ReceivedBlock::Kind::ClassicCommand, data, size);
  if (size < 6 || size > 16) return PortStatus::Stall;
  u.Begin(false, std::vector<uint8_t>(data, data + size));
  return PortStatus::Ok;
}

PortStatus SimUnit::BulkIn(size_t maxSize, std::vector<uint8_t>& out) {
  out.clear();
  std::lock_guard lock(impl_->mutex);
  Impl& u = *impl_;
  if (auto quiet = u.QuietAnswer()) return *quiet;
  if (maxSize == 0) return PortStatus::Ok;
  if (u.stage == Impl::Stage::DataOut) u.Run(0);  // the host ended the data-out phase short
  if (u.stage == Impl::Stage::DataIn) u.Run(std::min(u.plan.length, maxSize));
  if (u.inQueue.empty()) return PortStatus::NoAnswer;
  std::vector<uint8_t>& packet = u.inQueue.front();
  if (packet.size() > maxSize) packet.resize(maxSize);
  out = std::move(packet);
  u.inQueue.pop_front();
  return PortStatus::Ok;
}

void SimUnit::ResetPipe(int pipeType) {
  std::lock_guard lock(impl_->mutex);
  Impl& u = *impl_;
  if (u.quiet == Impl::Quiet::Stall) {  // a pipe reset clears a halted pipe
    u.quiet = Impl::Quiet::None;
    u.quietOnce = false;
  }
  if (pipeType == 1) {
    u.inQueue.clear();
    if (u.stage == Impl::Stage::DataIn) u.stage = Impl::Stage::Idle;
  } else if (pipeType == 2 && u.stage == Impl::Stage::DataOut) {
    u.stage = Impl::Stage::Idle;
    u.outData.clear();
    u.outReceived = 0;
  }
}

void SimUnit::SetEventListener(EventListener listener) {
  std::lock_guard lock(impl_->listenerMutex);
  impl_->listener = std::move(listener);
}

std::string SimUnit::Control(const std::string& line) {
  const size_t start = std::min(line.size(), line.find_first_not_of(" \t"));
  const std::string verb = line.substr(start, line.find_first_of(" \t", start) - start);
  std::vector<EventBytes> events;
  std::string reply;
  {
    std::lock_guard lock(impl_->mutex);
    Impl& u = *impl_;
    if (verb == "stall" || verb == "halt") {
      const std::string rest = line.substr(start + verb.size());
      const bool once = rest.find("once") != std::string::npos;
      u.quiet = verb == "stall" ? Impl::Quiet::NoAnswer : Impl::Quiet::Stall;
      u.quietOnce = once;
      u.unanswered = 0;
      reply = "ok " + verb + (once ? " once" : "");
    } else if (verb == "unanswered") {
      reply = "ok " + std::to_string(u.unanswered);
    } else if (verb == "resume") {
      u.quiet = Impl::Quiet::None;
      u.quietOnce = false;
      reply = "ok";
    } else if (verb == "failedreads") {
      const std::string rest = line.substr(start + verb.size());
      const bool empty = rest.find("empty") != std::string::npos;
      if (!empty && rest.find("padded") == std::string::npos) {
        reply = "error usage: failedreads empty|padded";
      } else {
        u.emptyFailedReads = empty;
        reply = std::string("ok failedreads ") + (empty ? "empty" : "padded");
      }
    } else if (verb == "log") {
      if (line.find("clear") != std::string::npos) {
        u.log.clear();
        u.logBytes = 0;
        reply = "ok";
      } else {
        reply = "ok " + std::to_string(u.log.size());
        for (const ReceivedBlock& block : u.log) reply += "\n" + FormatReceived(block);
      }
    } else if (verb == "unplug" || verb == "replug") {
      reply = "ok ignored: " + verb + " is handled by the transport";
    } else {
      reply = u.engine.Control(line, events);
    }
  }
  if (!events.empty()) {
    EventListener listener;
    {
      std::lock_guard lock(impl_->listenerMutex);
      listener = impl_->listener;
    }
    if (listener) {
      for (const EventBytes& report : events) listener(report);
    } else {
      reply += " (no event listener)";
    }
  }
  return reply;
}

std::string SimUnit::ControlHelp() const { return Engine::Help(); }

std::vector<ReceivedBlock> SimUnit::Received() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->log.begin(), impl_->log.end()};
}

void SimUnit::ClearReceived() {
  std::lock_guard lock(impl_->mutex);
  impl_->log.clear();
  impl_->logBytes = 0;
}

std::array<uint8_t, kNvramSize> SimUnit::Nvram() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->engine.Nvram();
}

std::string SimUnit::Revision() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->engine.Revision();
}

size_t SimUnit::SheetsInFeeder() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->engine.SheetsInFeeder();
}

std::map<uint16_t, std::vector<uint8_t>> SimUnit::LcdScreens() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->engine.LcdScreens();
}

std::map<uint16_t, std::string> SimUnit::LcdStrings() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->engine.LcdStrings();
}

}  // namespace rzd::engine
