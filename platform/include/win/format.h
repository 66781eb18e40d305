// The wsprintf family: printf-like formatting with the Windows rules.
// Conversions: c C d i u x X s S p and %%, with the flags '-', '#', '0',
// a width, a precision and the size prefixes h, l (32-bit, as LONG is)
// and I64. No floating point, no '*'. In the W forms %s and %c take wide
// text and %S / %hs / %hc ANSI text (converted through CP_ACP); in the A
// forms it is the other way round and %ls / %lc are wide. A NULL string
// prints "(null)". Output stops at 1024 characters including the final 0.
#pragma once

#include <cstdarg>
#include <string>

#include "win/types.h"

extern "C" {
MORVA_WIN_API int wsprintfW(LPWSTR out, LPCWSTR format, ...);
MORVA_WIN_API int wvsprintfW(LPWSTR out, LPCWSTR format, va_list args);
MORVA_WIN_API int wsprintfA(LPSTR out, LPCSTR format, ...);
MORVA_WIN_API int wvsprintfA(LPSTR out, LPCSTR format, va_list args);
}

namespace morva {
// The same formatting without the 1024-character limit, for our own code.
MORVA_WIN_API std::u16string format_w(const char16_t* format, ...);
MORVA_WIN_API std::u16string vformat_w(const char16_t* format, va_list args);
MORVA_WIN_API std::string format_a(const char* format, ...);
MORVA_WIN_API std::string vformat_a(const char* format, va_list args);
}  // namespace morva
