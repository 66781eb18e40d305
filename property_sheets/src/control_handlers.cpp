// The default handler of drop-down lists. (Buttons, check boxes, radio
// groups, statics and the command items live in button_controls.cpp and
// command_items.cpp.)
#include "control_handlers.h"

#include "property_sheets/sheet_engine.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_report.h"
#include "settings/items/item_info.h"
#include "win/controls.h"
#include "win/memory.h"

namespace {

bool is_notify(UINT message, LPARAM lParam, UINT code) {
  return message == WM_NOTIFY && lParam && reinterpret_cast<const NMHDR*>(lParam)->code == code;
}

// Messages after which a control shows its setting again.
bool wants_display(UINT message, LPARAM lParam) {
  return is_notify(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS ||
         message == UM_RESTORE_CONTROLS;
}

bool listed(HWND window, WORD ddmid, INT choice) {
  const ConflictReport* report = GetChoiceReport(window, ddmid, choice);
  return !report || (report->kind != 1 && report->kind != 6);
}

// Shows, hides, enables or disables a control by its setting's state.
void apply_state(ControlEvent* event, HWND control, WORD ddmid) {
  if (!control) return;
  const INT kind = GetSettingAvailability(event->window, ddmid);
  ShowWindow(control, kind == 6 ? SW_HIDE : SW_SHOW);
  EnableWindow(control, event->permission && kind != 1 && kind != 6 && kind != 15);
}

// The slot of the record with its values read again from the settings.
SettingSlot* fresh_slot(ControlEvent* event, const ControlRecord* record) {
  ReloadControlValues(event, record, 1);
  SelectCurrentChoices(event, record, 1);
  return GetCurrentSlot(event->window, record);
}

// Runs the change of the record's setting to choice `choice`.
INT change_to_choice(ControlEvent* event, const ControlRecord* record, INT choice) {
  SettingSlot* slot = GetCurrentSlot(event->window, record);
  ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  const void* value = info ? ItemInfo_GetChoiceAt(info, choice) : nullptr;
  if (!value) return -1;
  WORD* changed = nullptr;
  const INT result = OnControlValueChanged(event, record, slot, info->value_type, value, &changed);
  if (result == 1) {
    SetRefreshRequest(event, 1, changed, record);
    return 0;
  }
  SafeGlobalFree(changed);
  return result;
}

void show_list(ControlEvent* event, const ControlRecord* record) {
  HWND control = GetDlgItem(event->window, record->id);
  SettingSlot* slot = fresh_slot(event, record);
  ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  if (!control || !info) return;
  SendMessageW(control, CB_RESETCONTENT, 0, 0);
  for (LONG c = 0; c < info->count; ++c) {
    if (!listed(event->window, slot->ddmid, static_cast<INT>(c))) continue;
    const LRESULT at = SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ItemInfo_GetChoiceText(info, c)));
    if (at < 0) continue;
    SendMessageW(control, CB_SETITEMDATA, static_cast<WPARAM>(at), c);
    if (c == slot->choice) SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  }
  apply_state(event, control, slot->ddmid);
}

}  // namespace

INT DropDownListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void*) {
  if (wants_display(message, lParam)) {
    show_list(event, record);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELCHANGE) {
    HWND control = GetDlgItem(event->window, record->id);
    const LRESULT at = SendMessageW(control, CB_GETCURSEL, 0, 0);
    const INT choice = at < 0 ? -1 : static_cast<INT>(SendMessageW(control, CB_GETITEMDATA, static_cast<WPARAM>(at), 0));
    const INT result = choice < 0 ? -1 : change_to_choice(event, record, choice);
    if (result != 0) show_list(event, record);
    return 0;
  }
  return 0;
}
