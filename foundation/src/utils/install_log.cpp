// The install log: one line per call, appended to Log/CoInstaller.log.
#include "foundation/install_log.h"

#include "foundation/log_interface.h"
#include "platform/process.h"
#include "platform/root.h"
#include "platform/text.h"

#include <cstdarg>
#include <ctime>
#include <fstream>
#include <mutex>

namespace rzd {

std::filesystem::path CoInstallerLogPath() { return KnownFolderPath(KnownFolder::InstallLog) / "CoInstaller.log"; }

void WriteCoInstallerLog(const char16_t* format, ...) {
  try {
    va_list args;
    va_start(args, format);
    std::u16string text = VFormatWString(format, args);
    va_end(args);

    std::time_t now = std::chrono::system_clock::to_time_t(LogClockNow());
    std::tm local{};
    tzset();
    if (localtime_r(&now, &local) == nullptr) return;
    // The milliseconds field is always 000; the line ends in one CR LF.
    std::u16string line = FormatW(u"%d/%02d/%02d %02d:%02d:%02d:%03d PID:%08X TID:%08X ", local.tm_year + 1900,
                                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, 0,
                                  CurrentProcessId(), CurrentThreadId());
    std::string bytes = ToUtf8(line + text) + "\r\n";

    static std::mutex lock;  // nothing to destroy: usable to the end of the process
    std::lock_guard guard(lock);
    const std::filesystem::path path = CoInstallerLogPath();
    EnsurePrivateFile(path);  // the user's alone, whatever the umask
    std::ofstream file(path, std::ios::binary | std::ios::app);
    if (!file) return;
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  } catch (...) {
  }
}

}  // namespace rzd
