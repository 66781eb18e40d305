// The document sheet's detail settings page. Its setting selector lists
// the model's detail settings as "name, value" rows; the drop-down beside
// it edits whichever setting is selected. A switch with a text entry that
// must not be left empty while the switch is on, and the copies entry with
// its range warning. The page's buttons open the collation dialog and the
// size-unit dialog.
#include <cstdio>
#include <map>
#include <string>
#include <tuple>

#include "control_handlers.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/sheet_records.h"
#include "property_sheets/sheet_texts.h"
#include "property_sheets/version_dialog.h"
#include "settings/items/item_info.h"
#include "settings/common/module_state.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"
#include "win/controls.h"
#include "win/window.h"

namespace {

constexpr INT kSelector = 3300, kSelectedEdit = 3303, kSelectedLabel = 3304;
constexpr WORD kJobMonitorSetting = 1321, kNoneSelected = kEmptyPseudoSetting;
constexpr INT kRequiredSwitch = 3292, kRequiredEntry = 3294, kCopiesEntry = 1010, kAfterCopies = 1185;
constexpr WORD kRequiredSwitchSetting = 5146, kRequiredTextSetting = 5147, kCopiesSetting = 11;
constexpr WORD kCopiesDetail = 1324;
constexpr INT kCaption = 265;
constexpr UINT kRangeText = 700, kRequiredText = 739, kRequiredMissingText = 740, kRequiredOnText = 742;
constexpr INT kRequiredChars = 128;

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS || message == UM_RESTORE_CONTROLS;
}

// The setting selected in the selector, per page window.
std::map<HWND, WORD>& selections() {
  static std::map<HWND, WORD> selected;
  return selected;
}
WORD selected_setting(HWND page) {
  auto it = selections().find(page);
  return it == selections().end() ? kNoneSelected : it->second;
}

// A setting of the selector is listed when the model has it and it is not
// hidden (the job-monitor setting only with a job monitor).
bool listed(ControlEvent* event, WORD ddmid) {
  if (ddmid == kNoneSelected || !GetItemInfo(event->window, ddmid)) return false;
  if (ddmid == kJobMonitorSetting) {
    const SheetState* state = GetSheetState(event->window);
    if (!state || !state->job_monitor_available) return false;
  }
  return GetSettingAvailability(event->window, ddmid) != 6;
}

std::u16string row_text(ControlEvent* event, const ControlRecord* record, INT ref) {
  const ControlState* cs = FindControlState(event->window, record);
  const ItemInfo* info = GetItemInfo(event->window, RefDdmid(record->settings[ref]));
  std::u16string text = info && info->name ? info->name : u"";
  text += u"\t";
  if (cs && cs->slots && info && cs->slots[ref].choice >= 0)
    if (LPCWSTR choice = ItemInfo_GetChoiceText(info, cs->slots[ref].choice)) text += choice;
  return text;
}

void fill_selector(ControlEvent* event, const ControlRecord* record) {
  HWND list = GetDlgItem(event->window, record->id);
  if (!list) return;
  const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  const WORD selected = selected_setting(event->window);
  for (INT i = 0; i < record->setting_count; ++i) {
    const WORD ddmid = RefDdmid(record->settings[i]);
    if (!listed(event, ddmid)) continue;
    const std::u16string text = row_text(event, record, i);
    const LRESULT at = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (at < 0) continue;
    SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), ddmid);
    if (ddmid == selected) SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
  }
  if (top > 0) SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
}

// The drop-down and its label show the selected setting, or hide. The
// drop-down's choices are those of another setting once the selector moves:
// it is refilled as a refresh the selector caused.
void show_selected(ControlEvent* event, const ControlRecord* selector) {
  const ControlRecord* edit = FindControlById(event->window, event->kind, kSelectedEdit);
  ControlState* cs = edit ? FindControlState(event->window, edit) : nullptr;
  const WORD selected = selected_setting(event->window);
  INT index = -1;
  const bool shown = cs && selected != kNoneSelected && FindSettingRefIndex(edit, selected, &index);
  if (shown) {
    cs->current = index;
    const ControlRecord* cause = event->refresh_record;
    event->refresh_record = selector;
    DropDownListHandler(event, UM_REFRESH_CONTROLS, 0, 0, edit, edit->kind_data);
    event->refresh_record = cause;
  }
  for (INT id : {kSelectedEdit, kSelectedLabel}) ShowWindow(GetDlgItem(event->window, id), shown ? SW_SHOW : SW_HIDE);
  if (shown) {
    const ItemInfo* info = GetItemInfo(event->window, selected);
    if (info && info->name) SetDlgItemTextW(event->window, kSelectedLabel, (std::u16string(info->name) + u":").c_str());
    if (!event->permission) EnableWindow(GetDlgItem(event->window, kSelectedEdit), FALSE);
  }
}

void show_copies(ControlEvent* event);
void show_dependents(ControlEvent* event);

INT SelectorListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void*) {
  if (wants_display(message, lParam)) {
    ReloadControlValues(event, record, 1);
    SelectCurrentChoices(event, record, 1);
    fill_selector(event, record);
    show_selected(event, record);
    show_copies(event);
    show_dependents(event);
    return 0;
  }
  if (message == WM_DESTROY) selections().erase(event->window);
  if (message != WM_COMMAND || HIWORD(wParam) != LBN_SELCHANGE) return 0;
  HWND list = GetDlgItem(event->window, record->id);
  const LRESULT row = SendMessageW(list, LB_GETCURSEL, 0, 0);
  if (row < 0) return 0;
  selections()[event->window] = static_cast<WORD>(SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(row), 0));
  show_selected(event, record);
  show_copies(event);
  show_dependents(event);
  return 0;
}

// Changes go through the drop-down's own handling; display follows the
// selector.
INT SelectorEditHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void* kind_data) {
  if (wants_display(message, lParam)) return 0;  // the selector shows it
  return DropDownListHandler(event, message, wParam, lParam, record, kind_data);
}


// ---- the switch with its required entry ------------------------------------------------

std::u16string setting_name(HWND window, WORD ddmid) {
  const ItemInfo* info = GetItemInfo(window, ddmid);
  return info && info->name ? info->name : u"";
}

// 0 only while the entry may be typed into and holds no text.
INT IsRequiredEntryFilled(ControlEvent* event) {
  HWND entry = GetDlgItem(event->window, kRequiredEntry);
  if (!entry || !IsWindowEnabled(entry) || !IsWindowVisible(entry)) return 1;
  WCHAR text[kRequiredChars + 1] = {};
  return GetWindowTextW(entry, text, kRequiredChars + 1) > 0 ? 1 : 0;
}

bool required_entry_missing(ControlEvent* event) {
  return IsDlgButtonChecked(event->window, kRequiredSwitch) == BST_CHECKED && !IsRequiredEntryFilled(event);
}

// "<switch> <is on>, <entry> <is missing>" as a warning; the entry gets the
// focus.
void WarnRequiredEntry(ControlEvent* event) {
  WCHAR on[128] = {}, missing[128] = {};
  LoadStringW(GetResourceModule(), kRequiredOnText, on, 128);
  LoadStringW(GetResourceModule(), kRequiredMissingText, missing, 128);
  const std::u16string name = setting_name(event->window, kRequiredSwitchSetting);
  const std::u16string entry = setting_name(event->window, kRequiredTextSetting);
  LPWSTR text = nullptr;
  if (FormatResourceStringV(&text, 0, kRequiredText, name.c_str(), on, entry.c_str(), missing) && text) {
    ShowResourceMessageBox(event->window, kCaption, nullptr, MB_ICONWARNING | MB_OK, kNone, text);
    GlobalFree(text);
  }
  SetFocus(GetDlgItem(event->window, kRequiredEntry));
}

// The switch; the entry beside it takes text only while the switch is on.
INT LockedCheckHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  const INT result = CheckBoxHandler(event, message, wParam, lParam, record, kind_data);
  if (!wants_display(message, lParam) && message != WM_COMMAND) return result;
  const SheetState* state = GetSheetState(event->window);
  HWND box = GetDlgItem(event->window, record->id);
  if (state && state->protected_mode) EnableWindow(box, FALSE);
  const bool on = IsDlgButtonChecked(event->window, record->id) == BST_CHECKED;
  EnableWindow(GetDlgItem(event->window, kRequiredEntry), on && event->permission && IsWindowEnabled(box));
  return result;
}

// Leaving the page with the switch on and the entry empty is refused,
// unless the leave is the one the leave-mark button started.
INT RequiredEntryHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                         const void* kind_data) {
  SheetState* state = GetSheetState(event->window);
  if (IsNotifyCode(message, lParam, PSN_KILLACTIVE)) {
    if (state && state->page_scratch) {
      state->page_scratch = 0;
    } else if (required_entry_missing(event)) {
      WarnRequiredEntry(event);
      return 1;
    }
  }
  const INT result = NumericEditHandler(event, message, wParam, lParam, record, kind_data);
  if (wants_display(message, lParam)) {
    const bool on = IsDlgButtonChecked(event->window, kRequiredSwitch) == BST_CHECKED;
    HWND entry = GetDlgItem(event->window, record->id);
    if (!on || !event->permission || (state && state->protected_mode)) EnableWindow(entry, FALSE);
  }
  return result;
}

// The buttons that open a dialog do not while the required entry is
// missing.
INT RequiredEntryButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                               const ControlRecord* record, const void* kind_data) {
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && required_entry_missing(event)) {
    WarnRequiredEntry(event);
    return 0;
  }
  return CommandButtonHandler(event, message, wParam, lParam, record, kind_data);
}

// The page may be left for this button's dialog with the entry empty.
INT LeaveMarkButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                           const ControlRecord* record, const void* kind_data) {
  if (message == WM_COMMAND && GetFocus() == GetDlgItem(event->window, record->id))
    if (SheetState* state = GetSheetState(event->window)) state->page_scratch = 1;
  return CommandButtonHandler(event, message, wParam, lParam, record, kind_data);
}

// ---- copies ------------------------------------------------------------------------

// The typed copies outside the setting's range: the range is said with
// both bounds as whole numbers. True when it was.
bool copies_out_of_range(ControlEvent* event, const ControlRecord* record) {
  WCHAR text[16] = {};
  if (GetDlgItemTextW(event->window, record->id, text, 16) <= 0) return false;
  LONG typed = 0;
  for (LPCWSTR p = text; *p; ++p) {
    if (*p < u'0' || *p > u'9' || typed > 100000000) return false;
    typed = typed * 10 + (*p - u'0');
  }
  LONG lower = 0, upper = 0;
  if (!GetControlValueRange(event, record, &lower, &upper) || (typed >= lower && typed <= upper)) return false;
  char number[2][24];
  std::snprintf(number[0], sizeof number[0], "%ld", static_cast<long>(lower));
  std::snprintf(number[1], sizeof number[1], "%ld", static_cast<long>(upper));
  const std::u16string low(number[0], number[0] + std::char_traits<char>::length(number[0]));
  const std::u16string high(number[1], number[1] + std::char_traits<char>::length(number[1]));
  const std::u16string name = setting_name(event->window, kCopiesSetting);
  LPWSTR message = nullptr;
  if (FormatResourceStringV(&message, 0, kRangeText, name.c_str(), low.c_str(), high.c_str()) && message) {
    ShowResourceMessageBox(event->window, kCaption, nullptr, MB_ICONWARNING | MB_OK, kNone, message);
    GlobalFree(message);
  }
  return true;
}

INT CopiesEntryHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  HWND entry = GetDlgItem(event->window, record->id);
  if (message == WM_COMMAND && HIWORD(wParam) == EN_KILLFOCUS && copies_out_of_range(event, record)) {
    const auto* data = static_cast<const EditFieldData*>(kind_data);
    if (data) ShowEditValue(event, record, data);
    SetFocus(entry);
    return 0;
  }
  if (IsNotifyCode(message, lParam, PSN_KILLACTIVE) && GetFocus() == entry &&
      copies_out_of_range(event, record)) {
    SetFocus(GetDlgItem(event->window, kAfterCopies));
    return 1;
  }
  const INT result = NumericEditHandler(event, message, wParam, lParam, record, kind_data);
  if (wants_display(message, lParam)) show_copies(event);
  return result;
}

// The copies spin shows with its entry.
INT CopiesSpinHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  const INT result = SpinControlHandler(event, message, wParam, lParam, record, kind_data);
  if (wants_display(message, lParam)) show_copies(event);
  return result;
}

// The copies entry shows only while the detail that needs it is selected.
void show_copies(ControlEvent* event) {
  const bool shown = selected_setting(event->window) == kCopiesDetail;
  const bool on = GetEffectiveItemValue(event->devmode, event->printer_data, kCopiesDetail) != 0;
  for (INT id : {3305, kCopiesEntry, 1760, kAfterCopies}) {
    HWND control = GetDlgItem(event->window, id);
    ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
    EnableWindow(control, shown && on && event->permission);
  }
}

// ---- the controls that belong to one selection ----------------------------------------

constexpr INT kJobMonitorNote = 3302, kSelectionNote = 3309;
constexpr WORD kNumberMode = 474, kFirstNumber = 475, kSecondNumber = 477, kNoteless = 1854;
constexpr INT kFirstNumberLabel = 3314, kFirstNumberEntry = 3315, kSecondNumberLabel = 3316,
              kSecondNumberEntry = 3317;
constexpr INT kShown = 0, kShownDisabled = 1, kHidden = 6;
constexpr INT kAvailabilityFixed = 15;

void apply_state(ControlEvent* event, INT id, INT state) {
  HWND control = GetDlgItem(event->window, id);
  ShowWindow(control, state == kHidden ? SW_HIDE : SW_SHOW);
  EnableWindow(control, state == kShown && event->permission);
}

// The two number entries of setting 474: which of them applies depends on
// its value; while 474 itself is fixed they show only what they hold.
void show_dependents(ControlEvent* event) {
  const WORD selected = selected_setting(event->window);
  apply_state(event, kJobMonitorNote, selected == kJobMonitorSetting ? kShown : kHidden);
  apply_state(event, kSelectionNote, selected == kNoteless ? kHidden : kShown);
  INT first = kHidden, second = kHidden;
  const LONG mode = GetEffectiveItemValue(event->devmode, event->printer_data, kNumberMode);
  if (selected == kNumberMode && mode != 0) {
    const bool fixed = GetSettingAvailability(event->window, kNumberMode) == kAvailabilityFixed;
    const INT open = fixed ? kShownDisabled : kShown;
    if (mode == 1) {
      second = open;
    } else if (mode == 2) {
      first = open;
    } else if (!fixed) {
      first = second = kShown;
    }
  }
  for (const auto& [label, entry, ddmid, state] :
       {std::tuple{kFirstNumberLabel, kFirstNumberEntry, kFirstNumber, first},
        std::tuple{kSecondNumberLabel, kSecondNumberEntry, kSecondNumber, second}}) {
    apply_state(event, label, state);
    apply_state(event, entry, state);
    if (state != kHidden) {
      const std::u16string name = setting_name(event->window, ddmid);
      if (!name.empty()) SetDlgItemTextW(event->window, label, (name + u":").c_str());
    }
  }
}

// The number entries edit their settings; what shows follows the selector.
INT SelectionNumberHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                           const ControlRecord* record, const void* kind_data) {
  const INT result = NumericEditHandler(event, message, wParam, lParam, record, kind_data);
  if (wants_display(message, lParam)) show_dependents(event);
  return result;
}

constexpr WORD kKeepEnabled = kFlagKeepEnabled;
constexpr SettingRef kSelectorSettings[] = {
    Bound(1859), Bound(1860), Bound(1367), Bound(457),  Bound(1332), Bound(1324), Bound(474),  Bound(1355),
    Bound(1333), Bound(440),  Bound(1321), Bound(1331), Bound(1336), Bound(1341), Bound(1350), Bound(469),
    Bound(1359), Bound(1854), Bound(1318), Bound(1307), Bound(1310), Bound(1316), Bound(455),  Bound(454),
    Bound(1293), Bound(1294), Bound(1284), Bound(1302), Bound(330),  Bound(1319), Bound(443),  Bound(345),
    Bound(1325), Bound(386),  Bound(1342), Bound(464),  Bound(1343), Bound(1861), Bound(1344), Bound(1345),
    Bound(1862), Bound(1351), Bound(467),  Bound(1356), Bound(1358), Bound(471),  Bound(476),  Bound(1370),
    Bound(1366), Bound(kNoneSelected, 0)};
constexpr INT kSelectorCount = static_cast<INT>(std::size(kSelectorSettings));
constexpr SettingRef kPrintQuality[] = {Bound(1334)}, kSpool[] = {Bound(1320)}, kLayout[] = {Bound(458)},
                     kSecond[] = {Bound(456)}, kSwitch[] = {Bound(kRequiredSwitchSetting)},
                     kSwitchText[] = {Bound(kRequiredTextSetting)}, kCopies[] = {Bound(kCopiesSetting)},
                     kFirstNumberRef[] = {Bound(kFirstNumber)}, kSecondNumberRef[] = {Bound(kSecondNumber)};
constexpr UINT kSingleByteRanges[] = {9220, 0}, kDoubleByteRanges[] = {9233, 0};
constexpr TextRule kSwitchTextRule{{kSingleByteRanges, kDoubleByteRanges, nullptr, nullptr}, 738};
constexpr EditFieldData kSwitchTextField{0x302, kRequiredChars, &kSwitchTextRule, nullptr, 0xFFFF, nullptr};
constexpr UnitRecord kWholeNumber{0, 0};
constexpr EditFieldData kCopiesField{0x21, 5, nullptr, &kWholeNumber, 0xFFFF, nullptr};
constexpr UpDownData kCopiesSpin{0};
constexpr EditFieldData kFirstNumberField{0x21, 4, nullptr, &kWholeNumber, 0xFFFF, nullptr};
constexpr EditFieldData kSecondNumberField{0x21, 5, nullptr, &kWholeNumber, 0xFFFF, nullptr};

constexpr ChildDialogTemplate kCollationDialog[] = {{869, EngineDialogProc<4, kDialogTypeDialog>, 4, kNone, 0}};
constexpr ChildDialogCommand kOpenCollation{kCollationDialog, 0, 0};
constexpr CommandItem kCollationCommand{kCommandChildDialog, &kOpenCollation};
constexpr ChildDialogTemplate kUnitDialog[] = {{3820, EngineDialogProc<56, kDialogTypeDialog>, 56, kNone, 36911}};
constexpr ChildDialogCommand kOpenUnitDialog{kUnitDialog, 0, 0};
constexpr CommandItem kUnitCommand{kCommandChildDialog, &kOpenUnitDialog};
constexpr CommandItem kDefaultsCommand{kCommandDefaults, nullptr};
constexpr ChildDialogTemplate kOptionsDialog[] = {{510, VersionDialogProc, 8, kNone, 0}};
constexpr ChildDialogCommand kOpenOptions{kOptionsDialog, 0, 0};
constexpr CommandItem kOptionsCommand{kCommandChildDialog, &kOpenOptions};

constexpr ControlRecord kRecords[] = {
    {3290, 1, kPrintQuality, kControlCheckBox, nullptr, nullptr, 3290, 9024, nullptr},
    {1044, 1, kSpool, kControlCheckBox, nullptr, nullptr, 1044, 9025, nullptr},
    {3295, 1, kLayout, kControlDropDown, nullptr, nullptr, 3291, 9026, nullptr},
    {kRequiredSwitch, 1, kSwitch, kControlCheckBox, LockedCheckHandler, nullptr, 3292, 9027, nullptr},
    {kRequiredEntry, 1, kSwitchText, kControlEdit, RequiredEntryHandler, &kSwitchTextField, 3293, 9028, nullptr},
    {3297, 1, kSecond, kControlDropDown, nullptr, nullptr, 3296, 9029, nullptr},
    {kSelector, kSelectorCount, kSelectorSettings, kControlListBox, SelectorListHandler, nullptr, kNone, kNone,
     &kKeepEnabled},
    {kSelectedEdit, kSelectorCount, kSelectorSettings, kControlDropDown, SelectorEditHandler, nullptr, kNone, 9030,
     nullptr},
    {kCopiesEntry, 1, kCopies, kControlEdit, CopiesEntryHandler, &kCopiesField, kNone, kNone, nullptr},
    {1760, 1, kCopies, kControlUpDown, CopiesSpinHandler, &kCopiesSpin, kNone, kNone, nullptr},
    {kFirstNumberEntry, 1, kFirstNumberRef, kControlEdit, SelectionNumberHandler, &kFirstNumberField, kNone, kNone,
     nullptr},
    {kSecondNumberEntry, 1, kSecondNumberRef, kControlEdit, SelectionNumberHandler, &kSecondNumberField, kNone, kNone,
     nullptr},
    {3311, 0, nullptr, kControlCommand, RequiredEntryButtonHandler, &kCollationCommand, kNone, kNone, &kKeepEnabled},
    {3312, 0, nullptr, kControlCommand, LeaveMarkButtonHandler, &kOptionsCommand, kNone, kNone, &kKeepEnabled},
    {3313, 0, nullptr, kControlCommand, RequiredEntryButtonHandler, &kUnitCommand, 3313, 9321, &kKeepEnabled},
    {1090, 0, nullptr, kControlCommand, nullptr, &kDefaultsCommand, kNone, kNone, &kKeepEnabled},
};
constexpr INT kHelp[] = {3290, 98010, 1044, 98020, 3292, 98030, 3293, 98040, 3294, 98040, 3291, 98050, 3295, 98050,
                         3296, 98060, 3297, 98060, 3298, 98070, 3299, 98080, 3300, 98080, 3301, 98090, 3303, 98090,
                         3304, 98090, 3305, 98100, 1010, 98100, 1760, 98100, 1185, 98100, 3302, 98110, 3308, 98120,
                         3311, 98130, 3312, 98140, 3313, 98150, 3314, 98160, 3315, 98160, 3316, 98160, 3317, 98160,
                         1090, 1540, 0, 0};

}  // namespace

const ControlSet kDetailPageControls{kRecords, static_cast<INT>(std::size(kRecords)), 9999, kHelp, nullptr, 0};
