#include "platform/usb_sim_protocol.h"
#include "usb/usb_link.h"

namespace rzd {

namespace {

using usbdetail::RequestState;
using usbdetail::UsbOp;

std::shared_ptr<RequestState> NewRequest(UsbOp op, uint8_t pipe, UsbCompletion done) {
  auto request = std::make_shared<RequestState>();
  request->op = op;
  request->pipe = pipe;
  request->done = std::move(done);
  return request;
}

UsbRequest Failed(std::shared_ptr<RequestState> request, uint32_t error) {
  request->Complete(error);
  return UsbRequest(std::move(request));
}

bool ValidPipe(uint32_t pipeType) { return pipeType == READ_DATA_PIPE || pipeType == WRITE_DATA_PIPE; }

// Waits for a started request; on time-out cancels it and waits for it to end.
uint32_t Finish(UsbRequest request, uint32_t timeoutMs, size_t* transferred) {
  bool timedOut = request.Wait(timeoutMs) == WAIT_TIMEOUT;
  if (timedOut) request.Cancel();
  uint32_t error = request.Error();
  if (transferred) *transferred = request.Transferred();
  return timedOut && error == ERROR_OPERATION_ABORTED ? WAIT_TIMEOUT : error;
}

}  // namespace

std::shared_ptr<UsbDevice> UsbDevice::Open(std::u16string_view devicePath, uint32_t* error) {
  auto fail = [&](uint32_t code) {
    if (error) *error = code;
    return std::shared_ptr<UsbDevice>();
  };
  std::optional<DeviceEntry> entry = FindDevice(devicePath);
  if (!entry) return fail(ERROR_FILE_NOT_FOUND);
  std::shared_ptr<usbdetail::Link> link;
  uint32_t linkError = ERROR_NOT_SUPPORTED;
  if (entry->backend == "sim") {
    link = usbdetail::OpenSimLink(*entry, &linkError);
  } else if (entry->backend == "libusb") {
    link = usbdetail::OpenLibusbLink(*entry, &linkError);
  }
  if (!link) return fail(linkError);
  if (error) *error = ERROR_SUCCESS;
  return std::shared_ptr<UsbDevice>(new UsbDevice(entry->interfacePath, std::move(link)));
}

UsbDevice::UsbDevice(std::u16string path, std::shared_ptr<usbdetail::Link> link)
    : path_(std::move(path)), link_(std::move(link)) {}

UsbDevice::~UsbDevice() { Close(); }

void UsbDevice::Close() { link_->Close(); }

UsbRequest UsbDevice::StartRead(void* buffer, size_t size, UsbCompletion done) {
  auto request = NewRequest(UsbOp::Read, READ_DATA_PIPE, std::move(done));
  if (size > usbsim::kMaxTransfer || (buffer == nullptr && size != 0)) return Failed(request, ERROR_INVALID_PARAMETER);
  request->inBuffer = static_cast<uint8_t*>(buffer);
  request->inCapacity = size;
  link_->Submit(request);
  return UsbRequest(std::move(request));
}

UsbRequest UsbDevice::StartWrite(const void* data, size_t size, UsbCompletion done) {
  auto request = NewRequest(UsbOp::Write, WRITE_DATA_PIPE, std::move(done));
  if (size > usbsim::kMaxTransfer || (data == nullptr && size != 0)) return Failed(request, ERROR_INVALID_PARAMETER);
  request->out = std::span<const uint8_t>(static_cast<const uint8_t*>(data), size);
  link_->Submit(request);
  request->out = {};
  return UsbRequest(std::move(request));
}

UsbRequest UsbDevice::StartVendorRequest(const UsbVendorRequest& vendor, UsbCompletion done) {
  auto request = NewRequest(UsbOp::Vendor, 0, std::move(done));
  if ((vendor.requestType & 0x80) != 0 || vendor.data.size() > 0xFFFF) return Failed(request, ERROR_INVALID_PARAMETER);
  request->vendor = vendor;
  request->vendor.data = {};
  request->out = vendor.data;
  link_->Submit(request);
  request->out = {};
  return UsbRequest(std::move(request));
}

UsbRequest UsbDevice::StartResetPipe(uint32_t pipeType, UsbCompletion done) {
  auto request = NewRequest(UsbOp::ResetPipe, static_cast<uint8_t>(pipeType), std::move(done));
  if (!ValidPipe(pipeType)) return Failed(request, ERROR_INVALID_PARAMETER);
  link_->Submit(request);
  return UsbRequest(std::move(request));
}

UsbRequest UsbDevice::StartWaitDeviceEvent(void* report, size_t size, UsbCompletion done) {
  auto request = NewRequest(UsbOp::WaitEvent, 0, std::move(done));
  if (report == nullptr || size == 0) return Failed(request, ERROR_INVALID_PARAMETER);
  request->inBuffer = static_cast<uint8_t*>(report);
  request->inCapacity = size;
  link_->Submit(request);
  return UsbRequest(std::move(request));
}

uint32_t UsbDevice::CancelPipe(uint32_t pipeType) {
  if (!ValidPipe(pipeType)) return ERROR_INVALID_PARAMETER;
  for (const std::shared_ptr<RequestState>& pending : link_->PendingOn(static_cast<uint8_t>(pipeType))) {
    UsbRequest(pending).Cancel();
  }
  return ERROR_SUCCESS;
}

uint32_t UsbDevice::Read(void* buffer, size_t size, uint32_t timeoutMs, size_t* transferred) {
  return Finish(StartRead(buffer, size), timeoutMs, transferred);
}

uint32_t UsbDevice::Write(const void* data, size_t size, uint32_t timeoutMs, size_t* transferred) {
  return Finish(StartWrite(data, size), timeoutMs, transferred);
}

uint32_t UsbDevice::VendorRequest(const UsbVendorRequest& request, uint32_t timeoutMs) {
  return Finish(StartVendorRequest(request), timeoutMs, nullptr);
}

uint32_t UsbDevice::ResetPipe(uint32_t pipeType, uint32_t timeoutMs) {
  return Finish(StartResetPipe(pipeType), timeoutMs, nullptr);
}

uint32_t UsbDevice::WaitDeviceEvent(void* report, size_t size, uint32_t timeoutMs, size_t* transferred) {
  return Finish(StartWaitDeviceEvent(report, size), timeoutMs, transferred);
}

}  // namespace rzd
