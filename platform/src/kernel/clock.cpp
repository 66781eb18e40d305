#include "win/clock.h"

#include <time.h>

#include <climits>
#include <mutex>
#include <optional>

#include "win/errors.h"
#include "win/machine_settings.h"

namespace morva::platform {
namespace {

constexpr ULONGLONG kUnixEpoch = 116444736000000000ULL;  // 1970-01-01 as FILETIME
constexpr ULONGLONG kPerMs = 10000;
constexpr ULONGLONG kPerDay = 864000000000ULL;

struct TestClock {
  ULONGLONG utc;
  ULONGLONG tick;
};
std::mutex g_lock;
std::optional<TestClock> g_test;

ULONGLONG now_utc() {
  {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_test) return g_test->utc;
  }
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return filetime_from_unix(ts.tv_sec, ts.tv_nsec);
}

LONGLONG local_offset() {
  long long minutes = machine_setting_number("utc_offset_minutes", LLONG_MIN);
  if (minutes == LLONG_MIN) {
    time_t t = time(nullptr);
    tm local{};
    localtime_r(&t, &local);
    minutes = local.tm_gmtoff / 60;
  }
  return static_cast<LONGLONG>(minutes) * 60 * 10000000LL;
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int days_in_month(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

// Days from 1601-01-01 to the given date (proleptic Gregorian).
long long days_from_1601(int y, int m, int d) {
  long long yy = y - 1601;
  long long days = yy * 365 + yy / 4 - yy / 100 + yy / 400;
  for (int i = 1; i < m; ++i) days += days_in_month(y, i);
  return days + d - 1;
}

}  // namespace

ULONGLONG filetime_from_unix(long long seconds, long nanoseconds) {
  return kUnixEpoch + static_cast<ULONGLONG>(seconds) * 10000000ULL + static_cast<ULONGLONG>(nanoseconds / 100);
}

void set_test_clock(ULONGLONG utcFileTime, ULONGLONG tickMilliseconds) {
  std::lock_guard<std::mutex> g(g_lock);
  g_test = TestClock{utcFileTime, tickMilliseconds};
}

void advance_test_clock(ULONGLONG milliseconds) {
  std::lock_guard<std::mutex> g(g_lock);
  if (g_test) {
    g_test->utc += milliseconds * kPerMs;
    g_test->tick += milliseconds;
  }
}

void clear_test_clock() {
  std::lock_guard<std::mutex> g(g_lock);
  g_test.reset();
}

}  // namespace morva::platform

using namespace morva::platform;

extern "C" {

void GetSystemTimeAsFileTime(FILETIME* time) {
  if (time) *time = to_filetime(now_utc());
}

void GetSystemTime(SYSTEMTIME* time) {
  FILETIME f = to_filetime(now_utc());
  if (time) FileTimeToSystemTime(&f, time);
}

void GetLocalTime(SYSTEMTIME* time) {
  FILETIME u = to_filetime(now_utc()), l{};
  FileTimeToLocalFileTime(&u, &l);
  if (time) FileTimeToSystemTime(&l, time);
}

ULONGLONG GetTickCount64() {
  {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_test) return g_test->tick;
  }
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<ULONGLONG>(ts.tv_sec) * 1000 + static_cast<ULONGLONG>(ts.tv_nsec / 1000000);
}

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
  if (!a || !b) return 0;
  ULONGLONG x = from_filetime(*a), y = from_filetime(*b);
  return x < y ? -1 : x > y ? 1 : 0;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* st) {
  if (!fileTime || !st) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ULONGLONG v = from_filetime(*fileTime);
  if (v >= 0x8000000000000000ULL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  long long days = static_cast<long long>(v / kPerDay);
  ULONGLONG rest = v % kPerDay;
  st->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  int y = 1601;
  for (;;) {
    // Whole 400-year cycles first keeps this quick for far dates.
    if (days >= 146097) {
      y += 400;
      days -= 146097;
      continue;
    }
    int len = leap(y) ? 366 : 365;
    if (days < len) break;
    days -= len;
    ++y;
  }
  int m = 1;
  while (days >= days_in_month(y, m)) days -= days_in_month(y, m++);
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(m);
  st->wDay = static_cast<WORD>(days + 1);
  ULONGLONG ms = rest / kPerMs;
  st->wHour = static_cast<WORD>(ms / 3600000);
  st->wMinute = static_cast<WORD>(ms / 60000 % 60);
  st->wSecond = static_cast<WORD>(ms / 1000 % 60);
  st->wMilliseconds = static_cast<WORD>(ms % 1000);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* fileTime) {
  if (!st || !fileTime || st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 ||
      st->wDay < 1 || st->wDay > days_in_month(st->wYear, st->wMonth) || st->wHour > 23 || st->wMinute > 59 ||
      st->wSecond > 59 || st->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ULONGLONG v = static_cast<ULONGLONG>(days_from_1601(st->wYear, st->wMonth, st->wDay)) * kPerDay +
                (static_cast<ULONGLONG>(st->wHour) * 3600000 + st->wMinute * 60000ULL + st->wSecond * 1000ULL +
                 st->wMilliseconds) *
                    kPerMs;
  *fileTime = to_filetime(v);
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
  if (!utc || !local) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *local = to_filetime(from_filetime(*utc) + static_cast<ULONGLONG>(local_offset()));
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) {
  if (!utc || !local) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *utc = to_filetime(from_filetime(*local) - static_cast<ULONGLONG>(local_offset()));
  return TRUE;
}

}  // extern "C"
