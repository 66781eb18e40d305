#include <gtest/gtest.h>

#include "temp_root.h"
#include "win/clock.h"
#include "win/codepage.h"
#include "win/errors.h"
#include "win/machine_settings.h"
#include "win/strings.h"
#include "win/sysinfo.h"

namespace {

using morva::platform::set_machine_setting;

class SysInfo : public ::testing::Test {
 protected:
  void TearDown() override {
    morva::platform::clear_test_clock();
    morva::platform::reset_process_environment();
  }
  morva::test::TempRoot root_;
};

TEST_F(SysInfo, VersionAndVerification) {
  OSVERSIONINFOEXW v{};
  v.dwOSVersionInfoSize = sizeof v;
  ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&v)));
  EXPECT_EQ(v.dwMajorVersion, 10u);
  EXPECT_EQ(v.dwPlatformId, VER_PLATFORM_WIN32_NT);
  v.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&v)));

  set_machine_setting("os_version", "6.1.7601");
  set_machine_setting("os_csd", "Service Pack 1");
  set_machine_setting("os_service_pack", "1.0");
  OSVERSIONINFOA a{};
  a.dwOSVersionInfoSize = sizeof a;
  ASSERT_TRUE(GetVersionExA(&a));
  EXPECT_EQ(a.dwMinorVersion, 1u);
  EXPECT_STREQ(a.szCSDVersion, "Service Pack 1");

  struct Case {
    DWORD major, minor;
    BYTE cond;
    BOOL ok;
  } cases[] = {{5, 1, VER_GREATER_EQUAL, TRUE}, {6, 0, VER_GREATER_EQUAL, TRUE}, {6, 1, VER_GREATER_EQUAL, TRUE},
               {6, 2, VER_GREATER_EQUAL, FALSE}, {10, 0, VER_GREATER_EQUAL, FALSE}, {6, 1, VER_EQUAL, TRUE},
               {7, 0, VER_LESS, TRUE}, {6, 1, VER_LESS, FALSE}};
  for (const auto& c : cases) {
    OSVERSIONINFOEXW want{};
    want.dwOSVersionInfoSize = sizeof want;
    want.dwMajorVersion = c.major;
    want.dwMinorVersion = c.minor;
    ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, c.cond);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, c.cond);
    EXPECT_EQ(VerifyVersionInfoW(&want, VER_MAJORVERSION | VER_MINORVERSION, mask), c.ok) << c.major << "." << c.minor;
    if (!c.ok) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OLD_WIN_VERSION));
    }
  }
}

TEST_F(SysInfo, LocaleValues) {
  WCHAR buf[32];
  EXPECT_EQ(GetUserDefaultLCID(), 0x0409u);
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, buf, 32), 2);
  EXPECT_EQ(std::u16string(buf), u"1");
  EXPECT_EQ(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, nullptr, 0), 2);
  ASSERT_TRUE(morva::platform::set_ansi_code_page(932));  // a Japanese machine
  EXPECT_EQ(GetUserDefaultLCID(), 0x0411u);
  morva::platform::set_ansi_code_page(1252);
  set_machine_setting("lcid", "0x0411");
  EXPECT_EQ(GetUserDefaultLangID(), 0x0411);
  EXPECT_EQ(GetSystemDefaultLangID(), 0x0411);
  struct Case {
    LCTYPE type;
    std::u16string value;
  } cases[] = {{LOCALE_IMEASURE, u"0"}, {LOCALE_IDATE, u"2"}, {LOCALE_ICOUNTRY, u"81"}, {LOCALE_SNAME, u"ja-JP"},
               {LOCALE_IDEFAULTANSICODEPAGE, u"932"}, {LOCALE_ILANGUAGE, u"0411"}};
  for (const auto& c : cases) {
    ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, c.type, buf, 32), 0) << c.type;
    EXPECT_EQ(std::u16string(buf), c.value) << c.type;
  }
  DWORD number = 0;
  EXPECT_EQ(GetLocaleInfoW(0x0407, LOCALE_ICOUNTRY | LOCALE_RETURN_NUMBER, reinterpret_cast<LPWSTR>(&number), 2), 2);
  EXPECT_EQ(number, 49u);
  EXPECT_EQ(GetLocaleInfoW(0x0411, LOCALE_SNAME, buf, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(GetLocaleInfoW(0x9999, LOCALE_SNAME, buf, 32), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(SysInfo, UserAndComputerNames) {
  set_machine_setting("user_name", "alice");
  WCHAR buf[32];
  DWORD size = 32;
  ASSERT_TRUE(GetUserNameW(buf, &size));
  EXPECT_EQ(std::u16string(buf), u"alice");
  EXPECT_EQ(size, 6u);  // with the 0
  size = 3;
  EXPECT_FALSE(GetUserNameW(buf, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 6u);
  size = 32;
  ASSERT_TRUE(GetComputerNameW(buf, &size));
  EXPECT_EQ(std::u16string(buf), u"MORVA-PC");
  EXPECT_EQ(size, 8u);  // without the 0
  size = 2;
  EXPECT_FALSE(GetComputerNameW(buf, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
  EXPECT_EQ(size, 9u);
}

TEST_F(SysInfo, Environment) {
  set_machine_setting("user_name", "bob");
  set_machine_setting("env.MORVA_MODE", "demo");
  WCHAR buf[64];
  EXPECT_EQ(GetEnvironmentVariableW(u"userprofile", buf, 64), 12u);
  EXPECT_EQ(std::u16string(buf), u"C:\\Users\\bob");
  EXPECT_EQ(GetEnvironmentVariableW(u"Morva_Mode", buf, 64), 4u);
  EXPECT_EQ(GetEnvironmentVariableW(u"MORVA_MODE", buf, 2), 5u);
  EXPECT_EQ(GetEnvironmentVariableW(u"NOPE", buf, 64), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
  ASSERT_TRUE(SetEnvironmentVariableW(u"NOPE", u"yes"));
  EXPECT_EQ(GetEnvironmentVariableW(u"nope", buf, 64), 3u);
  ASSERT_TRUE(SetEnvironmentVariableW(u"windir", nullptr));
  EXPECT_EQ(GetEnvironmentVariableW(u"WINDIR", buf, 64), 0u);
  EXPECT_EQ(ExpandEnvironmentStringsW(u"%SystemRoot%\\x;%UNKNOWN%;100%;%nope%", buf, 64), 32u);
  EXPECT_EQ(std::u16string(buf), u"C:\\Windows\\x;%UNKNOWN%;100%;yes");
  EXPECT_EQ(ExpandEnvironmentStringsW(u"%TEMP%", buf, 3), 16u);
}

TEST_F(SysInfo, ClockCanBeFrozenAndStepped) {
  SYSTEMTIME st{2025, 12, 0, 31, 23, 59, 59, 900};
  FILETIME ft{};
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  morva::platform::set_test_clock(morva::platform::from_filetime(ft), 5000);
  set_machine_setting("utc_offset_minutes", "540");
  EXPECT_EQ(GetTickCount(), 5000u);
  morva::platform::advance_test_clock(200);
  EXPECT_EQ(GetTickCount(), 5200u);
  SYSTEMTIME utc{}, local{};
  GetSystemTime(&utc);
  GetLocalTime(&local);
  EXPECT_EQ(utc.wYear, 2026);
  EXPECT_EQ(utc.wMonth, 1);
  EXPECT_EQ(utc.wMilliseconds, 100);
  EXPECT_EQ(local.wHour, 9);
  EXPECT_EQ(local.wDayOfWeek, 4);  // 2026-01-01 is a Thursday

  SYSTEMTIME bad[] = {{2025, 2, 0, 29, 0, 0, 0, 0}, {2025, 13, 0, 1, 0, 0, 0, 0}, {2025, 1, 0, 1, 24, 0, 0, 0},
                      {1600, 1, 0, 1, 0, 0, 0, 0}};
  for (const auto& b : bad) EXPECT_FALSE(SystemTimeToFileTime(&b, &ft));
}

}  // namespace
