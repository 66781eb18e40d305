// System information of the machine a machine root stands for: version,
// locale, user and computer names and the environment. Each value is a
// machine setting (win/machine_settings.h):
//   "os_version" ("10.0.19045"), "os_csd" (""), "os_service_pack" ("0.0"),
//   "os_product_type" (1), "lcid" (the user locale: 0x0409, or the
//   locale of the ANSI code page, 0x0411 for 932),
//   "system_lcid" (the user locale), "user_name" ("user"),
//   "computer_name" ("MORVA-PC"), "env.<NAME>" (environment variables on
//   top of the defaults: SystemRoot, windir, TEMP, TMP, USERPROFILE, ...).
#pragma once

#include <string>

#include "win/types.h"

#define VER_PLATFORM_WIN32s 0u
#define VER_PLATFORM_WIN32_WINDOWS 1u
#define VER_PLATFORM_WIN32_NT 2u

#define VER_MINORVERSION 0x0000001u
#define VER_MAJORVERSION 0x0000002u
#define VER_BUILDNUMBER 0x0000004u
#define VER_PLATFORMID 0x0000008u
#define VER_SERVICEPACKMINOR 0x0000010u
#define VER_SERVICEPACKMAJOR 0x0000020u
#define VER_SUITENAME 0x0000040u
#define VER_PRODUCT_TYPE 0x0000080u
#define VER_EQUAL 1
#define VER_GREATER 2
#define VER_GREATER_EQUAL 3
#define VER_LESS 4
#define VER_LESS_EQUAL 5
#define VER_AND 6
#define VER_OR 7
#define VER_NT_WORKSTATION 1

struct OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
};
struct OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};
struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
};
struct OSVERSIONINFOEXA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};
using LPOSVERSIONINFOW = OSVERSIONINFOW*;
using LPOSVERSIONINFOEXW = OSVERSIONINFOEXW*;
using LPOSVERSIONINFOA = OSVERSIONINFOA*;
static_assert(sizeof(OSVERSIONINFOW) == 276 && sizeof(OSVERSIONINFOEXW) == 284);
static_assert(sizeof(OSVERSIONINFOA) == 148 && sizeof(OSVERSIONINFOEXA) == 156);

using LCTYPE = DWORD;
#define LOCALE_NEUTRAL 0x0000u
#define LOCALE_INVARIANT 0x007Fu
#define LOCALE_USER_DEFAULT 0x0400u
#define LOCALE_SYSTEM_DEFAULT 0x0800u
#define LOCALE_NOUSEROVERRIDE 0x80000000u
#define LOCALE_RETURN_NUMBER 0x20000000u
#define LOCALE_ILANGUAGE 0x00000001u
#define LOCALE_SLANGUAGE 0x00000002u
#define LOCALE_SABBREVLANGNAME 0x00000003u
#define LOCALE_SNATIVELANGNAME 0x00000004u
#define LOCALE_ICOUNTRY 0x00000005u
#define LOCALE_SCOUNTRY 0x00000006u
#define LOCALE_SNATIVECTRYNAME 0x00000008u
#define LOCALE_IDEFAULTCODEPAGE 0x0000000Bu
#define LOCALE_SLIST 0x0000000Cu
#define LOCALE_IMEASURE 0x0000000Du
#define LOCALE_SDECIMAL 0x0000000Eu
#define LOCALE_STHOUSAND 0x0000000Fu
#define LOCALE_SDATE 0x0000001Du
#define LOCALE_STIME 0x0000001Eu
#define LOCALE_SSHORTDATE 0x0000001Fu
#define LOCALE_IDATE 0x00000021u
#define LOCALE_SISO639LANGNAME 0x00000059u
#define LOCALE_SISO3166CTRYNAME 0x0000005Au
#define LOCALE_SNAME 0x0000005Cu
#define LOCALE_SENGLANGUAGE 0x00001001u
#define LOCALE_SENGCOUNTRY 0x00001002u
#define LOCALE_IDEFAULTANSICODEPAGE 0x00001004u
#define LOCALE_IPAPERSIZE 0x0000100Au
#define LANGIDFROMLCID(l) (static_cast<LANGID>(l))
#define MAKELCID(l, s) (static_cast<DWORD>((static_cast<DWORD>(static_cast<WORD>(s)) << 16) | static_cast<WORD>(l)))

#define UNLEN 256
#define MAX_COMPUTERNAME_LENGTH 15

extern "C" {
// The size field must name one of the structures (else
// ERROR_INSUFFICIENT_BUFFER).
MORVA_WIN_API BOOL GetVersionExW(LPOSVERSIONINFOW info);
MORVA_WIN_API BOOL GetVersionExA(LPOSVERSIONINFOA info);
MORVA_WIN_API BOOL VerifyVersionInfoW(LPOSVERSIONINFOEXW info, DWORD typeMask, ULONGLONG conditionMask);
MORVA_WIN_API ULONGLONG VerSetConditionMask(ULONGLONG conditionMask, DWORD typeMask, BYTE condition);

MORVA_WIN_API LCID GetUserDefaultLCID();
MORVA_WIN_API LCID GetSystemDefaultLCID();
MORVA_WIN_API LCID GetThreadLocale();
MORVA_WIN_API LANGID GetUserDefaultLangID();
MORVA_WIN_API LANGID GetSystemDefaultLangID();
MORVA_WIN_API LANGID GetUserDefaultUILanguage();
MORVA_WIN_API LANGID GetSystemDefaultUILanguage();
MORVA_WIN_API BOOL IsValidLocale(LCID locale, DWORD flags);
// Characters written with the 0 (0 asks for the size); with
// LOCALE_RETURN_NUMBER a DWORD is written into the buffer (size 2).
MORVA_WIN_API int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int size);
MORVA_WIN_API int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size);

MORVA_WIN_API BOOL GetUserNameW(LPWSTR buffer, LPDWORD size);
MORVA_WIN_API BOOL GetUserNameA(LPSTR buffer, LPDWORD size);
MORVA_WIN_API BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size);
MORVA_WIN_API BOOL GetComputerNameA(LPSTR buffer, LPDWORD size);

// Names are compared ignoring case. SetEnvironmentVariableW changes this
// process only; a NULL value removes the variable.
MORVA_WIN_API DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
MORVA_WIN_API DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
MORVA_WIN_API BOOL SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value);
// Replaces each %NAME% of a known variable; returns the characters needed
// with the 0 (the text is written only when it fits).
MORVA_WIN_API DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size);
}

namespace morva::platform {
// The value of a variable of the machine's environment; false when unset.
MORVA_WIN_API bool environment_variable(std::u16string_view name, std::u16string* value);
// Test hook: forgets every SetEnvironmentVariableW of this process.
MORVA_WIN_API void reset_process_environment();
}  // namespace morva::platform
