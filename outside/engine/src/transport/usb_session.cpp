// One host handle's connection: the Hello exchange, then request frames forwarded to the unit.
// A request the unit does not answer is kept ("parked") until the host cancels it, resets its
// pipe or goes away. Read data goes into the host's data window when the host gave one at the
// greeting and set aside a region for the read; otherwise it follows the answer on the socket.
#include "platform/errors.h"
#include "platform/text.h"
#include "transport/server_parts.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>

namespace rzd::engine::transport {

namespace {

using usbsim::FrameHeader;
using usbsim::Op;

constexpr int kHelloTimeoutSeconds = 10;
constexpr std::chrono::microseconds kRequestSpin{50};

struct Parked {
  Op op;
  uint8_t pipe;
};

// The host's data window, mapped for the length of the connection.
class WindowMapping {
 public:
  WindowMapping() = default;
  ~WindowMapping() {
    if (data_ != nullptr) ::munmap(data_, size_);
  }
  WindowMapping(const WindowMapping&) = delete;
  WindowMapping& operator=(const WindowMapping&) = delete;

  // Maps the memory file (and closes the descriptor); a file that is not one, or is larger than
  // a window may be, is not used.
  void Map(int fd) {
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        static_cast<uint64_t>(st.st_size) <= usbsim::kMaxWindow) {
      void* p = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (p != MAP_FAILED) {
        data_ = static_cast<uint8_t*>(p);
        size_ = static_cast<size_t>(st.st_size);
      }
    }
    ::close(fd);
  }
  // The region [offset, offset + size), or nullptr when it is not wholly inside the window.
  uint8_t* Region(uint64_t offset, uint64_t size) const {
    if (data_ == nullptr || offset > size_ || size > size_ - offset) return nullptr;
    return data_ + offset;
  }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

class UsbSession {
 public:
  UsbSession(const std::shared_ptr<Connection>& connection, UnitContext& unit)
      : connection_(connection), unit_(unit), reader_(connection->Fd()) {}

  void Run() {
    if (!Greet()) return;
    // A host usually sends its next request within microseconds of an answer: it is looked for
    // a short while before this thread sleeps.
    reader_.SetSpin(kRequestSpin);
    FrameHeader request;
    std::vector<uint8_t> payload;
    while (reader_.Next(request, payload)) {
      if (!Handle(request, payload)) return;
    }
  }

 private:
  bool Greet() {
    timeval limit{kHelloTimeoutSeconds, 0};
    ::setsockopt(connection_->Fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    FrameHeader hello;
    std::vector<uint8_t> payload;
    if (!reader_.Next(hello, payload) || hello.op != Op::Hello) return false;
    window_.Map(reader_.TakeReceivedFd());
    timeval none{0, 0};
    ::setsockopt(connection_->Fd(), SOL_SOCKET, SO_RCVTIMEO, &none, sizeof none);
    std::u16string path = FromUtf8(std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()));
    uint32_t status = ERROR_SUCCESS;
    if (hello.arg != usbsim::kVersion) {
      status = ERROR_NOT_SUPPORTED;
    } else if (!unit_.plugged.load()) {
      status = ERROR_DEVICE_NOT_CONNECTED;
    } else if (!EqualsNoCase(path, unit_.interfacePath)) {
      status = ERROR_FILE_NOT_FOUND;
    }
    return Answer(hello, status) && status == ERROR_SUCCESS;
  }

  bool Answer(const FrameHeader& request, uint32_t status, uint32_t arg = 0, std::span<const uint8_t> data = {}) {
    FrameHeader answer;
    answer.id = request.id;
    answer.op = request.op;
    answer.pipe = request.pipe;
    answer.status = status;
    answer.arg = arg;
    return connection_->Send(answer, data);
  }

  // Answers by the unit's status; a request without an answer is parked.
  bool Finish(const FrameHeader& request, PortStatus status, uint32_t arg = 0, std::span<const uint8_t> data = {}) {
    switch (status) {
      case PortStatus::Ok: return Answer(request, ERROR_SUCCESS, arg, data);
      case PortStatus::Stall: return Answer(request, ERROR_GEN_FAILURE);
      case PortStatus::NoAnswer: parked_[request.id] = {request.op, request.pipe}; return true;
    }
    return Answer(request, ERROR_GEN_FAILURE);
  }

  // False ends the connection (a frame that breaks the protocol).
  bool Handle(const FrameHeader& request, const std::vector<uint8_t>& payload) {
    switch (request.op) {
      case Op::BulkOut: {
        if (request.pipe != 2 || payload.size() > usbsim::kMaxTransfer) return false;
        PortStatus status;
        {
          std::lock_guard<std::mutex> lock(unit_.portMutex);
          status = unit_.port.BulkOut(payload.data(), payload.size());
        }
        return Finish(request, status, static_cast<uint32_t>(payload.size()));
      }
      case Op::BulkIn: {
        if (request.pipe != 1 || request.arg > usbsim::kMaxTransfer) return false;
        if (!payload.empty() && payload.size() != usbsim::kWindowOffsetSize) return false;
        std::vector<uint8_t>& data = readData_;
        PortStatus status;
        {
          std::lock_guard<std::mutex> lock(unit_.portMutex);
          status = unit_.port.BulkIn(request.arg, data);
        }
        if (data.size() > request.arg) data.resize(request.arg);  // never more than asked
        if (status == PortStatus::Ok && !payload.empty()) {
          uint32_t offset = 0;
          for (size_t i = 0; i < usbsim::kWindowOffsetSize; ++i) offset |= static_cast<uint32_t>(payload[i]) << (8 * i);
          if (uint8_t* region = window_.Region(offset, request.arg)) {
            if (!data.empty()) std::memcpy(region, data.data(), data.size());
            FrameHeader answer;
            answer.id = request.id;
            answer.op = request.op;
            answer.pipe = request.pipe;
            answer.flags = usbsim::kFlagInWindow;
            answer.arg = static_cast<uint32_t>(data.size());
            return connection_->Send(answer);
          }
        }
        return Finish(request, status, static_cast<uint32_t>(data.size()), data);
      }
      case Op::Vendor: {
        if (payload.size() < usbsim::kSetupSize) return false;
        usbsim::SetupPacket setup = usbsim::DecodeSetup(payload.data());
        if (setup.length != payload.size() - usbsim::kSetupSize) return false;
        VendorRequest vendor;
        vendor.requestType = setup.requestType;
        vendor.request = setup.request;
        vendor.value = setup.value;
        vendor.index = setup.index;
        vendor.data.assign(payload.begin() + usbsim::kSetupSize, payload.end());
        PortStatus status;
        {
          std::lock_guard<std::mutex> lock(unit_.portMutex);
          status = unit_.port.VendorOut(vendor);
        }
        return Finish(request, status, setup.length);
      }
      case Op::ResetPipe: {
        if (request.pipe != 1 && request.pipe != 2) return Answer(request, ERROR_INVALID_PARAMETER);
        {
          std::lock_guard<std::mutex> lock(unit_.portMutex);
          unit_.port.ResetPipe(request.pipe);
        }
        for (auto it = parked_.begin(); it != parked_.end();) {
          if (it->second.pipe == request.pipe && it->second.op != Op::Vendor) {
            FrameHeader aborted{it->first, it->second.op, it->second.pipe, 0, 0, 0, 0};
            if (!Answer(aborted, ERROR_OPERATION_ABORTED)) return false;
            it = parked_.erase(it);
          } else {
            ++it;
          }
        }
        return Answer(request, ERROR_SUCCESS);
      }
      case Op::WaitEvent:
        unit_.events.Wait(connection_, request.id);
        return true;
      case Op::Cancel: {
        auto it = parked_.find(request.arg);
        if (it != parked_.end()) {
          FrameHeader aborted{it->first, it->second.op, it->second.pipe, 0, 0, 0, 0};
          parked_.erase(it);
          return Answer(aborted, ERROR_OPERATION_ABORTED);
        }
        unit_.events.Cancel(*connection_, request.arg);
        return true;  // a request already answered: nothing to do
      }
      case Op::Hello: return false;
    }
    return false;
  }

  std::shared_ptr<Connection> connection_;
  UnitContext& unit_;
  usbsim::FrameReader reader_;
  WindowMapping window_;
  std::vector<uint8_t> readData_;  // the unit's answer to the current read
  std::map<uint32_t, Parked> parked_;
};

}  // namespace

void ServeUsb(const std::shared_ptr<Connection>& connection, UnitContext& unit) {
  UsbSession(connection, unit).Run();
}

}  // namespace rzd::engine::transport
