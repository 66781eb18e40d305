// The user settings page that replaces the device settings page on models
// whose account fields live in a dialog of their own, that account dialog,
// and the confirmation of a changed account entry.
#include <iterator>
#include <string>

#include "property_sheets/device_pages.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/account_fields.h"
#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_records.h"
#include "property_sheets/sheet_texts.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_access.h"
#include "settings/stores/user_setting_info.h"
#include "win/win.h"

namespace {

constexpr WORD kAccountUsable = 5203;
constexpr WORD kAccountLocked = 5204;
constexpr WORD kAccountPolicy = 4367;
constexpr WORD kComponentPopup = 5186;

bool shows(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS;
}

LONG number(ControlEvent* event, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &v) != 0) return 0;
  return GetTypedValue(type, &v);
}

bool option(ControlEvent* event, DWORD mask) {
  const SheetState* state = GetSheetState(event->window);
  return state && TestCapabilityBit(&state->capabilities, mask);
}

INT chain(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
          const void* kind_data) {
  return event->default_handler ? event->default_handler(event, message, wParam, lParam, record, kind_data) : 0;
}

constexpr INT kAccountControls[] = {1061, 1343, 1347, 3523, 3537, 3531, 3532, 3525, 3526, 3527, 3521, 3524, 3533, 3534};

}  // namespace

INT AccountDialogStateHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                              const ControlRecord* record, const void* kind_data) {
  const INT result = chain(event, message, wParam, lParam, record, kind_data);
  if (!shows(message, lParam) && message != WM_INITDIALOG) return result;
  if (!event->permission && number(event, kAccountModeId) == 0)
    for (INT id : kAccountControls) EnableWindow(GetDlgItem(event->window, id), FALSE);
  if (option(event, 0xFFFF002C))
    for (INT id : {1343, 1347, 1299, 1300, 3528, 3531, 3532, 3529, 3530})
      ShowWindow(GetDlgItem(event->window, id), SW_HIDE);
  return result;
}

INT AccountButtonStateHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                              const ControlRecord* record, const void* kind_data) {
  const INT result = chain(event, message, wParam, lParam, record, kind_data);
  if (!shows(message, lParam)) return result;
  const SheetState* state = GetSheetState(event->window);
  bool enable = number(event, kAccountUsable) != 0;
  if (enable && state && state->prompt_component_installed && number(event, kComponentPopup)) enable = false;
  if (enable && number(event, kAccountLocked) == 0 && number(event, kAccountPolicy) == 3) enable = false;
  EnableWindow(GetDlgItem(event->window, record->id), enable);
  return result;
}

INT ResetAccountModeHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                            const ControlRecord* record, const void* kind_data) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return chain(event, message, wParam, lParam, record, kind_data);
  SetFocus(GetDlgItem(event->window, record->id));
  // The defaults of exactly the settings of the current mode: each user's
  // in mode 1, the administrator's in mode 0.
  const bool users = number(event, kAccountModeId) != 0;
  const SheetState* state = GetSheetState(event->window);
  const ControlSet* set = GetDialogControlSet(event->window, event->kind);
  if (state && set) {
    for (INT r = 0; r < set->count; ++r)
      for (INT i = 0; i < set->records[r].setting_count; ++i) {
        const WORD ddmid = RefDdmid(set->records[r].settings[i]);
        if (ddmid >= kPseudoSettingBase) continue;
        if ((IsUserSettingItem(ddmid) > 0) == users)
          ResetItemToDefault(state->database, event->devmode, ddmid, event->printer_data);
      }
  }
  SetRefreshRequest(event, 1, nullptr, record);
  return 0;
}

INT UserDefaultsButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                              const ControlRecord* record, const void* kind_data) {
  // Without the right to change the printer's settings the button resets
  // only what belongs to the user, and nothing on the dialog variant.
  if (message == WM_COMMAND && !event->permission) {
    if (option(event, kOptionAccountDialog)) return 0;
    const ControlSet* set = GetDialogControlSet(event->window, event->kind);
    const SheetState* state = GetSheetState(event->window);
    if (set && state)
      for (INT r = 0; r < set->count; ++r)
        for (INT i = 0; i < set->records[r].setting_count; ++i) {
          const WORD ddmid = RefDdmid(set->records[r].settings[i]);
          if (ddmid < kPseudoSettingBase && IsUserSettingItem(ddmid) > 0)
            ResetItemToDefault(state->database, event->devmode, ddmid, event->printer_data);
        }
    SetRefreshRequest(event, 1, nullptr, record);
    return 0;
  }
  return chain(event, message, wParam, lParam, record, kind_data);
}

INT ConfirmAccountEntry(ControlEvent* event, WORD ddmid, INT limit, const ControlRecord* control,
                        WORD remembered_id_type) {
  WCHAR shown[128] = {};
  GetDlgItemTextW(event->window, control->id, shown, 128);
  LPWSTR question = nullptr;
  if (!FormatResourceStringV(&question, 0, 492, shown) || !question) return 1;
  const INT answer = ShowResourceMessageBox(event->window, 265, nullptr, MB_ICONINFORMATION | MB_OKCANCEL, -3, question);
  GlobalFree(question);
  if (answer == IDOK || answer < 0) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &v) != 0 || type != 6) return 3;
    std::u16string text = ItemText(v, size);
    // Cut to `limit` ANSI bytes on a character boundary.
    while (!text.empty() &&
           WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr) >
               limit)
      text.pop_back();
    const char16_t* p = text.c_str();
    return SetItemValue(ddmid, event->devmode, event->printer_data, static_cast<DWORD>(2 * text.size() + 2), 6, &p) ? 1
                                                                                                                     : 3;
  }
  // Cancel: the identification type the sheet remembered comes back.
  const SettingSlot* slot = GetCurrentSlot(event->window, control);
  if (!slot || !SetItemValue(slot->ddmid, event->devmode, event->printer_data, 2, 3, &remembered_id_type)) return 1;
  return RefreshPageControls(event, nullptr) ? 0 : 1;
}

namespace {

constexpr SettingRef kComponentRef[] = {Bound(kComponentPopup)};
constexpr SettingRef kAccountModeRef[] = {Bound(kAccountModeId)};
constexpr SettingRef kLockedRef[] = {Bound(kAccountLocked)};
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
constexpr SettingRef kIdTypeRefs[] = {Bound(5127), Bound(5178)};
constexpr SettingRef kUserIdRefs[] = {Bound(kLoginNameId), Bound(5121), Bound(5150), Bound(kAccountNothingId)};
constexpr SettingRef kPasswordRefs[] = {Bound(5148), Bound(5152), Bound(5161), Bound(5160), Bound(kAccountNothingId)};
constexpr SettingRef kUserCodeRefs[] = {Bound(5179), Bound(5180)};
constexpr SettingRef kUserPasswordRefs[] = {Bound(5181), Bound(5182)};
constexpr SettingRef kPopupRefs[] = {Bound(5164), Bound(5165)};
constexpr SettingRef kCodeRefs[] = {Bound(5166), Bound(5167)};
constexpr SettingRef kLongCodeRefs[] = {Bound(5213), Bound(5214)};
constexpr SettingRef kCheck1Refs[] = {Bound(5168), Bound(5169)};
constexpr SettingRef kCheck2Refs[] = {Bound(5170), Bound(5171)};
constexpr SettingRef kCheck3Refs[] = {Bound(5172), Bound(5173)};

// The popup flag's two buttons; the account mode picks the flag they edit.
constexpr RadioGroupData kPopupButtons{2, {3521, 3524}};

// The dialog's own fields: codes of printable characters, and the user
// code's password in its protected form.
constexpr DWORD kValidateAll = 0xFFFF;
constexpr UINT kCodeBytes[] = {9235, 9220, 0};
constexpr UINT kDigits[] = {9219, 0};
constexpr UINT kNarrowDoubleBytes[] = {9233, 0};
constexpr TextRule kCodeRule{{kCodeBytes, kNarrowDoubleBytes, nullptr, nullptr}, 738};
constexpr TextRule kCodePasswordRule{{kDigits, kNarrowDoubleBytes, nullptr, nullptr}, 743};
constexpr EditFieldData kCodeField{kEditText | kEditLenient, 32, &kCodeRule, nullptr, kValidateAll, nullptr};
constexpr EditFieldData kLongCodeField{kEditText | kEditLenient, 64, &kCodeRule, nullptr, kValidateAll, nullptr};
constexpr EditFieldData kCodePasswordField{kEditText | kEditLenient | kEditLength | kEditShowProtected, 12,
                                           &kCodePasswordRule, nullptr, kValidateAll, nullptr};

constexpr WORD kKeepEnabled = kFlagKeepEnabled;
constexpr WORD kFollow = kFlagFollowControl;

constexpr ChildDialogTemplate kAccountDialog[] = {{3520, EngineDialogProc<47, kDialogTypeDialog>, 47, kNone, 0}};
constexpr ChildDialogTemplate kFontDialog[] = {{513, FontSubstitutionDialogProc, 23, kNone, 0}};
constexpr ChildDialogTemplate kPaperDialog[] = {{514, UserPaperDialogProc, 24, kNone, 0}};
constexpr ChildDialogTemplate kFaxDialog[] = {{4800, EngineDialogProc<45, kDialogTypeDialog>, 45, kNone, 0}};
constexpr ChildDialogCommand kOpenAccount{kAccountDialog, 0, 0};
constexpr ChildDialogCommand kOpenFont{kFontDialog, 0, 0};
constexpr ChildDialogCommand kOpenPaper{kPaperDialog, 0, 0};
constexpr ChildDialogCommand kOpenFax{kFaxDialog, 0, 0};
constexpr CommandItem kAccountCommand{kCommandChildDialog, &kOpenAccount};
constexpr CommandItem kFontCommand{kCommandChildDialog, &kOpenFont};
constexpr CommandItem kPaperCommand{kCommandChildDialog, &kOpenPaper};
constexpr CommandItem kFaxCommand{kCommandChildDialog, &kOpenFax};
constexpr CommandItem kDefaultsCommand{kCommandDefaults, nullptr};
constexpr CommandItem kOkCommand{kCommandOk, nullptr};

constexpr ControlRecord kUserPageRecords[] = {
    {3479, 1, kComponentRef, kControlCheckBox, nullptr, nullptr, 3479, 9262, nullptr},
    {3474, 1, kAccountModeRef, kControlDropDown, nullptr, nullptr, 3473, 9300, nullptr},
    {3486, 1, kLockedRef, kControlDropDown, nullptr, nullptr, 3485, 9313, nullptr},
    {3581, 0, nullptr, kControlCommand, AccountButtonStateHandler, &kAccountCommand, kNone, kNone, &kFollow},
    {1064, 1, kFontSubstitution, kControlCommand, nullptr, &kFontCommand, kNone, kNone, &kFollow},
    {1065, 0, nullptr, kControlCommand, nullptr, &kPaperCommand, kNone, kNone, &kKeepEnabled},
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
constexpr INT kUserPageHelp[] = {3473, 42420, 3474, 42420, 3581, 42410, 1301, 40100, 1063, 40100, 3470, 40110,
                                 1064, 4030,  1065, 4040,  1090, 1540,  3479, 42430, 4610, 40020, 4615, 40020,
                                 4611, 40030, 4616, 40030, 3477, 41100, 3478, 41200, 3480, 42490, 3481, 42490,
                                 3483, 42600, 3482, 42600, 3487, 42610, 3488, 42610, 3485, 42480, 3486, 42480,
                                 0,    0};

constexpr ControlRecord kAccountRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, AccountDialogStateHandler, nullptr, kNone, kNone, nullptr},
    {3521, 2, kPopupRefs, kControlRadioGroup, AccountFieldHandler, &kPopupButtons, kNone, 9301, &kFollow},
    {1061, 2, kIdTypeRefs, kControlDropDown, AccountFieldHandler, nullptr, 1298, 9302, &kFollow},
    {1343, 4, kUserIdRefs, kControlEdit, UserIdFieldHandler, &kUserIdField, 1299, 9303, &kFollow},
    {1347, 5, kPasswordRefs, kControlEdit, PasswordFieldHandler, &kPasswordField, 1300, 9304, &kFollow},
    {3523, 2, kCodeRefs, kControlEdit, AccountFieldHandler, &kCodeField, 3522, 9305, &kFollow},
    {3537, 2, kLongCodeRefs, kControlEdit, AccountFieldHandler, &kLongCodeField, 3536, 9410, &kFollow},
    {3531, 2, kUserCodeRefs, kControlEdit, AccountFieldHandler, nullptr, 3529, 9252, &kFollow},
    {3532, 2, kUserPasswordRefs, kControlEdit, AccountFieldHandler, &kCodePasswordField, 3530, 9253, &kFollow},
    {3524, 2, kPopupRefs, kControlRadioGroup, AccountFieldHandler, &kPopupButtons, kNone, 9306, &kFollow},
    {3525, 2, kCheck1Refs, kControlCheckBox, AccountFieldHandler, nullptr, 3525, 9307, &kFollow},
    {3526, 2, kCheck2Refs, kControlCheckBox, AccountFieldHandler, nullptr, 3526, 9308, &kFollow},
    {3527, 2, kCheck3Refs, kControlCheckBox, AccountFieldHandler, nullptr, 3527, 9309, &kFollow},
    {3534, 0, nullptr, kControlCommand, nullptr, &kOkCommand, kNone, kNone, &kFollow},
    {3533, 0, nullptr, kControlCommand, ResetAccountModeHandler, nullptr, kNone, kNone, &kFollow},
};
constexpr INT kAccountHelp[] = {3521, 42510, 1298, 40070, 1061, 40070, 1299, 40080, 1343, 40080, 1300, 40090,
                                1347, 40090, 3522, 42530, 3523, 42530, 3536, 42620, 3537, 42620, 3529, 42580,
                                3531, 42580, 3530, 42590, 3532, 42590, 3524, 42520, 3525, 42540, 3526, 42550,
                                3527, 42560, 3534, 1520,  3533, 1540,  1091, 1530,  1341, 7777,  0,    0};

}  // namespace

const ControlSet kUserSettingsPageControls{kUserPageRecords, static_cast<INT>(std::size(kUserPageRecords)), 9999,
                                           kUserPageHelp, nullptr, 0};
const ControlSet kAccountDialogControls{kAccountRecords, static_cast<INT>(std::size(kAccountRecords)), 42570,
                                        kAccountHelp, nullptr, 0};
