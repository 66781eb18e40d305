// Time: the system clock, the tick count, local time and the FILETIME /
// SYSTEMTIME conversions. Local time is UTC plus the machine setting
// "utc_offset_minutes" (the host's offset when unset). Tests can freeze
// the clock and step it.
#pragma once

#include "win/types.h"

extern "C" {
MORVA_WIN_API void GetSystemTime(SYSTEMTIME* time);
MORVA_WIN_API void GetLocalTime(SYSTEMTIME* time);
MORVA_WIN_API void GetSystemTimeAsFileTime(FILETIME* time);
MORVA_WIN_API DWORD GetTickCount();
MORVA_WIN_API ULONGLONG GetTickCount64();
MORVA_WIN_API LONG CompareFileTime(const FILETIME* a, const FILETIME* b);
MORVA_WIN_API BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
// Fails with ERROR_INVALID_PARAMETER for a field out of range; the day of
// the week is ignored.
MORVA_WIN_API BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
MORVA_WIN_API BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
MORVA_WIN_API BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc);
}

namespace morva::platform {

// 100-ns intervals since 1601-01-01 of a Unix time.
MORVA_WIN_API ULONGLONG filetime_from_unix(long long seconds, long nanoseconds);
inline FILETIME to_filetime(ULONGLONG v) {
  return FILETIME{static_cast<DWORD>(v & 0xFFFFFFFFu), static_cast<DWORD>(v >> 32)};
}
inline ULONGLONG from_filetime(const FILETIME& f) {
  return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

// Test hooks: freeze the clock at a UTC FILETIME value and a tick count,
// move both forward, or return to the real clock.
MORVA_WIN_API void set_test_clock(ULONGLONG utcFileTime, ULONGLONG tickMilliseconds);
MORVA_WIN_API void advance_test_clock(ULONGLONG milliseconds);
MORVA_WIN_API void clear_test_clock();

}  // namespace morva::platform
