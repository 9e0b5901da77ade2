// A batch through the driver's exported Control and Read in this process: a simulated unit
// served here over the sim backend, its device class key, the driver opened and locked as the
// service does, colour settings chosen on the supported document, and batches read with a buffer
// of a given size. The unit's own cost (making the pattern, its side of the socket) is part of
// every figure taken with it.
#pragma once

#include "colour_batch_settings.h"
#include "engine/sim_unit.h"
#include "engine/unit_server.h"
#include "lowdrv/core/api.h"
#include "lowdrv/core/driver_base.h"
#include "lowdrv/core/driver_codes.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <memory>
#include <string>
#include <vector>

namespace rzd::bench {

class DriverBatch {
 public:
  DriverBatch(bool jpeg, uint32_t sheets, uint32_t bufferSize) : sheets_(sheets), bufferSize_(bufferSize) {
    using namespace rzd::lowdrv;
    server_ = std::make_unique<engine::UnitServer>(unit_, engine::ModelUnitOptions(0, kSerial, u"Quarx M48tz Scanner"));
    if (server_->Start() != ERROR_SUCCESS) return;
    const std::u16string path = server_->Entry().interfacePath;
    RegKey key;
    if (RegKey::Create(Hive::LocalMachine, std::u16string(kImageClassKey) + u"\\0000", &key) != ERROR_SUCCESS) return;
    key.SetString(u"SymbolicName", path);
    key.SetString(u"FriendlyName", u"Quarx M48tz Scanner #1");
    key.SetString(u"HAL_MODEL", u"M48tz");
    ObjectResult<Event> online = Event::Create(u"Global\\RZD_VID_2E5A_PID_0148#QM48TZ000001_ON", true, true);
    if (!online) return;
    online_ = online.handle;
    uint32_t size = sizeof handle_;
    BSTR error = nullptr;
    const bool opened = ::Control(nullptr, cc::kOpen, path.c_str(), nullptr, nullptr, 0, &handle_, &size, &error);
    SysFreeString(error);
    if (!opened) return;
    uint32_t timeout = 5000;
    error = nullptr;
    const bool locked = ::Control(handle_, cc::kLock, nullptr, nullptr, &timeout, sizeof timeout, nullptr, nullptr, &error);
    SysFreeString(error);
    if (!locked || !Choose(jpeg)) return;
    buffer_.resize(bufferSize_);
    ready_ = true;
  }
  ~DriverBatch() {
    if (handle_) {
      BSTR error = nullptr;
      ::Control(handle_, lowdrv::cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &error);
      SysFreeString(error);
    }
    if (server_) server_->Stop();
  }
  DriverBatch(const DriverBatch&) = delete;
  DriverBatch& operator=(const DriverBatch&) = delete;

  bool Ready() const { return ready_; }
  // The driver reads made so far.
  uint64_t Reads() const { return reads_; }

  // One batch; the image bytes delivered, 0 on failure.
  uint64_t Scan() {
    if (unit_.Control("load " + std::to_string(sheets_) + " duplex").rfind("ok", 0) != 0) return 0;
    uint64_t bytes = 0;
    for (;;) {
      uint32_t size = bufferSize_;
      uint32_t boundary = 0;
      BSTR meta = nullptr;
      const bool ok = ::Read(handle_, buffer_.data(), &size, &meta, &boundary);
      SysFreeString(meta);
      ++reads_;
      if (!ok) return 0;
      bytes += size;
      if (boundary == 6) return bytes;
    }
  }

 private:
  static constexpr char kSerial[] = "QM48TZ000001";

  bool Choose(bool jpeg) {
    using namespace rzd::lowdrv;
    Bstr supported;
    Bstr error;
    if (!::Control(handle_, cc::kSupportedSettings, nullptr, supported.Out(), nullptr, 0, nullptr, nullptr,
                   error.Out()))
      return false;
    const std::optional<std::u16string> text = ColourBatchSettings(supported.View(), jpeg);
    if (!text) return false;
    error.Reset();
    ::Control(handle_, cc::kSetCurrentSettings, text->c_str(), nullptr, nullptr, 0, nullptr, nullptr, error.Out());
    return SettingsTaken(error.View());
  }

  const uint32_t sheets_;
  const uint32_t bufferSize_;
  engine::SimUnit unit_;
  std::unique_ptr<engine::UnitServer> server_;
  Event online_;
  void* handle_ = nullptr;
  std::vector<uint8_t> buffer_;
  bool ready_ = false;
  uint64_t reads_ = 0;
};

}  // namespace rzd::bench
