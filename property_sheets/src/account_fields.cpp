// Account settings: the mode table, the choice of the user-id and password
// settings, the login-name text and the password-length rule.
#include "property_sheets/account_fields.h"

#include "settings/common/common_utils.h"
#include "settings/common/system_utils.h"
#include "win/codepage.h"
#include "win/sysinfo.h"

namespace {

struct ModeRow {
  INT control;
  WORD setting[2];
};
constexpr ModeRow kAccountModeRows[] = {
    {3521, {5164, 5165}}, {3524, {5164, 5165}}, {1061, {5127, 5178}}, {3523, {5166, 5167}},
    {3537, {5213, 5214}}, {3531, {5179, 5180}}, {3532, {5181, 5182}}, {3525, {5168, 5169}},
    {3526, {5170, 5171}}, {3527, {5172, 5173}},
};

INT ansi_bytes(const std::u16string& text) { return AnsiByteCount(text); }

}  // namespace

INT AnsiByteCount(const std::u16string& text) {
  if (text.empty()) return 0;
  BOOL lost = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, &lost);
  return n <= 0 || lost ? -1 : n;
}

WORD AccountModeSetting(INT control, BYTE mode) {
  for (const ModeRow& r : kAccountModeRows)
    if (r.control == control) return r.setting[mode ? 1 : 0];
  return 0;
}

AccountChoice ChooseAccountSetting(const AccountChoiceRow* rows, INT count, WORD id_type, BYTE mode,
                                   const DeviceCapabilityBits* options) {
  AccountChoice c;
  if (id_type == 0 && !(options && TestCapabilityBit(options, kOptionLoginNameType))) return c;
  for (INT i = 0; i < count; ++i) {
    if (rows[i].id_type != id_type || rows[i].mode != mode) continue;
    c.setting = rows[i].setting;
    c.id_type_setting = rows[i].id_type_setting;
    break;
  }
  if ((c.setting == 5148 || c.setting == 5152) && options && TestCapabilityBit(options, kOptionProtectedPassword)) {
    c.setting = c.setting == 5148 ? 5161 : 5160;
    c.protected_form = TRUE;
  }
  return c;
}

BOOL BuildUserHostText(INT limit, BOOL user_only, std::u16string* out) {
  if (!out) return FALSE;
  WCHAR buffer[260] = {};
  DWORD size = 260;
  std::u16string user = GetLogonUserName(buffer, &size) > 0 ? std::u16string(buffer) : std::u16string();
  if (user.empty() || ansi_bytes(user) < 0) user = u"UnknownUser";
  std::u16string text = user;
  if (!user_only) {
    WCHAR host_buffer[260] = {};
    DWORD host_size = 260;
    std::u16string host = GetComputerNameW(host_buffer, &host_size) ? std::u16string(host_buffer) : std::u16string();
    if (host.empty() || ansi_bytes(host) < 0) host = u"UnknownHost";
    text += u"\\" + host;
  }
  // Cut on a character boundary to the limit.
  while (!text.empty() && ansi_bytes(text) > limit) text.pop_back();
  if (text.empty() || ansi_bytes(text) < 0) return FALSE;
  *out = text;
  return TRUE;
}

BOOL PasswordLongEnough(BOOL popup, const std::u16string& user_id, LONG rule, const std::u16string& password,
                        LONG minimum) {
  if (popup || user_id.empty() || rule == 0) return TRUE;
  return static_cast<LONG>(password.size()) >= minimum;
}
