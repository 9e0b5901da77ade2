// The engine driver's dispatcher: which operation each code reaches with which arguments, the
// size guards, and after which codes the wake-up event is set.
#include "lowdrv/core/driver_model.h"
#include "platform/text.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace rzd::lowdrv {
namespace {

constexpr LLDError kMarker = 0x4242;  // what every recorded operation answers

// A model driver whose dispatched operations only record their call.
class RecordingDriver : public CScannerLLD {
 public:
  RecordingDriver() : CScannerLLD(u"\\\\?\\usb#vid_2e5a&pid_0148#qm48tz000001#{6bdd1fc6-810f-11d0-bec7-08002be2092f}") {}

  std::vector<std::string> calls;
  LLDError answer = kMarker;

  LLDError Note(const std::string& call) {
    calls.push_back(call);
    return answer;
  }
  static std::string Text(const char16_t* s) { return s ? ToUtf8(s) : "(null)"; }

  uint32_t GetStatus() override {
    calls.push_back("GetStatus");
    return 3;
  }
  LLDError LockScanner(const void*, uint32_t size) override { return Note("LockScanner " + std::to_string(size)); }
  LLDError UnlockScanner() override { return Note("UnlockScanner"); }
  LLDError ResetCurrentSettings(BSTR*) override { return Note("ResetCurrentSettings"); }
  LLDError ResetHardware() override { return Note("ResetHardware"); }
  LLDError CancelOperation() override { return Note("CancelOperation"); }
  LLDError GetScannerInfoString(BSTR*) override { return Note("GetScannerInfoString"); }
  LLDError GetScannerSupportedString(BSTR*) override { return Note("GetScannerSupportedString"); }
  LLDError GetScannerCurrentString(BSTR*) override { return Note("GetScannerCurrentString"); }
  LLDError SetScannerCurrentString(const char16_t* s) override { return Note("SetScannerCurrentString " + Text(s)); }
  LLDError PollSensor(uint32_t* out, const char16_t* s) override {
    *out = 11;
    return Note("PollSensor " + Text(s));
  }
  LLDError PollButton(uint32_t* out, const char16_t* s) override {
    *out = 12;
    return Note("PollButton " + Text(s));
  }
  LLDError PollButtons(BSTR*) override { return Note("PollButtons"); }
  LLDError SetTrayHeight(uint16_t h) override { return Note("SetTrayHeight " + std::to_string(h)); }
  LLDError SendLCDString(uint16_t n, const char16_t*) override { return Note("SendLCDString " + std::to_string(n)); }
  LLDError StartCalibration(BSTR*) override { return Note("StartCalibration"); }
  LLDError GetCalibrationStatus(const uint32_t* in, uint32_t* out, uint32_t size, BSTR*) override {
    *out = 13;
    return Note("GetCalibrationStatus " + std::to_string(*in) + " " + std::to_string(size));
  }
  LLDError WriteFirmware(const void*, uint32_t size, const char16_t* s) override {
    return Note("WriteFirmware " + std::to_string(size) + " " + Text(s));
  }
  LLDError WriteDefaultFirmware() override { return Note("WriteDefaultFirmware"); }
  LLDError GetIndicator(uint32_t* out, uint32_t* size, const char16_t* s) override {
    *out = 14;
    const LLDError result = Note("GetIndicator " + std::to_string(*size) + " " + Text(s));
    *size = 4;  // the operation says how much it wrote
    return result;
  }
  LLDError SetIndicator(const void*, uint32_t size, const char16_t* s) override {
    return Note("SetIndicator " + std::to_string(size) + " " + Text(s));
  }
  LLDError ResetScannerCounter(const void*, uint32_t size, const char16_t* s) override {
    return Note("ResetScannerCounter " + std::to_string(size) + " " + Text(s));
  }
  LLDError ExecControl(const void*, uint32_t size, const char16_t* s) override {
    return Note("ExecControl " + std::to_string(size) + " " + Text(s));
  }
  LLDError SessionStateChanged(const void*, uint32_t size) override {
    return Note("SessionStateChanged " + std::to_string(size));
  }
  LLDError GenericControl(const char16_t* s, uint32_t value) override {
    return Note("GenericControl " + Text(s) + " " + std::to_string(value));
  }
  LLDError BinaryControl(const void*, const char16_t* s) override { return Note("BinaryControl " + Text(s)); }
  LLDError WriteLcdScreen(const void*, uint32_t size, const char16_t* s) override {
    return Note("WriteLcdScreen " + std::to_string(size) + " " + Text(s));
  }
};

class DriverDispatchTest : public rzd::test::TempRoot {
 protected:
  void SetUp() override {
    ASSERT_EQ(driver_.OpenNamedEvent(u"Global\\M48tzLLD_WakeupTransaction"), 0u);
    ObjectResult<Event> wakeup = Event::Open(u"Global\\M48tzLLD_WakeupTransaction");
    ASSERT_TRUE(wakeup);
    wakeup_ = wakeup.handle;
  }
  // Whether the wake-up event was set since the last look (and takes it).
  bool Woken() const { return wakeup_.Wait(0) == WAIT_OBJECT_0; }

  RecordingDriver driver_;
  Event wakeup_;
};

struct DispatchCase {
  uint32_t code;
  std::string call;  // what the operation recorded
  bool wakes;
};

TEST_F(DriverDispatchTest, EachCodeReachesItsOperationAndWakesTheUnitWhereItMay) {
  const char16_t* xpath = u"/x";
  uint8_t in[16] = {0x2A, 0, 0, 0};
  const std::vector<DispatchCase> cases = {
      {0x80000002, "UnlockScanner", false},
      {0x8000000F, "ResetHardware", true},
      {0x80000010, "CancelOperation", true},
      {0x8000001E, "WriteDefaultFirmware", true},
      {0x80000027, "GenericControl /x 42", false},
      {0x90000001, "LockScanner 16", false},
      {0x90000023, "WriteLcdScreen 16 /x", false},
      {0x94000018, "SessionStateChanged 16", false},
      {0xA0000009, "GetScannerInfoString", true},
      {0xA000000B, "GetScannerSupportedString", false},
      {0xA000000C, "GetScannerCurrentString", false},
      {0xA000000E, "ResetCurrentSettings", false},
      {0xA000001A, "StartCalibration", false},
      {0xA000001B, "PollButtons", false},
      {0xC000000D, "SetScannerCurrentString /x", false},
      {0xD0000012, "WriteFirmware 16 /x", true},
      {0xD0000015, "SetIndicator 16 /x", true},
      {0xD0000016, "ExecControl 16 /x", true},
      {0xD0000017, "ResetScannerCounter 16 /x", true},
      {0xD0000025, "BinaryControl /x", false},
  };
  for (const DispatchCase& c : cases) {
    SCOPED_TRACE(FormatA("code 0x%08X", c.code));
    driver_.calls.clear();
    Bstr result;
    EXPECT_EQ(driver_.DoControlCode(c.code, xpath, result.Out(), in, sizeof in, nullptr, nullptr), kMarker);
    EXPECT_EQ(driver_.calls, std::vector<std::string>{c.call});
    EXPECT_EQ(Woken(), c.wakes);
  }
  // A failing operation wakes the unit all the same.
  driver_.answer = lld::kInternal;
  EXPECT_EQ(driver_.DoControlCode(0x80000010, nullptr, nullptr, nullptr, 0, nullptr, nullptr), lld::kInternal);
  EXPECT_TRUE(Woken());
}

TEST_F(DriverDispatchTest, CodesWithAWordOutAnswerFourBytesOrRefuseAShortBuffer) {
  struct WordCase {
    uint32_t code;
    std::string call;
    uint32_t value;
    bool wakes;
  };
  const std::vector<WordCase> cases = {
      {0xC800000A, "PollSensor /x", 11, true},
      {0xC8000013, "PollButton /x", 12, false},
      {0xC8000014, "GetIndicator 8 /x", 14, true},
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(FormatA("code 0x%08X", c.code));
    driver_.calls.clear();
    driver_.answer = 0;
    uint8_t out[8] = {};
    uint32_t size = sizeof out;
    EXPECT_EQ(driver_.DoControlCode(c.code, u"/x", nullptr, nullptr, 0, out, &size), 0u);
    EXPECT_EQ(driver_.calls, std::vector<std::string>{c.call});
    uint32_t value = 0;
    std::memcpy(&value, out, 4);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(Woken(), c.wakes);

    // A failure leaves nothing to read.
    driver_.answer = kMarker;
    size = sizeof out;
    EXPECT_EQ(driver_.DoControlCode(c.code, u"/x", nullptr, nullptr, 0, out, &size), kMarker);
    EXPECT_EQ(size, 0u);
    Woken();

    // Fewer than 4 bytes: refused before the operation.
    driver_.calls.clear();
    uint8_t small[3] = {0xEE, 0xEE, 0xEE};
    size = 3;
    EXPECT_EQ(driver_.DoControlCode(c.code, u"/x", nullptr, nullptr, 0, small, &size), lld::kInvalidParameter);
    EXPECT_TRUE(driver_.calls.empty());
    EXPECT_EQ(small[0], 0xEE);
    EXPECT_FALSE(Woken());
  }
}

TEST_F(DriverDispatchTest, StatusAndPageNumberGuardTheirSizes) {
  uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  uint32_t size = 3;
  EXPECT_EQ(driver_.DoControlCode(0x88000008, nullptr, nullptr, nullptr, 0, out, &size), lld::kInvalidParameter);
  EXPECT_TRUE(driver_.calls.empty());
  EXPECT_EQ(out[0], 0xEE);
  EXPECT_EQ(size, 3u);
  size = 4;
  EXPECT_EQ(driver_.DoControlCode(0x88000008, nullptr, nullptr, nullptr, 0, out, &size), 0u);
  EXPECT_EQ(driver_.calls, std::vector<std::string>{"GetStatus"});
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(size, 4u);

  const uint8_t page[4] = {7, 0, 0, 0};
  EXPECT_EQ(driver_.DoControlCode(0x90000026, nullptr, nullptr, const_cast<uint8_t*>(page), 3, nullptr, nullptr),
            lld::kInvalidParameter);
  EXPECT_EQ(driver_.PageNumber(), 1u);
  EXPECT_EQ(driver_.DoControlCode(0x90000026, nullptr, nullptr, const_cast<uint8_t*>(page), 4, nullptr, nullptr), 0u);
  EXPECT_EQ(driver_.PageNumber(), 7u);
  EXPECT_FALSE(Woken());
}

TEST_F(DriverDispatchTest, TrayHeightReadsTheVariantsValueOnlyFromAnInputThatHoldsIt) {
  // An automation variant: type 2 (VT_I2), the value at byte 8.
  uint8_t variant[16] = {2, 0};
  variant[8] = 0x34;
  variant[9] = 0x12;
  EXPECT_EQ(driver_.DoControlCode(0x90000029, nullptr, nullptr, variant, 9, nullptr, nullptr), lld::kInvalidParameter);
  EXPECT_TRUE(driver_.calls.empty());
  EXPECT_EQ(driver_.m_wLastTrayHeight, 0u);
  EXPECT_EQ(driver_.DoControlCode(0x90000029, nullptr, nullptr, variant, 10, nullptr, nullptr), kMarker);
  EXPECT_EQ(driver_.calls, std::vector<std::string>{"SetTrayHeight 4660"});
  EXPECT_EQ(driver_.m_wLastTrayHeight, 0x1234u);
  EXPECT_FALSE(Woken());
}

TEST_F(DriverDispatchTest, TheLcdStringCodeNeverReadsThroughCallerBytes) {
  // Bytes 8 onwards would have been taken as the address of a string.
  uint8_t in[16];
  std::memset(in, 0xAB, sizeof in);
  EXPECT_EQ(driver_.DoControlCode(0x9000002A, nullptr, nullptr, in, sizeof in, nullptr, nullptr),
            lld::kInvalidParameter);
  EXPECT_TRUE(driver_.calls.empty());
}

TEST_F(DriverDispatchTest, CalibrationStatusPassesOneWordEachWay) {
  const uint32_t request = 5;
  uint8_t out[4] = {};
  uint32_t size = 4;
  EXPECT_EQ(driver_.DoControlCode(0xB8000019, nullptr, nullptr, const_cast<uint32_t*>(&request), 4, out, &size), kMarker);
  EXPECT_EQ(size, 0u);
  driver_.answer = 0;
  size = 4;
  EXPECT_EQ(driver_.DoControlCode(0xB8000019, nullptr, nullptr, const_cast<uint32_t*>(&request), 4, out, &size), 0u);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(out[0], 13);
  EXPECT_EQ(driver_.calls.back(), "GetCalibrationStatus 5 4");
  // A word cannot be read from 2 bytes nor written into 3.
  driver_.calls.clear();
  size = 4;
  EXPECT_EQ(driver_.DoControlCode(0xB8000019, nullptr, nullptr, const_cast<uint32_t*>(&request), 2, out, &size),
            lld::kInvalidParameter);
  size = 3;
  EXPECT_EQ(driver_.DoControlCode(0xB8000019, nullptr, nullptr, const_cast<uint32_t*>(&request), 4, out, &size),
            lld::kInvalidParameter);
  EXPECT_TRUE(driver_.calls.empty());
  EXPECT_FALSE(Woken());
}

TEST_F(DriverDispatchTest, GenericControlTakesNoWordFromAShortInput) {
  const uint8_t in[3] = {9, 9, 9};
  EXPECT_EQ(driver_.DoControlCode(0x80000027, u"g", nullptr, const_cast<uint8_t*>(in), 3, nullptr, nullptr), kMarker);
  EXPECT_EQ(driver_.calls, std::vector<std::string>{"GenericControl g 0"});
}

TEST_F(DriverDispatchTest, UnknownDeviceCodesAreNotImplemented) {
  for (uint32_t code : {0x80000003u, 0x80000004u, 0x80000028u, 0xA000002Bu, 0xC8000001u, 0x8000FFFFu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(FormatA("code 0x%08X", code));
    uint8_t buffer[8] = {};
    uint32_t size = sizeof buffer;
    Bstr result;
    EXPECT_EQ(driver_.DoControlCode(code, u"x", result.Out(), buffer, sizeof buffer, buffer, &size),
              lld::kNotImplemented);
    EXPECT_FALSE(result);
  }
  EXPECT_TRUE(driver_.calls.empty());
  EXPECT_FALSE(Woken());
}

TEST_F(DriverDispatchTest, TheBaseCodesPassThroughTheEngineDispatcher) {
  driver_.m_strFirmwareVersion = u"1.07";
  Bstr version;
  EXPECT_EQ(driver_.DoControlCode(0xA0000011, nullptr, version.Out(), nullptr, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(version.View(), u"1.07");

  // Background data: a size pointer is required, and receives the stored length.
  uint8_t out[8] = {};
  uint32_t size = sizeof out;
  Bstr meta;
  EXPECT_EQ(driver_.DoControlCode(0xA000001D, nullptr, meta.Out(), nullptr, 0, out, &size), lld::kWrongSequence);
  driver_.m_Background = {5, 6, 7};
  driver_.m_bstrBackgroundMeta = Bstr(u"<m/>");
  EXPECT_EQ(driver_.DoControlCode(0xA000001D, nullptr, meta.Out(), nullptr, 0, out, nullptr), lld::kInvalidParameter);
  EXPECT_EQ(driver_.DoControlCode(0xA000001D, nullptr, meta.Out(), nullptr, 0, out, &size), 0u);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(out[2], 7);
  EXPECT_EQ(meta.View(), u"<m/>");
  EXPECT_TRUE(driver_.calls.empty());
  EXPECT_FALSE(Woken());
}

TEST_F(DriverDispatchTest, TheModelsImageReadWakesTheUnitWhateverItsResult) {
  uint8_t buffer[64] = {};
  uint8_t endFlag = 0;
  ImageReadResult result;
  EXPECT_FALSE(Woken());
  driver_.ReadEngineImageData(buffer, sizeof buffer, endFlag, result);
  EXPECT_TRUE(Woken());
}

TEST(DriverEngineOperationsTest, CodesOfOperationsNotBuiltYetAreNotImplemented) {
  rzd::test::ScopedRoot root;
  CScannerLLD driver(u"\\\\?\\usb#vid_2e5a&pid_0148#qm48tz000001#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  // Arguments that pass every size guard of the dispatcher.
  const uint32_t codes[] = {0x80000027, 0xD0000025};
  for (uint32_t code : codes) {
    SCOPED_TRACE(FormatA("code 0x%08X", code));
    uint32_t in = 1;
    uint32_t out = 0xEEEEEEEE;
    uint32_t size = sizeof out;
    Bstr result;
    EXPECT_EQ(driver.DoControlCode(code, u"/x", result.Out(), &in, sizeof in, &out, &size), lld::kNotImplemented);
    EXPECT_FALSE(result);
    EXPECT_EQ(out, 0xEEEEEEEEu);
  }
  EXPECT_EQ(driver.m_ulStatus, state::kClosed);
}

}  // namespace
}  // namespace rzd::lowdrv
