// Operations that trace under their own names against rzd-engine: the feeder's media check and the
// imprinter query, each with its input line, its output and its exit line with the result.
#include "scan_fixture.h"
#include "testsupport/log_capture.h"

namespace rzd::lowdrv::test {
namespace {

constexpr char16_t kFeature[] = u"RZD REduzid LLD";
constexpr char16_t kDataFeature[] = u"RZD REduzid LLD.Data";

class DriverTraceTest : public ScanTest {
 protected:
  // The lines of one feature, in order.
  static std::vector<std::u16string> LinesOf(const rzd::test::LogCapture& log, std::u16string_view feature) {
    std::vector<std::u16string> lines;
    for (const auto& line : log.Lines()) {
      if (line.feature == feature) lines.push_back(line.text);
    }
    return lines;
  }
  static std::u16string Address(const void* p) {
    return FormatW(u"0x%X", static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)));
  }
};

TEST_F(DriverTraceTest, TheMediaCheckTracesItsArgumentsTheStatusAndItsResult) {
  OpenAndLock({"load 1 duplex"});
  rzd::test::LogCapture log(rzd::test::LogCapture::WithData({kFeature}));
  uint8_t status = 0;
  ASSERT_EQ(Driver().MediaCheck(&status, 0), 0u);
  EXPECT_NE(status & 0x01, 0) << "paper in the feeder";
  const std::vector<std::u16string> own = LinesOf(log, kFeature);
  EXPECT_EQ(own, (std::vector<std::u16string>{u"MediaCheck Entered.", FormatW(u"MediaCheck Exited: (0x%8X)", 0u)}));
  const std::vector<std::u16string> data = LinesOf(log, kDataFeature);
  EXPECT_EQ(data, (std::vector<std::u16string>{u"MediaCheck: pbyStatus = " + Address(&status) + u", byCheckType = 0",
                                               FormatW(u"MediaCheck: *pbyStatus = 0x%02X", status)}));
}

TEST_F(DriverTraceTest, TheImprinterQueryTracesTheFlagAndItsResult) {
  OpenAndLock();
  rzd::test::LogCapture log(rzd::test::LogCapture::WithData({kFeature}));
  uint8_t found = 0xEE;
  ASSERT_EQ(Driver().FindImprinter(&found), 0u);
  EXPECT_EQ(found, Driver().m_bImprinterFound);
  EXPECT_EQ(LinesOf(log, kFeature),
            (std::vector<std::u16string>{u"FindImprinter Entered.", FormatW(u"FindImprinter Exited: (0x%8X)", 0u)}));
  EXPECT_EQ(LinesOf(log, kDataFeature),
            (std::vector<std::u16string>{u"FindImprinter: pbyFound = " + Address(&found),
                                         FormatW(u"FindImprinter: *pbyFound = %d", found)}));
  log.Clear();
  EXPECT_EQ(Driver().FindImprinter(nullptr), lld::kInvalidParameter);
  EXPECT_EQ(log.Count(FormatW(u"FindImprinter Exited: (0x%8X)", lld::kInvalidParameter)), 1u) << log.All();
}

}  // namespace
}  // namespace rzd::lowdrv::test
