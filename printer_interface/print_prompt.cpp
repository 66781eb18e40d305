// The print-time prompt for a user name and password or an account and its
// code: the driver's own dialog over copies of the job's settings, and the
// outside prompt component with its reply parsed within its buffer.
#include "pi/print_prompt.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "property_sheets/dialog_helpers.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/common/prompt_component.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "pi/private_escapes.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/items/item_access.h"
#include "settings/stores/user_setting_info.h"
#include "win/codepage.h"
#include "win/com.h"
#include "win/commdlg.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"
#include "win/strings.h"
#include "win/window.h"

namespace morva::pi {
namespace {

constexpr DWORD kDevmodeBytes = kDriverDevmodeSize;
constexpr DWORD kSettingsBytes = kSettingsBlockSize;
constexpr UINT kCaptionString = 265, kCancelledString = 5192, kRangeMessage = 743;
constexpr DWORD kHelpTopic = 42730;

// Field flags: a value of white space alone is refused; the field may stay
// empty; the value is kept in protected form.
constexpr BYTE kRefuseBlank = 0x1, kMayBeEmpty = 0x2, kProtected = 0x20;

struct PromptField {
  INT control;
  WORD ddmid;
  BYTE flags;
  DWORD maximum;
};

// The account field is shorter on models with the short-account capability.
PromptField field_of(INT control, DddHandle* database) {
  switch (control) {
    case kPromptUserName: return {control, 5174, 0x03, 32};
    case kPromptPassword: return {control, 5175, 0x22, 128};
    case kPromptLoginName: return {control, 5176, 0x02, 32};
    case kPromptDomain: return {control, 5215, 0x02, 64};
    case kPromptAccount:
      return {control, 5184, 0x03, static_cast<DWORD>(HasDeviceCapability(database, 0xFFFF002F) ? 8 : 24)};
    default: return {kPromptAccountCode, 5185, 0x26, 12};
  }
}

constexpr INT kUserFields[] = {kPromptUserName, kPromptPassword, kPromptDomain, kPromptLoginName};
constexpr INT kAccountFields[] = {kPromptAccount, kPromptAccountCode};
constexpr INT kAllFields[] = {kPromptPassword, kPromptAccountCode, kPromptUserName,
                              kPromptAccount,  kPromptLoginName,   kPromptDomain};

LONG number(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v)) return 0;
  return GetTypedValue(type, &v);
}

bool set_number(void* devmode, void* printer_data, WORD ddmid, DWORD value) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v)) return false;
  return SetItemValue(ddmid, devmode, printer_data, static_cast<DWORD>(-1), type, &value);
}

std::u16string text(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v) || type != 6) return {};
  return ItemText(v, size);
}

bool set_text(void* devmode, void* printer_data, WORD ddmid, const std::u16string& value) {
  const WCHAR* p = value.c_str();
  return SetItemValue(ddmid, devmode, printer_data, static_cast<DWORD>(-1), 6, &p);
}

std::u16string resource_string(UINT id) {
  WCHAR buffer[512] = {};
  const int n = LoadStringW(GetResourceModule(), id, buffer, 512);
  return n > 0 ? std::u16string(buffer, static_cast<std::size_t>(n)) : std::u16string();
}

// Bytes of the text in the ANSI code page; -1 when it cannot be converted.
int ansi_length(const std::u16string& value) {
  if (value.empty()) return 0;
  const int n = WideCharToMultiByte(CP_ACP, 0, value.c_str(), static_cast<int>(value.size()), nullptr, 0, nullptr,
                                    nullptr);
  return n > 0 ? n : -1;
}

// The parameter block of one dialog.
struct PromptDialogData {
  HANDLE printer;
  BYTE* devmode;
  BYTE* printer_data;
  DddHandle* database;
  BOOL strict;
  BOOL stored_flag;
  WCHAR help_file[260];
  // A field left with a refused value while the focus moved: the OK that
  // moved it does not close the dialog over the restored value.
  bool refused_on_leave;
};

void* dm(PromptDialogData* d) { return d->devmode; }
void* pd(PromptDialogData* d) { return d->printer_data; }

// Minimum and maximum length of a field: entries 1 and 2 of the database's
// list for the setting when it has one, else the field's own bounds.
void prompt_field_limits(PromptDialogData* d, const PromptField& f, DWORD* minimum, DWORD* maximum) {
  *minimum = (f.flags & kMayBeEmpty) ? 0 : 1;
  *maximum = f.maximum;
  DWORD found[2] = {};
  bool ok = true;
  for (WORD n = 1; n <= 2 && ok; ++n) {
    DddEntryCopy* copy = nullptr;
    ok = d->database && DddGetEntryCopy(d->database, f.ddmid, n, &copy) == DDD_OK && copy && copy->data;
    if (ok) found[n - 1] = static_cast<DWORD>(GetTypedValue(copy->value_type, copy->data));
    if (copy) DddFreeEntryCopy(copy);
  }
  if (ok && found[0] <= found[1] && found[1] > 0) {
    *minimum = found[0];
    *maximum = std::min(found[1], f.maximum);
  }
}

// The stored value of a field, decoded when it is kept protected.
std::u16string stored_value(PromptDialogData* d, const PromptField& f) {
  std::u16string value = text(dm(d), pd(d), f.ddmid);
  if (!(f.flags & kProtected) || value.empty()) return value;
  LPWSTR plain = nullptr;
  if (!ConvertProtectedString(0, value.c_str(), &plain) || !plain) return {};
  std::u16string out = plain;
  GlobalFree(plain);
  return out;
}

void load_prompt_field(HWND dialog, PromptDialogData* d, INT control) {
  const PromptField f = field_of(control, d->database);
  SendDlgItemMessageW(dialog, control, EM_LIMITTEXT, f.maximum, 0);
  SetDlgItemTextW(dialog, control, stored_value(d, f).c_str());
}

// A text the prompt accepts: no control characters; a field that refuses
// blanks needs one character that is not white space.
// Byte ranges from the texts of resource strings: hexadecimal values in
// pairs "lo,hi", a pair with an empty end ("22,") being the one value.
std::vector<std::pair<unsigned, unsigned>> byte_ranges(std::initializer_list<UINT> ids) {
  std::vector<std::pair<unsigned, unsigned>> out;
  for (UINT id : ids) {
    const std::u16string text = resource_string(id);
    std::vector<std::string> numbers(1);
    for (char16_t ch : text) {
      if (ch == u',') numbers.emplace_back();
      else numbers.back() += static_cast<char>(ch);
    }
    for (std::size_t i = 0; i < numbers.size(); i += 2) {
      if (numbers[i].empty()) continue;
      const unsigned lo = static_cast<unsigned>(std::strtoul(numbers[i].c_str(), nullptr, 16));
      const bool has_end = i + 1 < numbers.size() && !numbers[i + 1].empty();
      const unsigned hi = has_end ? static_cast<unsigned>(std::strtoul(numbers[i + 1].c_str(), nullptr, 16)) : lo;
      if (hi >= lo) out.emplace_back(lo, hi);
    }
  }
  return out;
}

bool in_ranges(const std::vector<std::pair<unsigned, unsigned>>& ranges, unsigned value) {
  for (const auto& [lo, hi] : ranges)
    if (lo <= value && value <= hi) return true;
  return false;
}

// The characters a field takes, as the outside prompt component is told
// them too: single bytes of the listed ranges (digits, printable ASCII and,
// for the user name, half-width katakana) without the forbidden ones (the
// blank and the quotes). Double-byte characters are not limited. The
// account fields take any printable text.
bool field_takes_bytes(const PromptField& f, const std::string& ansi) {
  std::vector<std::pair<unsigned, unsigned>> allowed, forbidden;
  switch (f.ddmid) {
    case 5174:
      allowed = byte_ranges({9235, 9220, 9221});
      forbidden = byte_ranges({9222});
      break;
    case 5175: case 5176: case 5215:
      allowed = byte_ranges({9235, 9220});
      forbidden = byte_ranges({9233});
      break;
    default: return true;
  }
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    const auto b = static_cast<BYTE>(ansi[i]);
    if (IsDBCSLeadByte(b) && i + 1 < ansi.size()) {
      ++i;
      continue;
    }
    if (!in_ranges(allowed, b) || in_ranges(forbidden, b)) return false;
  }
  return true;
}

bool check_prompt_field_text(const std::u16string& value, const PromptField& f) {
  bool only_blank = true;
  for (char16_t ch : value) {
    if (ch < 0x20 || ch == 0x7F) return false;
    if (ch != u' ' && ch != u'\t' && ch != 0x3000) only_blank = false;
  }
  if (value.size() && only_blank && (f.flags & kRefuseBlank)) return false;
  if (value.empty()) return true;
  // A character without an ANSI form is refused.
  BOOL defaulted = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, 0, value.c_str(), static_cast<int>(value.size()), nullptr, 0, nullptr,
                                    &defaulted);
  if (n <= 0 || defaulted) return false;
  std::string ansi(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, value.c_str(), static_cast<int>(value.size()), ansi.data(), n, nullptr, nullptr);
  return field_takes_bytes(f, ansi);
}

void show_prompt_field_error(HWND dialog, PromptDialogData* d, const PromptField& f, DWORD minimum, DWORD maximum) {
  const MessageArg args[2] = {MessageNumber(static_cast<LONG>(minimum)), MessageNumber(static_cast<LONG>(maximum))};
  LPWSTR message = FormatSheetMessage(kRangeMessage, args, 2);
  const std::u16string caption = resource_string(kCaptionString);
  MessageBoxW(dialog, message ? message : u"", caption.c_str(), MB_OK | MB_ICONWARNING);
  SafeGlobalFree(message);
  HWND control = GetDlgItem(dialog, f.control);
  SetFocus(control);
  SetDlgItemTextW(dialog, f.control, stored_value(d, f).c_str());
}

// Reads, checks and stores one field. `final` is the check of OK. 1 stored,
// 0 refused (the user has been told).
INT validate_and_store(HWND dialog, PromptDialogData* d, INT control, bool final) {
  const PromptField f = field_of(control, d->database);
  DWORD minimum = 0, maximum = 0;
  prompt_field_limits(d, f, &minimum, &maximum);
  bool empty_refused = false;
  if (control == kPromptAccountCode) {
    const LONG code_minimum = number(dm(d), pd(d), 4366);
    if (code_minimum > 0) {
      minimum = static_cast<DWORD>(code_minimum);
      empty_refused = final;
    }
  }
  std::vector<WCHAR> buffer(f.maximum + 2, 0);
  GetDlgItemTextW(dialog, control, buffer.data(), static_cast<INT>(buffer.size()));
  const std::u16string value(buffer.data());
  const int length = ansi_length(value);
  bool ok = length >= 0 && check_prompt_field_text(value, f);
  if (ok) {
    const auto n = static_cast<DWORD>(length);
    ok = (minimum <= n && n <= maximum) || (value.empty() && (f.flags & kMayBeEmpty) && !empty_refused);
  }
  if (!ok) {
    show_prompt_field_error(dialog, d, f, minimum, maximum);
    return 0;
  }
  std::u16string stored = value;
  if ((f.flags & kProtected) && !value.empty()) {
    LPWSTR scrambled = nullptr;
    if (!ConvertProtectedString(1, value.c_str(), &scrambled) || !scrambled) return 0;
    stored = scrambled;
    GlobalFree(scrambled);
  }
  return set_text(dm(d), pd(d), f.ddmid, stored) ? 1 : 0;
}

// Writes the defaults of the settings of one field group.
void reset_prompt_items(PromptDialogData* d, const WORD* ids, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) set_text(dm(d), pd(d), ids[i], u"");
}
constexpr WORD kUserIds[] = {5174, 5175, 5176, 5215};
constexpr WORD kAccountIds[] = {5184, 5185};

void enable_group(HWND dialog, std::initializer_list<INT> ids, bool on) {
  for (INT id : ids)
    if (HWND w = GetDlgItem(dialog, id)) EnableWindow(w, on);
}

void update_prompt_controls(HWND dialog, PromptDialogData* d) {
  const bool account = number(dm(d), pd(d), 5183) == 1;
  const LONG kind = number(dm(d), pd(d), 4367);
  bool user = !account, login = !account;
  if (!account) {
    if (kind == 1) login = false;
    else if (kind == 2) user = false;
    else if (kind == 3) user = login = false;
  }
  enable_group(dialog, {3529, kPromptAccount, 3530, kPromptAccountCode}, account);
  enable_group(dialog, {1299, kPromptUserName, 1300, kPromptPassword}, user);
  enable_group(dialog, {3522, kPromptLoginName, 3536, kPromptDomain}, login);
}

void init_prompt_mode_buttons(HWND dialog, PromptDialogData* d) {
  const LONG kind = number(dm(d), pd(d), 4367);
  LONG mode = number(dm(d), pd(d), 5183);
  if (d->strict) {
    mode = 0;
  } else if (kind == 0) {
    mode = 0;
  } else if (kind == 1 || (kind == 2 && mode == 3)) {
    mode = 1;
  }
  set_number(dm(d), pd(d), 5183, static_cast<DWORD>(mode));
  CheckRadioButton(dialog, kPromptUserMode, kPromptAccountMode, mode == 1 ? kPromptAccountMode : kPromptUserMode);
  const bool shown = kind == 2 && !HasDeviceCapability(d->database, 0xFFFF0030);
  for (INT id : {3551, kPromptUserMode, kPromptAccountMode})
    if (HWND w = GetDlgItem(dialog, id)) ShowWindow(w, shown ? SW_SHOW : SW_HIDE);
  const WORD switch_id = d->stored_flag ? 5164 : 5165;
  if (number(dm(d), pd(d), switch_id) && mode == 3)
    enable_group(dialog, {3551, kPromptUserMode, kPromptAccountMode}, false);
}

void set_password_style(HWND dialog, INT control, bool on) {
  SendDlgItemMessageW(dialog, control, EM_SETPASSWORDCHAR, on ? u'*' : 0, 0);
}

void load_all_fields(HWND dialog, PromptDialogData* d) {
  for (INT control : kAllFields) load_prompt_field(dialog, d, control);
}

void init_dialog(HWND dialog, PromptDialogData* d) {
  // The reset switch clear: both field groups start from their defaults.
  if (number(dm(d), pd(d), d->stored_flag ? 5168 : 5169) == 0) {
    reset_prompt_items(d, kUserIds, std::size(kUserIds));
    reset_prompt_items(d, kAccountIds, std::size(kAccountIds));
  }
  const bool login_hidden = number(dm(d), pd(d), d->stored_flag ? 5172 : 5173) != 0;
  const bool others_hidden = number(dm(d), pd(d), d->stored_flag ? 5170 : 5171) != 0;
  set_password_style(dialog, kPromptLoginName, login_hidden);
  for (INT control : {kPromptUserName, kPromptAccount, kPromptDomain}) set_password_style(dialog, control, others_hidden);
  init_prompt_mode_buttons(dialog, d);
  load_all_fields(dialog, d);
  update_prompt_controls(dialog, d);
}

bool is_prompt_field(INT id) {
  return std::find(std::begin(kAllFields), std::end(kAllFields), id) != std::end(kAllFields);
}

void on_ok(HWND dialog, PromptDialogData* d) {
  if (d->refused_on_leave) {
    d->refused_on_leave = false;
    return;
  }
  const bool account = number(dm(d), pd(d), 5183) == 1;
  if (account) {
    for (INT control : kAccountFields)
      if (!validate_and_store(dialog, d, control, true)) return;
    reset_prompt_items(d, kUserIds, std::size(kUserIds));
  } else {
    for (INT control : kUserFields)
      if (!validate_and_store(dialog, d, control, true)) return;
    reset_prompt_items(d, kAccountIds, std::size(kAccountIds));
  }
  EndDialog(dialog, 1);
}

INT_PTR CALLBACK prompt_dialog_proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = reinterpret_cast<PromptDialogData*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      d = reinterpret_cast<PromptDialogData*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      init_dialog(dialog, d);
      return TRUE;
    case WM_COMMAND: {
      if (!d) return FALSE;
      const INT id = LOWORD(wParam);
      const UINT code = HIWORD(wParam);
      switch (id) {
        case IDOK:
        case 1092: on_ok(dialog, d); return TRUE;
        case IDCANCEL:
        case 1091: {
          const std::u16string text_ = resource_string(kCancelledString);
          const std::u16string caption = resource_string(kCaptionString);
          MessageBoxW(dialog, text_.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
          EndDialog(dialog, 0);
          return TRUE;
        }
        case kPromptHelp:
          HtmlHelpW(dialog, d->help_file, HH_HELP_CONTEXT, kHelpTopic);
          return TRUE;
        case kPromptUserMode:
        case kPromptAccountMode:
          if (code != BN_CLICKED) return FALSE;
          set_number(dm(d), pd(d), 5183, id == kPromptAccountMode ? 1 : 0);
          load_all_fields(dialog, d);
          update_prompt_controls(dialog, d);
          return TRUE;
        default: break;
      }
      // Leaving a field stores it when it is valid (the user is told
      // otherwise); a change is checked as it is typed.
      if (is_prompt_field(id) && code == EN_KILLFOCUS) {
        if (!validate_and_store(dialog, d, id, false)) d->refused_on_leave = true;
        return TRUE;
      }
      return FALSE;
    }
    case WM_HELP:
      if (d) HtmlHelpW(dialog, d->help_file, HH_HELP_CONTEXT, kHelpTopic);
      return TRUE;
    case WM_DESTROY:
      HtmlHelpW(nullptr, nullptr, HH_CLOSE_ALL, 0);
      return FALSE;
    default: return FALSE;
  }
}

}  // namespace

INT RunPromptDialog(HANDLE printer, void* devmode, void* printer_data, DddHandle* database, BOOL strict,
                    BOOL stored_flag, INT mode) {
  std::vector<BYTE> dm_copy(static_cast<const BYTE*>(devmode), static_cast<const BYTE*>(devmode) + kDevmodeBytes);
  std::vector<BYTE> pd_copy(static_cast<const BYTE*>(printer_data),
                            static_cast<const BYTE*>(printer_data) + kSettingsBytes);
  if (mode == 0) {
    // A saved job offers the answers the user gave last time.
    std::vector<BYTE> record(kUserRecordSize);
    if (ReadUserSettingInfo(printer, database, record.data(), kUserSectionsAll, TRUE))
      ApplyUserSettingInfo(pd_copy.data(), record.data(), 4);
  }
  PromptDialogData d{printer, dm_copy.data(), pd_copy.data(), database, strict, stored_flag, {}, false};
  if (LPWSTR help = GetDriverHelpFile(printer)) {
    lstrcpynW(d.help_file, help, 260);
    GlobalFree(help);
  }
  HMODULE resources = GetResourceModule();
  if (!resources) return -1;
  const HRESULT co = CoInitialize(nullptr);
  const INT_PTR answer = DialogBoxParamW(resources, MAKEINTRESOURCEW(kPromptDialog), GetActiveWindow(),
                                         &prompt_dialog_proc, reinterpret_cast<LPARAM>(&d));
  INT result = answer == 1 ? 1 : answer < 0 ? -1 : 2;
  if (result == 1) {
    std::memcpy(devmode, dm_copy.data(), kDevmodeBytes);
    std::memcpy(printer_data, pd_copy.data(), kSettingsBytes);
    if (!IsIEProtectedModeProcess()) {
      std::vector<BYTE> record(kUserRecordSize);
      if (FillUserSettingInfoFromSettings(printer, database, printer_data, record.data()))
        WriteUserSettingInfo(printer, database, record.data(), 4);
    }
  }
  if (SUCCEEDED(co)) CoUninitialize();
  return result;
}

INT PrintTimePrompt(HANDLE printer, void* devmode, void* printer_data, DddHandle* database, INT mode) {
  if (!printer || !devmode || !printer_data || !database) return 0;
  if (number(devmode, printer_data, 5203) == 0) return 1;
  const BOOL stored_flag = number(devmode, printer_data, 5163) == 0;
  const WORD switch_id = stored_flag ? 5164 : 5165;
  const LONG ask = number(devmode, printer_data, switch_id);
  if (number(devmode, printer_data, 5186)) {
    BOOL exists = FALSE;
    if (!ProbeComComponent(database, &exists)) return 0;
    if (exists) {
      if (!RunComPrompt(GetActiveWindow(), devmode, printer_data, database)) return 0;
      return set_number(devmode, printer_data, switch_id, 1) && set_number(devmode, printer_data, 5183, 0) ? 1 : 0;
    }
  }
  if (ask == 0) return 1;
  const BOOL strict = mode != 0 && IsDeviceColorCapable(database, devmode) && number(devmode, printer_data, 381) != 1;
  if (!CheckOptionItemPair(devmode, printer_data, strict)) return 1;
  return RunPromptDialog(printer, devmode, printer_data, database, strict, stored_flag, mode) == 1 ? 1 : 0;
}

// ---- the outside component --------------------------------------------------------

namespace {

bool ansi_resource_string(UINT id, std::string* out) {
  const std::u16string wide = resource_string(id);
  if (wide.empty()) return false;
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, bytes.data(), n, nullptr, nullptr);
  bytes.resize(static_cast<std::size_t>(n - 1));
  *out = bytes;
  return true;
}

// Ranges "lo-hi,lo-hi" of hexadecimal numbers from the texts of `ids`
// joined with commas; for a list of forbidden characters each comma is
// dropped with the two characters after it. A range ending below its start
// goes; a range of one value becomes that number.
std::string build_char_range_list(std::initializer_list<UINT> ids, bool second_list) {
  std::string joined;
  for (UINT id : ids) {
    std::string part;
    if (!ansi_resource_string(id, &part)) continue;
    if (!joined.empty()) joined += ',';
    joined += part;
  }
  if (second_list) {
    std::string kept;
    for (std::size_t i = 0; i < joined.size(); ++i) {
      if (joined[i] == ',') {
        i += 2;
        continue;
      }
      kept += joined[i];
    }
    joined = kept;
  }
  std::vector<std::string> numbers;
  std::size_t start = 0;
  while (start <= joined.size() && !joined.empty()) {
    const std::size_t comma = joined.find(',', start);
    numbers.push_back(joined.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::string out;
  for (std::size_t i = 0; i + 1 < numbers.size(); i += 2) {
    const unsigned long lo = std::strtoul(numbers[i].c_str(), nullptr, 16);
    const unsigned long hi = std::strtoul(numbers[i + 1].c_str(), nullptr, 16);
    if (hi < lo) continue;
    if (!out.empty()) out += ',';
    out += hi == lo ? numbers[i] : numbers[i] + "-" + numbers[i + 1];
  }
  return out;
}

std::string char_class_spec(std::initializer_list<UINT> allowed, std::initializer_list<UINT> forbidden) {
  std::string head;
  ansi_resource_string(9266, &head);
  return head + build_char_range_list(allowed, false) + ";" + build_char_range_list(forbidden, true);
}

// Zero-separated strings ending in a double zero.
std::string multi_string(std::initializer_list<std::string> parts) {
  std::string out;
  for (const std::string& p : parts) {
    out += p;
    out += '\0';
  }
  out += '\0';
  return out;
}

bool store_reply_value(void* devmode, void* printer_data, WORD ddmid, const std::string& value, bool protect) {
  const int n = MultiByteToWideChar(CP_ACP, 0, value.data(), static_cast<int>(value.size()), nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(std::max(n, 0)), u'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, value.data(), static_cast<int>(value.size()), wide.data(), n);
  if (protect && !wide.empty()) {
    LPWSTR scrambled = nullptr;
    if (!ConvertProtectedString(1, wide.c_str(), &scrambled) || !scrambled) return false;
    wide = scrambled;
    GlobalFree(scrambled);
  }
  return set_text(devmode, printer_data, ddmid, wide);
}

}  // namespace

INT ParsePromptReply(const char* reply, DWORD size, void* devmode, void* printer_data, BOOL protect_password,
                     BOOL fourth_field) {
  if (!reply) return 0;
  const WORD targets[] = {5174, 5176, 5175, 5215};
  const std::size_t fields = fourth_field ? 4 : 3;
  std::size_t at = 0;
  for (std::size_t i = 0; i < fields; ++i) {
    // Each text must end inside the buffer; one that runs to its end is cut
    // there and ends the reply.
    if (at >= size) return 0;
    const char* begin = reply + at;
    const std::size_t room = size - at;
    const auto* end = static_cast<const char*>(std::memchr(begin, 0, room));
    const std::string entry(begin, end ? static_cast<std::size_t>(end - begin) : room);
    const std::size_t equals = entry.find('=');
    if (equals == std::string::npos) return 0;
    if (!store_reply_value(devmode, printer_data, targets[i], entry.substr(equals + 1),
                           i == 2 && protect_password))
      return 0;
    if (!end) return i + 1 == fields ? 1 : 0;
    at += entry.size() + 1;
  }
  return 1;
}

INT RunComPrompt(HWND window, void* devmode, void* printer_data, DddHandle* database) {
  const HRESULT co = CoInitialize(nullptr);
  IPrintPromptComponent* component = nullptr;
  bool primary = SUCCEEDED(CoCreateInstance(CLSID_PromptComponentPrimary, nullptr, kPromptComponentContext,
                                            IID_PromptComponentPrimary, reinterpret_cast<void**>(&component)));
  if (!primary)
    CoCreateInstance(CLSID_PromptComponentSecondary, nullptr, kPromptComponentContext, IID_PromptComponentSecondary,
                     reinterpret_cast<void**>(&component));
  INT result = 0;
  std::string keys[4], captions[4], attributes[4];
  const UINT key_ids[4] = {9263, 9264, 9265, 9297};
  const UINT caption_ids[4] = {9267, 9268, 9269, 9298};
  const UINT attribute_ids[4] = {9270, 9271, 9272, 9299};
  bool texts = component != nullptr;
  for (int i = 0; i < 4 && texts; ++i)
    texts = ansi_resource_string(key_ids[i], &keys[i]) && ansi_resource_string(caption_ids[i], &captions[i]) &&
            ansi_resource_string(attribute_ids[i], &attributes[i]);
  if (texts) {
    const std::string classes[4] = {char_class_spec({9235, 9220, 9221}, {9222}), char_class_spec({9235, 9220}, {9233}),
                                    char_class_spec({9235, 9220}, {9233}), char_class_spec({9235, 9220}, {9233})};
    const int count = primary ? 4 : 3;
    bool defined = true;
    for (int i = 0; i < count && defined; ++i) {
      const std::string description = multi_string({classes[i], captions[i], attributes[i]});
      defined = SUCCEEDED(component->DefineField(keys[i].c_str(), description.c_str()));
    }
    const std::string key_list =
        primary ? multi_string({keys[0], keys[1], keys[2], keys[3]}) : multi_string({keys[0], keys[1], keys[2]});
    std::vector<char> reply(kPromptReplySize, 0);
    if (defined && SUCCEEDED(component->Show(window, key_list.c_str(), reply.data(), kPromptReplySize)))
      result = ParsePromptReply(reply.data(), kPromptReplySize, devmode, printer_data,
                                HasDeviceCapability(database, 0x40000000), primary);
  }
  if (component) component->Release();
  if (SUCCEEDED(co)) CoUninitialize();
  return result;
}

}  // namespace morva::pi
