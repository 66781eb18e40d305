// UTF-16 string helpers: the Windows string calls and a small C++ API for
// the system's own code. Nothing here uses the C library's wchar_t
// functions (wchar_t is 4 bytes on Linux).
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

extern "C" {
// NULL is treated as an empty string by the lengths and as less than any
// string by the comparisons; the copies return NULL for NULL arguments.
MORVA_WIN_API int lstrlenW(LPCWSTR s);
MORVA_WIN_API LPWSTR lstrcpyW(LPWSTR dst, LPCWSTR src);
// Copies at most max-1 characters and always ends dst with a 0 (max > 0).
MORVA_WIN_API LPWSTR lstrcpynW(LPWSTR dst, LPCWSTR src, int max);
MORVA_WIN_API LPWSTR lstrcatW(LPWSTR dst, LPCWSTR src);
// Word-sort order: strings compare case-insensitively first; when they are
// equal so, a lower-case letter sorts before its upper-case form.
MORVA_WIN_API int lstrcmpW(LPCWSTR a, LPCWSTR b);
MORVA_WIN_API int lstrcmpiW(LPCWSTR a, LPCWSTR b);

MORVA_WIN_API int lstrlenA(LPCSTR s);
MORVA_WIN_API LPSTR lstrcpyA(LPSTR dst, LPCSTR src);
MORVA_WIN_API LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int max);
MORVA_WIN_API LPSTR lstrcatA(LPSTR dst, LPCSTR src);
MORVA_WIN_API int lstrcmpA(LPCSTR a, LPCSTR b);
MORVA_WIN_API int lstrcmpiA(LPCSTR a, LPCSTR b);

// In place; a pointer whose high bits are 0 is a single character passed
// by value and the converted character is returned the same way.
MORVA_WIN_API LPWSTR CharUpperW(LPWSTR s);
MORVA_WIN_API LPWSTR CharLowerW(LPWSTR s);
MORVA_WIN_API DWORD CharUpperBuffW(LPWSTR s, DWORD count);
MORVA_WIN_API DWORD CharLowerBuffW(LPWSTR s, DWORD count);
MORVA_WIN_API LPWSTR CharNextW(LPCWSTR s);
MORVA_WIN_API LPWSTR CharPrevW(LPCWSTR start, LPCWSTR s);
MORVA_WIN_API BOOL IsCharUpperW(WCHAR c);
MORVA_WIN_API BOOL IsCharLowerW(WCHAR c);
MORVA_WIN_API BOOL IsCharAlphaW(WCHAR c);
MORVA_WIN_API BOOL IsCharAlphaNumericW(WCHAR c);

// Decimal number at the start of s after white space and an optional
// sign; 0 when there is none. Values beyond the type saturate.
MORVA_WIN_API int _wtoi(const WCHAR* s);
MORVA_WIN_API LONG _wtol(const WCHAR* s);
MORVA_WIN_API LONGLONG _wtoi64(const WCHAR* s);
}

namespace morva {

// UTF-8 <-> UTF-16. Invalid input becomes U+FFFD.
MORVA_WIN_API std::u16string utf8_to_u16(std::string_view utf8);
MORVA_WIN_API std::string u16_to_utf8(std::u16string_view text);

// Length of a 0-ended UTF-16 string (0 for NULL).
MORVA_WIN_API std::size_t u16len(const char16_t* s);
// A NULL-safe view of a 0-ended string.
inline std::u16string_view u16view(const char16_t* s) { return s ? std::u16string_view(s, u16len(s)) : std::u16string_view(); }

// Simple case mapping of one UTF-16 unit (Latin, Greek, Cyrillic and the
// full-width Latin letters); other characters map to themselves.
MORVA_WIN_API char16_t u16_upper(char16_t c);
MORVA_WIN_API char16_t u16_lower(char16_t c);
MORVA_WIN_API std::u16string u16_to_upper(std::u16string_view s);
MORVA_WIN_API std::u16string u16_to_lower(std::u16string_view s);

// Ordinal comparisons: <0, 0, >0.
MORVA_WIN_API int u16_compare(std::u16string_view a, std::u16string_view b);
MORVA_WIN_API int u16_icompare(std::u16string_view a, std::u16string_view b);
inline bool u16_iequal(std::u16string_view a, std::u16string_view b) { return u16_icompare(a, b) == 0; }

// Parses an integer as strtoll does: leading white space, optional sign,
// base 0 (prefix 0x or 0 chooses 16 or 8), 2..36. Saturates on overflow.
// *consumed gets the number of units read (0 when no digits were found).
MORVA_WIN_API long long u16_to_integer(std::u16string_view s, int base = 10, std::size_t* consumed = nullptr);

}  // namespace morva
