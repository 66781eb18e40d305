#include <gtest/gtest.h>

#include <string>

#include "settings/common/system_utils.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

using morva::platform::set_machine_setting;

class SystemUtils : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  void SetUp() override { morva::settings::reset_system_caches_for_test(); }
  void TearDown() override {
    morva::settings::reset_system_caches_for_test();
    morva::platform::clear_test_clock();
  }
  std::u16string user() {
    WCHAR buffer[64];
    DWORD size = 64;
    INT n = GetLogonUserName(buffer, &size);
    EXPECT_EQ(static_cast<size_t>(n), std::u16string(buffer).size());
    return buffer;
  }
  void set_default_user(const char16_t* name) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"DefaultUserName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                             static_cast<DWORD>((std::u16string(name).size() + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
};

}  // namespace

TEST_F(SystemUtils, LogonUserName) {
  set_machine_setting("user_name", "Taro");
  EXPECT_EQ(user(), u"Taro");
  // A service running as System reports the logon default instead.
  set_machine_setting("user_name", "SYSTEM");
  EXPECT_EQ(user(), u"UnknownUser");
  set_default_user(u"Hanako");
  EXPECT_EQ(user(), u"Hanako");
  // Blank names, ideographic spaces included, are no names.
  set_machine_setting("user_name", "\xe3\x80\x80\xe3\x80\x80\xe3\x80\x80");
  EXPECT_EQ(user(), u"UnknownUser");
  set_default_user(u"   ");
  set_machine_setting("user_name", "system");
  EXPECT_EQ(user(), u"UnknownUser");
  // A buffer too small even for the fallback.
  WCHAR small[5] = {u'#'};
  DWORD size = 5;
  EXPECT_EQ(GetLogonUserName(small, &size), 0);
  EXPECT_EQ(small[0], 0);
}

TEST_F(SystemUtils, VersionCodes) {
  struct Case {
    const char* version;
    INT code;
    INT newer;
  } cases[] = {{"3.51.1057", 512, 0}, {"4.0.1381", 513, 0}, {"5.0.2195", 514, 1}, {"10.0.19045", 514, 1}};
  for (const Case& c : cases) {
    set_machine_setting("os_version", c.version);
    INT out = 0;
    EXPECT_EQ(GetOsVersionCode(&out), c.code) << c.version;
    EXPECT_EQ(out, c.code);
    INT arg = 7;
    EXPECT_EQ(IsNewerThanNt4(&arg), c.newer) << c.version;
    EXPECT_EQ(arg, c.newer ? 512 : 7);
  }
  set_machine_setting("os_version", "5.1.2600");
  EXPECT_TRUE(IsWindowsXPOrLater());
  EXPECT_FALSE(IsWindowsVistaOrLater());
  EXPECT_TRUE(IsWindowsVersionAtLeast(5, 0));
  EXPECT_FALSE(IsWindowsVersionAtLeast(5, 2));
  // The answers are cached for the process.
  set_machine_setting("os_version", "6.1.7601");
  EXPECT_FALSE(IsWindowsVistaOrLater());
  morva::settings::reset_system_caches_for_test();
  EXPECT_TRUE(IsWindowsVistaOrLater());
}

TEST_F(SystemUtils, LocaleDefaults) {
  struct Case {
    const char* lcid;
    INT query_family;
    INT family;
    BYTE a, a_remapped, b;
  } cases[] = {
      {"0x0409", 0, 1, 4, 4, 0},  // United States: letter paper
      {"0x0411", 1, 2, 1, 1, 0},  // Japan
      {"0x0804", 1, 2, 2, 1, 1},  // China
      {"0x0407", 1, 2, 0, 0, 0},  // Germany
  };
  for (const Case& c : cases) {
    morva::settings::reset_system_caches_for_test();
    set_machine_setting("lcid", c.lcid);
    EXPECT_EQ(QueryLocalePaperFamily(), c.query_family) << c.lcid;
    EXPECT_EQ(GetLocalePaperFamily(TRUE), c.family) << c.lcid;
    EXPECT_EQ(GetLocalePaperFamily(FALSE), 2);
    BYTE v = 99;
    EXPECT_TRUE(QueryCountryItemDefaultA(&v, FALSE));
    EXPECT_EQ(v, c.a) << c.lcid;
    EXPECT_TRUE(QueryCountryItemDefaultA(&v, TRUE));
    EXPECT_EQ(v, c.a_remapped) << c.lcid;
    EXPECT_TRUE(QueryCountryItemDefaultB(&v));
    EXPECT_EQ(v, c.b) << c.lcid;
    // Cached forms: each call applies its own remap flag.
    EXPECT_EQ(GetCountryItemDefaultA(FALSE), c.a) << c.lcid;
    EXPECT_EQ(GetCountryItemDefaultA(TRUE), c.a_remapped) << c.lcid;
    EXPECT_EQ(GetCountryItemDefaultB(), c.b) << c.lcid;
  }
  // The locale is read once per process.
  set_machine_setting("lcid", "0x0409");
  EXPECT_EQ(GetCountryItemDefaultA(FALSE), 0);
  EXPECT_EQ(GetLocalePaperFamily(TRUE), 2);
}

TEST_F(SystemUtils, FileAgeComparesLikeWithLike) {
  morva::test::write_file(root.file("drive_c/tmp/a.tmp"), "x");
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(u"C:\\tmp\\a.tmp", GetFileExInfoStandard, &data));
  ULONGLONG written = morva::platform::from_filetime(data.ftLastWriteTime);
  constexpr DWORD kWeek = 604800;
  constexpr ULONGLONG kSecond = 10000000ull;
  morva::platform::set_test_clock(written + kWeek * kSecond - kSecond, 0);
  EXPECT_FALSE(IsFileOlderThan(u"C:\\tmp\\a.tmp", kWeek));  // one second short of a week
  EXPECT_TRUE(IsFileOlderThan(u"C:\\tmp\\a.tmp", kWeek / 1000));  // not mistaken for milliseconds
  morva::platform::set_test_clock(written + kWeek * kSecond, 0);
  EXPECT_TRUE(IsFileOlderThan(u"C:\\tmp\\a.tmp", kWeek));
  EXPECT_FALSE(IsFileOlderThan(u"C:\\tmp\\missing.tmp", 0));
  // A file written in the future (clock moved back) is young.
  morva::platform::set_test_clock(written - kSecond, 0);
  EXPECT_FALSE(IsFileOlderThan(u"C:\\tmp\\a.tmp", 0));
  EXPECT_FALSE(IsFileOlderThan(nullptr, 0));
}

TEST_F(SystemUtils, ProcessExeName) {
  LPWSTR name = GetProcessExeName();
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::u16string(name), u"settings_system_utils");
  GlobalFree(name);
}
