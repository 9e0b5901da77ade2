// A unit for the USB tests, run on threads of the test process: it speaks the sim protocol on
// its own socket and is steered directly by the test (queue read data, stall, raise events,
// answer even cancelled reads, answer reads in the host's data window, unplug), and it records
// what it received.
#pragma once

#include "platform/devices.h"
#include "platform/root.h"
#include "platform/text.h"
#include "platform/usb_sim_protocol.h"

#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rzd::test {

class ScriptedUnit {
 public:
  explicit ScriptedUnit(uint32_t instance = 0) {
    UsbImageDevice unit;
    unit.vendorId = 0x2E5A;
    unit.productId = 0x0148;
    unit.instance = instance;
    unit.serialNumber = u"SCRIPTED" + std::u16string(1, static_cast<char16_t>(u'0' + instance));
    unit.address = (SystemRoot() / ("scripted-" + std::to_string(instance) + ".usb")).string();
    entry_ = MakeUsbImageDevice(unit);
    listener_ = usbsim::ListenSocket(entry_.address.c_str());
    wake_ = ::eventfd(0, EFD_CLOEXEC);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    AddDevice(entry_);
  }

  ~ScriptedUnit() {
    Unplug();
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
    acceptThread_.join();
    std::list<Conn> ending;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ending.swap(connections_);
    }
    for (Conn& c : ending) {
      ::shutdown(c.fd, SHUT_RDWR);
      c.thread.join();
      ::close(c.fd);
    }
    ::close(listener_);
    ::close(wake_);
  }

  const std::u16string& Path() const { return entry_.interfacePath; }
  const DeviceEntry& Entry() const { return entry_; }

  // Data for the read pipe; answers the oldest waiting read at once when there is one.
  void QueueRead(const std::vector<uint8_t>& data) {
    std::lock_guard<std::mutex> lock(mutex_);
    readQueue_.insert(readQueue_.end(), data.begin(), data.end());
    while (!parkedReads_.empty() && !readQueue_.empty()) {
      Parked read = parkedReads_.front();
      parkedReads_.pop_front();
      AnswerRead(read);
    }
  }
  void SetStall(bool stall) {
    std::lock_guard<std::mutex> lock(mutex_);
    stall_ = stall;
  }
  // Reads answered at once (data already queued) go into the region the host set aside in its
  // data window; `overrun` claims one byte more than the region holds, as a broken unit would.
  void SetWindowAnswers(bool inWindow, bool overrun = false) {
    std::lock_guard<std::mutex> lock(mutex_);
    windowAnswers_ = inWindow;
    windowOverrun_ = overrun;
  }
  // How many reads were answered in the window.
  size_t WindowAnswers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return windowAnswered_;
  }
  // Cancels are recorded but ignored: waiting reads stay, to be answered by AnswerAllParked.
  void SetIgnoreCancels(bool ignore) {
    std::lock_guard<std::mutex> lock(mutex_);
    ignoreCancels_ = ignore;
  }
  void AnswerAllParked(const std::vector<uint8_t>& data) {
    std::lock_guard<std::mutex> lock(mutex_);
    while (!parkedReads_.empty()) {
      Parked read = parkedReads_.front();
      parkedReads_.pop_front();
      Send(read.fd, {read.id, usbsim::Op::BulkIn, 1, 0, 0, static_cast<uint32_t>(data.size()), 0}, data);
    }
  }
  // Answers the oldest event wait; false when none waits.
  bool FireEvent(const std::vector<uint8_t>& report) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (eventWaits_.empty()) return false;
    Parked wait = eventWaits_.front();
    eventWaits_.pop_front();
    Send(wait.fd, {wait.id, usbsim::Op::WaitEvent, 0, 0, 0, 0, 0}, report);
    return true;
  }
  // The unit goes away: every connection ends and the entry is removed.
  void Unplug() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unplugged_) return;
    unplugged_ = true;
    for (Conn& c : connections_) ::shutdown(c.fd, SHUT_RDWR);
    parkedReads_.clear();
    eventWaits_.clear();
    RemoveDevice(entry_.interfacePath);
  }

  // Waits (generously) until the condition over the unit's state holds.
  bool WaitUntil(const std::function<bool()>& condition) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), condition);
  }
  // The following are read under WaitUntil's lock or after the traffic ended.
  size_t ParkedReads() const { return parkedReads_.size(); }
  size_t EventWaits() const { return eventWaits_.size(); }
  size_t Connections() const { return connections_.size(); }
  const std::vector<std::string>& Log() const { return log_; }
  bool Logged(const std::string& line) const {
    for (const std::string& l : log_) {
      if (l == line) return true;
    }
    return false;
  }
  std::vector<std::string> LogCopy() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }

  // A position-weighted sum of bytes, for long writes in the log.
  static uint64_t Sum(const std::vector<uint8_t>& bytes) {
    uint64_t sum = 0;
    for (size_t i = 0; i < bytes.size(); ++i) sum += bytes[i] * (i % 251 + 1);
    return sum;
  }

  static std::string Hex(const uint8_t* data, size_t size) {
    std::string text;
    char digits[3];
    for (size_t i = 0; i < size; ++i) {
      std::snprintf(digits, sizeof digits, "%02x", data[i]);
      text += digits;
    }
    return text;
  }

 private:
  struct Conn {
    int fd;
    std::thread thread;
  };
  // A read or event wait the unit has not answered yet.
  struct Parked {
    int fd;
    uint32_t id;
    size_t max;
  };

  void AcceptLoop() {
    for (;;) {
      pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents != 0) return;
      int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      std::lock_guard<std::mutex> lock(mutex_);
      connections_.push_back({fd, std::thread([this, fd] { Serve(fd); })});
      changed_.notify_all();
    }
  }

  void Send(int fd, usbsim::FrameHeader header, const std::vector<uint8_t>& payload = {}) {
    usbsim::SendFrame(fd, header, payload);
  }

  // Answers a read with queued data: inline, or (`region` not null) in the window.
  void AnswerRead(const Parked& read, uint8_t* region = nullptr) {
    size_t n = std::min(read.max, readQueue_.size());
    std::vector<uint8_t> data(readQueue_.begin(), readQueue_.begin() + static_cast<std::ptrdiff_t>(n));
    readQueue_.erase(readQueue_.begin(), readQueue_.begin() + static_cast<std::ptrdiff_t>(n));
    if (region != nullptr) {
      std::copy(data.begin(), data.end(), region);
      ++windowAnswered_;
      const uint32_t claimed = static_cast<uint32_t>(windowOverrun_ ? read.max + 1 : n);
      Send(read.fd, {read.id, usbsim::Op::BulkIn, 1, usbsim::kFlagInWindow, 0, claimed, 0});
      return;
    }
    Send(read.fd, {read.id, usbsim::Op::BulkIn, 1, 0, 0, static_cast<uint32_t>(n), 0}, data);
  }

  // The host's data window of a connection, mapped while it lasts.
  struct Window {
    uint8_t* data = nullptr;
    size_t size = 0;
  };
  static Window MapWindow(int fd) {
    Window w;
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_size > 0) {
      void* p = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (p != MAP_FAILED) w = {static_cast<uint8_t*>(p), static_cast<size_t>(st.st_size)};
    }
    if (fd >= 0) ::close(fd);
    return w;
  }
  // The region a read request names, when answers go to the window and it lies inside it.
  uint8_t* RegionOf(const Window& w, const usbsim::FrameHeader& request, const std::vector<uint8_t>& payload) const {
    if (!windowAnswers_ || w.data == nullptr || payload.size() != usbsim::kWindowOffsetSize) return nullptr;
    const size_t offset = payload[0] | (payload[1] << 8) | (payload[2] << 16) | (static_cast<size_t>(payload[3]) << 24);
    return offset <= w.size && request.arg <= w.size - offset ? w.data + offset : nullptr;
  }

  void Serve(int fd) {
    usbsim::FrameReader reader(fd);
    Window window;
    usbsim::FrameHeader request;
    std::vector<uint8_t> payload;
    while (reader.Next(request, payload)) {
      std::lock_guard<std::mutex> lock(mutex_);
      usbsim::FrameHeader answer{request.id, request.op, request.pipe, 0, 0, 0, 0};
      switch (request.op) {
        case usbsim::Op::Hello: {
          window = MapWindow(reader.TakeReceivedFd());
          std::u16string path = FromUtf8(std::string(payload.begin(), payload.end()));
          answer.status = unplugged_ ? ERROR_DEVICE_NOT_CONNECTED
                          : path == entry_.interfacePath ? ERROR_SUCCESS
                                                         : ERROR_FILE_NOT_FOUND;
          Send(fd, answer);
          break;
        }
        case usbsim::Op::BulkOut:
          if (payload.size() > 64) {
            log_.push_back("write " + std::to_string(payload.size()) + " bytes, sum " + std::to_string(Sum(payload)));
          } else {
            log_.push_back("write " + Hex(payload.data(), payload.size()));
          }
          answer.status = stall_ ? ERROR_GEN_FAILURE : ERROR_SUCCESS;
          answer.arg = stall_ ? 0 : static_cast<uint32_t>(payload.size());
          Send(fd, answer);
          break;
        case usbsim::Op::Vendor: {
          usbsim::SetupPacket s = usbsim::DecodeSetup(payload.data());
          char head[64];
          std::snprintf(head, sizeof head, "vendor %02x %02x %04x %04x ", s.requestType, s.request, s.value, s.index);
          log_.push_back(head + Hex(payload.data() + usbsim::kSetupSize, payload.size() - usbsim::kSetupSize));
          answer.arg = s.length;
          Send(fd, answer);
          break;
        }
        case usbsim::Op::BulkIn:
          if (stall_) {
            answer.status = ERROR_GEN_FAILURE;
            Send(fd, answer);
          } else if (!readQueue_.empty()) {
            AnswerRead({fd, request.id, request.arg}, RegionOf(window, request, payload));
          } else {
            parkedReads_.push_back({fd, request.id, request.arg});
          }
          break;
        case usbsim::Op::ResetPipe:
          log_.push_back("reset " + std::to_string(request.pipe));
          if (request.pipe == 1) readQueue_.clear();
          for (auto it = parkedReads_.begin(); it != parkedReads_.end();) {
            if (it->fd == fd && request.pipe == 1) {
              Send(fd, {it->id, usbsim::Op::BulkIn, 1, 0, ERROR_OPERATION_ABORTED, 0, 0});
              it = parkedReads_.erase(it);
            } else {
              ++it;
            }
          }
          Send(fd, answer);
          break;
        case usbsim::Op::WaitEvent: eventWaits_.push_back({fd, request.id, 0}); break;
        case usbsim::Op::Cancel: {
          log_.push_back("cancel");
          if (ignoreCancels_) break;
          for (auto* list : {&parkedReads_, &eventWaits_}) {
            for (auto it = list->begin(); it != list->end(); ++it) {
              if (it->fd == fd && it->id == request.arg) {
                Send(fd, {it->id, list == &parkedReads_ ? usbsim::Op::BulkIn : usbsim::Op::WaitEvent, 0, 0,
                          ERROR_OPERATION_ABORTED, 0, 0});
                list->erase(it);
                break;
              }
            }
          }
          break;
        }
      }
      changed_.notify_all();
    }
    if (window.data != nullptr) ::munmap(window.data, window.size);
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(parkedReads_, [fd](const Parked& p) { return p.fd == fd; });
    std::erase_if(eventWaits_, [fd](const Parked& p) { return p.fd == fd; });
    ++endedConnections_;
    changed_.notify_all();
  }

 public:
  size_t EndedConnections() const { return endedConnections_; }

 private:
  DeviceEntry entry_;
  int listener_ = -1;
  int wake_ = -1;
  std::thread acceptThread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::list<Conn> connections_;
  std::deque<uint8_t> readQueue_;
  std::deque<Parked> parkedReads_;
  std::deque<Parked> eventWaits_;
  std::vector<std::string> log_;
  bool stall_ = false;
  bool windowAnswers_ = false;
  bool windowOverrun_ = false;
  size_t windowAnswered_ = 0;
  bool ignoreCancels_ = false;
  bool unplugged_ = false;
  size_t endedConnections_ = 0;
};

}  // namespace rzd::test
