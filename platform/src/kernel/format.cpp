#include "win/format.h"

#include <cstring>

#include "win/codepage.h"
#include "win/strings.h"

namespace {

constexpr size_t kWsprintfLimit = 1024;  // characters, the final 0 included

template <class C>
struct Traits;
template <>
struct Traits<char16_t> {
  static std::u16string narrow_arg(const char* s) { return morva::ansi_to_u16(s); }
  static std::u16string wide_arg(const char16_t* s) { return std::u16string(morva::u16view(s)); }
};
template <>
struct Traits<char> {
  static std::string narrow_arg(const char* s) { return s; }
  static std::string wide_arg(const char16_t* s) { return morva::u16_to_ansi(morva::u16view(s)); }
};

template <class C>
std::basic_string<C> widen_ascii(const char* s) {
  std::basic_string<C> out;
  for (; *s; ++s) out += static_cast<C>(*s);
  return out;
}

template <class C>
void pad_and_append(std::basic_string<C>& out, const std::basic_string<C>& body, const std::basic_string<C>& prefix,
                    size_t width, bool left, bool zero) {
  size_t len = body.size() + prefix.size();
  size_t fill = width > len ? width - len : 0;
  if (left) {
    out += prefix;
    out += body;
    out.append(fill, C(' '));
  } else if (zero) {
    out += prefix;
    out.append(fill, C('0'));
    out += body;
  } else {
    out.append(fill, C(' '));
    out += prefix;
    out += body;
  }
}

template <class C>
std::basic_string<C> format_core(const C* fmt, va_list args) {
  std::basic_string<C> out;
  if (!fmt) return out;
  const bool wide = sizeof(C) == 2;
  while (*fmt) {
    if (*fmt != C('%')) {
      out += *fmt++;
      continue;
    }
    const C* spec = fmt++;
    bool left = false, alt = false, zero = false;
    for (;; ++fmt) {
      if (*fmt == C('-'))
        left = true;
      else if (*fmt == C('#'))
        alt = true;
      else if (*fmt == C('0'))
        zero = true;
      else
        break;
    }
    size_t width = 0;
    while (*fmt >= C('0') && *fmt <= C('9')) width = width * 10 + static_cast<size_t>(*fmt++ - C('0'));
    bool has_precision = false;
    size_t precision = 0;
    if (*fmt == C('.')) {
      ++fmt;
      has_precision = true;
      while (*fmt >= C('0') && *fmt <= C('9')) precision = precision * 10 + static_cast<size_t>(*fmt++ - C('0'));
    }
    enum { kNone, kShort, kLong, kWide64 } size = kNone;
    if (*fmt == C('h')) {
      size = kShort;
      ++fmt;
    } else if (*fmt == C('l')) {
      size = kLong;
      ++fmt;
    } else if (fmt[0] == C('I') && fmt[1] == C('6') && fmt[2] == C('4')) {
      size = kWide64;
      fmt += 3;
    }
    C type = *fmt;
    if (!type) {  // a lone '%' at the end is dropped
      (void)spec;
      break;
    }
    ++fmt;
    switch (type) {
      case C('%'):
        out += C('%');
        break;
      case C('c'):
      case C('C'): {
        // In the W forms %c is wide and %C narrow; in the A forms the reverse.
        bool narrow = (size == kShort) || (size != kLong && ((type == C('c')) != wide));
        int v = va_arg(args, int);
        std::basic_string<C> body;
        if (narrow) {
          char ch[2] = {static_cast<char>(v), 0};
          body = Traits<C>::narrow_arg(ch);
        } else {
          char16_t ch[2] = {static_cast<char16_t>(v), 0};
          body = Traits<C>::wide_arg(ch);
        }
        if (body.empty()) body += C(0);
        pad_and_append<C>(out, body, {}, width, left, zero);
        break;
      }
      case C('s'):
      case C('S'): {
        bool narrow = (size == kShort) || (size != kLong && ((type == C('s')) != wide));
        std::basic_string<C> body;
        if (narrow) {
          const char* s = va_arg(args, const char*);
          body = s ? Traits<C>::narrow_arg(s) : widen_ascii<C>("(null)");
        } else {
          const char16_t* s = va_arg(args, const char16_t*);
          body = s ? Traits<C>::wide_arg(s) : widen_ascii<C>("(null)");
        }
        if (has_precision && body.size() > precision) body.resize(precision);
        pad_and_append<C>(out, body, {}, width, left, zero);
        break;
      }
      case C('d'):
      case C('i'):
      case C('u'):
      case C('x'):
      case C('X'):
      case C('p'): {
        bool is_signed = type == C('d') || type == C('i');
        unsigned long long mag;
        bool neg = false;
        if (type == C('p')) {
          mag = reinterpret_cast<UINT_PTR>(va_arg(args, void*));
          if (!has_precision) has_precision = true, precision = sizeof(void*) * 2;
        } else if (size == kWide64) {
          long long v = va_arg(args, long long);
          neg = is_signed && v < 0;
          mag = neg ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
        } else {
          // int and LONG are both 32 bits here; h truncates to 16.
          int v = va_arg(args, int);
          if (size == kShort) v = is_signed ? static_cast<short>(v) : static_cast<unsigned short>(v);
          if (is_signed) {
            neg = v < 0;
            mag = neg ? 0ULL - static_cast<unsigned long long>(static_cast<long long>(v)) : static_cast<unsigned long long>(v);
          } else {
            mag = static_cast<unsigned int>(v);
          }
        }
        unsigned base = (type == C('x') || type == C('X') || type == C('p')) ? 16 : 10;
        const char* digits = (type == C('x')) ? "0123456789abcdef" : "0123456789ABCDEF";
        std::basic_string<C> body;
        do {
          body.insert(body.begin(), static_cast<C>(digits[mag % base]));
          mag /= base;
        } while (mag);
        if (has_precision && body.size() < precision) body.insert(0, precision - body.size(), C('0'));
        std::basic_string<C> prefix;
        if (neg) prefix += C('-');
        if (alt && base == 16 && type != C('p')) prefix += widen_ascii<C>(type == C('X') ? "0X" : "0x");
        pad_and_append<C>(out, body, prefix, width, left, zero && !has_precision);
        break;
      }
      default:
        // Unknown conversions print the character itself.
        out += type;
        break;
    }
  }
  return out;
}

template <class C>
int store_limited(C* out, const std::basic_string<C>& text) {
  if (!out) return 0;
  size_t n = text.size() < kWsprintfLimit - 1 ? text.size() : kWsprintfLimit - 1;
  // An embedded 0 (from %c of 0) ends the visible text but is copied as is.
  std::memcpy(out, text.data(), n * sizeof(C));
  out[n] = 0;
  return static_cast<int>(n);
}

}  // namespace

extern "C" {

int wvsprintfW(LPWSTR out, LPCWSTR format, va_list args) { return store_limited(out, format_core(format, args)); }
int wsprintfW(LPWSTR out, LPCWSTR format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = wvsprintfW(out, format, ap);
  va_end(ap);
  return n;
}
int wvsprintfA(LPSTR out, LPCSTR format, va_list args) { return store_limited(out, format_core(format, args)); }
int wsprintfA(LPSTR out, LPCSTR format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = wvsprintfA(out, format, ap);
  va_end(ap);
  return n;
}

}  // extern "C"

namespace morva {

std::u16string vformat_w(const char16_t* format, va_list args) { return format_core(format, args); }
std::u16string format_w(const char16_t* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::u16string s = format_core(format, ap);
  va_end(ap);
  return s;
}
std::string vformat_a(const char* format, va_list args) { return format_core(format, args); }
std::string format_a(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::string s = format_core(format, ap);
  va_end(ap);
  return s;
}

}  // namespace morva
