// The unit server's life: sockets, the accept loop, plug state and control lines.
#include "engine/unit_server.h"

#include "lowdrv/engine/model_ids.h"
#include "platform/root.h"
#include "platform/text.h"
#include "transport/server_parts.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <list>
#include <system_error>

namespace rzd::engine {

namespace {

using transport::Connection;

std::filesystem::path EngineFolder() { return SystemRoot() / "engine"; }

std::string InstanceName(uint32_t instance) {
  char name[32];
  std::snprintf(name, sizeof name, "unit-%04u", instance);
  return name;
}

std::string Trimmed(const std::string& line) {
  size_t first = line.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  size_t last = line.find_last_not_of(" \t\r\n");
  return line.substr(first, last - first + 1);
}

uint32_t Win32FromSocketErrno(int err) {
  switch (err) {
    case EADDRINUSE: return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
  }
}

}  // namespace

std::filesystem::path UnitSocketPath(uint32_t instance) { return EngineFolder() / (InstanceName(instance) + ".usb"); }

std::filesystem::path ControlSocketPath(uint32_t instance) {
  return EngineFolder() / (InstanceName(instance) + ".control");
}

UnitServerOptions ModelUnitOptions(uint32_t instance, const std::string& serialNumber,
                                   const std::u16string& friendlyName) {
  UsbImageDevice unit;
  unit.vendorId = lowdrv::kModelUsbVendorId;
  unit.productId = lowdrv::kModelUsbProductId;
  unit.serialNumber = FromUtf8(serialNumber);
  unit.instance = instance;
  unit.friendlyName = friendlyName;
  unit.backend = "sim";
  unit.address = UnitSocketPath(instance).string();
  return UnitServerOptions{MakeUsbImageDevice(unit), ControlSocketPath(instance)};
}

std::string TransportControlHelp() {
  return "Control lines of the transport:\n"
         "  unplug                          the unit goes away: every connection drops and its\n"
         "                                  device entry is removed (a removal)\n"
         "  replug                          the unit comes back: its device entry is added again\n"
         "                                  (an arrival) and connections are taken again\n";
}

struct UnitServer::Impl : std::enable_shared_from_this<UnitServer::Impl> {
  Impl(UnitPort& port, UnitServerOptions options) : unit(port), options(std::move(options)) {
    unit.interfacePath = ToLower(this->options.entry.interfacePath);
  }

  transport::UnitContext unit;
  UnitServerOptions options;
  int usbListener = -1;
  int controlListener = -1;
  int wake = -1;
  std::thread acceptThread;
  std::mutex connectionsMutex;
  std::list<std::shared_ptr<Connection>> connections;
  std::mutex stateMutex;  // start, stop, unplug and replug one at a time
  bool running = false;

  uint32_t Start() {
    std::unique_lock<std::mutex> lock(stateMutex);
    if (running) return ERROR_SUCCESS;
    // The sockets' folders are made private as they are bound.
    usbListener = usbsim::ListenSocket(options.entry.address.c_str());
    if (usbListener < 0) return Fail(Win32FromSocketErrno(errno));
    controlListener = usbsim::ListenSocket(options.controlSocket.c_str());
    if (controlListener < 0) return Fail(Win32FromSocketErrno(errno));
    wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) return Fail(ERROR_NOT_ENOUGH_MEMORY);

    std::weak_ptr<Impl> weak = weak_from_this();
    unit.port.SetEventListener([weak](std::span<const uint8_t> report) {
      if (std::shared_ptr<Impl> self = weak.lock()) self->unit.events.Deliver(report);
    });
    unit.plugged = true;
    unit.events.SetPlugged(true);
    std::shared_ptr<Impl> self = shared_from_this();
    acceptThread = std::thread([self] { self->AcceptLoop(); });
    running = true;
    // A unit killed before it could remove its entry left it behind (its sockets no longer
    // answer, or the listen above would have failed): that unit has gone, and every listener
    // hears so before this one arrives.
    if (FindDevice(options.entry.interfacePath)) RemoveDevice(options.entry.interfacePath);
    uint32_t added = AddDevice(options.entry);
    if (added != ERROR_SUCCESS) {
      lock.unlock();
      Stop();
      return added;
    }
    return ERROR_SUCCESS;
  }

  uint32_t Fail(uint32_t error) {
    CloseListeners();
    return error;
  }

  void CloseListeners() {
    for (int* fd : {&usbListener, &controlListener, &wake}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  }

  // Connection threads are joined after the state lock is released: a control line being
  // served may itself be waiting for that lock (unplug, replug).
  void Stop() {
    std::list<std::shared_ptr<Connection>> ending;
    {
      std::lock_guard<std::mutex> lock(stateMutex);
      if (!running) return;
      running = false;
      uint64_t one = 1;
      [[maybe_unused]] ssize_t written = ::write(wake, &one, sizeof one);
      if (acceptThread.joinable()) acceptThread.join();
      ::unlink(options.entry.address.c_str());
      ::unlink(options.controlSocket.c_str());
      CloseListeners();
      if (unit.plugged.exchange(false)) RemoveDevice(options.entry.interfacePath);
      unit.events.SetPlugged(false);
      unit.port.SetEventListener({});
      std::lock_guard<std::mutex> guard(connectionsMutex);
      ending.swap(connections);
    }
    for (const auto& connection : ending) connection->Shutdown();
    for (const auto& connection : ending) {
      if (connection->thread.joinable()) connection->thread.join();
    }
  }

  std::string Unplug() {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (!running || !unit.plugged.exchange(false)) return "error the unit is not plugged in";
    unit.events.SetPlugged(false);
    {
      // Without power the unit forgets its state: reservations, the page in the paper path.
      std::lock_guard<std::mutex> port(unit.portMutex);
      unit.port.Control("reset");
    }
    {
      std::lock_guard<std::mutex> guard(connectionsMutex);
      for (const auto& connection : connections) {
        if (connection->IsUsb()) connection->Shutdown();
      }
    }
    RemoveDevice(options.entry.interfacePath);
    return "ok";
  }

  std::string Replug() {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (!running || unit.plugged.load()) return "error the unit is plugged in";
    unit.events.SetPlugged(true);
    unit.plugged = true;
    uint32_t added = AddDevice(options.entry);
    if (added != ERROR_SUCCESS) return "error the device entry cannot be written (" + std::to_string(added) + ")";
    return "ok";
  }

  std::string Control(const std::string& rawLine) {
    std::string line = Trimmed(rawLine);
    if (line == "unplug") return Unplug();
    if (line == "replug") return Replug();
    std::lock_guard<std::mutex> lock(unit.portMutex);
    return unit.port.Control(line);
  }

  void AcceptLoop() {
    for (;;) {
      pollfd fds[3] = {{usbListener, POLLIN, 0}, {controlListener, POLLIN, 0}, {wake, POLLIN, 0}};
      int ready = ::poll(fds, 3, 1000);
      if (ready < 0 && errno != EINTR) return;
      if (fds[2].revents != 0) return;
      ReapFinished();
      if (ready <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if ((fds[i].revents & POLLIN) == 0) continue;
        int fd = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) Serve(std::make_shared<Connection>(fd, i == 0));
      }
    }
  }

  void Serve(const std::shared_ptr<Connection>& connection) {
    std::lock_guard<std::mutex> guard(connectionsMutex);
    connections.push_back(connection);
    std::shared_ptr<Impl> self = shared_from_this();
    connection->thread = std::thread([self, connection] {
      if (connection->IsUsb()) {
        transport::ServeUsb(connection, self->unit);
      } else if (std::optional<std::string> line = transport::ReadControlLine(*connection)) {
        transport::SendControlReply(*connection, self->Control(*line));
      }
      connection->finished = true;
    });
  }

  void ReapFinished() {
    std::list<std::shared_ptr<Connection>> done;
    {
      std::lock_guard<std::mutex> guard(connectionsMutex);
      for (auto it = connections.begin(); it != connections.end();) {
        if ((*it)->finished.load()) {
          done.push_back(std::move(*it));
          it = connections.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (const auto& connection : done) connection->thread.join();
  }
};

UnitServer::UnitServer(UnitPort& port, UnitServerOptions options)
    : impl_(std::make_shared<Impl>(port, std::move(options))) {}

UnitServer::~UnitServer() { Stop(); }

uint32_t UnitServer::Start() { return impl_->Start(); }

void UnitServer::Stop() { impl_->Stop(); }

std::string UnitServer::Control(const std::string& line) { return impl_->Control(line); }

bool UnitServer::IsPlugged() const { return impl_->unit.plugged.load(); }

const DeviceEntry& UnitServer::Entry() const { return impl_->options.entry; }

}  // namespace rzd::engine
