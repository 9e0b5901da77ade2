// What the entry points log: the argument failures of Read, the list's lock failures, the
// fallback of the supported-settings code, and the Read trace, which never reads through a null
// argument.
#include "api/api_log.h"
#include "api_fixture.h"
#include "api_log_capture.h"

#include "platform/resources.h"

namespace rzd::lowdrv::test {
namespace {

class LoggingTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    api::RefreshApiLog();  // the logging object looks its logger and levels up again
  }
  ApiLogCapture log_;
};

TEST_F(LoggingTest, ReadArgumentFailuresAreLoggedAtTheErrorLevel) {
  void* handle = Open();
  uint8_t buffer[4] = {};
  uint32_t size = sizeof buffer;
  uint32_t zero = 0;
  uint32_t boundary = 0;
  BSTR meta = nullptr;
  int unknown = 0;
  struct Case {
    void* handle;
    uint8_t* buffer;
    uint32_t* size;
    BSTR* meta;
    uint32_t* boundary;
    std::u16string line;
  };
  const Case cases[] = {
      {nullptr, buffer, &size, &meta, &boundary, u"Read failed because pvDevHandle = NULL"},
      {handle, nullptr, &size, &meta, &boundary, u"Read failed because pbyBufferOut = NULL"},
      {handle, buffer, nullptr, &meta, &boundary, u"Read failed because pstActualSizeOut = NULL"},
      {handle, buffer, &zero, &meta, &boundary, u"Read failed because bufSize = 0"},
      {handle, buffer, &size, nullptr, &boundary, u"Read failed because pstrMetaOut = NULL"},
      {handle, buffer, &size, &meta, nullptr, u"Read failed because pdwBoundary = NULL"},
      {&unknown, buffer, &size, &meta, &boundary, u"Read failed because pLLD = NULL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.line));
    log_.Clear();
    EXPECT_FALSE(Read(c.handle, c.buffer, c.size, c.meta, c.boundary));
    EXPECT_EQ(log_.Count(LOG_LEVEL_ERROR, c.line), 1u);
  }
}

TEST_F(LoggingTest, ReadFailureOfTheDriverIsLoggedWithItsDocument) {
  void* handle = Open();
  state_->onRead = [](uint8_t*, uint32_t*, BSTR*, uint32_t*) { return LLDError{0x8007}; };
  uint8_t buffer[4] = {};
  uint32_t size = sizeof buffer;
  uint32_t boundary = 0;
  BSTR meta = nullptr;
  EXPECT_FALSE(Read(handle, buffer, &size, &meta, &boundary));
  EXPECT_EQ(log_.Count(LOG_LEVEL_ERROR, u"Read failed with err = 32775, error string = <Result><ErrorCode>32775"
                                        u"</ErrorCode><Description>Wrong command sequence</Description></Result>"),
            1u);
  SysFreeString(meta);
}

TEST_F(LoggingTest, LockFailuresOfTheList) {
  void* handle = Open();
  BSTR error = nullptr;
  uint32_t status = 0;
  uint32_t size = sizeof status;
  log_.Clear();
  EXPECT_FALSE(Control(nullptr, cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &size, &error));
  EXPECT_EQ(log_.Count(LOG_LEVEL_ERROR,
                       u"LockScannerClass failed because pvDevHandle or  g_lst_Devices is empty= NULL"),
            1u);
  // A handle not in the list fails without a line.
  log_.Clear();
  int unknown = 0;
  EXPECT_FALSE(Control(&unknown, cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &size, &error));
  EXPECT_FALSE(log_.Contains(u"failed because"));
  // A busy one.
  api::DeviceLease busy;
  ASSERT_EQ(api::DeviceTable::Instance().Lock(handle, false, busy), 0u);
  log_.Clear();
  EXPECT_FALSE(Control(handle, cc::kStatus, nullptr, nullptr, nullptr, 0, &status, &size, &error));
  EXPECT_EQ(log_.Count(LOG_LEVEL_ERROR, u"LockScannerClass failed because device is used by other program"), 1u);
  EXPECT_EQ(error, nullptr);
}

TEST_F(LoggingTest, SupportedSettingsFallbackWithoutTheDescription) {
  // A description without its byte-order mark hides the library's own one: it cannot be loaded.
  static const uint8_t kUnmarked[] = {'<', 0, 'X', 0, '/', 0, '>', 0};
  ResourceRegistration hide(&kUnmarked, kResourceTypeXml, 110, kUnmarked, sizeof kUnmarked);
  int unknown = 0;
  BSTR result = nullptr;
  BSTR error = nullptr;
  EXPECT_EQ(api::ControlCall(&unknown, cc::kSupportedSettings, nullptr, &result, nullptr, 0, nullptr, nullptr, &error),
            lld::kInvalidDeviceHandle);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(log_.Count(LOG_LEVEL_ERROR,
                       u"default GetSupportedSettings GetXMLfromResources(IDR_XML_SUPPORTED_SETTINGS) failed"),
            1u);
}

TEST_F(LoggingTest, ReadTraceNamesItsArgumentsAndReadsOnlyThoseGiven) {
  void* handle = Open();
  uint8_t buffer[4] = {};
  uint32_t size = sizeof buffer;
  uint32_t boundary = 0;
  log_.Clear();
  // No metadata slot: its output parameter is left out, the others are still traced.
  EXPECT_FALSE(Read(handle, buffer, &size, nullptr, &boundary));
  EXPECT_EQ(log_.Count(LOG_LEVEL_INFO, u"Read Entered."), 1u);
  EXPECT_TRUE(log_.Contains(u"Read: pvDevHandle = 0x"));
  EXPECT_EQ(log_.Count(LOG_LEVEL_INFO, u"Read: *pbyBufferOut = 0, *pstActualSizeOut = 4, *pdwBoundary = 0"), 1u);
  // Every pointer null: the trace has nothing to read, and the call fails cleanly.
  log_.Clear();
  EXPECT_FALSE(Read(nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(log_.Count(LOG_LEVEL_INFO, u"Read Entered."), 1u);
  EXPECT_TRUE(log_.Contains(u"Read: pvDevHandle = 0x0, pbyBufferOut = 0x0, pstActualSizeOut = 0x0, "
                            u"pstrMetaOut = 0x0, pdwBoundary = 0x0"));
  EXPECT_FALSE(log_.Contains(u"*pbyBufferOut"));
  // A good read: its outputs, the metadata text among them.
  state_->onRead = [](uint8_t* b, uint32_t* s, BSTR* m, uint32_t* d) {
    b[0] = 7;
    *s = 1;
    *m = AllocBstr(u"<Result/>");
    *d = 3;
    return LLDError{0};
  };
  BSTR meta = nullptr;
  log_.Clear();
  EXPECT_TRUE(Read(handle, buffer, &size, &meta, &boundary));
  EXPECT_EQ(log_.Count(LOG_LEVEL_INFO,
                       u"Read: *pbyBufferOut = 7, *pstActualSizeOut = 1, *pstrMetaOut = \r\n<Result/>\r\n, "
                       u"*pdwBoundary = 3"),
            1u);
  SysFreeString(meta);
}

}  // namespace
}  // namespace rzd::lowdrv::test
