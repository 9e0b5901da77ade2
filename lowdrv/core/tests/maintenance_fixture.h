// Helpers of the tests of the information, settings, maintenance and notification operations,
// against the simulated unit in its own process (driver_unit_fixture.h).
#pragma once

#include "driver_unit_fixture.h"
#include "foundation/xml_store.h"
#include "lowdrv/core/api.h"
#include "lowdrv/core/driver_model.h"
#include "lowdrv/engine/unit_names.h"

#include <cstdio>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {

// The command block a new-set READ or SEND of a data type starts with, as the unit's log shows it.
inline std::string SendBlockOf(uint16_t dataType) {
  char text[48];
  std::snprintf(text, sizeof text, "new 12: AA 00 00 %02X %02X", dataType >> 8, dataType & 0xFF);
  return text;
}
inline std::string ReadBlockOf(uint16_t dataType) {
  char text[48];
  std::snprintf(text, sizeof text, "new 12: A8 00 00 %02X %02X", dataType >> 8, dataType & 0xFF);
  return text;
}

// How many blocks of a log start with `prefix`.
inline size_t CountBlocks(const std::vector<std::string>& log, const std::string& prefix) {
  size_t n = 0;
  for (const std::string& block : log) n += block.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

// The text at an XPath of a document; nullopt when the document does not parse or has no node there.
inline std::optional<std::u16string> TextAt(std::u16string_view document, std::u16string_view xpath) {
  MSXML6StoreSTL store;
  if (!store.LoadFromString(document)) return std::nullopt;
  std::u16string text;
  if (!store.GetNodeText(xpath, text)) return std::nullopt;
  return text;
}

// A settings document with these hardware settings (name, value) only.
inline std::u16string HardwareSettings(const std::vector<std::pair<std::u16string, std::u16string>>& ranges) {
  std::u16string doc = u"<Scanner><HardwareSettings>";
  for (const auto& [name, value] : ranges)
    doc += u"<" + name + u"><Range><Value>" + value + u"</Value></Range></" + name + u">";
  return doc + u"</HardwareSettings></Scanner>";
}

class MaintenanceTest : public DriverUnitTest {
 protected:
  // Opens the unit through Control, announced online as the service does; the handle, or null
  // (with the test failed).
  void* OpenThroughControl() {
    const std::optional<std::u16string> online = DeviceOnlineEventName(path_);
    EXPECT_TRUE(online);
    if (!online) return nullptr;
    ObjectResult<Event> event = Event::Create(*online, true, true);
    EXPECT_TRUE(event);
    events_.push_back(event.handle);
    void* handle = nullptr;
    uint32_t size = sizeof handle;
    Bstr error;
    EXPECT_TRUE(::Control(nullptr, cc::kOpen, path_.c_str(), nullptr, nullptr, 0, &handle, &size, error.Out()));
    return handle;
  }

  // Opens and locks a driver object on the unit.
  static void OpenAndLock(CRZDREduzidLLD& driver) {
    ASSERT_EQ(driver.OpenScanner(), 0u);
    const uint32_t timeout = 5000;
    ASSERT_EQ(driver.LockScanner(&timeout, sizeof timeout), 0u);
  }

  // The unit's NVRAM counters and power times, by the names of its "counters" control line.
  std::map<std::string, uint32_t> UnitCounters() {
    std::map<std::string, uint32_t> values;
    std::istringstream words(Control("counters"));
    std::string word;
    words >> word;  // "ok"
    while (words >> word) {
      const size_t equals = word.find('=');
      if (equals != std::string::npos) values[word.substr(0, equals)] = static_cast<uint32_t>(std::stoul(word.substr(equals + 1)));
    }
    return values;
  }
};

}  // namespace rzd::lowdrv::test
