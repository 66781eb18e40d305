// The default handlers of the control kinds the pages use so far (radio
// groups, check boxes, push buttons with command items, static texts) and
// the command items that end dialogs and open child dialogs.
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

void show_radio(ControlEvent* event, const ControlRecord* record, const RadioGroupData* buttons) {
  SettingSlot* slot = fresh_slot(event, record);
  if (!slot || !buttons) return;
  for (INT i = 0; i < buttons->count; ++i) {
    HWND button = GetDlgItem(event->window, buttons->buttons[i]);
    if (!button) continue;
    SendMessageW(button, BM_SETCHECK, i == slot->choice ? BST_CHECKED : BST_UNCHECKED, 0);
    apply_state(event, button, slot->ddmid);
    if (!listed(event->window, slot->ddmid, i)) EnableWindow(button, FALSE);
  }
}

void show_check(ControlEvent* event, const ControlRecord* record) {
  HWND control = GetDlgItem(event->window, record->id);
  SettingSlot* slot = fresh_slot(event, record);
  if (!control || !slot) return;
  SendMessageW(control, BM_SETCHECK, slot->choice == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
  apply_state(event, control, slot->ddmid);
}

}  // namespace

INT RadioGroupHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  const auto* buttons = static_cast<const RadioGroupData*>(kind_data);
  if (wants_display(message, lParam)) {
    show_radio(event, record, buttons);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && buttons) {
    for (INT i = 0; i < buttons->count; ++i)
      if (buttons->buttons[i] == LOWORD(wParam)) {
        if (change_to_choice(event, record, i) != 0) show_radio(event, record, buttons);
        break;
      }
  }
  return 0;
}

INT CheckBoxHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                    const void*) {
  if (wants_display(message, lParam)) {
    show_check(event, record);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    const INT choice = IsDlgButtonChecked(event->window, record->id) == BST_CHECKED ? 1 : 0;
    if (change_to_choice(event, record, choice) != 0) show_check(event, record);
  }
  return 0;
}

INT StaticTextHandler(ControlEvent*, UINT, WPARAM, LPARAM, const ControlRecord*, const void*) { return 0; }

INT CommandButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                         const ControlRecord* record, const void* kind_data) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  return RunCommandItem(event, message, wParam, lParam, record, static_cast<const CommandItem*>(kind_data));
}

namespace {

DialogEventFrame dialog_frame(ControlEvent* event) {
  DialogEventFrame frame{event, nullptr, 0, event->type};
  if (const ControlSet* set = GetDialogControlSet(event->window, event->kind)) {
    frame.records = set->records;
    frame.count = set->count;
  }
  return frame;
}

INT open_child_dialog(ControlEvent* event, const ChildDialogCommand* command) {
  SheetContext* opener = GetSheetContext(event->window);
  if (!opener || !command || !command->templates) return 0;
  const ChildDialogTemplate& t = command->templates[0];
  SheetSnapshot start = opener->current;
  start.devmode = event->devmode;
  start.printer_data = event->printer_data;
  SheetContext* child = CreateSheetContext(event->window, opener->state, &start, nullptr);
  if (!child) return 0;
  if (t.title_text_id) opener->state->dialog_title_id = t.title_text_id;
  DialogEventFrame frame = dialog_frame(event);
  NMHDR leave{event->window, 0, PSN_KILLACTIVE};
  if (DeactivateDialog(event->window, 0, reinterpret_cast<LPARAM>(&leave), &frame)) {
    DestroySheetContext(&child);
    return 0;
  }
  DialogBoxParamW(GetResourceModule(), MAKEINTRESOURCEW(t.resource & 0xFFFF), event->window, t.proc,
                  reinterpret_cast<LPARAM>(child));
  opener->state->commit_flag = FALSE;
  const bool copied = CopySnapshot(&opener->current, &child->current) != 0;
  if (copied && child->applied.devmode) CopySnapshot(&opener->applied, &child->applied);
  DestroySheetContext(&child);
  if (copied) {
    event->devmode = opener->current.devmode;
    event->printer_data = opener->current.printer_data;
    NMHDR again{event->window, 0, PSN_SETACTIVE};
    ActivateDialog(event->window, 0, reinterpret_cast<LPARAM>(&again), &frame);
    if (event->type == kDialogTypePage)
      SendMessageW(GetParent(event->window), PSM_CHANGED, reinterpret_cast<WPARAM>(event->window), 0);
  }
  return 0;
}

}  // namespace

INT RunCommandItem(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord*,
                   const CommandItem* item) {
  if (!item) return 1;
  event->command = item->type;
  DialogEventFrame frame = dialog_frame(event);
  switch (item->type) {
    case kCommandOk: {
      if (DispatchToControls(event, UM_VALIDATE_CONTROLS, wParam, 0, frame.records, frame.count, 0)) {
        event->refresh = 0;
        RefreshPageControls(event, event->changed);
        break;
      }
      NMHDR leave{event->window, 0, PSN_KILLACTIVE};
      DispatchToControls(event, WM_NOTIFY, wParam, reinterpret_cast<LPARAM>(&leave), frame.records, frame.count, 0);
      PSHNOTIFY apply{{event->window, 0, PSN_APPLY}, TRUE};
      CommitSheet(event, event->window, WM_NOTIFY, wParam, &apply, frame.records, frame.count, kDialogTypeCommit);
      EndDialog(event->window, 1);
      break;
    }
    case kCommandCancel: {
      DispatchToControls(event, UM_RESTORE_CONTROLS, wParam, 0, frame.records, frame.count, 0);
      NMHDR reset{event->window, 0, PSN_RESET};
      ResetSheet(event, event->window, WM_NOTIFY, wParam, &reset, frame.records, frame.count, kDialogTypeCommit);
      EndDialog(event->window, 2);
      break;
    }
    case kCommandChildDialog: open_child_dialog(event, static_cast<const ChildDialogCommand*>(item->data)); break;
    default:
      // Restoring defaults, help and the file commands come with the
      // dialogs that use them.
      break;
  }
  (void)message;
  event->command = 0;
  return 0;
}
