// Drop-down lists and list boxes over settings: the choices of one setting
// (with the conflict icons of choices in conflict), or one row per setting
// of the record with its current value. The user's selection, keys and
// double-clicks become setting changes; the list refills itself after every
// change in the dialog.
#include <string>

#include "control_handlers.h"
#include "fax/key_list.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_check.h"
#include "settings/constraints/conflict_report.h"
#include "settings/items/item_info.h"
#include "value_controls.h"
#include "win/controls.h"
#include "win/gdi.h"
#include "win/memory.h"
#include "win/resources.h"

namespace {

constexpr INT kListBox = 0;
constexpr INT kDropDown = 1;
constexpr INT kIconList = 2;
constexpr INT kRowChars = 128;

// The messages of each variant, list box first.
struct Variant {
  UINT add, insert, remove, reset, select, select_text, current, text, text_length, set_data, get_data, count;
  LONG sorted_style;
  UINT selection_code, focus_loss_code;
};
constexpr Variant kVariants[2] = {
    {LB_ADDSTRING, LB_INSERTSTRING, LB_DELETESTRING, LB_RESETCONTENT, LB_SETCURSEL, LB_SELECTSTRING, LB_GETCURSEL,
     LB_GETTEXT, LB_GETTEXTLEN, LB_SETITEMDATA, LB_GETITEMDATA, LB_GETCOUNT, LBS_SORT, LBN_SELCHANGE, LBN_KILLFOCUS},
    {CB_ADDSTRING, CB_INSERTSTRING, CB_DELETESTRING, CB_RESETCONTENT, CB_SETCURSEL, CB_SELECTSTRING, CB_GETCURSEL,
     CB_GETLBTEXT, CB_GETLBTEXTLEN, CB_SETITEMDATA, CB_GETITEMDATA, CB_GETCOUNT, CBS_SORT, CBN_SELENDOK,
     CBN_KILLFOCUS},
};

constexpr ListControlData kPlainList{kListChoices, 0, 0, 0, nullptr, nullptr, nullptr, nullptr};

bool changed_now(const ControlEvent* event, WORD ddmid) {
  for (const WORD* p = event->changed; p && *p; ++p)
    if (*p == ddmid) return true;
  return false;
}

DWORD window_key(HWND window) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window)); }

// ---- the icons of the rows, loaded per dialog ----

KeyList* icon_list(HWND window) {
  SheetContext* context = GetSheetContext(window);
  return context ? context->lists[kIconList] : nullptr;
}

void load_icons(HWND window) {
  KeyList* list = icon_list(window);
  if (!list) return;
  for (UINT id : {kIconWarning, kIconNote, kIconOff, kIconOn}) {
    if (KeyList_FindData(list, id, window_key(window))) continue;
    HICON icon = LoadIconW(GetResourceModule(), MAKEINTRESOURCEW(id));
    if (icon && !KeyList_Push(list, id, window_key(window), icon)) DestroyIcon(icon);
  }
}

void free_icons(HWND window) {
  KeyList* list = icon_list(window);
  if (!list) return;
  for (UINT id : {kIconWarning, kIconNote, kIconOff, kIconOn})
    if (auto icon = static_cast<HICON>(KeyList_FindData(list, id, window_key(window)))) {
      KeyList_Remove(list, id, window_key(window));
      DestroyIcon(icon);
    }
}

HICON row_icon(HWND window, UINT id) {
  return static_cast<HICON>(KeyList_FindData(icon_list(window), id, window_key(window)));
}

// ---- what the rows show ----

// A choice's text up to its last carriage return.
std::u16string choice_text(const ItemInfo* info, LONG choice) {
  LPCWSTR text = ItemInfo_GetChoiceText(info, choice);
  std::u16string s = text ? text : u"";
  const size_t cut = s.rfind(u'\r');
  if (cut != std::u16string::npos) s.resize(cut);
  return s;
}

INT choice_kind(HWND window, WORD ddmid, LONG choice) {
  const ConflictReport* report = GetChoiceReport(window, ddmid, static_cast<INT>(choice));
  return report ? report->kind : 0;
}

bool unlisted(INT kind) { return kind == 1 || kind == 6; }

LONG choice_number(const ItemInfo* info, LONG choice) {
  return GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, choice));
}

// The item data of a choice's row: its conflict icon, its on/off icon or
// its colour; false when it has none.
bool item_data(HWND window, const ListControlData* data, const ItemInfo* info, LONG choice, LPARAM* out) {
  if (data->flags & kListConflictIcons) {
    const INT kind = choice_kind(window, info->ddmid, choice);
    const UINT id = kind == 2 || (kind >= 10 && kind <= 13) ? kIconWarning : kind == 3 || kind == 5 ? kIconNote : 0;
    if (!id) return false;
    *out = reinterpret_cast<LPARAM>(row_icon(window, id));
    return *out != 0;
  }
  if (data->flags & kListOnOff) {
    *out = reinterpret_cast<LPARAM>(row_icon(window, choice_number(info, choice) ? kIconOn : kIconOff));
    return *out != 0;
  }
  if (data->flags & kListSwatches) {
    *out = choice_number(info, choice);
    return true;
  }
  return false;
}

std::u16string row_text(HWND list, const Variant& v, LRESULT at) {
  const LRESULT length = SendMessageW(list, v.text_length, static_cast<WPARAM>(at), 0);
  if (length < 0) return {};
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  SendMessageW(list, v.text, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

std::u16string string_resource(UINT id) {
  WCHAR text[kRowChars] = {};
  const INT n = LoadStringW(GetResourceModule(), id, text, kRowChars);
  return n > 0 ? std::u16string(text, static_cast<size_t>(n)) : std::u16string();
}

// The text of a settings list's row for setting slot `i`.
std::u16string setting_row(ControlEvent* event, const ListControlData* data, const SettingSlot& slot,
                           const ItemInfo* info) {
  std::u16string name = info->name ? info->name : u"";
  std::u16string value;
  if (GetSettingAvailability(event->window, slot.ddmid) == 15)
    value = string_resource(5157);
  else if (info->kind == kItemKindText)
    value = ItemText(slot.value, slot.size);
  else if (slot.choice >= 0)
    value = choice_text(info, slot.choice);
  const bool both = (data->row_format & kRowName) && (data->row_format & kRowValue);
  if (both) return name + u"\t" + value;
  return ((data->row_format & kRowName) ? name : u"") + ((data->row_format & kRowValue) ? value : u"");
}

// The list state of a drop-down list: read-only settings disable it.
void apply_list_state(ControlEvent* event, HWND list, INT variant, INT kind) {
  if (variant == kDropDown && kind == 14) {
    ShowWindow(list, SW_SHOW);
    EnableWindow(list, FALSE);
    return;
  }
  ApplyGenericState(event, list, kind);
}

// ---- filling ----

INT fill_choices(ControlEvent* event, const ControlRecord* record, const ListControlData* data, INT variant,
                 HWND list, bool full) {
  const Variant& v = kVariants[variant];
  SettingSlot* slot = GetCurrentSlot(event->window, record);
  const ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  if (!info) {
    EnableWindow(list, FALSE);
    return 0;
  }
  INT kind = 0;
  if (event->permission) {
    kind = GetSettingAvailability(event->window, slot->ddmid);
    apply_list_state(event, list, variant, kind);
  } else {
    ApplyReadOnlyState(record, list);
  }
  if (slot->choice < 0 && !(data->flags & kListEditable)) return 0;
  const bool sorted = (GetWindowLongW(list, GWL_STYLE) & v.sorted_style) != 0;
  LRESULT position = 0, current = -1;
  std::u16string current_text;
  for (LONG c = 0; c < info->count; ++c) {
    if (unlisted(choice_kind(event->window, slot->ddmid, c))) continue;
    const std::u16string text = choice_text(info, c);
    LRESULT at = position;
    if (full && !((data->flags & kListConflictIcons) && unlisted(kind))) {
      at = SendMessageW(list, v.add, 0, reinterpret_cast<LPARAM>(text.c_str()));
      if (at < 0) return 0;
      LPARAM value = 0;
      if (item_data(event->window, data, info, c, &value)) SendMessageW(list, v.set_data, static_cast<WPARAM>(at), value);
    }
    if (c == slot->choice) {
      current = at;
      current_text = text;
    }
    ++position;
  }
  if (variant == kListBox && unlisted(kind)) {
    SendMessageW(list, v.select, static_cast<WPARAM>(-1), 0);
  } else if (current >= 0) {
    if (sorted)
      SendMessageW(list, v.select_text, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(current_text.c_str()));
    else
      SendMessageW(list, v.select, static_cast<WPARAM>(current), 0);
  }
  return 1;
}

INT fill_settings(ControlEvent* event, const ControlRecord* record, const ListControlData* data, INT variant,
                  HWND list, bool clear, LRESULT top) {
  const Variant& v = kVariants[variant];
  ControlState* state = FindControlState(event->window, record);
  if (!state) return 0;
  const bool keep_rows = (data->flags & kListReplaceChangedRows) && !clear;
  const SettingSlot* current_slot = GetCurrentSlot(event->window, record);
  LRESULT row = 0, selected = -1;
  for (INT i = 0; i < record->setting_count; ++i) {
    const SettingSlot& slot = state->slots[i];
    const ItemInfo* info = GetItemInfo(event->window, slot.ddmid);
    if (!info || unlisted(GetSettingAvailability(event->window, slot.ddmid))) continue;
    const bool is_current = &slot == current_slot;
    if (is_current) selected = row;
    if (keep_rows && !is_current && !changed_now(event, slot.ddmid) &&
        row < SendMessageW(list, v.count, 0, 0)) {
      ++row;
      continue;
    }
    if (keep_rows) SendMessageW(list, v.remove, static_cast<WPARAM>(row), 0);
    const std::u16string text = setting_row(event, data, slot, info);
    const LRESULT at = SendMessageW(list, v.insert, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.c_str()));
    if (at < 0) return 0;
    LPARAM value = 0;
    if (info->kind != kItemKindText && slot.choice >= 0 && item_data(event->window, data, info, slot.choice, &value))
      SendMessageW(list, v.set_data, static_cast<WPARAM>(at), value);
    ++row;
  }
  if (variant == kListBox && (data->row_format & kRowName) && (data->row_format & kRowValue)) {
    INT stop = data->tab_stop;
    SendMessageW(list, LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&stop));
  }
  if (row == 0) {
    const std::u16string none = string_resource(391);
    SendMessageW(list, v.add, 0, reinterpret_cast<LPARAM>(none.c_str()));
    return 1;
  }
  if (variant == kListBox) SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
  SendMessageW(list, v.select, static_cast<WPARAM>(selected), 0);
  return 1;
}

INT fill_list(ControlEvent* event, const ControlRecord* record, const ListControlData* data, INT variant, bool full,
              bool clear) {
  HWND list = GetDlgItem(event->window, record->id);
  if (!list) return 0;
  const Variant& v = kVariants[variant];
  if (!full && !clear && (data->mode == kListSettings || (data->flags & kListConflictIcons))) full = true;
  const LRESULT top = variant == kListBox ? SendMessageW(list, LB_GETTOPINDEX, 0, 0) : 0;
  ReloadControlValues(event, record, 1);
  SelectCurrentChoices(event, record, 1);
  const bool keep_rows = (data->flags & kListReplaceChangedRows) && !clear;
  if ((full || clear) && !keep_rows) SendMessageW(list, v.reset, 0, 0);
  INT result = 0;
  if (data->flags & kListOwnFill)
    result = data->fill ? data->fill(event, record, data, variant) : 0;
  else if (data->mode == kListSettings)
    result = fill_settings(event, record, data, variant, list, clear, top);
  else
    result = fill_choices(event, record, data, variant, list, full || clear);
  if (data->flags & kListEditable) ShowEditValue(event, record, data->edit);
  return result;
}

// ---- changes ----

// Evaluates every choice of the current setting again.
void recheck_choices(ControlEvent* event, const ControlRecord* record) {
  const SettingSlot* slot = ReloadedSlot(event, record);
  const ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  const SheetState* state = GetSheetState(event->window);
  if (!info || !state) return;
  for (LONG c = 0; c < info->count; ++c) {
    ConflictReport* report = GetChoiceReport(event->window, slot->ddmid, static_cast<INT>(c));
    if (!report || CheckSettingChange(kCheckModeAll, state->printer, event->database, event->devmode,
                                      event->printer_data, nullptr, slot->ddmid, info->value_type,
                                      ItemInfo_GetChoiceAt(info, c), report, nullptr, 0))
      return;
  }
}

// The on/off value opposite to the setting's current one.
LONG opposite(const SettingSlot* slot) { return SlotNumber(slot) == 0 ? 1 : 0; }

// The index of the settings-list row's setting, matched by its name.
INT setting_of_row(ControlEvent* event, const ControlRecord* record, const ListControlData* data,
                   const std::u16string& row) {
  std::u16string name = row;
  if ((data->row_format & kRowName) && (data->row_format & kRowValue)) name = name.substr(0, name.find(u'\t'));
  for (INT i = 0; i < record->setting_count; ++i) {
    const ItemInfo* info = GetItemInfo(event->window, RefDdmid(record->settings[i]));
    if (info && info->name && name == info->name) return i;
  }
  return -1;
}

// Stores the choice of the current setting whose text is `text` (with
// on/off lists its opposite value): the change flow's answer, -1 when no
// choice has the text.
INT store_choice_text(ControlEvent* event, const ControlRecord* record, const ListControlData* data,
                      const std::u16string& text) {
  const SettingSlot* slot = GetCurrentSlot(event->window, record);
  const ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  if (!info) return -1;
  for (LONG c = 0; c < info->count; ++c) {
    if (choice_text(info, c) != text) continue;
    if (data->flags & kListOnOff) return StoreNumber(event, record, choice_number(info, c) ? 0 : 1);
    return StoreChoiceValue(event, record, info->value_type, ItemInfo_GetChoiceAt(info, c));
  }
  return -1;
}

void set_current(ControlEvent* event, const ControlRecord* record, INT index) {
  ControlState* state = FindControlState(event->window, record);
  if (state && index >= 0 && index < record->setting_count) state->current = index;
}

// A refused change puts the previous current setting back and shows the
// settings again.
void refill_after(ControlEvent* event, const ControlRecord* record, const ListControlData* data, INT variant,
                  INT result, INT previous) {
  if (result == 1 || result == 3) return;
  set_current(event, record, previous);
  fill_list(event, record, data, variant, true, true);
}

void on_selection(ControlEvent* event, const ControlRecord* record, const ListControlData* data, INT variant) {
  HWND list = GetDlgItem(event->window, record->id);
  const Variant& v = kVariants[variant];
  const LRESULT at = SendMessageW(list, v.current, 0, 0);
  if (at < 0) return;
  const std::u16string text = row_text(list, v, at);
  const INT previous = GetCurrentRefIndex(event->window, record);
  INT result = 3;
  if (data->mode == kListSettings) {
    const INT index = setting_of_row(event, record, data, text);
    if (index < 0) return;
    set_current(event, record, index);
    if (data->flags & kListOnOff)
      result = StoreNumber(event, record, opposite(ReloadedSlot(event, record)));
    else
      SetRefreshRequest(event, 1, nullptr, record);
  } else {
    result = store_choice_text(event, record, data, text);
  }
  refill_after(event, record, data, variant, result, previous);
}

// Double-click: the row's setting steps to its next listed choice.
void on_double_click(ControlEvent* event, const ControlRecord* record, const ListControlData* data, INT variant) {
  if (!(data->flags & kListStepOnDoubleClick)) return;
  HWND list = GetDlgItem(event->window, record->id);
  const Variant& v = kVariants[variant];
  const LRESULT at = SendMessageW(list, v.current, 0, 0);
  if (at < 0) return;
  const INT previous = GetCurrentRefIndex(event->window, record);
  if (data->mode == kListSettings) {
    const INT index = setting_of_row(event, record, data, row_text(list, v, at));
    if (index < 0) return;
    set_current(event, record, index);
  }
  const SettingSlot* slot = ReloadedSlot(event, record);
  const ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  const INT kind = slot ? GetSettingAvailability(event->window, slot->ddmid) : -1;
  if (!info || info->count <= 0 || kind == 14 || kind == 15) return;
  for (LONG step = 1; step <= info->count; ++step) {
    const LONG c = (slot->choice + step + info->count) % info->count;
    if (c == slot->choice) return;
    if (!ItemInfo_GetChoiceText(info, c) || unlisted(choice_kind(event->window, slot->ddmid, c))) continue;
    const INT result = StoreChoiceValue(event, record, info->value_type, ItemInfo_GetChoiceAt(info, c));
    refill_after(event, record, data, variant, result, previous);
    return;
  }
}

// Keys of a list box: -2 handled, -1 the list's own handling.
INT on_key(ControlEvent* event, const ControlRecord* record, const ListControlData* data, WPARAM wParam) {
  const UINT key = LOWORD(wParam);
  if (key < VK_SPACE || key > VK_DOWN) return -1;
  HWND list = GetDlgItem(event->window, record->id);
  const Variant& v = kVariants[kListBox];
  const LRESULT count = SendMessageW(list, v.count, 0, 0);
  const LRESULT current = SendMessageW(list, v.current, 0, 0);
  LRESULT target = current;
  switch (key) {
    case VK_PRIOR:
    case VK_HOME: target = 0; break;
    case VK_NEXT:
    case VK_END: target = count - 1; break;
    case VK_LEFT:
    case VK_UP: target = current - 1; break;
    case VK_RIGHT:
    case VK_DOWN: target = current + 1; break;
    default: break;
  }
  if (target < 0 || target >= count) return -2;
  const std::u16string text = row_text(list, v, target);
  const INT previous = GetCurrentRefIndex(event->window, record);
  INT result = 3;
  if (data->mode == kListSettings) {
    const INT index = setting_of_row(event, record, data, text);
    if (index < 0) return -2;
    set_current(event, record, index);
    if (key == VK_SPACE && (data->flags & kListOnOff)) {
      result = StoreNumber(event, record, opposite(ReloadedSlot(event, record)));
    } else {
      SendMessageW(list, v.select, static_cast<WPARAM>(target), 0);
      SetRefreshRequest(event, 1, nullptr, record);
      return -2;
    }
  } else {
    result = store_choice_text(event, record, data, text);
  }
  if (result == 1) SendMessageW(list, v.select, static_cast<WPARAM>(target), 0);
  refill_after(event, record, data, kListBox, result, previous);
  return -2;
}

// Checks the text of an editable drop-down list as a number, judging the
// setting as a value item. The sheet's shared item stays as it is: other
// dialogs of the sheet may read it while the range message is shown.
INT validate_editable(ControlEvent* event, const ControlRecord* record, const ListControlData* data, UINT message,
                      DWORD mask_bit) {
  if (!(data->flags & kListEditable) || !data->edit || event->command == kCommandCancel) return 0;
  if (!(data->edit->validate_mask & mask_bit)) return 0;
  const SettingSlot* slot = ReloadedSlot(event, record);
  const ItemInfo* shared = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  if (!shared) return 0;
  ItemInfo as_value = *shared;
  if (as_value.kind != kItemKindUnusable) as_value.kind = kItemKindText;
  return ValidateEditAsItem(event, record, data->edit, message, mask_bit, &as_value) == 2 ? 1 : 0;
}

INT list_handler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                 const ListControlData* data, INT variant) {
  if (!data) data = &kPlainList;
  const Variant& v = kVariants[variant];
  INT result = 0;
  if (message == WM_NOTIFY && lParam) {
    const UINT code = reinterpret_cast<const NMHDR*>(lParam)->code;
    if (code == PSN_SETACTIVE) {
      load_icons(event->window);
      if (static_cast<INT>(wParam) != -201) fill_list(event, record, data, variant, true, false);
    } else if (code == PSN_KILLACTIVE || code == PSN_RESET) {
      result = validate_editable(event, record, data, message, kValidateOnKillActive);
      free_icons(event->window);
    } else if (code == PSN_APPLY) {
      free_icons(event->window);
    }
  } else if (message == WM_COMMAND) {
    const UINT code = HIWORD(wParam);
    if (code == v.selection_code)
      on_selection(event, record, data, variant);
    else if (code == v.focus_loss_code) {
      // What was typed into an editable list is checked before the list
      // shows its setting again, so that leaving the field keeps it.
      validate_editable(event, record, data, message, kValidateOnKillFocus);
      fill_list(event, record, data, variant, false, false);
    }
    else if (variant == kDropDown && code == CBN_DROPDOWN) {
      recheck_choices(event, record);
      fill_list(event, record, data, variant, false, false);
    } else if (code == LBN_DBLCLK)
      on_double_click(event, record, data, variant);
    return 0;
  } else if (message == WM_DRAWITEM) {
    auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    if ((data->flags & kListOwnDraw) && data->draw) return data->draw(event, item, record, data, variant);
    return DrawListItem(event, item, record, data, variant, nullptr);
  } else if (message == WM_VKEYTOITEM) {
    return variant == kListBox ? on_key(event, record, data, wParam) : -1;
  } else if (message == UM_REFRESH_CONTROLS) {
    if (!event->refresh_record) return 0;
    if (variant == kListBox) recheck_choices(event, record);
    // A list of settings shows the values in its rows: it is filled again
    // after its own changes too.
    const bool own = event->refresh_record == record && data->mode != kListSettings;
    if (!own && !(variant == kListBox && (data->flags & kListKeepOnRefresh)))
      fill_list(event, record, data, variant, true, false);
    return 1;
  } else if (message == UM_VALIDATE_CONTROLS) {
    return validate_editable(event, record, data, message, kValidateOnCommand);
  } else if (message == UM_RESTORE_CONTROLS) {
    return fill_list(event, record, data, variant, false, false);
  } else if (message == WM_DESTROY) {
    free_icons(event->window);
  }
  if (variant == kDropDown && (message == WM_INITDIALOG || message == WM_NOTIFY))
    SendDlgItemMessageW(event->window, record->id, CB_SETMINVISIBLE, record->id == 1018 ? 14 : 10, 0);
  return result;
}

}  // namespace

INT DropDownListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void* kind_data) {
  return list_handler(event, message, wParam, lParam, record, static_cast<const ListControlData*>(kind_data),
                      kDropDown);
}

INT ListBoxHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                   const void* kind_data) {
  return list_handler(event, message, wParam, lParam, record, static_cast<const ListControlData*>(kind_data),
                      kListBox);
}

INT DrawListItem(ControlEvent* event, DRAWITEMSTRUCT* item, const ControlRecord* record, const ListControlData* data,
                 INT variant, ListRowDrawer drawer) {
  if (!item || !data || static_cast<INT>(item->itemID) < 0 ||
      !(item->itemAction & (ODA_DRAWENTIRE | ODA_SELECT)))
    return 0;
  HWND list = item->hwndItem;
  const Variant& v = kVariants[variant];
  const LPARAM item_value = SendMessageW(list, v.get_data, item->itemID, 0);
  std::u16string text = row_text(list, v, item->itemID);
  if (text.size() > kRowChars - 1) text.resize(kRowChars - 1);
  HDC dc = item->hDC;
  INT back = COLOR_WINDOW, fore = COLOR_WINDOWTEXT;
  if (item->itemState & ODS_DISABLED) {
    back = variant == kListBox ? COLOR_WINDOW : COLOR_BTNFACE;
    fore = COLOR_GRAYTEXT;
  } else if (item->itemState & ODS_SELECTED) {
    back = COLOR_HIGHLIGHT;
    fore = COLOR_HIGHLIGHTTEXT;
  }
  const COLORREF old_text = SetTextColor(dc, GetSysColor(fore));
  const COLORREF old_back = SetBkColor(dc, GetSysColor(back));
  FillRect(dc, &item->rcItem, GetSysColorBrush(back));
  const RECT& r = item->rcItem;
  SIZE extent{};
  GetTextExtentPoint32W(dc, u"X", 1, &extent);
  auto scale_x = [&](INT n) { return MulDiv(n, GetDeviceCaps(dc, LOGPIXELSX), 96); };
  auto scale_y = [&](INT n) { return MulDiv(n, GetDeviceCaps(dc, LOGPIXELSY), 96); };
  if ((data->flags & kListConflictIcons) && item_value) {
    DrawIconEx(dc, r.left, r.top + ((data->flags & kListChoiceIcons) ? scale_y(6) : 0),
               reinterpret_cast<HICON>(item_value), 0, 0, 0, nullptr, DI_NORMAL);
  } else if ((data->flags & kListOnOff) && item_value) {
    DrawIconEx(dc, r.left, r.top, reinterpret_cast<HICON>(item_value), 0, 0, 0, nullptr, DI_NORMAL);
  } else if (data->flags & kListSwatches) {
    const INT side = extent.cy;
    const INT top = (r.top + r.bottom - side) / 2;
    HBRUSH fill = CreateSolidBrush(static_cast<COLORREF>(item_value));
    HPEN frame = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ old_brush = SelectObject(dc, fill);
    HGDIOBJ old_pen = SelectObject(dc, frame);
    Rectangle(dc, r.left + scale_x(2), top, r.left + scale_x(2) + side, top + side);
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(fill);
    DeleteObject(frame);
  }
  if ((data->flags & kListChoiceIcons) && data->icon) {
    const SettingSlot* slot = GetCurrentSlot(event->window, record);
    const ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
    for (LONG c = 0; info && c < info->count; ++c) {
      if (choice_text(info, c) != text) continue;
      const UINT id = data->icon(record->id, ItemInfo_GetChoice(info, c), event->devmode, event->printer_data);
      if (HICON icon = id ? LoadIconW(GetResourceModule(), MAKEINTRESOURCEW(id)) : nullptr) {
        const INT x = r.left + ((data->flags & kListConflictIcons) ? scale_x(16) : 0);
        DrawIconEx(dc, x, r.top + scale_y(1), icon, 0, 0, 0, nullptr, DI_NORMAL);
        DestroyIcon(icon);
      }
      break;
    }
  }
  INT x = (data->flags & (kListOnOff | kListConflictIcons | kListSwatches)) ? 20 : 4;
  if (data->flags & kListChoiceIcons) x += 27;
  x = r.left + scale_x(x);
  const INT y = (r.top + r.bottom - extent.cy) / 2;
  if (drawer) {
    drawer(event, record, item, variant, x, y);
  } else {
    // The value column of a two-column row starts at the list's tab stop.
    const size_t tab = text.find(u'\t');
    const std::u16string first = text.substr(0, tab);
    TextOutW(dc, x, y, first.c_str(), static_cast<INT>(first.size()));
    if (tab != std::u16string::npos) {
      RECT stop{0, 0, data->tab_stop, 0};
      MapDialogRect(GetParent(list), &stop);
      const std::u16string second = text.substr(tab + 1);
      TextOutW(dc, x + stop.right, y, second.c_str(), static_cast<INT>(second.size()));
    }
  }
  SetTextColor(dc, old_text);
  SetBkColor(dc, old_back);
  return 1;
}
