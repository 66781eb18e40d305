#include "win/strings.h"

#include "utf_internal.h"

#include <climits>

namespace morva {
namespace {

// One block of the simple case mapping: upper-case letters first..last
// (every `step`-th unit) map to lower case by adding `delta`.
struct CaseRange {
  char16_t first, last;
  int delta;
  int step;
};

constexpr CaseRange kCaseRanges[] = {
    {0x0041, 0x005A, 32, 1},  {0x00C0, 0x00D6, 32, 1},  {0x00D8, 0x00DE, 32, 1},
    {0x0100, 0x012E, 1, 2},   {0x0132, 0x0136, 1, 2},   {0x0139, 0x0147, 1, 2},
    {0x014A, 0x0176, 1, 2},   {0x0178, 0x0178, -121, 1}, {0x0179, 0x017D, 1, 2},
    {0x0386, 0x0386, 38, 1},  {0x0388, 0x038A, 37, 1},  {0x038C, 0x038C, 64, 1},
    {0x038E, 0x038F, 63, 1},  {0x0391, 0x03A1, 32, 1},  {0x03A3, 0x03AB, 32, 1},
    {0x0400, 0x040F, 80, 1},  {0x0410, 0x042F, 32, 1},  {0x0460, 0x0480, 1, 2},
    {0x048A, 0x04BE, 1, 2},   {0xFF21, 0xFF3A, 32, 1},
};

bool is_space(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

int digit_value(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  return 99;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::u16string utf8_to_u16(std::string_view in) {
  return platform::utf8_to_utf16(reinterpret_cast<const unsigned char*>(in.data()), in.size(), nullptr);
}

std::string u16_to_utf8(std::u16string_view in) { return platform::utf16_to_utf8(in, nullptr); }

namespace platform {
// Strict UTF-8 decoding; *invalid is set when any sequence was bad
// (each bad sequence becomes U+FFFD).
std::u16string utf8_to_utf16(const unsigned char* s, size_t n, bool* invalid) {
  std::u16string out;
  out.reserve(n);
  size_t i = 0;
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    size_t need;
    char32_t cp, min;
    if (b >= 0xC2 && b <= 0xDF)
      need = 1, cp = b & 0x1F, min = 0x80;
    else if ((b & 0xF0) == 0xE0)
      need = 2, cp = b & 0x0F, min = 0x800;
    else if (b >= 0xF0 && b <= 0xF4)
      need = 3, cp = b & 0x07, min = 0x10000;
    else {
      if (invalid) *invalid = true;
      out += u'\xFFFD';
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j <= need && i + j < n && (s[i + j] & 0xC0) == 0x80; ++j) cp = (cp << 6) | (s[i + j] & 0x3F);
    if (j <= need || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      if (invalid) *invalid = true;
      out += u'\xFFFD';
      i += j;
      continue;
    }
    i += j;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string utf16_to_utf8(std::u16string_view in, bool* invalid) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    char32_t c = in[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      if (invalid) *invalid = true;
      c = 0xFFFD;
    }
    append_utf8(out, c);
  }
  return out;
}
}  // namespace platform

std::size_t u16len(const char16_t* s) {
  if (!s) return 0;
  std::size_t n = 0;
  while (s[n]) ++n;
  return n;
}

char16_t u16_lower(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  for (const auto& r : kCaseRanges)
    if (c >= r.first && c <= r.last && (c - r.first) % r.step == 0) return static_cast<char16_t>(c + r.delta);
  return c;
}

char16_t u16_upper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  for (const auto& r : kCaseRanges) {
    int up = c - r.delta;
    if (up >= r.first && up <= r.last && (up - r.first) % r.step == 0) return static_cast<char16_t>(up);
  }
  return c;
}

std::u16string u16_to_upper(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = u16_upper(c);
  return out;
}

std::u16string u16_to_lower(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = u16_lower(c);
  return out;
}

int u16_compare(std::u16string_view a, std::u16string_view b) {
  int r = a.compare(b);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

int u16_icompare(std::u16string_view a, std::u16string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    char16_t x = u16_lower(a[i]), y = u16_lower(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

long long u16_to_integer(std::u16string_view s, int base, std::size_t* consumed) {
  size_t i = 0;
  if (consumed) *consumed = 0;
  while (i < s.size() && is_space(s[i])) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) neg = s[i++] == u'-';
  if ((base == 0 || base == 16) && i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X') &&
      i + 2 < s.size() && digit_value(s[i + 2]) < 16) {
    i += 2;
    base = 16;
  } else if (base == 0) {
    base = (i < s.size() && s[i] == u'0') ? 8 : 10;
  }
  if (base < 2 || base > 36) return 0;
  size_t start = i;
  unsigned long long v = 0;
  bool overflow = false;
  const unsigned long long limit = neg ? static_cast<unsigned long long>(LLONG_MAX) + 1 : LLONG_MAX;
  for (; i < s.size(); ++i) {
    int d = digit_value(s[i]);
    if (d >= base) break;
    if (!overflow) {
      if (v > (limit - static_cast<unsigned>(d)) / static_cast<unsigned>(base))
        overflow = true;
      else
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    }
  }
  if (i == start) return 0;
  if (consumed) *consumed = i;
  if (overflow) return neg ? LLONG_MIN : LLONG_MAX;
  if (neg) return v == static_cast<unsigned long long>(LLONG_MAX) + 1 ? LLONG_MIN : -static_cast<long long>(v);
  return static_cast<long long>(v);
}

}  // namespace morva

using morva::u16_lower;
using morva::u16_upper;

namespace {

template <class C>
int ordinal_compare(const C* a, const C* b, bool fold) {
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  for (;; ++a, ++b) {
    auto x = static_cast<char16_t>(static_cast<std::make_unsigned_t<C>>(*a));
    auto y = static_cast<char16_t>(static_cast<std::make_unsigned_t<C>>(*b));
    if (fold) x = u16_lower(x), y = u16_lower(y);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}

// Case-insensitive first; among strings equal so, lower case sorts first.
template <class C>
int word_compare(const C* a, const C* b) {
  int r = ordinal_compare(a, b, true);
  if (r != 0 || !a || !b) return r;
  for (; *a; ++a, ++b)
    if (*a != *b) {
      auto x = static_cast<char16_t>(static_cast<std::make_unsigned_t<C>>(*a));
      return u16_lower(x) == x ? -1 : 1;
    }
  return 0;
}

template <class C>
C* copy_n(C* dst, const C* src, int max) {
  if (!dst || !src) return nullptr;
  if (max <= 0) return dst;
  int i = 0;
  for (; i < max - 1 && src[i]; ++i) dst[i] = src[i];
  dst[i] = 0;
  return dst;
}

template <class C>
long long to_number(const C* s, long long lo, long long hi) {
  if (!s) return 0;
  std::u16string text;
  for (; *s; ++s) text += static_cast<char16_t>(*s);
  long long v = morva::u16_to_integer(text, 10);
  return v < lo ? lo : v > hi ? hi : v;
}

bool is_single_char(const void* p) { return (reinterpret_cast<UINT_PTR>(p) >> 16) == 0; }

}  // namespace

extern "C" {

int lstrlenW(LPCWSTR s) { return static_cast<int>(morva::u16len(s)); }
LPWSTR lstrcpyW(LPWSTR dst, LPCWSTR src) {
  if (!dst || !src) return nullptr;
  size_t i = 0;
  do dst[i] = src[i];
  while (src[i++]);
  return dst;
}
LPWSTR lstrcpynW(LPWSTR dst, LPCWSTR src, int max) { return copy_n(dst, src, max); }
LPWSTR lstrcatW(LPWSTR dst, LPCWSTR src) {
  if (!dst || !src) return nullptr;
  lstrcpyW(dst + morva::u16len(dst), src);
  return dst;
}
int lstrcmpW(LPCWSTR a, LPCWSTR b) { return word_compare(a, b); }
int lstrcmpiW(LPCWSTR a, LPCWSTR b) { return ordinal_compare(a, b, true); }

int lstrlenA(LPCSTR s) {
  int n = 0;
  if (s)
    while (s[n]) ++n;
  return n;
}
LPSTR lstrcpyA(LPSTR dst, LPCSTR src) {
  if (!dst || !src) return nullptr;
  size_t i = 0;
  do dst[i] = src[i];
  while (src[i++]);
  return dst;
}
LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int max) { return copy_n(dst, src, max); }
LPSTR lstrcatA(LPSTR dst, LPCSTR src) {
  if (!dst || !src) return nullptr;
  lstrcpyA(dst + lstrlenA(dst), src);
  return dst;
}
// ANSI comparisons fold ASCII letters only (bytes above 0x7F are code-page
// dependent and compare by value).
int lstrcmpA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  for (const char *x = a, *y = b;; ++x, ++y) {
    unsigned char p = static_cast<unsigned char>(*x), q = static_cast<unsigned char>(*y);
    unsigned char lp = (p >= 'A' && p <= 'Z') ? p + 32 : p, lq = (q >= 'A' && q <= 'Z') ? q + 32 : q;
    if (lp != lq) return lp < lq ? -1 : 1;
    if (!p) break;
  }
  for (; *a; ++a, ++b)
    if (*a != *b) return (*a >= 'a' && *a <= 'z') ? -1 : 1;
  return 0;
}
int lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  for (;; ++a, ++b) {
    unsigned char p = static_cast<unsigned char>(*a), q = static_cast<unsigned char>(*b);
    if (p >= 'A' && p <= 'Z') p += 32;
    if (q >= 'A' && q <= 'Z') q += 32;
    if (p != q) return p < q ? -1 : 1;
    if (!p) return 0;
  }
}

LPWSTR CharUpperW(LPWSTR s) {
  if (is_single_char(s)) return reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(u16_upper(static_cast<char16_t>(reinterpret_cast<UINT_PTR>(s)))));
  for (LPWSTR p = s; *p; ++p) *p = u16_upper(*p);
  return s;
}
LPWSTR CharLowerW(LPWSTR s) {
  if (is_single_char(s)) return reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(u16_lower(static_cast<char16_t>(reinterpret_cast<UINT_PTR>(s)))));
  for (LPWSTR p = s; *p; ++p) *p = u16_lower(*p);
  return s;
}
DWORD CharUpperBuffW(LPWSTR s, DWORD count) {
  if (!s) return 0;
  for (DWORD i = 0; i < count; ++i) s[i] = u16_upper(s[i]);
  return count;
}
DWORD CharLowerBuffW(LPWSTR s, DWORD count) {
  if (!s) return 0;
  for (DWORD i = 0; i < count; ++i) s[i] = u16_lower(s[i]);
  return count;
}
LPWSTR CharNextW(LPCWSTR s) {
  if (!s || !*s) return const_cast<LPWSTR>(s);
  if (*s >= 0xD800 && *s <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) return const_cast<LPWSTR>(s + 2);
  return const_cast<LPWSTR>(s + 1);
}
LPWSTR CharPrevW(LPCWSTR start, LPCWSTR s) {
  if (!start || !s || s <= start) return const_cast<LPWSTR>(start);
  if (s - start >= 2 && s[-1] >= 0xDC00 && s[-1] <= 0xDFFF && s[-2] >= 0xD800 && s[-2] <= 0xDBFF)
    return const_cast<LPWSTR>(s - 2);
  return const_cast<LPWSTR>(s - 1);
}
BOOL IsCharUpperW(WCHAR c) { return u16_lower(c) != c; }
BOOL IsCharLowerW(WCHAR c) { return u16_upper(c) != c; }
BOOL IsCharAlphaW(WCHAR c) {
  return u16_lower(c) != c || u16_upper(c) != c || c == 0xDF || (c >= 0x3041 && c <= 0x30FF) ||
         (c >= 0x4E00 && c <= 0x9FFF);
}
BOOL IsCharAlphaNumericW(WCHAR c) { return IsCharAlphaW(c) || (c >= u'0' && c <= u'9'); }

int _wtoi(const WCHAR* s) { return static_cast<int>(to_number(s, INT_MIN, INT_MAX)); }
LONG _wtol(const WCHAR* s) { return static_cast<LONG>(to_number(s, INT32_MIN, INT32_MAX)); }
LONGLONG _wtoi64(const WCHAR* s) { return to_number(s, LLONG_MIN, LLONG_MAX); }

}  // extern "C"
