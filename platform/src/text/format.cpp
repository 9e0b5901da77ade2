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

struct Spec {
  std::string flags;
  int width = -1;  // -1: none
  int precision = -1;
  Size size = Size::None;
  bool narrowHint = false;  // h on s/c
  bool wideHint = false;    // l or w on s/c
  char conv = 0;
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
void AppendPadded(Out& out, const Out& body, const Spec& spec) {
  size_t width = spec.width > 0 ? static_cast<size_t>(spec.width) : 0;
  bool left = spec.flags.find('-') != std::string::npos;
  if (!left && body.size() < width) Pad(out, width - body.size(), ' ');
  out += body;
  if (left && body.size() < width) Pad(out, width - body.size(), ' ');
}

template <typename Out>
void FormatString(Out& out, const Spec& spec, bool wideArg, va_list& args) {
  Out body;
  const void* p = va_arg(args, const void*);
  if (p == nullptr) {
    ConvertText(body, std::string_view("(null)"));
  } else if (wideArg) {
    ConvertText(body, std::u16string_view(static_cast<const char16_t*>(p)));
  } else {
    ConvertText(body, std::string_view(static_cast<const char*>(p)));
  }
  if (spec.precision >= 0 && body.size() > static_cast<size_t>(spec.precision)) body.resize(spec.precision);
  AppendPadded(out, body, spec);
}

template <typename Out>
void FormatChar(Out& out, const Spec& spec, bool wideArg, va_list& args) {
  int value = va_arg(args, int);
  Out body;
  if (wideArg) {
    char16_t c = static_cast<char16_t>(value);
    ConvertText(body, std::u16string_view(&c, 1));
  } else {
    char c = static_cast<char>(value);
    ConvertText(body, std::string_view(&c, 1));
  }
  AppendPadded(out, body, spec);
}

std::string NumberSpec(const Spec& spec, const char* sizeText) {
  std::string f = "%" + spec.flags;
  if (spec.width >= 0) f += std::to_string(spec.width);
  if (spec.precision >= 0) f += "." + std::to_string(spec.precision);
  f += sizeText;
  f += spec.conv;
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

std::string FormatInteger(const Spec& spec, va_list& args) {
  bool isSigned = spec.conv == 'd' || spec.conv == 'i';
  switch (spec.size) {
    case Size::hh:
      return isSigned ? Snprintf(NumberSpec(spec, "hh"), static_cast<signed char>(va_arg(args, int)))
                      : Snprintf(NumberSpec(spec, "hh"), static_cast<unsigned char>(va_arg(args, unsigned)));
    case Size::h:
      return isSigned ? Snprintf(NumberSpec(spec, "h"), static_cast<short>(va_arg(args, int)))
                      : Snprintf(NumberSpec(spec, "h"), static_cast<unsigned short>(va_arg(args, unsigned)));
    case Size::None:
      // `long` is 32 bits in the system's interfaces, so l reads an int too.
    case Size::l:
      return isSigned ? Snprintf(NumberSpec(spec, ""), va_arg(args, int))
                      : Snprintf(NumberSpec(spec, ""), va_arg(args, unsigned));
    case Size::ll:
    case Size::j:
    case Size::L:
      return isSigned ? Snprintf(NumberSpec(spec, "ll"), va_arg(args, long long))
                      : Snprintf(NumberSpec(spec, "ll"), va_arg(args, unsigned long long));
    case Size::z:
    case Size::t:
      return isSigned ? Snprintf(NumberSpec(spec, "ll"), static_cast<long long>(va_arg(args, ptrdiff_t)))
                      : Snprintf(NumberSpec(spec, "ll"), static_cast<unsigned long long>(va_arg(args, size_t)));
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
    Spec spec;
    while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') spec.flags.push_back(static_cast<char>(*p++));
    if (*p == '*') {
      int w = va_arg(args, int);
      if (w < 0) {
        spec.flags.push_back('-');
        w = -w;
      }
      spec.width = w;
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') spec.width = (spec.width < 0 ? 0 : spec.width) * 10 + (*p++ - '0');
    }
    if (*p == '.') {
      ++p;
      spec.precision = 0;
      if (*p == '*') {
        int prec = va_arg(args, int);
        spec.precision = prec < 0 ? -1 : prec;
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') spec.precision = spec.precision * 10 + (*p++ - '0');
      }
    }
    // Size prefixes.
    if (*p == 'h') {
      ++p;
      spec.narrowHint = true;
      if (*p == 'h') {
        ++p;
        spec.size = Size::hh;
      } else {
        spec.size = Size::h;
      }
    } else if (*p == 'l') {
      ++p;
      spec.wideHint = true;
      if (*p == 'l') {
        ++p;
        spec.size = Size::ll;
      } else {
        spec.size = Size::l;
      }
    } else if (*p == 'w') {
      ++p;
      spec.wideHint = true;
    } else if (*p == 'z') {
      ++p;
      spec.size = Size::z;
    } else if (*p == 'j') {
      ++p;
      spec.size = Size::j;
    } else if (*p == 't') {
      ++p;
      spec.size = Size::t;
    } else if (*p == 'L') {
      ++p;
      spec.size = Size::L;
    } else if (*p == 'I') {
      if (p[1] == '6' && p[2] == '4') {
        p += 3;
        spec.size = Size::ll;
      } else if (p[1] == '3' && p[2] == '2') {
        p += 3;
        spec.size = Size::None;
      } else {
        ++p;
        spec.size = Size::z;
      }
    }
    Ch conv = *p;
    if (conv == 0) {  // a dangling specifier is printed as it stands
      for (const Ch* q = start; q < p; ++q) out.push_back(static_cast<typename Out::value_type>(*q));
      break;
    }
    ++p;
    spec.conv = static_cast<char>(conv);
    switch (conv) {
      case 's':
      case 'S': {
        // Wide format: %s wide, %S narrow; narrow format: %s narrow, %S wide. h and l/w override.
        bool wideArg = (conv == 's') == kWideFormat;
        if (spec.narrowHint) wideArg = false;
        if (spec.wideHint) wideArg = true;
        FormatString(out, spec, wideArg, args);
        break;
      }
      case 'c':
      case 'C': {
        bool wideArg = (conv == 'c') == kWideFormat;
        if (spec.narrowHint) wideArg = false;
        if (spec.wideHint) wideArg = true;
        FormatChar(out, spec, wideArg, args);
        break;
      }
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'o':
        AppendAscii(out, FormatInteger(spec, args));
        break;
      case 'e':
      case 'E':
      case 'f':
      case 'F':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        AppendAscii(out, Snprintf(NumberSpec(spec, ""), va_arg(args, double)));
        break;
      case 'p': {
        // The full pointer, upper-case hex digits, as wide as a pointer.
        Spec ptr = spec;
        ptr.conv = 'X';
        ptr.flags.erase(std::remove(ptr.flags.begin(), ptr.flags.end(), '#'), ptr.flags.end());
        if (ptr.precision < 0) ptr.precision = static_cast<int>(2 * sizeof(void*));
        AppendAscii(out, Snprintf(NumberSpec(ptr, "ll"),
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
