// The service's road to a unit, for tests: rzd-engine in a process of its own (optionally writing
// its LCD screens to a folder), announced online as the service announces it, and liblowdrv.so
// loaded by file name with its Control bound, the unit opened through it. The opened handle is
// the ScannerDriver a scanner object would be.
#pragma once

#include "engine/unit_server.h"
#include "lowdrv/core/api.h"
#include "lowdrv/core/driver_codes.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/types.h"
#include "scanhost/lcd/scanner_driver.h"
#include "testsupport/eventually.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace rzd::scanhost::test {

inline constexpr char kUnitSerial[] = "QM48TZ000001";

class UnitWithDriver : public ScannerDriver {
 public:
  // Starts the unit of `instance` and registers its device class key with `friendlyName`.
  UnitWithDriver(const std::filesystem::path& driverLibrary, std::u16string friendlyName,
                 std::optional<std::filesystem::path> lcdDir = std::nullopt, uint32_t instance = 0)
      : friendlyName_(std::move(friendlyName)), instance_(instance) {
    path_ = u"\\\\?\\usb#vid_2e5a&pid_0148#" + ToLower(FromUtf8(kUnitSerial)) + u"#{6bdd1fc6-810f-11d0-bec7-08002be2092f}";
    std::vector<std::string> args = {"--instance", std::to_string(instance), "--serial", kUnitSerial, "--parent-pid",
                                     std::to_string(CurrentProcessId())};
    if (lcdDir) args.insert(args.end(), {"--lcd-dir", lcdDir->string()});
    unit_ = ChildProcess::Start(rzd::test::BinaryDir() / "rzd-engine", args);
    EXPECT_TRUE(unit_);
    EXPECT_TRUE(rzd::test::Eventually([&] { return FindDevice(path_).has_value(); }, std::chrono::seconds(30)))
        << "the unit did not come";
    RegKey key;
    EXPECT_EQ(RegKey::Create(Hive::LocalMachine, ClassKeyPath(), &key), ERROR_SUCCESS);
    key.SetString(u"SymbolicName", path_);
    key.SetString(u"FriendlyName", friendlyName_);
    key.SetString(u"HAL_MODEL", lowdrv::kModelName);
    online_ = Event::Create(u"Global\\RZD_VID_2E5A_PID_0148#" + FromUtf8(kUnitSerial) + u"_ON", true, true).handle;

    std::string error;
    library_ = Module::Load(driverLibrary, &error);
    EXPECT_TRUE(library_) << error;
    if (library_) control_ = library_->Bind<ControlFunction>("Control");
  }
  ~UnitWithDriver() override {
    Close();
    library_.reset();
    if (unit_) {
      unit_->Terminate();
      unit_->Wait(30000);
    }
  }

  std::u16string ClassKeyPath() const { return std::u16string(lowdrv::kImageClassKey) + FormatW(u"\\%04u", instance_); }
  const std::u16string& Path() const { return path_; }
  const std::u16string& FriendlyName() const { return friendlyName_; }

  bool Open() {
    std::lock_guard guard(lock_);
    if (handle_ || !control_) return handle_ != nullptr;
    void* handle = nullptr;
    uint32_t size = sizeof handle;
    BSTR error = nullptr;
    const BOOL ok = control_(nullptr, lowdrv::cc::kOpen, path_.c_str(), nullptr, nullptr, 0, &handle, &size, &error);
    SysFreeString(error);
    if (ok) handle_ = handle;
    return ok;
  }
  void Close() {
    std::lock_guard guard(lock_);
    if (!handle_ || !control_) return;
    BSTR error = nullptr;
    control_(handle_, lowdrv::cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &error);
    SysFreeString(error);
    handle_ = nullptr;
  }

  bool HasHandle() override {
    std::lock_guard guard(lock_);
    return handle_ != nullptr;
  }
  bool Control(uint32_t code, const char16_t* text, std::u16string* result, const void* in, uint32_t inSize, void* out,
               uint32_t* outSize) override {
    void* handle = nullptr;
    {
      std::lock_guard guard(lock_);
      handle = handle_;
    }
    if (!handle || !control_) return false;
    BSTR bstr = nullptr;
    BSTR error = nullptr;
    const BOOL ok = control_(handle, code, text, result ? &bstr : nullptr, const_cast<void*>(in), inSize, out, outSize,
                             &error);
    if (result) *result = BstrView(bstr);
    SysFreeString(bstr);
    SysFreeString(error);
    return ok;
  }

  // A control line to the unit ("press 2 short function=3"); its reply.
  std::string UnitControl(const std::string& line) const {
    return engine::SendControlLine(engine::ControlSocketPath(instance_), line).value_or("");
  }

 private:
  std::u16string friendlyName_;
  uint32_t instance_;
  std::u16string path_;
  std::optional<ChildProcess> unit_;
  Event online_;
  std::unique_ptr<Module> library_;
  ControlFunction control_ = nullptr;
  std::mutex lock_;
  void* handle_ = nullptr;
};

}  // namespace rzd::scanhost::test
