// Common utilities that ask the system: the logon user name, the Windows
// version, locale-dependent defaults and file ages.
#pragma once

#include "win/types.h"

// The user name, or the logon default when the process runs as "System";
// "UnknownUser" when neither is known or the name is only blanks (U+0020,
// U+3000). `size` holds the buffer's characters on entry and the length
// with the terminator on return. Returns the length; 0 when even
// "UnknownUser" does not fit.
INT GetLogonUserName(LPWSTR buffer, DWORD* size);

// 256-258 (Windows 9x), 512-514 (NT 3, NT 4, 5 and later), 0 other
// platforms, -1 when the version cannot be read; also written to `out`.
INT GetOsVersionCode(INT* out);
// 0 for NT 4 and older, -1 unknown; otherwise writes 512 to `out` and
// gives 1.
INT IsNewerThanNt4(INT* out);
BOOL IsWindowsVersionAtLeast(DWORD major, DWORD minor);
BOOL IsWindowsXPOrLater();     // cached under lock 5
BOOL IsWindowsVistaOrLater();  // cached under lock 5

// 0 letter-paper country, 1 any other or an unreadable locale.
INT QueryLocalePaperFamily();
// 2 when `flag` (capability bit 22) is 0; else the cached answer: 1 for
// letter-paper countries, 2 for the others.
INT GetLocalePaperFamily(BOOL flag);
// Sets the cached answer to 1 or 2 (TRUE); any other value is refused.
BOOL SetLocalePaperFamily(INT family);
// Country defaults of DDMIDs 4356 (A) and 4358 (B); 0 for a country not
// listed. With `remap`, A's 2 becomes 1 and 3 becomes 0. FALSE when the
// locale cannot be read.
BOOL QueryCountryItemDefaultA(BYTE* out, BOOL remap);
BOOL QueryCountryItemDefaultB(BYTE* out);
// The same with the locale read once per process (under lock 6); each call
// applies its own remap flag.
BYTE GetCountryItemDefaultA(BOOL remap);
BYTE GetCountryItemDefaultB();

// TRUE when the file's last write is at least `seconds` before now; FALSE
// when it is missing or younger.
BOOL IsFileOlderThan(LPCWSTR path, DWORD seconds);

// GlobalAlloc'ed copy of the file name (after the last backslash) of the
// process's program, from its command line; null when there is none.
LPWSTR GetProcessExeName();

namespace morva::settings {
// Test seam: forget the cached version and locale answers.
void reset_system_caches_for_test();
}  // namespace morva::settings
