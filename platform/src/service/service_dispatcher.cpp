// The control dispatcher of a service process: the control socket, the handler calls, the
// reported status, device-interface notifications and SIGTERM.
#include "platform/service_host.h"

#include "platform/devices.h"
#include "platform/event_log.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "service/device_event_record.h"
#include "service_protocol.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <csignal>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace rzd {

struct ServiceStatusRecord {
  std::u16string name;
  LPHANDLER_FUNCTION_EX handler = nullptr;
  void* context = nullptr;
};

struct ServiceDeviceNotification {
  uint64_t id = 0;
  std::unique_ptr<DeviceNotification> watch;
};

namespace {

// Written by the SIGTERM handler; the dispatcher's wake descriptor while it runs.
std::atomic<int> g_signalWake{-1};
std::atomic<bool> g_stopSignalled{false};

void OnTerminate(int /*signal*/) {
  g_stopSignalled.store(true);
  const int fd = g_signalWake.load();
  if (fd >= 0) {
    uint64_t one = 1;
    ssize_t ignored = write(fd, &one, sizeof one);
    (void)ignored;
  }
}

// A control waiting for the dispatcher's thread: device events of a registration.
struct QueuedEvent {
  uint64_t registration = 0;
  uint32_t eventType = 0;
  std::vector<uint64_t> data;  // a DEV_BROADCAST_DEVICEINTERFACE, 8-byte aligned
};

class Dispatcher {
 public:
  static std::mutex& Lock() {
    static std::mutex lock;
    return lock;
  }
  static Dispatcher*& Current() {
    static Dispatcher* current = nullptr;
    return current;
  }

  explicit Dispatcher(std::u16string name) { record_.name = std::move(name); }

  uint32_t Run(LPSERVICE_MAIN_FUNCTION main, std::vector<std::u16string> args);

  ServiceStatusHandle RegisterHandler(std::u16string_view name, LPHANDLER_FUNCTION_EX handler, void* context) {
    if (!EqualsNoCase(name, record_.name)) return nullptr;
    std::lock_guard guard(lock_);
    record_.handler = handler;
    record_.context = context;
    return &record_;
  }

  bool SetStatus(ServiceStatusHandle handle, const SERVICE_STATUS& status) {
    if (handle != &record_) return false;
    {
      std::lock_guard guard(lock_);
      status_ = status;
    }
    ServiceRunStatus run;
    run.state = status.dwCurrentState;
    run.processId = CurrentProcessId();
    run.controlsAccepted = status.dwControlsAccepted;
    run.exitCode = status.dwWin32ExitCode;
    return SetServiceRunStatus(record_.name, run) == ERROR_SUCCESS;
  }

  DeviceNotifyHandle RegisterDevices(ServiceStatusHandle handle, const GUID& classGuid);
  bool UnregisterDevices(DeviceNotifyHandle notification);

 private:
  void Wake() {
    uint64_t one = 1;
    ssize_t ignored = write(wake_, &one, sizeof one);
    (void)ignored;
  }
  // Calls the handler on this (the dispatcher's) thread; ERROR_SERVICE_CANNOT_ACCEPT_CTRL while
  // the service has none or does not accept the control.
  uint32_t Deliver(uint32_t control, uint32_t eventType, void* data, uint32_t* result);
  void ServeConnection(const LocalStream& stream);
  void DeliverQueued();
  void DeliverSignalledStop();
  void Finish();

  ServiceStatusRecord record_;
  LocalListener listener_;
  int wake_ = -1;
  std::mutex lock_;  // guards what follows
  SERVICE_STATUS status_{SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 0, 0};
  std::deque<QueuedEvent> queue_;
  std::vector<std::unique_ptr<ServiceDeviceNotification>> notifications_;
  uint64_t nextRegistration_ = 1;
  bool mainDone_ = false;
  bool stopPending_ = false;
};

uint32_t Dispatcher::Deliver(uint32_t control, uint32_t eventType, void* data, uint32_t* result) {
  LPHANDLER_FUNCTION_EX handler;
  void* context;
  {
    std::lock_guard guard(lock_);
    handler = record_.handler;
    context = record_.context;
    if (status_.dwCurrentState == SERVICE_STOPPED) return ERROR_SERVICE_NOT_ACTIVE;
    const uint32_t bit = service_internal::AcceptBitOf(control);
    if (handler == nullptr || (bit != 0 && (status_.dwControlsAccepted & bit) == 0)) {
      return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    }
  }
  *result = handler(control, eventType, data, context);
  return ERROR_SUCCESS;
}

void Dispatcher::ServeConnection(const LocalStream& stream) {
  if (!stream.PeerIsThisUser()) return;  // another user's process: no answer
  stream.SetReceiveTimeout(service_internal::kControlReadTimeoutMs);
  service_internal::ControlRequest request;
  if (service_internal::ReadControlRequest(stream, &request) != ERROR_SUCCESS) return;
  service_internal::ControlReply reply;
  if (request.control != service_internal::kProbeControl) {
    // Event data the handler reads as a record must be whole: a session change is one, and a
    // device event's record lies inside what arrived (a record that claims more than it carries
    // would have the handler read past it).
    const service_internal::DeviceRecordFault fault =
        request.control == SERVICE_CONTROL_DEVICEEVENT
            ? service_internal::CheckDeviceEventRecord(request.data.data(), request.data.size())
            : service_internal::DeviceRecordFault::kNone;
    if (request.control == SERVICE_CONTROL_SESSIONCHANGE && request.data.size() < sizeof(WTSSESSION_NOTIFICATION)) {
      reply.error = ERROR_INVALID_PARAMETER;
    } else if (fault != service_internal::DeviceRecordFault::kNone) {
      reply.error = ERROR_INVALID_PARAMETER;
      ReportEvent(record_.name, EVENTLOG_WARNING_TYPE,
                  FormatW(u"Device event 0x%04X refused: %s", request.eventType,
                          service_internal::DeviceRecordFaultText(fault, request.data.data(), request.data.size()).c_str()));
    } else {
      // A device event's handler gets its record alone: a name without terminator ends where
      // the record does, whatever arrived after it.
      std::vector<uint64_t> aligned =
          request.control == SERVICE_CONTROL_DEVICEEVENT
              ? service_internal::DeviceEventData(request.data.data(), request.data.size())
              : service_internal::AlignedEventData(request.data.data(), request.data.size());
      void* data = request.data.empty() ? nullptr : aligned.data();
      reply.error = Deliver(request.control, request.eventType, data, &reply.handlerResult);
    }
  }
  {
    std::lock_guard guard(lock_);
    reply.status = status_;
  }
  service_internal::WriteControlReply(stream, reply);
}

void Dispatcher::DeliverQueued() {
  for (;;) {
    QueuedEvent event;
    {
      std::lock_guard guard(lock_);
      if (queue_.empty()) return;
      event = std::move(queue_.front());
      queue_.pop_front();
      bool registered = false;
      for (const auto& notification : notifications_) registered = registered || notification->id == event.registration;
      if (!registered) continue;  // unregistered meanwhile: its events are dropped
    }
    uint32_t result = 0;
    Deliver(SERVICE_CONTROL_DEVICEEVENT, event.eventType, event.data.data(), &result);
  }
}

void Dispatcher::DeliverSignalledStop() {
  // SIGTERM stops the service whatever controls it accepts; it waits for a handler to exist.
  if (g_stopSignalled.exchange(false)) stopPending_ = true;
  if (!stopPending_) return;
  LPHANDLER_FUNCTION_EX handler;
  void* context;
  {
    std::lock_guard guard(lock_);
    handler = record_.handler;
    context = record_.context;
    if (status_.dwCurrentState == SERVICE_STOPPED) {
      stopPending_ = false;
      return;
    }
  }
  if (handler == nullptr) return;
  stopPending_ = false;
  handler(SERVICE_CONTROL_STOP, 0, nullptr, context);
}

DeviceNotifyHandle Dispatcher::RegisterDevices(ServiceStatusHandle handle, const GUID& classGuid) {
  if (handle != &record_) return nullptr;
  auto notification = std::make_unique<ServiceDeviceNotification>();
  {
    std::lock_guard guard(lock_);
    notification->id = nextRegistration_++;
  }
  const uint64_t id = notification->id;
  notification->watch = DeviceNotification::Register(classGuid, [this, id](const DeviceInterfaceEvent& event) {
    const std::vector<uint8_t> record = service_internal::DeviceInterfaceRecord(event.classGuid, event.interfacePath);
    std::vector<uint64_t> data = service_internal::DeviceEventData(record.data(), record.size());
    {
      std::lock_guard guard(lock_);
      queue_.push_back({id, event.eventType, std::move(data)});
    }
    Wake();
  });
  if (!notification->watch) return nullptr;
  std::lock_guard guard(lock_);
  notifications_.push_back(std::move(notification));
  return notifications_.back().get();
}

bool Dispatcher::UnregisterDevices(DeviceNotifyHandle target) {
  std::unique_ptr<ServiceDeviceNotification> removed;
  {
    std::lock_guard guard(lock_);
    for (auto it = notifications_.begin(); it != notifications_.end(); ++it) {
      if (it->get() != target) continue;
      removed = std::move(*it);
      notifications_.erase(it);
      break;
    }
  }
  if (!removed) return false;
  removed->watch->Unregister();  // no callback runs after this
  return true;
}

void Dispatcher::Finish() {
  std::vector<std::unique_ptr<ServiceDeviceNotification>> left;
  {
    std::lock_guard guard(lock_);
    left.swap(notifications_);
    queue_.clear();
  }
  for (auto& notification : left) notification->watch->Unregister();
  listener_.Close();
  listener_.RemoveFile();
  ServiceRunStatus run;
  QueryServiceRunStatus(record_.name, &run);
  if (run.state != SERVICE_STOPPED || run.processId != 0) {
    SERVICE_STATUS stopped;
    {
      std::lock_guard guard(lock_);
      stopped = status_;
    }
    SetServiceRunStatus(record_.name, {SERVICE_STOPPED, 0, 0, stopped.dwWin32ExitCode});
  }
  RegKey key;
  uint32_t pending = 0;
  if (RegKey::Open(Hive::LocalMachine, ServiceKeyPath(record_.name), &key) == ERROR_SUCCESS &&
      key.GetDword(u"DeletePending", &pending) == ERROR_SUCCESS && pending != 0) {
    RegKey::DeleteTree(Hive::LocalMachine, ServiceKeyPath(record_.name));
  }
}

uint32_t Dispatcher::Run(LPSERVICE_MAIN_FUNCTION main, std::vector<std::u16string> args) {
  if (uint32_t error = LocalListener::Listen(service_internal::ControlSocketPath(record_.name), &listener_);
      error != ERROR_SUCCESS) {
    return error;
  }
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  g_stopSignalled.store(false);
  g_signalWake.store(wake_);
  struct sigaction action{};
  struct sigaction previous{};
  action.sa_handler = OnTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, &previous);
  SetServiceRunStatus(record_.name, {SERVICE_START_PENDING, CurrentProcessId()});

  std::thread serviceMain([this, main, args = std::move(args)]() mutable {
    std::vector<char16_t*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    main(static_cast<uint32_t>(args.size()), argv.data());
    {
      std::lock_guard guard(lock_);
      mainDone_ = true;
    }
    Wake();
  });

  for (;;) {
    DeliverSignalledStop();
    DeliverQueued();
    {
      std::lock_guard guard(lock_);
      if (mainDone_) break;
    }
    pollfd waits[2] = {{wake_, POLLIN, 0}, {listener_.Descriptor(), POLLIN, 0}};
    if (poll(waits, 2, -1) < 0 && errno != EINTR) break;
    if ((waits[0].revents & POLLIN) != 0) {
      uint64_t count = 0;
      ssize_t ignored = read(wake_, &count, sizeof count);
      (void)ignored;
    }
    if ((waits[1].revents & POLLIN) != 0) {
      LocalStream stream;
      while (listener_.Accept(&stream, false) == ERROR_SUCCESS) ServeConnection(stream);
    }
  }
  serviceMain.join();
  sigaction(SIGTERM, &previous, nullptr);
  g_signalWake.store(-1);
  Finish();
  close(wake_);
  return ERROR_SUCCESS;
}

std::vector<std::u16string> StartArguments(std::u16string_view name) {
  std::vector<std::u16string> args{std::u16string(name)};
  auto joined = GetEnv(service_internal::kServiceArgsVariable);
  if (!joined || joined->empty()) return args;
  std::u16string text = FromUtf8(*joined);
  size_t at = 0;
  for (;;) {
    size_t next = text.find(u'\x1F', at);
    args.push_back(text.substr(at, next == std::u16string::npos ? std::u16string::npos : next - at));
    if (next == std::u16string::npos) break;
    at = next + 1;
  }
  return args;
}

}  // namespace

std::optional<std::u16string> ServiceNameOfThisProcess() {
  auto name = GetEnv(service_internal::kServiceNameVariable);
  if (!name || name->empty()) return std::nullopt;
  return FromUtf8(*name);
}

uint32_t StartServiceCtrlDispatcher(const SERVICE_TABLE_ENTRY* table) {
  std::optional<std::u16string> name = ServiceNameOfThisProcess();
  if (!name || table == nullptr) return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
  const SERVICE_TABLE_ENTRY* entry = table;
  while (entry->lpServiceName != nullptr && !EqualsNoCase(entry->lpServiceName, *name)) ++entry;
  if (entry->lpServiceName == nullptr || entry->lpServiceProc == nullptr) return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;

  Dispatcher dispatcher(*name);
  {
    std::lock_guard guard(Dispatcher::Lock());
    if (Dispatcher::Current() != nullptr) return ERROR_SERVICE_ALREADY_RUNNING;
    Dispatcher::Current() = &dispatcher;
  }
  uint32_t result = dispatcher.Run(entry->lpServiceProc, StartArguments(*name));
  std::lock_guard guard(Dispatcher::Lock());
  Dispatcher::Current() = nullptr;
  return result;
}

ServiceStatusHandle RegisterServiceCtrlHandlerEx(std::u16string_view name, LPHANDLER_FUNCTION_EX handler,
                                                 void* context, uint32_t* error) {
  ServiceStatusHandle handle = nullptr;
  if (handler != nullptr) {
    std::lock_guard guard(Dispatcher::Lock());
    if (Dispatcher* dispatcher = Dispatcher::Current()) handle = dispatcher->RegisterHandler(name, handler, context);
  }
  if (error != nullptr) *error = handle != nullptr ? ERROR_SUCCESS : ERROR_SERVICE_DOES_NOT_EXIST;
  return handle;
}

bool SetServiceStatus(ServiceStatusHandle handle, const SERVICE_STATUS& status) {
  std::lock_guard guard(Dispatcher::Lock());
  Dispatcher* dispatcher = Dispatcher::Current();
  return dispatcher != nullptr && dispatcher->SetStatus(handle, status);
}

DeviceNotifyHandle RegisterServiceDeviceNotification(ServiceStatusHandle handle, const GUID& classGuid) {
  std::lock_guard guard(Dispatcher::Lock());
  Dispatcher* dispatcher = Dispatcher::Current();
  return dispatcher != nullptr ? dispatcher->RegisterDevices(handle, classGuid) : nullptr;
}

bool UnregisterServiceDeviceNotification(DeviceNotifyHandle notification) {
  Dispatcher* dispatcher;
  {
    std::lock_guard guard(Dispatcher::Lock());
    dispatcher = Dispatcher::Current();
  }
  return dispatcher != nullptr && dispatcher->UnregisterDevices(notification);
}

}  // namespace rzd
