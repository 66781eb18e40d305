// The device settings page of the device sheet: the account mode and the
// account fields that depend on it (identification type, user id,
// password), and a few device-wide settings.
#include <algorithm>
#include <iterator>
#include <string>

#include "fax_dialogs.h"
#include "property_sheets/device_pages.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/account_fields.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_records.h"
#include "property_sheets/sheet_texts.h"
#include "settings/items/item_access.h"
#include "win/win.h"

namespace {

constexpr INT kIdTypeList = 1061;
constexpr INT kDefaultsButton = 1090;
constexpr WORD kAccountUsable = 5203;   // 0: the account fields are not used
constexpr WORD kAccountLocked = 5204;   // 1: the user id and password are fixed
constexpr WORD kAccountPolicy = 4367;   // 2, 3: the fields are set by the device
constexpr WORD kPopupAdmin = 5164, kPopupUser = 5165;
constexpr INT kHidden = 6;
constexpr INT kUserIdLimit = 31;
constexpr INT kPasswordLimit = 128;
constexpr const char16_t* kRememberedIdType = u"MorvaAccountIdType";

bool shows(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS;
}

LONG number(ControlEvent* event, WORD ddmid, LONG fallback = 0) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &v) != 0) return fallback;
  return GetTypedValue(type, &v);
}

std::u16string text(ControlEvent* event, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &v) != 0 || type != 6) return {};
  return ItemText(v, size);
}

BYTE account_mode(ControlEvent* event) { return number(event, kAccountModeId) ? 1 : 0; }

bool option(ControlEvent* event, DWORD mask) {
  const SheetState* state = GetSheetState(event->window);
  return state && TestCapabilityBit(&state->capabilities, mask);
}

INT chain(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
          const void* kind_data) {
  return event->default_handler ? event->default_handler(event, message, wParam, lParam, record, kind_data) : 0;
}

// Makes `ddmid` the setting the control edits now.
void select_setting(ControlEvent* event, const ControlRecord* record, WORD ddmid) {
  INT index = 0;
  ControlState* state = FindControlState(event->window, record);
  if (state && FindSettingRefIndex(record, ddmid, &index)) state->current = index;
}

void enable_pair(ControlEvent* event, const ControlRecord* record, bool enable) {
  EnableWindow(GetDlgItem(event->window, record->id), enable);
  if (record->label_id != kNone) EnableWindow(GetDlgItem(event->window, record->label_id), enable);
}

void show_pair(ControlEvent* event, const ControlRecord* record, bool show) {
  ShowWindow(GetDlgItem(event->window, record->id), show ? SW_SHOW : SW_HIDE);
  if (record->label_id != kNone) ShowWindow(GetDlgItem(event->window, record->label_id), show ? SW_SHOW : SW_HIDE);
}

// The identification type control 1061 shows now; FALSE without one.
bool shown_id_type(ControlEvent* event, WORD* id_type, WORD* setting) {
  const ControlRecord* list = FindControlById(event->window, event->kind, kIdTypeList);
  const SettingSlot* slot = list ? GetCurrentSlot(event->window, list) : nullptr;
  if (!slot) return false;
  *setting = slot->ddmid;
  *id_type = static_cast<WORD>(GetTypedValue(slot->type, &slot->value));
  return true;
}

bool fields_fixed(ControlEvent* event) {
  const LONG policy = number(event, kAccountPolicy);
  return number(event, kAccountLocked) == 1 || policy == 2 || policy == 3;
}

// The fields' rules: printable single bytes, the double-byte ranges, and
// the message that names the allowed length.
constexpr DWORD kValidateAll = 0xFFFF;
constexpr WORD kTypedText = kEditText | 0x100;
constexpr UINT kPrintable[] = {9279, 0};
constexpr UINT kWideDoubleBytes[] = {9280, 0};
constexpr UINT kPasswordBytes[] = {9235, 9220, 0};
constexpr UINT kNarrowDoubleBytes[] = {9233, 0};
constexpr TextRule kUserIdRule{{kPrintable, kWideDoubleBytes, nullptr, nullptr}, 425};
constexpr TextRule kPasswordRule{{kPasswordBytes, kNarrowDoubleBytes, nullptr, nullptr}, 738};

// The user code of the account dialog: a number of up to eight digits, or
// on models with long user codes up to 32 printable characters.
constexpr UINT kDigits[] = {9235, 0};
constexpr TextRule kShortCodeRule{{kDigits, nullptr, nullptr, nullptr}, 743};
constexpr TextRule kLongCodeRule{{kPrintable, kNarrowDoubleBytes, nullptr, nullptr}, 738};
constexpr EditFieldData kShortUserCode{kEditText | kEditLenient, 8, &kShortCodeRule, nullptr, kValidateAll, nullptr};
constexpr EditFieldData kLongUserCode{kEditText | kEditLenient, 32, &kLongCodeRule, nullptr, kValidateAll, nullptr};
constexpr DWORD kOptionLongUserCode = 0xFFFF002F;
constexpr INT kUserCodeField = 3531;

// Whether the control edits no setting now.
bool bound_to_nothing(ControlEvent* event, INT id) {
  const ControlRecord* record = FindControlById(event->window, event->kind, id);
  const SettingSlot* slot = record ? GetCurrentSlot(event->window, record) : nullptr;
  return !slot || slot->ddmid == kAccountNothingId;
}

void enable_id(ControlEvent* event, INT id, bool enable) {
  if (const ControlRecord* record = FindControlById(event->window, event->kind, id)) enable_pair(event, record, enable);
  else EnableWindow(GetDlgItem(event->window, id), enable);
}

bool changed(const ControlEvent* event, WORD ddmid) {
  for (const WORD* p = event->changed; p && *p; ++p)
    if (*p == ddmid) return true;
  return false;
}

// The account dialog in each user's mode: which fields a user edits
// follows the user's popup flag, the lock and the device's account policy.
// Applied whenever the dialog shows its controls without the right to
// change the printer, and after the popup flag itself was changed.
void apply_variant_states(ControlEvent* event, UINT message, LPARAM lParam) {
  if (!shows(message, lParam) || !option(event, kOptionAccountDialog) || account_mode(event) != 1) return;
  if (event->permission && !changed(event, kPopupUser)) return;
  constexpr INT kIdentity[] = {kIdTypeList, 1343, 1347};
  constexpr INT kCodes[] = {3523, 3537};
  constexpr INT kChecks[] = {3525, 3526, 3527};
  constexpr INT kCodePassword = 3532;
  if (number(event, kPopupUser) == 1) {
    for (INT id : {kIdTypeList, 1343, 1347, 3523, 3537, kUserCodeField, kCodePassword, 3525, 3526, 3527})
      enable_id(event, id, false);
    return;
  }
  const bool locked = number(event, kAccountLocked) == 1;
  const LONG policy = number(event, kAccountPolicy);
  const bool device_ids = locked || policy == 3;
  if (device_ids || policy == 1 || policy == 2)
    for (INT id : kIdentity) enable_id(event, id, policy == 1 && !device_ids && !bound_to_nothing(event, id));
  for (INT id : kCodes) enable_id(event, id, device_ids);
  enable_id(event, kUserCodeField, true);
  // The code password follows the user code, and is fixed while locked.
  enable_id(event, kCodePassword, !locked && !text(event, 5180).empty());
  for (INT id : kChecks) enable_id(event, id, true);
}

}  // namespace

const EditFieldData kUserIdField{kTypedText | kEditLenient, 31, &kUserIdRule, nullptr, kValidateAll, nullptr};
const EditFieldData kPasswordField{kEditText | kEditLenient, 128, &kPasswordRule, nullptr, kValidateAll, nullptr};
const EditFieldData kProtectedPasswordField{kEditText | kEditLenient | kEditProtect, 128, &kPasswordRule, nullptr,
                                            kValidateAll, nullptr};

namespace {

// The fax line prefixes: at most five characters, an empty one allowed.
// Modes 0 and 2 dial printable characters less those the fax header
// cannot carry, the fax unit (mode 1) digits, * and #; mode 3 anything.
constexpr UINT kDialBytes[] = {9228, 0};
constexpr UINT kDialForbidden[] = {9238, 0};
constexpr UINT kUnitDialBytes[] = {9285, 0};
constexpr TextRule kOutsideRule{{kDialBytes, kNarrowDoubleBytes, kDialForbidden, nullptr}, 5030};
constexpr TextRule kExtensionRule{{kDialBytes, kNarrowDoubleBytes, kDialForbidden, nullptr}, 5031};
constexpr TextRule kUnitOutsideRule{{kUnitDialBytes, kNarrowDoubleBytes, nullptr, nullptr}, 5196};
constexpr TextRule kUnitExtensionRule{{kUnitDialBytes, kNarrowDoubleBytes, nullptr, nullptr}, 5197};
constexpr TextRule kFreeOutsideRule{{nullptr, nullptr, nullptr, nullptr}, 5030};
constexpr TextRule kFreeExtensionRule{{nullptr, nullptr, nullptr, nullptr}, 5031};
constexpr EditFieldData prefix_field(const TextRule* rule) {
  return {kEditText | kEditLenient, 5, rule, nullptr, kValidateAll, nullptr};
}
constexpr EditFieldData kOutsideFields[] = {prefix_field(&kOutsideRule), prefix_field(&kUnitOutsideRule),
                                            prefix_field(&kOutsideRule), prefix_field(&kFreeOutsideRule)};
constexpr EditFieldData kExtensionFields[] = {prefix_field(&kExtensionRule), prefix_field(&kUnitExtensionRule),
                                              prefix_field(&kExtensionRule), prefix_field(&kFreeExtensionRule)};
constexpr SettingRef kOutsidePrefix[] = {Bound(5141)};
constexpr SettingRef kExtensionPrefix[] = {Bound(5143)};

}  // namespace

#define MORVA_PREFIX_VARIANT(id, refs, fields, mode, label, tip) \
  {id, 1, refs, kControlEdit, nullptr, &fields[mode], label, tip, nullptr}
const ControlRecord kOutsidePrefixVariants[4] = {
    MORVA_PREFIX_VARIANT(4610, kOutsidePrefix, kOutsideFields, 0, 4615, 9065),
    MORVA_PREFIX_VARIANT(4610, kOutsidePrefix, kOutsideFields, 1, 4615, 9065),
    MORVA_PREFIX_VARIANT(4610, kOutsidePrefix, kOutsideFields, 2, 4615, 9065),
    MORVA_PREFIX_VARIANT(4610, kOutsidePrefix, kOutsideFields, 3, 4615, 9065)};
const ControlRecord kExtensionPrefixVariants[4] = {
    MORVA_PREFIX_VARIANT(4611, kExtensionPrefix, kExtensionFields, 0, 4616, 9066),
    MORVA_PREFIX_VARIANT(4611, kExtensionPrefix, kExtensionFields, 1, 4616, 9066),
    MORVA_PREFIX_VARIANT(4611, kExtensionPrefix, kExtensionFields, 2, 4616, 9066),
    MORVA_PREFIX_VARIANT(4611, kExtensionPrefix, kExtensionFields, 3, 4616, 9066)};
#undef MORVA_PREFIX_VARIANT

INT FaxModeEntryHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void* kind_data) {
  // The kind data holds one variant of the record per direct-fax mode; the
  // variant of the current mode brings the characters that mode dials.
  const auto* variants = static_cast<const ControlRecord*>(kind_data);
  if (!variants) return chain(event, message, wParam, lParam, record, kind_data);
  const WORD mode = std::min<WORD>(fax_ui::FaxMode(event->window), 3);
  const ControlRecord* variant = &variants[mode];
  return chain(event, message, wParam, lParam, variant, variant->kind_data);
}

INT DevicePageActivateHook(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                           const ControlRecord* record, const void* kind_data) {
  const INT result = chain(event, message, wParam, lParam, record, kind_data);
  if (IsNotifyCode(message, lParam, PSN_SETACTIVE) && !event->permission) {
    const bool off = !option(event, kOptionAccountDialog) && number(event, kAccountModeId) == 0;
    EnableWindow(GetDlgItem(event->window, kDefaultsButton), !off);
  }
  return result;
}

INT AccountFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void* kind_data) {
  const BYTE mode = account_mode(event);
  const WORD setting = AccountModeSetting(record->id, mode);
  if (!setting) return chain(event, message, wParam, lParam, record, kind_data);
  if (shows(message, lParam)) select_setting(event, record, setting);
  if (message == UM_VALIDATE_CONTROLS && record->id == 3532 && option(event, kOptionAccountDialog)) {
    const BOOL popup = number(event, mode ? kPopupUser : kPopupAdmin) == 1;
    std::u16string password;
    WCHAR* plain = nullptr;
    if (ConvertProtectedString(0, text(event, mode ? 5182 : 5181).c_str(), &plain) && plain) {
      password = plain;
      GlobalFree(plain);
    }
    if (!PasswordLongEnough(popup, text(event, mode ? 5180 : 5179), number(event, kAccountLocked) == 0 ? 0 : 1,
                            password, number(event, 4366))) {
      ShowResourceMessageBox(event->window, 265, nullptr, MB_ICONWARNING | MB_OK, 743, nullptr);
      return 1;
    }
  }
  const void* data = kind_data;
  if (record->id == kUserCodeField) data = option(event, kOptionLongUserCode) ? &kLongUserCode : &kShortUserCode;
  const INT result = chain(event, message, wParam, lParam, record, data);
  if (shows(message, lParam) && !event->permission && !option(event, kOptionAccountDialog) &&
      (number(event, kAccountUsable) == 0 || mode == 0))
    enable_pair(event, record, false);
  if (shows(message, lParam) && (setting == 5179 || setting == 5180))
    EnableWindow(GetDlgItem(event->window, 3532), !text(event, setting).empty());
  apply_variant_states(event, message, lParam);
  return result;
}

INT UserIdFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  WORD id_type = 0, id_setting = 0;
  if (!shown_id_type(event, &id_type, &id_setting)) {
    show_pair(event, record, false);
    return chain(event, message, wParam, lParam, record, kind_data);
  }
  const BYTE mode = account_mode(event);
  const SheetState* state = GetSheetState(event->window);
  const AccountChoice choice =
      ChooseAccountSetting(kUserIdRows, kUserIdRowCount, id_type, mode, state ? &state->capabilities : nullptr);
  HWND edit = GetDlgItem(event->window, record->id);
  const bool popup = number(event, mode ? kPopupUser : kPopupAdmin) == 1;
  INT asked = -1;  // the shortening question's outcome, when it was asked
  if (shows(message, lParam)) {
    // The identification type at activation is the one a refused
    // shortening goes back to.
    if (IsNotifyCode(message, lParam, PSN_SETACTIVE))
      SetPropW(event->window, kRememberedIdType, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(id_type) + 1));
    const INT limit = UserIdLimit(id_type, kUserIdLimit);
    if (choice.setting != kAccountNothingId && limit < kUserIdLimit &&
        AnsiByteCount(text(event, choice.setting)) > limit) {
      const ControlRecord* list = FindControlById(event->window, event->kind, kIdTypeList);
      const auto remembered = reinterpret_cast<UINT_PTR>(GetPropW(event->window, kRememberedIdType));
      if (list)
        asked = ConfirmAccountEntry(event, choice.setting, limit, list,
                                    static_cast<WORD>(remembered ? remembered - 1 : id_type));
    }
    select_setting(event, record, choice.setting);
    show_pair(event, record, GetSettingAvailability(event->window, choice.setting) != kHidden);
  }
  if (message == UM_VALIDATE_CONTROLS && option(event, kOptionAccountDialog) && !popup &&
      GetWindowTextLengthW(edit) == 0) {
    ShowResourceMessageBox(event->window, 265, nullptr, MB_ICONWARNING | MB_OK, 5191, nullptr);
    return 1;
  }
  const INT result = chain(event, message, wParam, lParam, record, kind_data);
  if (shows(message, lParam)) {
    // After the field's own limit: identification types 4 and 6 keep
    // nine bytes back.
    if (choice.setting != kAccountNothingId)
      SendMessageW(edit, EM_LIMITTEXT, static_cast<WPARAM>(UserIdLimit(id_type, kUserIdLimit)), 0);
    if (choice.setting == kLoginNameId) {
      std::u16string login;
      if (BuildUserHostText(kUserIdLimit, option(event, kOptionAccountDialog), &login))
        SetWindowTextW(edit, login.c_str());
    }
    const bool usable = !popup && number(event, kAccountUsable) != 0 && choice.setting != kAccountNothingId;
    enable_pair(event, record, usable);
    SendMessageW(edit, EM_SETREADONLY, choice.setting == kLoginNameId, 0);
    if (!event->permission && choice.id_type_setting == id_setting && mode == 0) enable_pair(event, record, false);
    if (fields_fixed(event)) EnableWindow(edit, FALSE);
  }
  return asked >= 0 ? asked : result;
}

INT PasswordFieldHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                         const void* kind_data) {
  WORD id_type = 0, id_setting = 0;
  const bool have_type = shown_id_type(event, &id_type, &id_setting);
  if (!have_type) {
    if (shows(message, lParam)) show_pair(event, record, false);
    return chain(event, message, wParam, lParam, record, kind_data);
  }
  const SheetState* state = GetSheetState(event->window);
  const AccountChoice choice =
      ChooseAccountSetting(kPasswordRows, 4, id_type, account_mode(event), state ? &state->capabilities : nullptr);
  // A protected password is stored in its protected form.
  const void* data = choice.protected_form && kind_data == &kPasswordField ? &kProtectedPasswordField : kind_data;
  if (shows(message, lParam)) {
    select_setting(event, record, choice.setting);
    show_pair(event, record, GetSettingAvailability(event->window, choice.setting) != kHidden);
    // A new identification type asks for a new password. The refresh runs
    // inside a change already, so the empty text is written directly.
    if (message == UM_REFRESH_CONTROLS && choice.setting != kAccountNothingId && changed(event, id_setting)) {
      const char16_t* empty = u"";
      SetItemValue(choice.setting, event->devmode, event->printer_data, 2, 6, &empty);
      SetDlgItemTextW(event->window, record->id, u"");
    }
  }
  const INT result = chain(event, message, wParam, lParam, record, data);
  if (shows(message, lParam)) {
    HWND edit = GetDlgItem(event->window, record->id);
    SendMessageW(edit, EM_LIMITTEXT, kPasswordLimit, 0);
    if (event->permission) {
      if (fields_fixed(event) && IsWindowVisible(edit)) EnableWindow(edit, FALSE);
    } else if (IsWindowVisible(edit) && choice.id_type_setting == id_setting) {
      const bool keep = (choice.setting == 5148 || choice.setting == 5161) && number(event, kAccountUsable) != 0;
      if (!keep) enable_pair(event, record, false);
    }
  }
  return result;
}

namespace {

constexpr SettingRef kAccountModeRef[] = {Bound(kAccountModeId)};
constexpr SettingRef kIdTypeRefs[] = {Bound(5127), Bound(5178)};
constexpr SettingRef kUserIdRefs[] = {Bound(kLoginNameId), Bound(5121), Bound(5150), Bound(kAccountNothingId)};
constexpr SettingRef kPasswordRefs[] = {Bound(5148), Bound(5152), Bound(5161), Bound(5160), Bound(kAccountNothingId)};
constexpr SettingRef kFontSubstitution[] = {Bound(36906)};
constexpr SettingRef kFaxSettings[] = {Bound(36901)};
constexpr SettingRef k5138[] = {Bound(5138)};
constexpr SettingRef kSpecial[] = {Bound(5153)};
constexpr SettingRef kFaxEntry1[] = {Bound(5141)};
constexpr SettingRef kFaxEntry2[] = {Bound(5143)};
constexpr SettingRef kDirectFax[] = {Bound(5177)};
constexpr SettingRef k5210[] = {Bound(5210)};
constexpr SettingRef k5211[] = {Bound(5211)};
constexpr SettingRef k5212[] = {Bound(5212)};

constexpr WORD kKeepEnabled = kFlagKeepEnabled;

constexpr ChildDialogTemplate kFontDialog[] = {{513, FontSubstitutionDialogProc, 23, kNone, 0}};
constexpr ChildDialogTemplate kPaperDialog[] = {{514, UserPaperDialogProc, 24, kNone, 0}};
constexpr ChildDialogTemplate kFaxDialog[] = {{4800, EngineDialogProc<45, kDialogTypeDialog>, 45, kNone, 0}};
constexpr ChildDialogCommand kOpenFont{kFontDialog, 0, 0};
constexpr ChildDialogCommand kOpenPaper{kPaperDialog, 0, 0};
constexpr ChildDialogCommand kOpenFax{kFaxDialog, 0, 0};
constexpr CommandItem kFontCommand{kCommandChildDialog, &kOpenFont};
constexpr CommandItem kPaperCommand{kCommandChildDialog, &kOpenPaper};
constexpr CommandItem kFaxCommand{kCommandChildDialog, &kOpenFax};
constexpr CommandItem kDefaultsCommand{kCommandDefaults, nullptr};

constexpr ControlRecord kSettingsRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, DevicePageActivateHook, nullptr, kNone, kNone, nullptr},
    {3474, 1, kAccountModeRef, kControlDropDown, nullptr, nullptr, 3473, 9300, nullptr},
    {kIdTypeList, 2, kIdTypeRefs, kControlDropDown, AccountFieldHandler, nullptr, 1298, 9060, nullptr},
    {1343, 4, kUserIdRefs, kControlEdit, UserIdFieldHandler, &kUserIdField, 1299, 9061, nullptr},
    {1064, 1, kFontSubstitution, kControlCommand, nullptr, &kFontCommand, kNone, kNone, &kKeepEnabled},
    {1065, 0, nullptr, kControlCommand, nullptr, &kPaperCommand, kNone, kNone, &kKeepEnabled},
    {1347, 5, kPasswordRefs, kControlEdit, PasswordFieldHandler, &kPasswordField, 1300, 9062, nullptr},
    {1090, 0, nullptr, kControlCommand, UserDefaultsButtonHandler, &kDefaultsCommand, kNone, kNone, nullptr},
    {1063, 1, k5138, kControlDropDown, nullptr, nullptr, 1301, 9063, nullptr},
    {3470, 1, kSpecial, kControlCheckBox, nullptr, nullptr, 3470, 9064, nullptr},
    {4610, 1, kFaxEntry1, kControlEdit, FaxModeEntryHandler, kOutsidePrefixVariants, 4615, 9065, nullptr},
    {4611, 1, kFaxEntry2, kControlEdit, FaxModeEntryHandler, kExtensionPrefixVariants, 4616, 9066, nullptr},
    {3477, 1, kFaxSettings, kControlCommand, nullptr, &kFaxCommand, 3477, 9246, &kKeepEnabled},
    {3478, 1, kDirectFax, kControlCheckBox, nullptr, nullptr, 3478, 9248, nullptr},
    {3481, 1, k5210, kControlDropDown, nullptr, nullptr, 3480, 9322, nullptr},
    {3482, 1, k5211, kControlDropDown, nullptr, nullptr, 3483, 9323, nullptr},
    {3488, 1, k5212, kControlDropDown, nullptr, nullptr, 3487, 9324, nullptr},
};
constexpr INT kSettingsHelp[] = {1298, 40070, 1061, 40070, 1299, 40080, 1343, 40080, 1300, 40090, 1347, 40090,
                                 1301, 40100, 1063, 40100, 3470, 40110, 1064, 4030,  1065, 4040,  1090, 1540,
                                 3473, 42420, 3474, 42420, 4610, 40020, 4615, 40020, 4611, 40030, 4616, 40030,
                                 3477, 41100, 3478, 41200, 3480, 42490, 3481, 42490, 3483, 42600, 3482, 42600,
                                 3487, 42610, 3488, 42610, 0,    0};

}  // namespace

const ControlSet kDeviceSettingsPageControls{kSettingsRecords, static_cast<INT>(std::size(kSettingsRecords)), 9999,
                                             kSettingsHelp, nullptr, 0};
