// rzd-lldctl: loads the driver library by file name, binds Control and Read, and walks a unit
// through list, open, status and close, printing each answer. It also plays the one part of the
// service the driver relies on for an open: the unit's device-online event is set while it runs.
//
//   rzd-lldctl [--path DEVICE_PATH]
//
// Without --path the first present unit of the image class is used.
#include "lowdrv/core/api.h"
#include "lowdrv/engine/unit_names.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/modules.h"
#include "platform/text.h"
#include "platform/types.h"

#include <cstdio>
#include <string>

namespace {

constexpr uint32_t kDeviceList = 0x20000003;
constexpr uint32_t kOpen = 0x48000004;
constexpr uint32_t kStatus = 0x88000008;
constexpr uint32_t kClose = 0x80000005;

// Where the library lies: beside the program, or in the build's library folder.
std::unique_ptr<rzd::Module> LoadDriver() {
  const std::optional<std::filesystem::path> path = rzd::FindBesideProgram(kLowLevelDriverFileName);
  return path ? rzd::Module::Load(*path) : nullptr;
}

void Print(const char* label, BSTR text) {
  std::string body = text != nullptr ? rzd::ToUtf8(rzd::BstrView(text)) : "(no document)";
  std::printf("%s:\n%s\n", label, body.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::u16string path;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--path" && i + 1 < argc) {
      path = rzd::FromUtf8(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: rzd-lldctl [--path DEVICE_PATH]\n");
      return 2;
    }
  }
  // The library stays loaded until the process ends; its unload then closes whatever the tool
  // left open (after a failed step it returns at once).
  static rzd::Module* const driver = LoadDriver().release();
  if (!driver) {
    std::fprintf(stderr, "rzd-lldctl: cannot load %s\n", kLowLevelDriverFileName);
    return 1;
  }
  auto control = driver->Bind<ControlFunction>("Control");
  if (control == nullptr || driver->Symbol("Read") == nullptr) {
    std::fprintf(stderr, "rzd-lldctl: the library lacks Control or Read\n");
    return 1;
  }

  BSTR list = nullptr;
  BSTR error = nullptr;
  control(nullptr, kDeviceList, nullptr, &list, nullptr, 0, nullptr, nullptr, &error);
  Print("Device list", list);
  SysFreeString(list);

  if (path.empty()) {
    auto units = rzd::EnumerateDevices(GUID_DEVINTERFACE_IMAGE);
    if (units.empty()) {
      std::fprintf(stderr, "rzd-lldctl: no unit present (plug a unit in, or start rzd-engine)\n");
      return 1;
    }
    path = units.front().interfacePath;
  }
  auto eventName = rzd::lowdrv::DeviceOnlineEventName(path);
  if (!eventName) {
    std::fprintf(stderr, "rzd-lldctl: not a USB device path: %s\n", rzd::ToUtf8(path).c_str());
    return 1;
  }
  auto online = rzd::Event::Create(*eventName, true, true);
  if (!online) {
    std::fprintf(stderr, "rzd-lldctl: cannot create the device-online event (error %u)\n", online.error);
    return 1;
  }
  online.handle.Set();

  void* handle = nullptr;
  uint32_t size = sizeof handle;
  BOOL opened = control(nullptr, kOpen, path.c_str(), nullptr, nullptr, 0, &handle, &size, &error);
  Print("Open", error);
  SysFreeString(error);
  error = nullptr;
  if (!opened) return 1;

  uint32_t status = 0;
  size = sizeof status;
  control(handle, kStatus, nullptr, nullptr, nullptr, 0, &status, &size, &error);
  std::printf("Status: %u\n", status);
  SysFreeString(error);
  error = nullptr;

  BOOL closed = control(handle, kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &error);
  Print("Close", error);
  SysFreeString(error);
  return closed ? 0 : 1;
}
