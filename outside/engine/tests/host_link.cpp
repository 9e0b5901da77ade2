// The host's primitive operations through platform/usb, for a unit in another process.
#include "host_link.h"

#include "platform/errors.h"

#include <gtest/gtest.h>

namespace rzd::engine::test {

namespace {

uint32_t Timeout(Await await) {
  return await == Await::Answer ? UsbLink::kAnswerTimeoutMs : UsbLink::kSilenceMs;
}

}  // namespace

PortStatus UsbLink::Result(uint32_t error, const char* operation) {
  lastError_ = error;
  switch (error) {
    case ERROR_SUCCESS: return PortStatus::Ok;
    case ERROR_GEN_FAILURE: return PortStatus::Stall;
    case WAIT_TIMEOUT: return PortStatus::NoAnswer;
    default:
      ADD_FAILURE() << operation << " failed with Win32 error " << error;
      return PortStatus::Stall;
  }
}

PortStatus UsbLink::VendorOut(const VendorRequest& request, Await await) {
  UsbVendorRequest vendor;
  vendor.requestType = request.requestType;
  vendor.request = request.request;
  vendor.value = request.value;
  vendor.index = request.index;
  vendor.data = request.data;
  return Result(device_->VendorRequest(vendor, Timeout(await)), "vendor request");
}

PortStatus UsbLink::BulkOut(const uint8_t* data, size_t size, Await await) {
  size_t written = 0;
  const PortStatus status = Result(device_->Write(data, size, Timeout(await), &written), "bulk OUT");
  if (status == PortStatus::Ok) {
    EXPECT_EQ(written, size) << "bulk OUT took part of the block";
  }
  return status;
}

PortStatus UsbLink::BulkIn(size_t maxSize, std::vector<uint8_t>& out, Await await) {
  out.assign(maxSize, 0);
  size_t got = 0;
  const PortStatus status = Result(device_->Read(out.data(), maxSize, Timeout(await), &got), "bulk IN");
  out.resize(status == PortStatus::Ok ? got : 0);
  return status;
}

void UsbLink::ResetPipe(int pipeType) {
  lastError_ = device_->ResetPipe(static_cast<uint32_t>(pipeType), kAnswerTimeoutMs);
  EXPECT_EQ(lastError_, ERROR_SUCCESS) << "pipe reset " << pipeType;
}

}  // namespace rzd::engine::test
