// Device-interface notifications: a thread per registration watches the table folder with inotify
// and turns entry files that appear into arrivals and entry files that go into removals. The
// interface path is read from the file name, so a removal (or an entry that came and went at
// once) is announced without reading the file. For the image class the same thread also listens
// to udev for the model's real units coming and going, and delivers them the same way.
#include "devices/device_files.h"
#include "devices/usb_units.h"
#include "errors/errno_map.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <system_error>
#include <thread>

namespace rzd {

struct DeviceNotification::State {
  GUID classGuid = GUID_NULL;
  Callback callback;
  int inotifyFd = -1;
  int stopFd = -1;
  std::thread thread;
  std::atomic<bool> stopping{false};
  // Real units (image class only; nullptr when udev cannot be watched).
  std::unique_ptr<devices::RealUnitWatch> realUnits;
  // Entry files known to be present (file name -> interface path); touched by the thread only.
  std::map<std::string, std::u16string> known;

  ~State() {
    if (inotifyFd >= 0) ::close(inotifyFd);
    if (stopFd >= 0) ::close(stopFd);
  }

  // The interface path of an entry file of our class, or nullopt.
  std::optional<std::u16string> OurEntry(const std::string& fileName) const {
    std::optional<std::u16string> path = devices::InterfacePathFromFileName(fileName);
    if (!path || devices::ClassOfInterfacePath(*path) != classGuid) return std::nullopt;
    return path;
  }

  std::map<std::string, std::u16string> ListPresent() const {
    std::map<std::string, std::u16string> present;
    std::error_code ec;
    for (const auto& file : std::filesystem::directory_iterator(devices::TableFolder(), ec)) {
      std::string name = file.path().filename().string();
      if (auto path = OurEntry(name)) present.emplace(name, std::move(*path));
    }
    return present;
  }

  void Deliver(uint32_t eventType, const std::u16string& path) {
    if (stopping.load()) return;
    DeviceInterfaceEvent event{eventType, classGuid, path};
    try {
      callback(event);
    } catch (...) {
      // A throwing callback must not end the watch.
    }
  }

  void Appeared(const std::string& name) {
    if (known.count(name) != 0) return;  // an update of a present entry
    if (auto path = OurEntry(name)) {
      known.emplace(name, *path);
      Deliver(DBT_DEVICEARRIVAL, *path);
    }
  }

  void Disappeared(const std::string& name) {
    auto it = known.find(name);
    if (it == known.end()) return;
    std::u16string path = std::move(it->second);
    known.erase(it);
    Deliver(DBT_DEVICEREMOVECOMPLETE, path);
  }

  // After lost events: compare the folder with what we know.
  void Resynchronise() {
    std::map<std::string, std::u16string> present = ListPresent();
    std::vector<std::string> gone;
    for (const auto& [name, path] : known) {
      if (present.count(name) == 0) gone.push_back(name);
    }
    for (const std::string& name : gone) Disappeared(name);
    for (const auto& [name, path] : present) Appeared(name);
  }

  void Run() {
    alignas(inotify_event) char buffer[16 * 1024];
    while (!stopping.load()) {
      pollfd fds[3] = {{inotifyFd, POLLIN, 0}, {stopFd, POLLIN, 0}, {realUnits ? realUnits->Fd() : -1, POLLIN, 0}};
      int ready = ::poll(fds, 3, -1);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents != 0 || stopping.load()) return;
      if (fds[2].revents & POLLIN) {
        for (const devices::RealUnitWatch::Change& change : realUnits->Read()) Deliver(change.eventType, change.interfacePath);
      } else if (fds[2].revents != 0) {
        realUnits.reset();  // a monitor that broke: the table's units are still heard of
      }
      if (fds[0].revents == 0) continue;
      ssize_t got = ::read(inotifyFd, buffer, sizeof buffer);
      if (got < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return;
      }
      for (ssize_t offset = 0; offset < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
        offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->mask & IN_Q_OVERFLOW) {
          Resynchronise();
          continue;
        }
        if (event->len == 0) continue;
        std::string name(event->name);
        if (event->mask & (IN_CREATE | IN_MOVED_TO)) Appeared(name);
        if (event->mask & (IN_DELETE | IN_MOVED_FROM)) Disappeared(name);
      }
    }
  }
};

namespace {

// A missing table folder is a missing path; the limits on inotify instances and watches are a
// shortage like any other.
uint32_t Win32FromErrno(int err, std::string_view what) {
  return oserror::Win32FromErrno(err, what,
                                 {{ENOENT, ERROR_PATH_NOT_FOUND},
                                  {ENOSPC, ERROR_NOT_ENOUGH_MEMORY},
                                  {EMFILE, ERROR_NOT_ENOUGH_MEMORY},
                                  {ENFILE, ERROR_NOT_ENOUGH_MEMORY}});
}

}  // namespace

std::unique_ptr<DeviceNotification> DeviceNotification::Register(const GUID& classGuid, Callback callback,
                                                                 uint32_t* error) {
  auto fail = [&](uint32_t code) {
    if (error) *error = code;
    return std::unique_ptr<DeviceNotification>();
  };
  if (!callback) return fail(ERROR_INVALID_PARAMETER);
  auto state = std::make_shared<State>();
  state->classGuid = classGuid;
  state->callback = std::move(callback);
  state->inotifyFd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (state->inotifyFd < 0) return fail(Win32FromErrno(errno, "start of a device watch"));
  state->stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (state->stopFd < 0) return fail(Win32FromErrno(errno, "creation of a device watch's stop signal"));
  std::filesystem::path folder = devices::TableFolder();
  // Watch first, then list: an entry added in between is both listed and reported, and the
  // report of a listed entry is ignored, so nothing is announced twice or missed.
  if (::inotify_add_watch(state->inotifyFd, folder.c_str(),
                          IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR) < 0) {
    return fail(Win32FromErrno(errno, "watch of the device table"));
  }
  state->known = state->ListPresent();
  if (classGuid == GUID_DEVINTERFACE_IMAGE) {
    // Without udev only the table's units are heard of.
    state->realUnits = devices::RealUnitWatch::Start();
    if (state->realUnits) state->realUnits->ListPresent();
  }
  state->thread = std::thread([state] { state->Run(); });
  if (error) *error = ERROR_SUCCESS;
  return std::unique_ptr<DeviceNotification>(new DeviceNotification(state));
}

DeviceNotification::DeviceNotification(std::shared_ptr<State> state) : state_(std::move(state)) {}

DeviceNotification::~DeviceNotification() { Unregister(); }

void DeviceNotification::Unregister() {
  if (!state_) return;
  std::shared_ptr<State> state = std::move(state_);
  state->stopping.store(true);
  uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(state->stopFd, &one, sizeof one);
  if (state->thread.get_id() == std::this_thread::get_id()) {
    // Called from the callback: the thread ends after it returns and keeps the state alive.
    state->thread.detach();
  } else if (state->thread.joinable()) {
    state->thread.join();
  }
}

}  // namespace rzd
