// The fixture of the in-process tests of the scanner HAL object: the fake driver library, a
// parent that records what the object asks of it, and small helpers for IRZDHAL calls.
#pragma once

#include "fake_driver_script.h"
#include "hal_control.h"
#include "hal/scanner.h"
#include "service_fixture.h"

#include "lowdrv/engine/model_ids.h"
#include "platform/modules.h"
#include "platform/process.h"
#include "platform/session.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

namespace rzd::scanhost::test {

class RecordingParent final : public IHALScannerParent {
 public:
  void DestroyScanner(CRZDHALScannerBase*) override { Note("destroy"); }
  void ReapDeadClients() override { Note("reap"); }
  void RegisterClient(CRZDHALScannerBase*, uint32_t processId) override { Note("register " + std::to_string(processId)); }
  void UnregisterClient(CRZDHALScannerBase*) override { Note("unregister"); }
  std::u16string FriendlyName() const override { return friendlyName; }
  std::u16string DeviceClassKey() const override { return classKey; }
  std::vector<std::string> Calls() {
    std::lock_guard guard(lock_);
    return calls_;
  }

 private:
  void Note(std::string call) {
    std::lock_guard guard(lock_);
    calls_.push_back(std::move(call));
  }
  std::mutex lock_;
  std::vector<std::string> calls_;

 public:
  // What the unit's device class key says (set before the object is made).
  std::u16string friendlyName = lowdrv::kModelFriendlyNameW;
  std::u16string classKey;
};

// Driver codes as the fake's journal writes them.
inline constexpr uint32_t kOpenCode = 0x48000004;
inline constexpr uint32_t kCloseCode = 0x80000005;
inline constexpr uint32_t kLockCode = 0x90000001;
inline constexpr uint32_t kUnlockCode = 0x80000002;
inline constexpr uint32_t kNotifyCode = 0x94000018;

class ScannerTest : public ServiceFixture {
 protected:
  std::shared_ptr<CRZDHALScanner> MakeScanner(bool serviceOwned = false, const char* driver = RZD_FAKE_DRIVER) {
    return std::make_shared<CRZDHALScanner>(&parent_, UnitPath(), FromUtf8(driver), u"", serviceOwned);
  }
  // A HAL control code with a value in (VT_UI4 unless another numeric type is asked).
  static HRESULT Code(CRZDHALScannerBase& scanner, LONG code, uint32_t value = 0, VARTYPE type = VT_UI4) {
    return ControlWithValue(scanner, &CRZDHALScannerBase::raw_Control, code, value, type);
  }
  // Registers the image-transfer buffer components (the library's own registration).
  static void RegisterRasterBlocks() {
    std::unique_ptr<Module> library = Module::Load(RZD_RASTERBLOCKS_LIBRARY);
    ASSERT_TRUE(library);
    ASSERT_EQ(library->Bind<HRESULT (*)()>("DllRegisterServer")(), S_OK);
  }
  static HRESULT Lock(CRZDHALScannerBase& scanner, LONG pid, LONG* status = nullptr) {
    LONG local = -1;
    return scanner.raw_LockScanner(pid, status != nullptr ? status : &local, 1000);
  }
  // Names process `pid` the object's owner (code 35) and locks the unit for it.
  static void LockAs(CRZDHALScannerBase& scanner, uint32_t pid) {
    ASSERT_EQ(Code(scanner, 35, pid), S_OK);
    ASSERT_EQ(Lock(scanner, static_cast<LONG>(pid)), S_OK);
  }

  RecordingParent parent_;
};

}  // namespace rzd::scanhost::test
