// Time stamps of log lines and the clock behind them.
#include "foundation/log_interface.h"

#include "platform/text.h"

#include <ctime>

namespace rzd {

namespace {
std::atomic<LogClockFunction> g_clock{nullptr};
}  // namespace

void SetLogClock(LogClockFunction clock) { g_clock.store(clock); }

std::chrono::system_clock::time_point LogClockNow() {
  LogClockFunction clock = g_clock.load();
  return clock != nullptr ? clock() : std::chrono::system_clock::now();
}

std::u16string GetTimeStamp() {
  // One reading for both parts, so the milliseconds always belong to the second shown.
  auto now = LogClockNow();
  auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
  auto millis = (sinceEpoch - seconds).count();
  std::time_t whole = static_cast<std::time_t>(seconds.count());
  std::tm local{};
  tzset();  // follow a changed TZ, as the C library's localtime does
  if (localtime_r(&whole, &local) == nullptr) return u"";
  char text[40];
  size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return FromUtf8(std::string_view(text, length)) + FormatW(u":%03d", static_cast<int>(millis));
}

}  // namespace rzd
