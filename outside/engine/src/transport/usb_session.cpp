// One host handle's connection: the Hello exchange, then request frames forwarded to the unit.
// A request the unit does not answer is kept ("parked") until the host cancels it, resets its
// pipe or goes away.
#include "platform/errors.h"
#include "platform/text.h"
#include "transport/server_parts.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <map>

namespace rzd::engine::transport {

namespace {

using usbsim::FrameHeader;
using usbsim::Op;

constexpr int kHelloTimeoutSeconds = 10;

struct Parked {
  Op op;
  uint8_t pipe;
};

class UsbSession {
 public:
  UsbSession(const std::shared_ptr<Connection>& connection, UnitContext& unit)
      : connection_(connection), unit_(unit) {}

  void Run() {
    if (!Greet()) return;
    FrameHeader request;
    std::vector<uint8_t> payload;
    while (usbsim::ReceiveFrame(connection_->Fd(), request, payload)) {
      if (!Handle(request, payload)) return;
    }
  }

 private:
  bool Greet() {
    timeval limit{kHelloTimeoutSeconds, 0};
    ::setsockopt(connection_->Fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    FrameHeader hello;
    std::vector<uint8_t> payload;
    if (!usbsim::ReceiveFrame(connection_->Fd(), hello, payload) || hello.op != Op::Hello) return false;
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
        std::vector<uint8_t> data;
        PortStatus status;
        {
          std::lock_guard<std::mutex> lock(unit_.portMutex);
          status = unit_.port.BulkIn(request.arg, data);
        }
        if (data.size() > request.arg) data.resize(request.arg);  // never more than asked
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
  std::map<uint32_t, Parked> parked_;
};

}  // namespace

void ServeUsb(const std::shared_ptr<Connection>& connection, UnitContext& unit) {
  UsbSession(connection, unit).Run();
}

}  // namespace rzd::engine::transport
