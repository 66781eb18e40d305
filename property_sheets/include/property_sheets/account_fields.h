// The account settings of the device sheet: which setting each account
// control edits for the account mode and identification type, and the
// default text of a login name.
#pragma once

#include <string>

#include "win/types.h"

struct DeviceCapabilityBits;

inline constexpr WORD kAccountModeId = 5163;
inline constexpr WORD kLoginNameId = 36887;
inline constexpr WORD kAccountNothingId = 36923;

// Device option masks of the account fields.
inline constexpr DWORD kOptionAccountDialog = 0x2000000;   // account fields in a dialog of their own
inline constexpr DWORD kOptionLoginNameType = 0x1000000;   // identification type 0 is usable
inline constexpr DWORD kOptionProtectedPassword = 0x40000000;

// The setting a control edits in account mode 0 or 1; 0 for a control
// without a row.
WORD AccountModeSetting(INT control, BYTE mode);

// One row of a choice table: in account `mode` with the identification
// type setting `id_type_setting` holding `id_type`, the control edits
// `setting`.
struct AccountChoiceRow {
  BYTE mode;
  WORD id_type_setting;
  WORD id_type;
  WORD setting;
};
// Identification types 4 and 6 are typed user ids as 7 is, with nine bytes
// of the field kept back (see UserIdLimit).
inline constexpr AccountChoiceRow kUserIdRows[] = {
    {0, 5127, 0, kLoginNameId}, {1, 5178, 0, kLoginNameId}, {0, 5127, 7, 5121}, {1, 5178, 7, 5150},
    {0, 5127, 4, 5121},         {1, 5178, 4, 5150},         {0, 5127, 6, 5121}, {1, 5178, 6, 5150}};
inline constexpr INT kUserIdRowCount = static_cast<INT>(sizeof kUserIdRows / sizeof kUserIdRows[0]);
// The longest user id (ANSI bytes) of an identification type: `field`
// less nine for types 4 and 6.
inline constexpr INT UserIdLimit(WORD id_type, INT field) { return id_type == 4 || id_type == 6 ? field - 9 : field; }
// Bytes of `text` in the ANSI code page; -1 when a character has no
// mapping there.
INT AnsiByteCount(const std::u16string& text);
inline constexpr AccountChoiceRow kPasswordRows[] = {{0, 5127, 0, 5152}, {1, 5178, 0, 5148}, {0, 5127, 7, 5152},
                                                     {1, 5178, 7, 5148}};

struct AccountChoice {
  WORD setting = kAccountNothingId;
  WORD id_type_setting = 0;  // of the matched row, 0 without a match
  BOOL protected_form = FALSE;
};
// The setting of the first row matching `id_type` and `mode`; without one,
// or for identification type 0 without kOptionLoginNameType, 36923. With
// kOptionProtectedPassword the passwords 5148 and 5152 are taken in their
// protected forms 5161 and 5160.
AccountChoice ChooseAccountSetting(const AccountChoiceRow* rows, INT count, WORD id_type, BYTE mode,
                                   const DeviceCapabilityBits* options);

// "user\host" (or the user alone), cut to `limit` ANSI bytes; a user or
// host name that does not convert to the ANSI code page becomes
// "UnknownUser" / "UnknownHost". FALSE (out unchanged) when nothing fits.
BOOL BuildUserHostText(INT limit, BOOL user_only, std::u16string* out);

// The password-length rule of the account dialog: TRUE when the password
// is long enough or not asked for (popup on, no user id, or no rule).
BOOL PasswordLongEnough(BOOL popup, const std::u16string& user_id, LONG rule, const std::u16string& password,
                        LONG minimum);
