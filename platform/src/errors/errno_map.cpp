#include "errors/errno_map.h"

#include "platform/errors.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include <syslog.h>

namespace rzd::oserror {

namespace {

struct Entry {
  int err;
  uint32_t win32;
};

constexpr Entry kCommon[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},
    {EEXIST, ERROR_FILE_EXISTS},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EBADF, ERROR_INVALID_HANDLE},
    {EBUSY, ERROR_BUSY},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EIO, ERROR_GEN_FAILURE},
    {ENOSYS, ERROR_NOT_SUPPORTED},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {ENODEV, ERROR_DEVICE_NOT_CONNECTED},
    {ENXIO, ERROR_DEVICE_NOT_CONNECTED},
    {ECONNREFUSED, ERROR_DEVICE_NOT_CONNECTED},
    {ETIMEDOUT, ERROR_TIMEOUT},
};

std::atomic<UnmappedSink> g_sink{nullptr};

void LogUnmapped(int err, std::string_view what) {
  char reason[128];
  const char* text = strerror_r(err, reason, sizeof reason);
  std::string line = std::string(what) + " failed with errno " + std::to_string(err) + " (" + text +
                     "), which has no Win32 error number; answered as " + std::to_string(ERROR_GEN_FAILURE);
  if (UnmappedSink sink = g_sink.load()) {
    sink(line);
  } else {
    syslog(LOG_WARNING, "%s", line.c_str());
  }
}

}  // namespace

std::optional<uint32_t> CommonWin32FromErrno(int err) {
  for (const Entry& e : kCommon) {
    if (e.err == err) return e.win32;
  }
  return std::nullopt;
}

uint32_t Win32FromErrno(int err, std::string_view what, std::initializer_list<Own> own) {
  for (const Own& o : own) {
    if (o.err == err) return o.win32;
  }
  if (std::optional<uint32_t> common = CommonWin32FromErrno(err)) return *common;
  LogUnmapped(err, what);
  return ERROR_GEN_FAILURE;
}

void SetUnmappedSink(UnmappedSink sink) { g_sink.store(sink); }

}  // namespace rzd::oserror
