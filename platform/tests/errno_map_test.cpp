// The one errno mapping of the platform: its common table, a caller's own numbers, and the log
// line for an errno value that has no number.
#include "errors/errno_map.h"

#include "platform/errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace rzd {
namespace {

std::vector<std::string>& Caught() {
  static std::vector<std::string> lines;
  return lines;
}
void Catch(std::string_view line) { Caught().emplace_back(line); }

class ErrnoMap : public ::testing::Test {
 protected:
  void SetUp() override {
    Caught().clear();
    oserror::SetUnmappedSink(&Catch);
  }
  void TearDown() override { oserror::SetUnmappedSink(nullptr); }
};

TEST_F(ErrnoMap, TheCommonTableGivesTheNumbersWindowsGivesForTheSameFailure) {
  struct Case {
    int err;
    uint32_t win32;
  };
  const Case cases[] = {
      {ENOENT, ERROR_FILE_NOT_FOUND},       {ENOTDIR, ERROR_PATH_NOT_FOUND},
      {EACCES, ERROR_ACCESS_DENIED},        {EPERM, ERROR_ACCESS_DENIED},
      {EROFS, ERROR_ACCESS_DENIED},         {EISDIR, ERROR_ACCESS_DENIED},
      {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
      {ENFILE, ERROR_TOO_MANY_OPEN_FILES},  {ENOSPC, ERROR_DISK_FULL},
      {EDQUOT, ERROR_DISK_FULL},            {EFBIG, ERROR_DISK_FULL},
      {EEXIST, ERROR_FILE_EXISTS},          {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
      {EXDEV, ERROR_NOT_SAME_DEVICE},       {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
      {EINVAL, ERROR_INVALID_PARAMETER},    {EBADF, ERROR_INVALID_HANDLE},
      {EBUSY, ERROR_BUSY},                  {ETXTBSY, ERROR_SHARING_VIOLATION},
      {EIO, ERROR_GEN_FAILURE},             {ENOSYS, ERROR_NOT_SUPPORTED},
      {EOPNOTSUPP, ERROR_NOT_SUPPORTED},    {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
      {ENXIO, ERROR_DEVICE_NOT_CONNECTED},  {ECONNREFUSED, ERROR_DEVICE_NOT_CONNECTED},
      {ETIMEDOUT, ERROR_TIMEOUT},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(oserror::Win32FromErrno(c.err, "test"), c.win32) << "errno " << c.err;
    EXPECT_EQ(oserror::CommonWin32FromErrno(c.err), c.win32) << "errno " << c.err;
  }
  EXPECT_TRUE(Caught().empty());  // mapped values are not logged, EIO's 31 included
}

TEST_F(ErrnoMap, ACallersOwnNumbersComeFirst) {
  const auto kernelLike = [](int err) {
    return oserror::Win32FromErrno(err, "test", {{ENOSPC, ERROR_NOT_ENOUGH_MEMORY}, {ENOENT, ERROR_PATH_NOT_FOUND}});
  };
  EXPECT_EQ(kernelLike(ENOSPC), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(kernelLike(ENOENT), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(kernelLike(EACCES), ERROR_ACCESS_DENIED);  // from the common table
  EXPECT_TRUE(Caught().empty());
}

TEST_F(ErrnoMap, AnUnmappedErrnoIsAGeneralFailureAndIsLoggedWithTheOperation) {
  for (int err : {ELOOP, EAGAIN, EINTR}) {
    ASSERT_FALSE(oserror::CommonWin32FromErrno(err).has_value()) << err;
    Caught().clear();
    EXPECT_EQ(oserror::Win32FromErrno(err, "open of a test file"), ERROR_GEN_FAILURE);
    ASSERT_EQ(Caught().size(), 1u);
    EXPECT_NE(Caught()[0].find("open of a test file failed with errno " + std::to_string(err)), std::string::npos)
        << Caught()[0];
  }
}

}  // namespace
}  // namespace rzd
