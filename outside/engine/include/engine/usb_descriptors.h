// The simulated unit's USB face: its device and configuration descriptors and the endpoints of
// its pipes, as a unit on a USB port shows them (the umockdev testbed of the tests). One vendor
// interface: bulk IN (read data pipe), bulk OUT (write data pipe) and interrupt IN (device
// events); the command block travels as a vendor request on the control pipe.
#pragma once

#include "lowdrv/engine/model_ids.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace rzd::engine {

inline constexpr uint8_t kReadPipeEndpoint = 0x81;
inline constexpr uint8_t kWritePipeEndpoint = 0x02;
inline constexpr uint8_t kEventEndpoint = 0x83;
inline constexpr uint16_t kBulkPacketSize = 512;
inline constexpr uint8_t kEventPacketSize = 16;

// String descriptor indexes of the device descriptor.
inline constexpr uint8_t kManufacturerString = 1;
inline constexpr uint8_t kProductString = 2;
inline constexpr uint8_t kSerialString = 3;

inline constexpr size_t kUsbDescriptorsSize = 18 + 9 + 9 + 3 * 7;

// The device descriptor followed by the configuration (interface and endpoints), as the kernel
// lists them in sysfs `descriptors`. `hasSerial` false: a unit without a serial-number string.
constexpr std::array<uint8_t, kUsbDescriptorsSize> UsbDescriptors(uint16_t revision, bool hasSerial = true) {
  constexpr uint16_t vendor = lowdrv::kModelUsbVendorId;
  constexpr uint16_t product = lowdrv::kModelUsbProductId;
  constexpr uint8_t total = 9 + 9 + 3 * 7;
  return {
      // device: USB 2.0, class per interface, control packets of 64 bytes, one configuration
      18, 1, 0x00, 0x02, 0, 0, 0, 64, vendor & 0xFF, vendor >> 8, product & 0xFF, product >> 8,
      static_cast<uint8_t>(revision & 0xFF), static_cast<uint8_t>(revision >> 8), kManufacturerString, kProductString,
      static_cast<uint8_t>(hasSerial ? kSerialString : 0), 1,
      // configuration 1: one interface, self-powered
      9, 2, total, 0, 1, 1, 0, 0xC0, 1,
      // interface 0: vendor class, three endpoints
      9, 4, 0, 0, 3, 0xFF, 0xFF, 0xFF, 0,
      // endpoints: bulk IN, bulk OUT, interrupt IN every 8 frames
      7, 5, kReadPipeEndpoint, 2, kBulkPacketSize & 0xFF, kBulkPacketSize >> 8, 0,
      7, 5, kWritePipeEndpoint, 2, kBulkPacketSize & 0xFF, kBulkPacketSize >> 8, 0,
      7, 5, kEventEndpoint, 3, kEventPacketSize, 0, 8};
}

}  // namespace rzd::engine
