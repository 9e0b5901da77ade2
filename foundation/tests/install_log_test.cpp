#include "foundation/install_log.h"
#include "foundation/log_interface.h"
#include "platform/process.h"
#include "platform/text.h"
#include "recording_logger.h"
#include "testsupport/file_bytes.h"
#include "testsupport/temp_root.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <thread>

namespace rzd {
namespace {

std::string ReadLog() { return test::ReadBytes(CoInstallerLogPath()); }

class InstallLog : public test::TempRoot {};

TEST_F(InstallLog, LineFormatInLocalTimeWithZeroMillisecondsAndOneCrLf) {
  std::optional<std::string> previousZone = GetEnv("TZ");
  SetEnv("TZ", "XYZ-05:30");
  {
    test::FixedClockScope clock(876);  // 2023-11-14 22:13:20.876 UTC
    WriteCoInstallerLog(u"Attempt to stop service %s (%d)", u"scanhost_0001_0", 3);
  }
  if (previousZone) SetEnv("TZ", *previousZone);
  else UnsetEnv("TZ");

  EXPECT_EQ(CoInstallerLogPath(), RootPath() / "Log" / "CoInstaller.log");
  std::string expected = FormatA("2023/11/15 03:43:20:000 PID:%08X TID:%08X Attempt to stop service scanhost_0001_0 (3)\r\n",
                                 CurrentProcessId(), CurrentThreadId());
  EXPECT_EQ(ReadLog(), expected);
}

TEST_F(InstallLog, LinesAreAppendedWholeFromManyThreads) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 25; ++i) WriteCoInstallerLog(u"thread %d line %d", t, i);
    });
  }
  for (auto& thread : threads) thread.join();
  std::string text = ReadLog();
  // Every line: "YYYY/MM/DD HH:MM:SS:000 PID:XXXXXXXX TID:XXXXXXXX thread T line N" and CR LF.
  const std::string shape = "####/##/## ##:##:##:000 PID:%%%%%%%% TID:%%%%%%%% thread ";  // # digit, % hex digit
  std::set<std::string> seen;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = text.substr(start, end - start);
    ASSERT_GT(line.size(), shape.size()) << line;
    for (size_t i = 0; i < shape.size(); ++i) {
      char c = line[i];
      bool fits = shape[i] == '#' ? std::isdigit(static_cast<unsigned char>(c)) != 0
                  : shape[i] == '%' ? std::isxdigit(static_cast<unsigned char>(c)) != 0 && !std::islower(c)
                                    : c == shape[i];
      ASSERT_TRUE(fits) << line;
    }
    EXPECT_EQ(line.find('\r'), std::string::npos) << line;
    seen.insert(line.substr(shape.size()));
  }
  EXPECT_EQ(start, text.size()) << "the log ends with a whole line";
  EXPECT_EQ(seen.size(), 100u);
  EXPECT_TRUE(seen.count("3 line 24"));
}

}  // namespace
}  // namespace rzd
