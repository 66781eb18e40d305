// The process command line in its Windows form and its splitting into
// arguments by the Windows rules.
#pragma once

#include "win/types.h"

extern "C" {
// The command line of this process: the program's Windows path, then its
// arguments, each quoted when it holds blanks or quotes. The text lives as
// long as the process.
MORVA_WIN_API LPWSTR GetCommandLineW();
// Splits a command line: the program name ends at the closing quote or the
// first blank; in the other arguments 2n backslashes before a quote give n
// and the quote opens or closes quoting, 2n+1 give n and a literal quote,
// and two quotes inside quoting give one. One LocalAlloc'ed block (free it
// with LocalFree); null for a null `argc`.
MORVA_WIN_API LPWSTR* CommandLineToArgvW(LPCWSTR command_line, int* argc);
}
