// One printf-style formatter for wide and narrow formats with the Windows meaning of %s/%S.
// Numbers are formatted by the C library in a "C" locale object bound to the calling thread for
// the call, so a process locale never changes the digits.
#include "platform/text.h"

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <locale.h>
#include <string>

namespace rzd {

namespace {

locale_t CLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

// Binds the "C" locale to this thread while alive.
class CLocaleScope {
 public:
  CLocaleScope() : previous_(uselocale(CLocale())) {}
  ~CLocaleScope() { uselocale(previous_); }

 private:
  locale_t previous_;
};

enum class Size { None, hh, h, l, ll, z, j, t, L };

struct Conversion {
  std::string flags;
  int width = -1;  // -1: none
  int precision = -1;
  Size size = Size::None;
  bool narrowHint = false;  // h on s/c
  bool wideHint = false;    // l or w on s/c
  char letter = 0;
};

// Output sink: appends code units of the result.
template <typename Out>
void Pad(Out& out, size_t count, char fill) {
  out.append(count, static_cast<typename Out::value_type>(fill));
}

template <typename Out>
void AppendAscii(Out& out, const std::string& s) {
  for (char c : s) out.push_back(static_cast<typename Out::value_type>(static_cast<unsigned char>(c)));
}

// The text of a string argument in the output's own code units.
void ConvertText(std::u16string& out, std::u16string_view wide) { out = std::u16string(wide); }
void ConvertText(std::string& out, std::u16string_view wide) { out = ToUtf8(wide); }
void ConvertText(std::u16string& out, std::string_view narrow) { out = FromUtf8(narrow); }
void ConvertText(std::string& out, std::string_view narrow) { out = std::string(narrow); }

template <typename Out>
void AppendPadded(Out& out, const Out& body, const Conversion& conv) {
  size_t width = conv.width > 0 ? static_cast<size_t>(conv.width) : 0;
  bool left = conv.flags.find('-') != std::string::npos;
  if (!left && body.size() < width) Pad(out, width - body.size(), ' ');
  out += body;
  if (left && body.size() < width) Pad(out, width - body.size(), ' ');
}

template <typename Out>
void FormatString(Out& out, const Conversion& conv, bool wideArg, va_list& args) {
  Out body;
  const void* p = va_arg(args, const void*);
  if (p == nullptr) {
    ConvertText(body, std::string_view("(null)"));
  } else if (wideArg) {
    ConvertText(body, std::u16string_view(static_cast<const char16_t*>(p)));
  } else {
    ConvertText(body, std::string_view(static_cast<const char*>(p)));
  }
  if (conv.precision >= 0 && body.size() > static_cast<size_t>(conv.precision)) body.resize(conv.precision);
  AppendPadded(out, body, conv);
}

template <typename Out>
void FormatChar(Out& out, const Conversion& conv, bool wideArg, va_list& args) {
  int value = va_arg(args, int);
  Out body;
  if (wideArg) {
    char16_t c = static_cast<char16_t>(value);
    ConvertText(body, std::u16string_view(&c, 1));
  } else {
    char c = static_cast<char>(value);
    ConvertText(body, std::string_view(&c, 1));
  }
  AppendPadded(out, body, conv);
}

std::string NumberFormat(const Conversion& conv, const char* sizeText) {
  std::string f = "%" + conv.flags;
  if (conv.width >= 0) f += std::to_string(conv.width);
  if (conv.precision >= 0) f += "." + std::to_string(conv.precision);
  f += sizeText;
  f += conv.letter;
  return f;
}

template <typename T>
std::string Snprintf(const std::string& f, T value) {
  CLocaleScope scope;
  char small[128];
  int n = std::snprintf(small, sizeof small, f.c_str(), value);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, n);
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), f.c_str(), value);
  big.resize(n);
  return big;
}

std::string FormatInteger(const Conversion& conv, va_list& args) {
  bool isSigned = conv.letter == 'd' || conv.letter == 'i';
  switch (conv.size) {
    case Size::hh:
      return isSigned ? Snprintf(NumberFormat(conv, "hh"), static_cast<signed char>(va_arg(args, int)))
                      : Snprintf(NumberFormat(conv, "hh"), static_cast<unsigned char>(va_arg(args, unsigned)));
    case Size::h:
      return isSigned ? Snprintf(NumberFormat(conv, "h"), static_cast<short>(va_arg(args, int)))
                      : Snprintf(NumberFormat(conv, "h"), static_cast<unsigned short>(va_arg(args, unsigned)));
    case Size::None:
      // `long` is 32 bits in the system's interfaces, so l reads an int too.
    case Size::l:
      return isSigned ? Snprintf(NumberFormat(conv, ""), va_arg(args, int))
                      : Snprintf(NumberFormat(conv, ""), va_arg(args, unsigned));
    case Size::ll:
    case Size::j:
    case Size::L:
      return isSigned ? Snprintf(NumberFormat(conv, "ll"), va_arg(args, long long))
                      : Snprintf(NumberFormat(conv, "ll"), va_arg(args, unsigned long long));
    case Size::z:
    case Size::t:
      return isSigned ? Snprintf(NumberFormat(conv, "ll"), static_cast<long long>(va_arg(args, ptrdiff_t)))
                      : Snprintf(NumberFormat(conv, "ll"), static_cast<unsigned long long>(va_arg(args, size_t)));
  }
  return {};
}

template <typename Ch, typename Out>
void Format(Out& out, const Ch* format, va_list& args) {
  if (format == nullptr) return;
  constexpr bool kWideFormat = sizeof(Ch) == 2;
  for (const Ch* p = format; *p;) {
    if (*p != '%') {
      out.push_back(static_cast<typename Out::value_type>(*p++));
      continue;
    }
    const Ch* start = p++;
    if (*p == '%') {
      out.push_back('%');
      ++p;
      continue;
    }
    Conversion item;
    while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') item.flags.push_back(static_cast<char>(*p++));
    if (*p == '*') {
      int w = va_arg(args, int);
      if (w < 0) {
        item.flags.push_back('-');
        w = -w;
      }
      item.width = w;
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') item.width = (item.width < 0 ? 0 : item.width) * 10 + (*p++ - '0');
    }
    if (*p == '.') {
      ++p;
      item.precision = 0;
      if (*p == '*') {
        int prec = va_arg(args, int);
        item.precision = prec < 0 ? -1 : prec;
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') item.precision = item.precision * 10 + (*p++ - '0');
      }
    }
    // Size prefixes.
    if (*p == 'h') {
      ++p;
      item.narrowHint = true;
      if (*p == 'h') {
        ++p;
        item.size = Size::hh;
      } else {
        item.size = Size::h;
      }
    } else if (*p == 'l') {
      ++p;
      item.wideHint = true;
      if (*p == 'l') {
        ++p;
        item.size = Size::ll;
      } else {
        item.size = Size::l;
      }
    } else if (*p == 'w') {
      ++p;
      item.wideHint = true;
    } else if (*p == 'z') {
      ++p;
      item.size = Size::z;
    } else if (*p == 'j') {
      ++p;
      item.size = Size::j;
    } else if (*p == 't') {
      ++p;
      item.size = Size::t;
    } else if (*p == 'L') {
      ++p;
      item.size = Size::L;
    } else if (*p == 'I') {
      if (p[1] == '6' && p[2] == '4') {
        p += 3;
        item.size = Size::ll;
      } else if (p[1] == '3' && p[2] == '2') {
        p += 3;
        item.size = Size::None;
      } else {
        ++p;
        item.size = Size::z;
      }
    }
    Ch letter = *p;
    if (letter == 0) {  // a dangling conversion is printed as it stands
      for (const Ch* q = start; q < p; ++q) out.push_back(static_cast<typename Out::value_type>(*q));
      break;
    }
    ++p;
    item.letter = static_cast<char>(letter);
    switch (letter) {
      case 's':
      case 'S': {
        // Wide format: %s wide, %S narrow; narrow format: %s narrow, %S wide. h and l/w override.
        bool wideArg = (letter == 's') == kWideFormat;
        if (item.narrowHint) wideArg = false;
        if (item.wideHint) wideArg = true;
        FormatString(out, item, wideArg, args);
        break;
      }
      case 'c':
      case 'C': {
        bool wideArg = (letter == 'c') == kWideFormat;
        if (item.narrowHint) wideArg = false;
        if (item.wideHint) wideArg = true;
        FormatChar(out, item, wideArg, args);
        break;
      }
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'o':
        AppendAscii(out, FormatInteger(item, args));
        break;
      case 'e':
      case 'E':
      case 'f':
      case 'F':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        AppendAscii(out, Snprintf(NumberFormat(item, ""), va_arg(args, double)));
        break;
      case 'p': {
        // The full pointer, upper-case hex digits, as wide as a pointer.
        Conversion ptr = item;
        ptr.letter = 'X';
        ptr.flags.erase(std::remove(ptr.flags.begin(), ptr.flags.end(), '#'), ptr.flags.end());
        if (ptr.precision < 0) ptr.precision = static_cast<int>(2 * sizeof(void*));
        AppendAscii(out, Snprintf(NumberFormat(ptr, "ll"),
                                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(va_arg(args, void*)))));
        break;
      }
      case 'n':
        (void)va_arg(args, void*);  // never written through
        break;
      default:  // unknown conversion: printed as it stands, no argument consumed
        for (const Ch* q = start; q < p; ++q) out.push_back(static_cast<typename Out::value_type>(*q));
        break;
    }
  }
}

}  // namespace

std::u16string VFormatW(const char16_t* format, va_list args) {
  std::u16string out;
  va_list copy;
  va_copy(copy, args);
  Format(out, format, copy);
  va_end(copy);
  return out;
}

std::u16string FormatW(const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::u16string out = VFormatW(format, args);
  va_end(args);
  return out;
}

std::string VFormatA(const char* format, va_list args) {
  std::string out;
  va_list copy;
  va_copy(copy, args);
  Format(out, format, copy);
  va_end(copy);
  return out;
}

std::string FormatA(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = VFormatA(format, args);
  va_end(args);
  return out;
}

}  // namespace rzd
