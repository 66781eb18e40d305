// The default handlers of check boxes, radio groups, push buttons, static
// texts, titles, choice icons and availability-only controls: each shows
// its setting on activation and refresh, and the buttons turn clicks into
// setting changes.
#include <cstring>

#include "control_handlers.h"
#include "fax/key_list.h"
#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_check.h"
#include "settings/constraints/conflict_report.h"
#include "settings/constraints/constraint_rules.h"
#include "settings/items/item_info.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/resources.h"

namespace {

constexpr INT kIconBuffers = 2;  // SheetContext list of loaded icons and saved procedures

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS;
}

SettingSlot* fresh_slot(ControlEvent* event, const ControlRecord* record) {
  ReloadControlValues(event, record, 1);
  SelectCurrentChoices(event, record, 1);
  return GetCurrentSlot(event->window, record);
}

// The availability of the record's current setting; 0 when it has none.
INT record_kind(ControlEvent* event, const ControlRecord* record) {
  const SettingSlot* slot = GetCurrentSlot(event->window, record);
  if (!slot) return 0;
  const INT kind = GetSettingAvailability(event->window, slot->ddmid);
  return kind < 0 ? 0 : kind;
}

// The generic show rule, and disabled in a sheet the user may not change.
void refresh_state(ControlEvent* event, const ControlRecord* record, HWND control) {
  if (!control) return;
  ShowControlByKind(control, record_kind(event, record));
  if (!event->permission) EnableWindow(control, FALSE);
}

// A fresh check of the setting (with a value: of that choice) in mode 0;
// its conflict kind, or -1 when the check fails.
INT check_kind(ControlEvent* event, WORD ddmid, WORD type, const void* value) {
  const SheetState* state = GetSheetState(event->window);
  ConflictReport* report = NewConflictReport();
  if (!state || !report) {
    FreeConflictReport(report);
    return -1;
  }
  const INT failed = CheckSettingChange(kCheckModeAll, state->printer, event->database, event->devmode,
                                        event->printer_data, nullptr, ddmid, type, value, report, nullptr, 0);
  const INT kind = failed ? -1 : report->kind;
  FreeConflictReport(report);
  return kind;
}

// Stores choice `choice` of the record's setting: 1 stored (a refresh is
// requested), 2 refused, 3 unchanged, -1 error.
INT store_choice(ControlEvent* event, const ControlRecord* record, INT choice) {
  SettingSlot* slot = GetCurrentSlot(event->window, record);
  ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  const void* value = info ? ItemInfo_GetChoiceAt(info, choice) : nullptr;
  if (!value) return -1;
  WORD* changed = nullptr;
  const INT result = OnControlValueChanged(event, record, slot, info->value_type, value, &changed);
  if (result == 1)
    SetRefreshRequest(event, 1, changed, record);
  else
    SafeGlobalFree(changed);
  return result;
}

// ---- check box ------------------------------------------------------------------

// The check mark follows choice 1 of the two (the demo database lists a
// switch's "off" choice first); a value that is neither leaves the box as
// it is.
bool show_check(ControlEvent* event, const ControlRecord* record) {
  HWND control = GetDlgItem(event->window, record->id);
  SettingSlot* slot = fresh_slot(event, record);
  if (!control || !slot || slot->choice < 0 || slot->choice > 1) return false;
  SendMessageW(control, BM_SETCHECK, slot->choice == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
  refresh_state(event, record, control);
  return true;
}

// ---- radio group ------------------------------------------------------------------

void show_radio_button(ControlEvent* event, const ControlRecord* record, const RadioGroupData* group, INT index) {
  HWND button = GetDlgItem(event->window, group->buttons[index]);
  const SettingSlot* slot = GetCurrentSlot(event->window, record);
  ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  if (!button || !slot) return;
  SendMessageW(button, BM_SETCHECK, index == slot->choice ? BST_CHECKED : BST_UNCHECKED, 0);
  WORD kind = static_cast<WORD>(record_kind(event, record));
  const void* value = info ? ItemInfo_GetChoiceAt(info, index) : nullptr;
  if (value) {
    const INT choice_kind = check_kind(event, slot->ddmid, info->value_type, value);
    if (choice_kind > 0) RaiseConflictSeverity(&kind, static_cast<WORD>(choice_kind));
  }
  ShowControlByKind(button, kind);
  if (!event->permission) EnableWindow(button, FALSE);
}

INT button_index(const RadioGroupData* group, INT id) {
  for (INT i = 0; i < RadioButtonCount(group); ++i)
    if (group->buttons[i] == id) return i;
  return -1;
}

// ---- push button and availability control -----------------------------------------------

void show_command_state(ControlEvent* event, const ControlRecord* record) {
  HWND control = GetDlgItem(event->window, record->id);
  const SettingSlot* slot = fresh_slot(event, record);
  if (!control || !slot) return;
  const ItemInfo* info = GetItemInfo(event->window, slot->ddmid);
  INT kind = check_kind(event, slot->ddmid, info ? info->value_type : 0, nullptr);
  if (kind < 0) return;
  if (!event->permission && kind != 0 && kind != 6) kind = 1;
  ShowControlByKind(control, kind);
}

// ---- title ------------------------------------------------------------------------

// Makes the record's current setting the one the other control shows now.
void follow_control(ControlEvent* event, const ControlRecord* record, INT other_id) {
  const ControlRecord* other = FindControlById(event->window, event->kind, other_id);
  const SettingSlot* followed = other ? fresh_slot(event, other) : nullptr;
  ControlState* state = FindControlState(event->window, record);
  if (!followed || !state) return;
  for (INT i = 0; i < record->setting_count; ++i)
    if (RefDdmid(record->settings[i]) == followed->ddmid) state->current = i;
}

// ---- choice icon ------------------------------------------------------------------------

struct SavedProcedure {
  WNDPROC procedure;
};

SavedProcedure* saved_procedure(HWND dialog, INT id) {
  SheetContext* context = GetSheetContext(dialog);
  if (!context || !context->lists[kIconBuffers]) return nullptr;
  return static_cast<SavedProcedure*>(KeyList_FindData(context->lists[kIconBuffers], static_cast<DWORD>(id),
                                                       static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(dialog))));
}

// Paints the icon of the current choice of the control's record, then lets
// the static control's own procedure paint.
LRESULT CALLBACK choice_icon_proc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND dialog = GetParent(control);
  const INT id = GetDlgCtrlID(control);
  SavedProcedure* saved = saved_procedure(dialog, id);
  if (message == WM_SHOWWINDOW) {
    DefWindowProcW(control, message, wParam, lParam);
    return 0;
  }
  if (message == WM_PAINT) {
    INT kind = kNoKind;
    SendMessageW(dialog, UM_QUERY_DIALOG_KIND, 0, reinterpret_cast<LPARAM>(&kind));
    const ControlRecord* record = FindControlById(dialog, kind, id);
    const SettingSlot* slot = record ? GetCurrentSlot(dialog, record) : nullptr;
    ItemInfo* info = slot ? GetItemInfo(dialog, slot->ddmid) : nullptr;
    PAINTSTRUCT paint{};
    BeginPaint(control, &paint);
    if (info && slot->choice >= 0)
      SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(ItemInfo_GetChoiceIcon(info, slot->choice)), 0);
    EndPaint(control, &paint);
  }
  return saved && saved->procedure ? CallWindowProcW(saved->procedure, control, message, wParam, lParam) : 0;
}

void subclass_icon(ControlEvent* event, const ControlRecord* record, const ChoiceIconData* data) {
  HWND control = GetDlgItem(event->window, record->id);
  SheetContext* context = GetSheetContext(event->window);
  if (!control || !context || saved_procedure(event->window, record->id)) return;
  RECT frame{};
  GetWindowRect(control, &frame);
  RECT client{};
  GetClientRect(control, &client);
  const INT border_x = (frame.right - frame.left) - client.right;
  const INT border_y = (frame.bottom - frame.top) - client.bottom;
  SetWindowPos(control, nullptr, 0, 0, GetSystemMetrics(SM_CXICON) + border_x, GetSystemMetrics(SM_CYICON) + border_y,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (!data || data->flag != 1 || !context->lists[kIconBuffers]) return;
  auto* saved = static_cast<SavedProcedure*>(GlobalAlloc(GPTR, sizeof(SavedProcedure)));
  if (!saved) return;
  saved->procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_WNDPROC));
  if (!KeyList_Push(context->lists[kIconBuffers], static_cast<DWORD>(record->id),
                    static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(event->window)), saved)) {
    GlobalFree(saved);
    return;
  }
  SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(choice_icon_proc));
}

void unsubclass_icon(ControlEvent* event, const ControlRecord* record) {
  SavedProcedure* saved = saved_procedure(event->window, record->id);
  if (!saved) return;
  if (HWND control = GetDlgItem(event->window, record->id))
    SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved->procedure));
  KeyList_Remove(GetSheetContext(event->window)->lists[kIconBuffers], static_cast<DWORD>(record->id),
                 static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(event->window)));
  GlobalFree(saved);
}

}  // namespace

void ShowControlByKind(HWND control, INT kind) {
  if (!control) return;
  ShowWindow(control, kind == 6 ? SW_HIDE : SW_SHOW);
  EnableWindow(control, kind != 1 && kind != 6 && kind != 15);
}

INT CheckBoxHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                    const void*) {
  if (wants_display(message, lParam)) {
    show_check(event, record);
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  if (wParam > 0xFFFF) return 1;  // a notification other than BN_CLICKED
  const INT choice = IsDlgButtonChecked(event->window, record->id) == BST_CHECKED ? 1 : 0;
  const INT result = store_choice(event, record, choice);
  if (result == 2) show_check(event, record);
  return result == -1 ? 1 : 0;
}

INT RadioGroupHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  const auto* group = static_cast<const RadioGroupData*>(kind_data);
  const INT own = group ? button_index(group, record->id) : -1;
  if (wants_display(message, lParam)) {
    if (own >= 0 && fresh_slot(event, record)) show_radio_button(event, record, group, own);
    return 0;
  }
  if (message != WM_COMMAND || own < 0 || LOWORD(wParam) != record->id) return 0;
  if (IsDlgButtonChecked(event->window, record->id) != BST_CHECKED) return 0;
  if (store_choice(event, record, own) == 2 && fresh_slot(event, record)) {
    // Refused: every button of the group shows the stored choice again.
    for (INT i = 0; i < RadioButtonCount(group); ++i) show_radio_button(event, record, group, i);
  }
  return 0;
}

INT CommandButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                         const ControlRecord* record, const void* kind_data) {
  if (wants_display(message, lParam)) {
    if (record->setting_count) show_command_state(event, record);
    return 0;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  return RunCommandItem(event, message, wParam, lParam, record, static_cast<const CommandItem*>(kind_data));
}

INT AvailabilityHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                        const void*) {
  if (wants_display(message, lParam) && record->setting_count) show_command_state(event, record);
  return 0;
}

INT StaticTextHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  if (!wants_display(message, lParam)) return 0;
  HWND control = GetDlgItem(event->window, record->id);
  if (!control) return 0;
  const SettingSlot* slot = record->setting_count ? fresh_slot(event, record) : nullptr;
  if (const auto* data = static_cast<const StaticTextData*>(kind_data)) {
    if (data->type == kStaticChoiceText && slot) {
      ItemInfo* info = GetItemInfo(event->window, slot->ddmid);
      const LPCWSTR text = info && slot->choice >= 0 ? ItemInfo_GetChoiceText(info, slot->choice) : nullptr;
      if (text) SetWindowTextW(control, text);
    } else if (data->type == kStaticString && data->string_id > 0) {
      WCHAR text[257] = {};
      if (LoadStringW(GetResourceModule(), static_cast<UINT>(data->string_id), text, 257) > 0)
        SetWindowTextW(control, text);
    }
  }
  if (slot) refresh_state(event, record, control);
  return 0;
}

INT TitleHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                 const void* kind_data) {
  if (!wants_display(message, lParam)) return 0;
  HWND control = GetDlgItem(event->window, record->id);
  if (!control || !record->setting_count) return 0;
  const auto* data = static_cast<const TitleData*>(kind_data);
  if (data && data->follow_id != kNone) follow_control(event, record, data->follow_id);
  const SettingSlot* slot = fresh_slot(event, record);
  ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  if (!info) return 0;
  const INT choice = info->kind == kItemKindText ? 0 : slot->choice;
  const LPCWSTR text = choice >= 0 ? ItemInfo_GetChoiceText(info, choice) : nullptr;
  LPCWSTR last = nullptr;
  for (LPCWSTR p = text; p && *p; ++p)
    if (*p == u'\r') last = p[1] == u'\n' ? p + 2 : p + 1;
  SetWindowTextW(control, last ? last : u"");
  refresh_state(event, record, control);
  return 0;
}

INT ChoiceIconHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  const auto* data = static_cast<const ChoiceIconData*>(kind_data);
  if (IsNotifyCode(message, lParam, PSN_SETACTIVE)) subclass_icon(event, record, data);
  if (wants_display(message, lParam)) {
    if (record->setting_count) fresh_slot(event, record);
    if (HWND control = GetDlgItem(event->window, record->id)) InvalidateRect(control, nullptr, TRUE);
    return 0;
  }
  if (IsNotifyCode(message, lParam, PSN_RESET) || IsNotifyCode(message, lParam, PSN_APPLY)) {
    unsubclass_icon(event, record);
    return 0;
  }
  if (message == UM_GET_KIND_DATA) {
    if (!lParam) return 1;
    *reinterpret_cast<const void**>(lParam) = kind_data;
    return 0;
  }
  return 0;
}
