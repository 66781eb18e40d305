#include "settings/common/system_utils.h"

#include <string>

#include "settings/common/common_utils.h"
#include "settings/common/driver_locks.h"
#include "win/win.h"

namespace {

constexpr char16_t kUnknownUser[] = u"UnknownUser";
constexpr char16_t kWinlogonKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\";
constexpr ULONGLONG kFileTimeUnitsPerSecond = 10000000ull;  // FILETIME counts 100 ns

// Cached answers; -1 = not asked yet.
int g_xp_or_later = -1;     // under kLockOsVersion
int g_vista_or_later = -1;  // under kLockOsVersion
int g_paper_family = -1;    // under kLockLocale
int g_country = -2;         // under kLockLocale; -1 = unreadable

bool only_blanks(std::u16string_view name) {
  for (char16_t c : name)
    if (c != u' ' && c != u'\u3000') return false;
  return true;
}

bool read_default_user(std::u16string* name, DWORD capacity) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWinlogonKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, bytes = 0;
  bool ok = false;
  // Ask for the size first: it must fit the caller's buffer.
  if (RegQueryValueExW(key, u"DefaultUserName", nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS && type == REG_SZ &&
      bytes / sizeof(WCHAR) <= capacity) {
    std::u16string value(bytes / sizeof(WCHAR) + 1, u'\0');
    DWORD got = bytes;
    if (RegQueryValueExW(key, u"DefaultUserName", nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &got) ==
        ERROR_SUCCESS) {
      value.resize(morva::u16len(value.c_str()));
      *name = value;
      ok = true;
    }
  }
  RegCloseKey(key);
  return ok;
}

// The user's country code; false when the locale cannot be read.
bool read_country(INT* country) {
  WCHAR text[16] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, text, 16) <= 0 || !text[0]) return false;
  *country = WStrToInt(text);
  return true;
}

INT cached_country() {
  DriverLockGuard g(kLockLocale);
  if (g_country == -2) {
    INT c = 0;
    g_country = read_country(&c) ? c : -1;
  }
  return g_country;
}

BYTE country_default(INT country, bool first, bool remap) {
  BYTE a = 0, b = 0;
  LookupCountryDefaults(country, &a, &b);
  if (!first) return b;
  if (remap && a == 2) return 1;
  if (remap && a == 3) return 0;
  return a;
}

BOOL cached_version_at_least(int* cache, DWORD major, DWORD minor) {
  DriverLockGuard g(kLockOsVersion);
  if (*cache < 0) *cache = IsWindowsVersionAtLeast(major, minor) ? 1 : 0;
  return *cache;
}

}  // namespace

INT GetLogonUserName(LPWSTR buffer, DWORD* size) {
  if (!buffer || !size || *size == 0) return 0;
  DWORD capacity = *size;
  std::u16string name;
  DWORD n = capacity;
  if (GetUserNameW(buffer, &n)) name = morva::u16view(buffer);
  if (name.empty() || morva::u16_iequal(name, u"System")) {
    name.clear();
    if (!read_default_user(&name, capacity)) name.clear();
  }
  if (only_blanks(name)) name = kUnknownUser;
  if (name.size() + 1 > capacity) {
    buffer[0] = 0;
    return 0;
  }
  name.copy(buffer, name.size());
  buffer[name.size()] = 0;
  *size = static_cast<DWORD>(name.size() + 1);
  return static_cast<INT>(name.size());
}

INT GetOsVersionCode(INT* out) {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  INT code = 0;
  if (!GetVersionExW(&info)) {
    code = -1;
  } else if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    if (info.dwMajorVersion < 4)
      code = 256;
    else if (info.dwMajorVersion == 4 && info.dwMinorVersion == 0)
      code = 257;
    else
      code = 258;
  } else if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    code = info.dwMajorVersion < 4 ? 512 : info.dwMajorVersion == 4 ? 513 : 514;
  }
  if (out) *out = code;
  return code;
}

INT IsNewerThanNt4(INT* out) {
  INT code = GetOsVersionCode(nullptr);
  if (code == -1) return -1;
  if (code == 256 || code == 257 || code == 512 || code == 513) return 0;
  if (out) *out = 512;
  return 1;
}

BOOL IsWindowsVersionAtLeast(DWORD major, DWORD minor) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION, mask);
}

BOOL IsWindowsXPOrLater() { return cached_version_at_least(&g_xp_or_later, 5, 1); }
BOOL IsWindowsVistaOrLater() { return cached_version_at_least(&g_vista_or_later, 6, 0); }

INT QueryLocalePaperFamily() {
  INT country = 0;
  return read_country(&country) ? PaperFamilyOfCountry(country) : 1;
}

INT GetLocalePaperFamily(BOOL flag) {
  if (!flag) return 2;
  DriverLockGuard g(kLockLocale);
  if (g_paper_family < 0) {
    INT country = 0;
    g_paper_family = read_country(&country) && PaperFamilyOfCountry(country) == 0 ? 1 : 2;
  }
  return g_paper_family;
}

BOOL SetLocalePaperFamily(INT family) {
  if (family != 1 && family != 2) return FALSE;
  DriverLockGuard g(kLockLocale);
  g_paper_family = family;
  return TRUE;
}

BOOL QueryCountryItemDefaultA(BYTE* out, BOOL remap) {
  INT country = 0;
  if (!out || !read_country(&country)) return FALSE;
  *out = country_default(country, true, remap);
  return TRUE;
}

BOOL QueryCountryItemDefaultB(BYTE* out) {
  INT country = 0;
  if (!out || !read_country(&country)) return FALSE;
  *out = country_default(country, false, false);
  return TRUE;
}

// The locale is read once; the remap applies per call, so a later caller
// asking for the remapped value gets it even when the first one did not.
BYTE GetCountryItemDefaultA(BOOL remap) {
  INT country = cached_country();
  return country < 0 ? 0 : country_default(country, true, remap);
}

BYTE GetCountryItemDefaultB() {
  INT country = cached_country();
  return country < 0 ? 0 : country_default(country, false, false);
}

BOOL IsFileOlderThan(LPCWSTR path, DWORD seconds) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!path || !GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return FALSE;
  FILETIME now_ft{};
  GetSystemTimeAsFileTime(&now_ft);
  ULONGLONG written = (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                      data.ftLastWriteTime.dwLowDateTime;
  ULONGLONG now = (static_cast<ULONGLONG>(now_ft.dwHighDateTime) << 32) | now_ft.dwLowDateTime;
  // Both sides in 100 ns units: the age in seconds is scaled, never the
  // other way round.
  ULONGLONG needed = static_cast<ULONGLONG>(seconds) * kFileTimeUnitsPerSecond;
  return now >= written && now - written >= needed;
}

LPWSTR GetProcessExeName() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return nullptr;
  std::u16string program = argc > 0 ? std::u16string(argv[0]) : std::u16string();
  LocalFree(argv);
  size_t slash = program.find_last_of(u'\\');
  std::u16string name = slash == std::u16string::npos ? program : program.substr(slash + 1);
  if (name.empty()) return nullptr;
  auto* out = static_cast<LPWSTR>(GlobalAlloc(GPTR, (name.size() + 1) * sizeof(WCHAR)));
  if (out) name.copy(out, name.size());
  return out;
}

namespace morva::settings {
void reset_system_caches_for_test() {
  {
    DriverLockGuard g(kLockOsVersion);
    g_xp_or_later = g_vista_or_later = -1;
  }
  DriverLockGuard g(kLockLocale);
  g_paper_family = -1;
  g_country = -2;
}
}  // namespace morva::settings
