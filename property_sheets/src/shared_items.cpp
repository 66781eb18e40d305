// Item handlers many pages share (unit labels, the millimetre/inch radio
// pair, the per-user defaults button, controls shown in pairs, rebuilding
// a cached choice list) and the label texts with access keys.
#include <cstring>
#include <cwctype>

#include "control_handlers.h"
#include "fax/key_list.h"
#include "property_sheets/dialog_helpers.h"
#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_fonts.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_messages.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_access.h"
#include "settings/items/item_info.h"
#include "settings/items/setting_items.h"
#include "settings/stores/user_setting_info.h"
#include "win/memory.h"
#include "win/resources.h"

namespace {

constexpr INT kCopiedTextChars = 253;
constexpr INT kShortText = 16;
constexpr UINT kAccessKeyMarker = 5188;
constexpr UINT kUnitMillimetres = 460;
constexpr UINT kUnitInches = 461;

bool wants_display(UINT message, LPARAM lParam) {
  return (message == WM_NOTIFY && lParam && reinterpret_cast<const NMHDR*>(lParam)->code == PSN_SETACTIVE) ||
         message == UM_REFRESH_CONTROLS;
}

INT chain(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
          const void* kind_data) {
  return event->default_handler ? event->default_handler(event, message, wParam, lParam, record, kind_data) : 0;
}

// A short resource text (at most 16 characters), empty for kNone.
void load_short(HMODULE module, INT id, WCHAR (&out)[kShortText + 1]) {
  out[0] = 0;
  if (id != kNone && id > 0) LoadStringW(module, static_cast<UINT>(id), out, kShortText + 1);
}

constexpr UINT kRangeTemplate = 730;
constexpr UINT kRangeUnitMillimetres = 2012;
constexpr UINT kRangeUnitInches = 2013;
constexpr UINT kLabelSuffix = 466;

// Decimals shown for a length in the unit (1 inch, else millimetres); -1
// for a setting that is no length.
INT display_decimals(WORD ddmid, WORD unit) {
  const INT u = unit == 1 ? 1 : 0;
  if (ddmid == 460 || ddmid == 461 || ddmid == 470 || (ddmid >= 1825 && ddmid <= 1828) || ddmid == 1863 ||
      ddmid == 1864 || IsUserPaperId(ddmid))
    return u + 1;
  if (ddmid == 268 || ddmid == 269 || ddmid == 324) return u;
  return -1;
}

bool number_text(INT decimals, LONG value, LPWSTR* out) {
  if (decimals > 0) return FormatFixedPoint(out, decimals, TRUE, 0x40, value) != 0;
  const std::u16string digits = [&] {
    std::string a = std::to_string(value);
    return std::u16string(a.begin(), a.end());
  }();
  *out = static_cast<LPWSTR>(GlobalAlloc(GPTR, 24 * sizeof(WCHAR)));
  return *out && AppendTextBounded(*out, digits.c_str(), 24);
}

// The number range of the record's current setting: choices 0 and 1 of a
// value without a choice list.
bool value_range(ControlEvent* event, const ControlRecord* record, LONG* low, LONG* high, WORD* type) {
  const SettingSlot* slot = GetCurrentSlot(event->window, record);
  ItemInfo* info = slot ? GetItemInfo(event->window, slot->ddmid) : nullptr;
  if (!info || info->kind != kItemKindNumber || info->count < 2) return false;
  *type = info->value_type;
  *low = GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, 0));
  *high = GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, 1));
  return true;
}

}  // namespace

// ---- range labels -------------------------------------------------------------------

INT FormatRangeText(HWND dialog, INT, WORD ddmid, LONG upper, LONG lower, WORD unit, LPWSTR out) {
  HMODULE module = GetResourceModule();
  if (!module || !out) return 0;
  if (unit == 1) {
    upper = ClampAdjustmentStep(upper, ddmid);
    lower = ClampAdjustmentStep(lower, ddmid);
    ConflictMessageOptions options{};
    if (ddmid >= 5889 && ddmid <= 5928 && GetConflictMessageOptions(GetSheetState(dialog), &options) &&
        options.tenths) {
      upper = (upper + 5) / 10 * 10;
      lower = (lower + 5) / 10 * 10;
    }
  }
  const INT decimals = display_decimals(ddmid, unit);
  LPWSTR low = nullptr, high = nullptr, text = nullptr;
  WCHAR unit_name[33] = {};
  LoadStringW(module, unit == 1 ? kRangeUnitInches : kRangeUnitMillimetres, unit_name, 33);
  INT made = number_text(decimals > 0 ? decimals : 0, lower, &low) && number_text(decimals > 0 ? decimals : 0, upper, &high) &&
             FormatResourceStringV(&text, kLabelTextChars, kRangeTemplate, low, high, unit_name);
  if (made) {
    out[0] = 0;
    AppendTextBounded(out, text, kLabelTextChars);
  }
  SafeGlobalFree(low);
  SafeGlobalFree(high);
  SafeGlobalFree(text);
  return made;
}

INT RangeLabelHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  const SheetState* state = GetSheetState(event->window);
  LONG low = 0, high = 0;
  WORD type = 0;
  if (wants_display(message, lParam) && state && value_range(event, record, &low, &high, &type)) {
    const SettingSlot* slot = GetCurrentSlot(event->window, record);
    LONG shown_low = low, shown_high = high;
    ConvertSettingUnits(2, slot->ddmid, type, &low, &shown_low);
    ConvertSettingUnits(2, slot->ddmid, type, &high, &shown_high);
    WCHAR range[kLabelTextChars], label[kLabelTextChars];
    if (FormatRangeText(event->window, record->id, slot->ddmid, shown_high, shown_low, state->current_measurement,
                        range) &&
        BuildItemLabel(event->window, label, slot->ddmid, record->access_key_id, static_cast<INT>(kLabelSuffix), range))
      SetDlgItemTextW(event->window, record->id, label);
  }
  return chain(event, message, wParam, lParam, record, kind_data);
}

// ---- label texts -------------------------------------------------------------------

INT BuildLabelText(HMODULE module, LPWSTR out, LPCWSTR text, INT access_key_id, INT suffix_id, LPCWSTR inserted) {
  if (!module || !out || !text) return 0;
  // The text with each "&" doubled, never more than 253 characters and
  // never half a doubled pair.
  WCHAR copy[kCopiedTextChars + 2] = {};
  INT length = 0;
  for (LPCWSTR p = text; *p; ++p) {
    const INT need = *p == u'&' ? 2 : 1;
    if (length + need > kCopiedTextChars) break;
    copy[length++] = *p;
    if (*p == u'&') copy[length++] = u'&';
  }
  copy[length] = 0;
  WCHAR access[kShortText + 1], suffix[kShortText + 1], marker[kShortText + 1];
  load_short(module, access_key_id, access);
  load_short(module, suffix_id, suffix);
  load_short(module, static_cast<INT>(kAccessKeyMarker), marker);
  bool inserted_key = false;
  if (marker[0] && access[0]) {
    const std::u16string_view access_view(access);
    const size_t at = access_view.find(marker);
    const size_t key_at = at == std::u16string_view::npos ? at : at + std::char_traits<char16_t>::length(marker);
    if (key_at < access_view.size() && access_view[key_at] != u'&') {
      const auto key = static_cast<wint_t>(std::towlower(static_cast<wint_t>(access_view[key_at])));
      for (INT i = 0; i < length; ++i) {
        if (static_cast<wint_t>(std::towlower(static_cast<wint_t>(copy[i]))) != key) continue;
        std::memmove(copy + i + 1, copy + i, static_cast<size_t>(length - i + 1) * sizeof(WCHAR));
        copy[i] = u'&';
        inserted_key = true;
        break;
      }
    }
  }
  out[0] = 0;
  AppendTextBounded(out, copy, kLabelTextChars);
  if (inserted) AppendTextBounded(out, inserted, kLabelTextChars);
  if (!inserted_key) AppendTextBounded(out, access, kLabelTextChars);
  AppendTextBounded(out, suffix, kLabelTextChars);
  return 1;
}

INT BuildLabelTextFromString(HMODULE module, LPWSTR out, INT text_id, INT access_key_id, INT suffix_id,
                             LPCWSTR inserted) {
  if (!module || !out || text_id <= 0) return 0;
  WCHAR text[129] = {};
  if (LoadStringW(module, static_cast<UINT>(text_id), text, 129) <= 0) return 0;
  return BuildLabelText(module, out, text, access_key_id, suffix_id, inserted);
}

INT BuildItemLabel(HWND dialog, LPWSTR out, WORD ddmid, INT access_key_id, INT suffix_id, LPCWSTR inserted) {
  const SheetState* state = GetSheetState(dialog);
  if (!state || !state->database || !out) return 0;
  WCHAR* name = nullptr;
  if (DddGetItemString(&state->database->main, &state->database->linked, ddmid, nullptr, &name) != 0 || !name) {
    if (name) GlobalFree(name);
    return 0;
  }
  const INT made = BuildLabelText(GetResourceModule(), out, name, access_key_id, suffix_id, inserted);
  GlobalFree(name);
  return made;
}

// ---- units ----------------------------------------------------------------------------

INT SetUnitLabels(HWND dialog, WORD unit, const INT* ids) {
  if (!dialog || !ids) return 0;
  WCHAR text[33] = {};
  if (LoadStringW(GetResourceModule(), unit == 1 ? kUnitInches : kUnitMillimetres, text, 33) <= 0) return 0;
  for (const INT* id = ids; *id; ++id)
    if (HWND control = GetDlgItem(dialog, *id)) SetWindowTextW(control, text);
  return 1;
}

INT UnitLabelHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void* kind_data) {
  if (wants_display(message, lParam)) {
    const SheetState* state = GetSheetState(event->window);
    const INT ids[] = {record->id, 0};
    if (state) SetUnitLabels(event->window, state->current_measurement, ids);
  }
  return chain(event, message, wParam, lParam, record, kind_data);
}

INT UnitRadioHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void* kind_data) {
  const INT result = chain(event, message, wParam, lParam, record, kind_data);
  const auto* pair = static_cast<const RadioGroupData*>(kind_data);
  SheetState* state = GetSheetState(event->window);
  if (!pair || pair->count < 2 || !state) return result;
  const INT millimetres = pair->buttons[0], inches = pair->buttons[1];
  const INT first = millimetres < inches ? millimetres : inches;
  const INT last = millimetres < inches ? inches : millimetres;
  if (wants_display(message, lParam)) {
    CheckRadioButton(event->window, first, last, state->current_measurement ? inches : millimetres);
  } else if (message == WM_COMMAND) {
    state->current_measurement = LOWORD(wParam) == inches ? 1 : 0;
    SetRefreshRequest(event, 1, nullptr, nullptr);
  }
  return result;
}

INT DefaultsButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                          const ControlRecord* record, const void* kind_data) {
  const SheetState* state = GetSheetState(event->window);
  if (message != WM_COMMAND || !state || state->can_edit)
    return CommandButtonHandler(event, message, wParam, lParam, record, kind_data);
  if (HWND button = GetDlgItem(event->window, record->id)) SetFocus(button);
  const ControlRecord* records = GetDialogControls(event->window, event->kind);
  const INT count = GetDialogControlCount(event->window, event->kind);
  INT result = 0;
  for (INT r = 0; result == 0 && records && r < count; ++r)
    for (INT i = 0; i < records[r].setting_count; ++i) {
      const WORD ddmid = RefDdmid(records[r].settings[i]);
      if (!IsUserSettingItem(ddmid)) continue;
      if (!ResetItemToDefault(event->database, event->devmode, ddmid, event->printer_data)) {
        result = 1;
        break;
      }
    }
  SetRefreshRequest(event, 1, nullptr, record);
  return result;
}

// ---- controls shown in pairs ------------------------------------------------------------

INT MatchControlSetting(ControlEvent* event, const ControlPairInfo* info, INT* result) {
  if (!event || !info || !result) return 0;
  *result = 1;
  const ControlRecord* record = FindControlById(event->window, event->kind, info->control_id);
  const SettingSlot* slot = record ? GetCurrentSlot(event->window, record) : nullptr;
  if (!slot) return 1;
  if (slot->ddmid != info->ddmid) {
    *result = 0;
  } else if (info->compare == 1) {
    const LONG wanted = static_cast<LONG>(info->value);
    ItemValue value{};
    if (slot->size == 1)
      value.b = static_cast<BYTE>(wanted);
    else if (slot->size == 2)
      value.w = static_cast<WORD>(wanted);
    else
      value.l = wanted;
    *result = GetTypeCompare(slot->type, &value, &slot->value) == 0 ? 1 : 0;
  }
  return 1;
}

INT ShowControlPair(ControlEvent* event, HWND dialog, const ControlRecord* record, const ControlPairInfo* info) {
  if (!event || !dialog || !record || !info) return 0;
  HWND control = GetDlgItem(dialog, record->id);
  if (!control) return 0;
  INT match = 0;
  if (!MatchControlSetting(event, info, &match)) return 0;
  HWND label = info->label_id != kNone ? GetDlgItem(dialog, info->label_id) : nullptr;
  if (info->label_id != kNone && !label) return 0;
  for (HWND h : {control, label}) {
    if (!h) continue;
    ShowWindow(h, match ? SW_SHOW : SW_HIDE);
    EnableWindow(h, match ? TRUE : FALSE);
  }
  return 1;
}

// ---- rebuilding a choice list --------------------------------------------------------------

INT RefreshItemInfo(HWND dialog, const ControlRecord* record, WORD ddmid) {
  SheetState* state = GetSheetState(dialog);
  SheetContext* context = GetSheetContext(dialog);
  if (!state || !context || !record || !state->dialog_tables) return 0;
  auto* entry = static_cast<CachedItem*>(KeyList_FindData(state->dialog_tables->item_infos, ddmid, kKeyListAnyKey2));
  if (!entry) return 0;
  ConflictMessageOptions options{};
  GetConflictMessageOptions(state, &options);
  ItemInfoOptions item_options{};
  item_options.inches = options.inches;
  item_options.tenths = options.tenths;
  item_options.printer = state->printer;
  AddSheetFaceChoices(state, ddmid, &item_options);
  ItemInfo* fresh = BuildItemInfo(state->database, ddmid, context->current.devmode, context->current.printer_data,
                                  GetResourceModule(), &item_options);
  if (!fresh) return 0;
  ItemInfo_Free(entry->info);
  entry->info = fresh;
  // The control's state and the setting's constraint record are made again
  // for the new number of choices.
  ControlEvent event{};
  event.window = dialog;
  event.database = state->database;
  event.devmode = context->current.devmode;
  event.printer_data = context->current.printer_data;
  ReleaseControlStates(&event, record, 1);
  return CreateControlStates(dialog, &event, record, 1);
}
