// Wide formatting for log lines and the developer's error output.
#include "foundation/log_interface.h"

#include "platform/text.h"

#include <cstdio>

namespace rzd {

std::u16string VFormatWString(const char16_t* format, va_list args) {
  if (format == nullptr) return {};
  return VFormatW(format, args);
}

std::u16string FormatWString(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::u16string text = VFormatWString(format, args);
  va_end(args);
  return text;
}

void OutputDebugText(std::u16string_view text) {
  std::string narrow = ToUtf8(text);
  std::fwrite(narrow.data(), 1, narrow.size(), stderr);
  std::fflush(stderr);
}

}  // namespace rzd
