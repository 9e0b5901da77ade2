// The simulated unit's transport: serves a UnitPort on the USB socket of the sim backend
// (platform/usb_sim_protocol.h) and takes text lines on a control socket. While it runs and is
// plugged in, its device-table entry is present; Start and Replug announce an arrival, Stop and
// Unplug a removal. Usable in-process (tests) and by the rzd-engine program.
#pragma once

#include "engine/unit_port.h"
#include "platform/devices.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace rzd::engine {

// Where the unit of a device instance (driver key number) listens, under the system root:
// <root>/engine/unit-NNNN.usb and <root>/engine/unit-NNNN.control.
std::filesystem::path UnitSocketPath(uint32_t instance);
std::filesystem::path ControlSocketPath(uint32_t instance);

struct UnitServerOptions {
  // The entry added to the device table; its backend must be "sim" and its address the socket
  // the server listens on.
  DeviceEntry entry;
  std::filesystem::path controlSocket;
};

// The entry and sockets of the model's unit of a device instance.
UnitServerOptions ModelUnitOptions(uint32_t instance, const std::string& serialNumber,
                                   const std::u16string& friendlyName);

class UnitServer {
 public:
  UnitServer(UnitPort& port, UnitServerOptions options);
  ~UnitServer();  // stops
  UnitServer(const UnitServer&) = delete;
  UnitServer& operator=(const UnitServer&) = delete;

  // Listens on both sockets, then adds the device-table entry. A Win32 error when a socket
  // cannot be made (ERROR_ALREADY_EXISTS: a live unit already serves that socket).
  uint32_t Start();
  // Removes the entry, ends every connection and joins every thread. Idempotent.
  void Stop();

  // One control line: "unplug" drops every connection and removes the entry, "replug" adds it
  // back and accepts connections again; any other line goes to UnitPort::Control. The reply's
  // first word is "ok" or "error".
  std::string Control(const std::string& line);
  bool IsPlugged() const;
  const DeviceEntry& Entry() const;

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

// The control lines the transport answers itself, one per line, for help texts.
std::string TransportControlHelp();

// Sends one control line to the unit listening on `controlSocket` and returns its reply (without
// the final line end); nullopt when no unit answers in time.
std::optional<std::string> SendControlLine(const std::filesystem::path& controlSocket, const std::string& line,
                                           std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace rzd::engine
