// The account fields: which setting each control edits for the account
// mode and identification type, the login-name text and the password
// length rule.
#include <gtest/gtest.h>

#include <string>

#include "property_sheets/account_fields.h"
#include "settings/common/common_utils.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

using morva::platform::set_machine_setting;

TEST(AccountFields, EachControlEditsTheSettingOfTheMode) {
  const struct {
    INT control;
    WORD mode0, mode1;
  } rows[] = {{1061, 5127, 5178}, {3521, 5164, 5165}, {3524, 5164, 5165}, {3523, 5166, 5167},
              {3537, 5213, 5214}, {3531, 5179, 5180}, {3532, 5181, 5182}, {3527, 5172, 5173}};
  for (const auto& r : rows) {
    EXPECT_EQ(AccountModeSetting(r.control, 0), r.mode0) << r.control;
    EXPECT_EQ(AccountModeSetting(r.control, 1), r.mode1) << r.control;
  }
  EXPECT_EQ(AccountModeSetting(1343, 0), 0) << "the user id has a table of its own";
}

DeviceCapabilityBits options(DWORD mask) { return DeviceCapabilityBits{{mask, 0, 0}}; }

TEST(AccountFields, UserIdAndPasswordFollowModeAndIdentificationType) {
  struct Case {
    const char* what;
    const AccountChoiceRow* rows;
    WORD id_type;
    BYTE mode;
    DWORD mask;
    WORD setting;
    WORD id_type_setting;
    BOOL protected_form;
  };
  const Case cases[] = {
      {"login name without the option", kUserIdRows, 0, 0, 0, kAccountNothingId, 0, FALSE},
      {"login name with the option", kUserIdRows, 0, 1, kOptionLoginNameType, kLoginNameId, 5178, FALSE},
      {"typed id, mode 0", kUserIdRows, 7, 0, 0, 5121, 5127, FALSE},
      {"typed id, mode 1", kUserIdRows, 7, 1, 0, 5150, 5178, FALSE},
      {"an id type without a row", kUserIdRows, 4, 0, 0, kAccountNothingId, 0, FALSE},
      {"password, mode 0", kPasswordRows, 7, 0, 0, 5152, 5127, FALSE},
      {"password, mode 1", kPasswordRows, 7, 1, 0, 5148, 5178, FALSE},
      {"protected password, mode 0", kPasswordRows, 7, 0, kOptionProtectedPassword, 5160, 5127, TRUE},
      {"protected password, mode 1", kPasswordRows, 0, 1, kOptionProtectedPassword | kOptionLoginNameType, 5161,
       5178, TRUE},
  };
  for (const Case& c : cases) {
    const DeviceCapabilityBits bits = options(c.mask);
    const AccountChoice got = ChooseAccountSetting(c.rows, 4, c.id_type, c.mode, &bits);
    EXPECT_EQ(got.setting, c.setting) << c.what;
    EXPECT_EQ(got.id_type_setting, c.id_type_setting) << c.what;
    EXPECT_EQ(got.protected_form, c.protected_form) << c.what;
  }
}

TEST(AccountFields, LoginNameText) {
  morva::test::TempRoot root;
  struct Case {
    const char* user;
    const char* host;
    INT limit;
    BOOL user_only;
    std::u16string expect;
  };
  const Case cases[] = {
      {"taro", "OFFICE-7", 31, FALSE, u"taro\\OFFICE-7"},
      {"taro", "OFFICE-7", 31, TRUE, u"taro"},
      {"taro", "OFFICE-7", 6, FALSE, u"taro\\O"},
      // Not in the ANSI code page of the machine (1252).
      {"\xe5\xa4\xaa\xe9\x83\x8e", "OFFICE-7", 31, FALSE, u"UnknownUser\\OFFICE-7"},
      {"taro", "\xe5\xa4\xaa", 31, FALSE, u"taro\\UnknownHost"},
  };
  for (const Case& c : cases) {
    set_machine_setting("user_name", c.user);
    set_machine_setting("computer_name", c.host);
    std::u16string out = u"unchanged";
    EXPECT_TRUE(BuildUserHostText(c.limit, c.user_only, &out)) << c.user << " " << c.host;
    EXPECT_EQ(out, c.expect) << c.user << " " << c.host;
  }
  std::u16string out = u"unchanged";
  EXPECT_FALSE(BuildUserHostText(0, TRUE, &out));
  EXPECT_EQ(out, u"unchanged");
}

TEST(AccountFields, PasswordLength) {
  EXPECT_TRUE(PasswordLongEnough(FALSE, u"u1", 1, u"abcd", 4));
  EXPECT_FALSE(PasswordLongEnough(FALSE, u"u1", 1, u"abc", 4));
  EXPECT_TRUE(PasswordLongEnough(TRUE, u"u1", 1, u"", 4)) << "asked at the device";
  EXPECT_TRUE(PasswordLongEnough(FALSE, u"", 1, u"", 4)) << "no user id";
  EXPECT_TRUE(PasswordLongEnough(FALSE, u"u1", 0, u"", 4)) << "no rule";
}

}  // namespace
