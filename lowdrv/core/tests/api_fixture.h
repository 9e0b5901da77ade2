// The fixture of the entry-point tests: a fresh system root, test driver objects made by the
// real open code, units announced online the way the service does, and small readers of the
// documents the entry points write.
#pragma once

#include "api/device_open.h"
#include "api/device_table.h"
#include "api/entry_points.h"
#include "api_test_driver.h"
#include "lowdrv/core/api.h"
#include "lowdrv/core/driver_codes.h"
#include "testsupport/temp_root.h"

#include "foundation/diag_sink.h"
#include "platform/kernel.h"
#include "platform/text.h"
#include "platform/types.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {

// The interface path of the model's unit with this serial number, as the device table gives it.
inline std::u16string UnitPath(const std::u16string& serial = u"qm48tz000001") {
  return u"\\\\?\\usb#vid_2e5a&pid_0148#" + serial + u"#{6bdd1fc6-810f-11d0-bec7-08002be2092f}";
}

// The ErrorCode of a `Result` document; nullopt when the text is not one.
inline std::optional<int32_t> ErrorCodeOf(std::u16string_view document) {
  constexpr std::u16string_view open = u"<Result><ErrorCode>";
  constexpr std::u16string_view close = u"</ErrorCode>";
  if (document.substr(0, open.size()) != open) return std::nullopt;
  const size_t end = document.find(close);
  if (end == std::u16string_view::npos) return std::nullopt;
  return WToI(document.substr(open.size(), end - open.size()));
}

class ApiTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    api::SetDriverFactory([state = state_](const std::u16string& path) -> std::unique_ptr<IDriverObject> {
      return std::make_unique<TestDriver>(state, path);
    });
  }
  void TearDown() override {
    api::CloseAllDevices();
    api::SetDriverFactory(nullptr);
    StopDiagnostics();
    EXPECT_FALSE(state_->usedAfterDestroy);
  }

  // Announces the unit online (the service's event, set) or present but offline (not set).
  void SetOnline(const std::u16string& path, bool online = true) {
    const std::optional<std::u16string> name = DeviceOnlineEventName(path);
    ASSERT_TRUE(name);
    ObjectResult<Event> event = Event::Create(*name, true, online);
    ASSERT_TRUE(event);
    online ? event.handle.Set() : event.handle.Reset();
    events_.push_back(event.handle);
  }

  // Opens a unit through Control; the handle, or null (with the test failed).
  void* Open(const std::u16string& path = UnitPath()) {
    SetOnline(path);
    void* handle = nullptr;
    uint32_t size = sizeof handle;
    rzd::Bstr error;
    const BOOL ok = Control(nullptr, cc::kOpen, path.c_str(), nullptr, nullptr, 0, &handle, &size, error.Out());
    EXPECT_TRUE(ok);
    EXPECT_EQ(size, sizeof handle);
    EXPECT_EQ(ErrorCodeOf(error.View()), 0);
    return handle;
  }

  // Closes a handle through Control; the result code.
  LLDError Close(void* handle) {
    rzd::Bstr error;
    return api::ControlCall(handle, cc::kClose, nullptr, nullptr, nullptr, 0, nullptr, nullptr, error.Out());
  }

  std::shared_ptr<TestDriverState> state_ = std::make_shared<TestDriverState>();
  std::vector<Event> events_;
};

}  // namespace rzd::lowdrv::test
