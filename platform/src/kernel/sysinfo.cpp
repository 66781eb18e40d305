#include "win/sysinfo.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "win/codepage.h"
#include "win/errors.h"
#include "win/machine_settings.h"
#include "win/paths.h"
#include "win/strings.h"

namespace {

using morva::platform::machine_setting;
using morva::platform::machine_setting_number;

// ---- Locales -------------------------------------------------------------

struct LocaleRow {
  LCID lcid;
  const char16_t* name;
  const char16_t* iso_language;
  const char16_t* iso_country;
  const char16_t* abbreviation;
  const char16_t* english_language;
  const char16_t* english_country;
  const char16_t* native_language;
  const char16_t* native_country;
  int country_code;
  int measure;  // 0 metric, 1 U.S.
  int date_order;  // 0 M-D-Y, 1 D-M-Y, 2 Y-M-D
  const char16_t* short_date;
  const char16_t* date_separator;
  const char16_t* time_separator;
  const char16_t* decimal;
  const char16_t* thousands;
  const char16_t* list;
  int ansi_cp;
  int oem_cp;
  int paper_size;  // 1 letter, 9 A4
};

constexpr LocaleRow kLocales[] = {
    {0x0409, u"en-US", u"en", u"US", u"ENU", u"English", u"United States", u"English", u"United States", 1, 1, 0,
     u"M/d/yyyy", u"/", u":", u".", u",", u",", 1252, 437, 1},
    {0x0411, u"ja-JP", u"ja", u"JP", u"JPN", u"Japanese", u"Japan", u"\u65e5\u672c\u8a9e", u"\u65e5\u672c", 81, 0, 2,
     u"yyyy/MM/dd", u"/", u":", u".", u",", u",", 932, 932, 9},
    {0x0809, u"en-GB", u"en", u"GB", u"ENG", u"English", u"United Kingdom", u"English", u"United Kingdom", 44, 0, 1,
     u"dd/MM/yyyy", u"/", u":", u".", u",", u",", 1252, 850, 9},
    {0x0407, u"de-DE", u"de", u"DE", u"DEU", u"German", u"Germany", u"Deutsch", u"Deutschland", 49, 0, 1,
     u"dd.MM.yyyy", u".", u":", u",", u".", u";", 1252, 850, 9},
    {0x040C, u"fr-FR", u"fr", u"FR", u"FRA", u"French", u"France", u"fran\u00e7ais", u"France", 33, 0, 1,
     u"dd/MM/yyyy", u"/", u":", u",", u"\u00a0", u";", 1252, 850, 9},
    {0x0410, u"it-IT", u"it", u"IT", u"ITA", u"Italian", u"Italy", u"italiano", u"Italia", 39, 0, 1, u"dd/MM/yyyy",
     u"/", u":", u",", u".", u";", 1252, 850, 9},
    {0x0C0A, u"es-ES", u"es", u"ES", u"ESN", u"Spanish", u"Spain", u"espa\u00f1ol", u"Espa\u00f1a", 34, 0, 1,
     u"dd/MM/yyyy", u"/", u":", u",", u".", u";", 1252, 850, 9},
    {0x0804, u"zh-CN", u"zh", u"CN", u"CHS", u"Chinese", u"China", u"\u4e2d\u6587", u"\u4e2d\u56fd", 86, 0, 2,
     u"yyyy/M/d", u"/", u":", u".", u",", u",", 936, 936, 9},
    {0x0404, u"zh-TW", u"zh", u"TW", u"CHT", u"Chinese", u"Taiwan", u"\u4e2d\u6587", u"\u53f0\u7063", 886, 0, 2,
     u"yyyy/M/d", u"/", u":", u".", u",", u",", 950, 950, 9},
    {0x0412, u"ko-KR", u"ko", u"KR", u"KOR", u"Korean", u"Korea", u"\ud55c\uad6d\uc5b4", u"\ub300\ud55c\ubbfc\uad6d",
     82, 0, 2, u"yyyy-MM-dd", u"-", u":", u".", u",", u",", 949, 949, 9},
};

const LocaleRow* find_locale(LCID lcid) {
  for (const auto& row : kLocales)
    if (row.lcid == (lcid & 0xFFFF)) return &row;
  return nullptr;
}

// Without an "lcid" setting the machine's locale is the first one whose
// ANSI code page is the machine's (932 gives ja-JP), else en-US.
LCID default_lcid() {
  UINT acp = GetACP();
  for (const auto& row : kLocales)
    if (static_cast<UINT>(row.ansi_cp) == acp) return row.lcid;
  return 0x0409;
}

LCID user_lcid() {
  auto v = static_cast<LCID>(machine_setting_number("lcid", default_lcid()));
  return find_locale(v) ? v : default_lcid();
}

LCID system_lcid() {
  auto v = static_cast<LCID>(machine_setting_number("system_lcid", user_lcid()));
  return find_locale(v) ? v : user_lcid();
}

LCID resolve_locale(LCID lcid) {
  switch (lcid) {
    case LOCALE_USER_DEFAULT:
    case LOCALE_NEUTRAL:
      return user_lcid();
    case LOCALE_SYSTEM_DEFAULT:
      return system_lcid();
    case LOCALE_INVARIANT:
      return 0x0409;  // the invariant locale reads as U.S. English here
    default:
      return lcid;
  }
}

// The value of one LCTYPE: a text, or a number when `number` is set.
bool locale_value(const LocaleRow& r, LCTYPE type, std::u16string* text, std::optional<DWORD>* number) {
  auto num = [&](long v) {
    *number = static_cast<DWORD>(v);
    *text = morva::utf8_to_u16(std::to_string(v));
    return true;
  };
  switch (type) {
    case LOCALE_ILANGUAGE:
      *number = r.lcid;
      {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04x", static_cast<unsigned>(r.lcid));
        *text = morva::utf8_to_u16(hex);
      }
      return true;
    case LOCALE_SLANGUAGE:
      *text = std::u16string(r.english_language) + u" (" + r.english_country + u")";
      return true;
    case LOCALE_SABBREVLANGNAME: *text = r.abbreviation; return true;
    case LOCALE_SNATIVELANGNAME: *text = r.native_language; return true;
    case LOCALE_ICOUNTRY: return num(r.country_code);
    case LOCALE_SCOUNTRY: *text = r.english_country; return true;
    case LOCALE_SNATIVECTRYNAME: *text = r.native_country; return true;
    case LOCALE_IDEFAULTCODEPAGE: return num(r.oem_cp);
    case LOCALE_IDEFAULTANSICODEPAGE: return num(r.ansi_cp);
    case LOCALE_SLIST: *text = r.list; return true;
    case LOCALE_IMEASURE: return num(r.measure);
    case LOCALE_SDECIMAL: *text = r.decimal; return true;
    case LOCALE_STHOUSAND: *text = r.thousands; return true;
    case LOCALE_SDATE: *text = r.date_separator; return true;
    case LOCALE_STIME: *text = r.time_separator; return true;
    case LOCALE_SSHORTDATE: *text = r.short_date; return true;
    case LOCALE_IDATE: return num(r.date_order);
    case LOCALE_SISO639LANGNAME: *text = r.iso_language; return true;
    case LOCALE_SISO3166CTRYNAME: *text = r.iso_country; return true;
    case LOCALE_SNAME: *text = r.name; return true;
    case LOCALE_SENGLANGUAGE: *text = r.english_language; return true;
    case LOCALE_SENGCOUNTRY: *text = r.english_country; return true;
    case LOCALE_IPAPERSIZE: return num(r.paper_size);
    default: return false;
  }
}

// ---- Environment ---------------------------------------------------------

std::mutex g_env_lock;
// Changes made by this process; an empty optional marks a removed variable.
std::map<std::u16string, std::optional<std::u16string>>& g_env_changes =
    *new std::map<std::u16string, std::optional<std::u16string>>;  // never destroyed: safe at exit

std::u16string fold(std::u16string_view s) { return morva::u16_to_upper(s); }

std::u16string user_name() { return morva::utf8_to_u16(machine_setting("user_name", "user")); }
std::u16string computer_name() { return morva::utf8_to_u16(machine_setting("computer_name", "MORVA-PC")); }
std::u16string windows_dir() { return morva::utf8_to_u16(machine_setting("windows_dir", "C:\\Windows")); }

bool default_variable(const std::u16string& upper, std::u16string* value) {
  std::u16string profile = u"C:\\Users\\" + user_name();
  struct Default {
    const char16_t* name;
    std::u16string value;
  } defaults[] = {
      {u"SYSTEMDRIVE", u"C:"},
      {u"SYSTEMROOT", windows_dir()},
      {u"WINDIR", windows_dir()},
      {u"TEMP", windows_dir() + u"\\Temp"},
      {u"TMP", windows_dir() + u"\\Temp"},
      {u"USERNAME", user_name()},
      {u"COMPUTERNAME", computer_name()},
      {u"USERPROFILE", profile},
      {u"HOMEDRIVE", u"C:"},
      {u"HOMEPATH", u"\\Users\\" + user_name()},
      {u"APPDATA", profile + u"\\AppData\\Roaming"},
      {u"LOCALAPPDATA", profile + u"\\AppData\\Local"},
      {u"ALLUSERSPROFILE", u"C:\\ProgramData"},
      {u"PROGRAMDATA", u"C:\\ProgramData"},
      {u"PROGRAMFILES", u"C:\\Program Files"},
      {u"COMMONPROGRAMFILES", u"C:\\Program Files\\Common Files"},
      {u"OS", u"Windows_NT"},
      {u"PATH", windows_dir() + u"\\System32;" + windows_dir()},
  };
  for (auto& d : defaults)
    if (upper == d.name) {
      *value = d.value;
      return true;
    }
  return false;
}

template <class C>
BOOL copy_name(const std::u16string& name, C* buffer, LPDWORD size, DWORD too_small_error, bool count_nul_on_success) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::basic_string<C> text;
  if constexpr (sizeof(C) == 2)
    text = name;
  else
    text = morva::u16_to_ansi(name);
  if (!buffer || *size < text.size() + 1) {
    *size = static_cast<DWORD>(text.size() + 1);
    SetLastError(too_small_error);
    return FALSE;
  }
  std::memcpy(buffer, text.data(), text.size() * sizeof(C));
  buffer[text.size()] = 0;
  *size = static_cast<DWORD>(text.size() + (count_nul_on_success ? 1 : 0));
  return TRUE;
}

void parse_version(DWORD* major, DWORD* minor, DWORD* build) {
  std::string v = machine_setting("os_version", "10.0.19045");
  unsigned a = 10, b = 0, c = 19045;
  std::sscanf(v.c_str(), "%u.%u.%u", &a, &b, &c);
  *major = a, *minor = b, *build = c;
}

void fill_version(OSVERSIONINFOEXW* info) {
  parse_version(&info->dwMajorVersion, &info->dwMinorVersion, &info->dwBuildNumber);
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::u16string csd = morva::utf8_to_u16(machine_setting("os_csd"));
  if (csd.size() > 127) csd.resize(127);
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  std::memcpy(info->szCSDVersion, csd.data(), csd.size() * 2);
  unsigned spmaj = 0, spmin = 0;
  std::sscanf(machine_setting("os_service_pack", "0.0").c_str(), "%u.%u", &spmaj, &spmin);
  info->wServicePackMajor = static_cast<WORD>(spmaj);
  info->wServicePackMinor = static_cast<WORD>(spmin);
  info->wSuiteMask = static_cast<WORD>(machine_setting_number("os_suite_mask", 0x100));
  info->wProductType = static_cast<BYTE>(machine_setting_number("os_product_type", VER_NT_WORKSTATION));
  info->wReserved = 0;
}

int bit_index(DWORD bit) {
  int i = 0;
  while (bit > 1) bit >>= 1, ++i;
  return i;
}

bool compare(ULONGLONG actual, ULONGLONG wanted, int condition) {
  switch (condition) {
    case VER_EQUAL: return actual == wanted;
    case VER_GREATER: return actual > wanted;
    case VER_GREATER_EQUAL: return actual >= wanted;
    case VER_LESS: return actual < wanted;
    case VER_LESS_EQUAL: return actual <= wanted;
    default: return false;
  }
}

}  // namespace

namespace morva::platform {

bool environment_variable(std::u16string_view name, std::u16string* value) {
  std::u16string upper = fold(name);
  {
    std::lock_guard<std::mutex> g(g_env_lock);
    auto it = g_env_changes.find(upper);
    if (it != g_env_changes.end()) {
      if (!it->second) return false;
      *value = *it->second;
      return true;
    }
  }
  std::string setting = machine_setting("env." + u16_to_utf8(upper), "\x01");
  if (setting != "\x01") {
    *value = utf8_to_u16(setting);
    return true;
  }
  return default_variable(upper, value);
}

void reset_process_environment() {
  std::lock_guard<std::mutex> g(g_env_lock);
  g_env_changes.clear();
}

}  // namespace morva::platform

extern "C" {

BOOL GetVersionExW(LPOSVERSIONINFOW info) {
  if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW) &&
                info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  OSVERSIONINFOEXW full{};
  fill_version(&full);
  full.dwOSVersionInfoSize = info->dwOSVersionInfoSize;
  std::memcpy(info, &full, info->dwOSVersionInfoSize);
  return TRUE;
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  OSVERSIONINFOEXW w{};
  fill_version(&w);
  OSVERSIONINFOEXA a{};
  a.dwOSVersionInfoSize = info->dwOSVersionInfoSize;
  a.dwMajorVersion = w.dwMajorVersion;
  a.dwMinorVersion = w.dwMinorVersion;
  a.dwBuildNumber = w.dwBuildNumber;
  a.dwPlatformId = w.dwPlatformId;
  std::string csd = morva::u16_to_ansi(morva::u16view(w.szCSDVersion));
  std::memcpy(a.szCSDVersion, csd.data(), csd.size() < 127 ? csd.size() : 127);
  a.wServicePackMajor = w.wServicePackMajor;
  a.wServicePackMinor = w.wServicePackMinor;
  a.wSuiteMask = w.wSuiteMask;
  a.wProductType = w.wProductType;
  std::memcpy(info, &a, info->dwOSVersionInfoSize);
  return TRUE;
}

ULONGLONG VerSetConditionMask(ULONGLONG mask, DWORD typeMask, BYTE condition) {
  for (DWORD bit = 1; bit <= VER_PRODUCT_TYPE; bit <<= 1)
    if (typeMask & bit) {
      int shift = bit_index(bit) * 3;
      mask = (mask & ~(7ULL << shift)) | (static_cast<ULONGLONG>(condition & 7) << shift);
    }
  return mask;
}

BOOL VerifyVersionInfoW(LPOSVERSIONINFOEXW want, DWORD typeMask, ULONGLONG conditionMask) {
  if (!want || typeMask == 0 || conditionMask == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  OSVERSIONINFOEXW have{};
  fill_version(&have);
  auto cond = [&](DWORD bit) { return static_cast<int>((conditionMask >> (bit_index(bit) * 3)) & 7); };
  // Major, minor and service-pack numbers compare as one version, from the
  // most significant one asked for, with that one's condition.
  struct Part {
    DWORD bit;
    ULONGLONG have, want;
  } parts[] = {{VER_MAJORVERSION, have.dwMajorVersion, want->dwMajorVersion},
               {VER_MINORVERSION, have.dwMinorVersion, want->dwMinorVersion},
               {VER_SERVICEPACKMAJOR, have.wServicePackMajor, want->wServicePackMajor},
               {VER_SERVICEPACKMINOR, have.wServicePackMinor, want->wServicePackMinor}};
  bool ok = true;
  int first = -1;
  for (int i = 0; i < 4; ++i)
    if (typeMask & parts[i].bit) {
      first = i;
      break;
    }
  if (first >= 0) {
    int c = cond(parts[first].bit);
    bool decided = false;
    for (int i = first; i < 4 && !decided; ++i) {
      if (!(typeMask & parts[i].bit)) continue;
      if (parts[i].have != parts[i].want) {
        ok = compare(parts[i].have, parts[i].want, c);
        decided = true;
      }
    }
    if (!decided) ok = compare(0, 0, c);
  }
  if (ok && (typeMask & VER_BUILDNUMBER)) ok = compare(have.dwBuildNumber, want->dwBuildNumber, cond(VER_BUILDNUMBER));
  if (ok && (typeMask & VER_PLATFORMID)) ok = compare(have.dwPlatformId, want->dwPlatformId, cond(VER_PLATFORMID));
  if (ok && (typeMask & VER_PRODUCT_TYPE)) ok = compare(have.wProductType, want->wProductType, cond(VER_PRODUCT_TYPE));
  if (ok && (typeMask & VER_SUITENAME)) {
    int c = cond(VER_SUITENAME);
    ok = c == VER_OR ? (have.wSuiteMask & want->wSuiteMask) != 0
                     : (have.wSuiteMask & want->wSuiteMask) == want->wSuiteMask;
  }
  if (!ok) SetLastError(ERROR_OLD_WIN_VERSION);
  return ok ? TRUE : FALSE;
}

LCID GetUserDefaultLCID() { return user_lcid(); }
LCID GetSystemDefaultLCID() { return system_lcid(); }
LCID GetThreadLocale() { return user_lcid(); }
LANGID GetUserDefaultLangID() { return LANGIDFROMLCID(user_lcid()); }
LANGID GetSystemDefaultLangID() { return LANGIDFROMLCID(system_lcid()); }
LANGID GetUserDefaultUILanguage() { return LANGIDFROMLCID(user_lcid()); }
LANGID GetSystemDefaultUILanguage() { return LANGIDFROMLCID(system_lcid()); }
BOOL IsValidLocale(LCID locale, DWORD) { return find_locale(locale) ? TRUE : FALSE; }

int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int size) {
  const LocaleRow* row = find_locale(resolve_locale(locale));
  std::u16string text;
  std::optional<DWORD> number;
  bool as_number = type & LOCALE_RETURN_NUMBER;
  type &= ~(LOCALE_NOUSEROVERRIDE | LOCALE_RETURN_NUMBER);
  if (!row || size < 0 || (size > 0 && !data) || !locale_value(*row, type, &text, &number) ||
      (as_number && !number)) {
    SetLastError(row ? ERROR_INVALID_FLAGS : ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (as_number) {
    if (size == 0) return 2;
    if (size < 2) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    DWORD v = *number;
    std::memcpy(data, &v, sizeof v);
    return 2;
  }
  int need = static_cast<int>(text.size() + 1);
  if (size == 0) return need;
  if (size < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(data, text.c_str(), static_cast<size_t>(need) * 2);
  return need;
}

int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size) {
  WCHAR wide[128];
  if (type & LOCALE_RETURN_NUMBER) return GetLocaleInfoW(locale, type, reinterpret_cast<LPWSTR>(data), size / 2) * 2;
  if (!GetLocaleInfoW(locale, type, wide, 128)) return 0;
  std::string text = morva::u16_to_ansi(wide, CP_ACP);
  int need = static_cast<int>(text.size() + 1);
  if (size == 0) return need;
  if (!data || size < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(data, text.c_str(), static_cast<size_t>(need));
  return need;
}

BOOL GetUserNameW(LPWSTR buffer, LPDWORD size) {
  return copy_name(user_name(), buffer, size, ERROR_INSUFFICIENT_BUFFER, true);
}
BOOL GetUserNameA(LPSTR buffer, LPDWORD size) {
  return copy_name(user_name(), buffer, size, ERROR_INSUFFICIENT_BUFFER, true);
}
BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size) {
  return copy_name(computer_name(), buffer, size, ERROR_BUFFER_OVERFLOW, false);
}
BOOL GetComputerNameA(LPSTR buffer, LPDWORD size) {
  return copy_name(computer_name(), buffer, size, ERROR_BUFFER_OVERFLOW, false);
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
  std::u16string value;
  if (!name || !morva::platform::environment_variable(morva::u16view(name), &value)) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  SetLastError(ERROR_SUCCESS);
  return morva::platform::copy_out_string(value, buffer, size);
}

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  std::u16string value;
  if (!name || !morva::platform::environment_variable(morva::ansi_to_u16(name), &value)) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  std::string text = morva::u16_to_ansi(value);
  if (!buffer || size < text.size() + 1) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

BOOL SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value) {
  if (!name || !*name || morva::u16view(name).find(u'=') != std::u16string_view::npos) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(g_env_lock);
  if (value)
    g_env_changes[fold(morva::u16view(name))] = std::u16string(morva::u16view(value));
  else
    g_env_changes[fold(morva::u16view(name))] = std::nullopt;
  return TRUE;
}

DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size) {
  if (!source) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string_view in = morva::u16view(source);
  std::u16string out;
  size_t i = 0;
  while (i < in.size()) {
    size_t open = in.find(u'%', i);
    if (open == std::u16string_view::npos) {
      out += in.substr(i);
      break;
    }
    out += in.substr(i, open - i);
    size_t close = in.find(u'%', open + 1);
    if (close == std::u16string_view::npos) {
      out += in.substr(open);
      break;
    }
    std::u16string value;
    if (close > open + 1 && morva::platform::environment_variable(in.substr(open + 1, close - open - 1), &value)) {
      out += value;
      i = close + 1;
    } else {
      // An unknown name stays as written; its closing % may open the next.
      out += in.substr(open, close - open);
      i = close;
    }
  }
  DWORD need = static_cast<DWORD>(out.size() + 1);
  if (destination && size >= need) std::memcpy(destination, out.c_str(), need * 2);
  return need;
}

}  // extern "C"
