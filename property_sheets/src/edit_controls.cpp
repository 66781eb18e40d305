// Edit fields bound to a number setting: the value shown with its decimals
// and, for lengths, in millimetres or inches by the sheet's measurement;
// what the user types is checked, converted back to the stored form and
// handed to the change flow. An invalid number goes on as the range
// maximum plus one, so that the conflict resolution shows the range.
#include <cstring>
#include <string>
#include <vector>

#include "fax/key_list.h"
#include "control_handlers.h"
#include "property_sheets/dialog_helpers.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/constraints/entry_checks.h"
#include "settings/items/item_info.h"
#include "settings/items/setting_items.h"
#include "value_controls.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"

namespace {

constexpr INT kBufferList = 0;
constexpr WORD kTypeLongValue = 4;

// Per field while its dialog is active: the busy flag that keeps a loss of
// focus from validating while a message or a step runs, and for text
// fields the text as last accepted (put back when a keystroke is refused).
struct EditBuffer {
  BOOL busy;
  std::u16string* previous;
};

DWORD window_key(HWND window) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window)); }

KeyList* buffer_list(HWND window) {
  SheetContext* context = GetSheetContext(window);
  return context ? context->lists[kBufferList] : nullptr;
}

EditBuffer* find_buffer(ControlEvent* event, const ControlRecord* record) {
  return static_cast<EditBuffer*>(
      KeyList_FindData(buffer_list(event->window), static_cast<DWORD>(record->id), window_key(event->window)));
}

void create_buffer(ControlEvent* event, const ControlRecord* record) {
  KeyList* list = buffer_list(event->window);
  if (!list || find_buffer(event, record)) return;
  auto* buffer = static_cast<EditBuffer*>(GlobalAlloc(GPTR, sizeof(EditBuffer)));
  if (!buffer) return;
  buffer->previous = new std::u16string();
  if (!KeyList_Push(list, static_cast<DWORD>(record->id), window_key(event->window), buffer)) {
    delete buffer->previous;
    GlobalFree(buffer);
  }
}

void free_buffer(ControlEvent* event, const ControlRecord* record) {
  EditBuffer* buffer = find_buffer(event, record);
  if (!buffer) return;
  KeyList_Remove(buffer_list(event->window), static_cast<DWORD>(record->id), window_key(event->window));
  delete buffer->previous;
  GlobalFree(buffer);
}

WORD current_ddmid(ControlEvent* event, const ControlRecord* record) {
  const SettingSlot* slot = GetCurrentSlot(event->window, record);
  return slot ? slot->ddmid : 0;
}

bool is_adjustment(WORD ddmid) { return ddmid == 268 || ddmid == 269 || ddmid == 324; }
bool is_length(WORD ddmid) {
  return ddmid == 460 || ddmid == 461 || ddmid == 470 || (ddmid >= 1825 && ddmid <= 1828) || ddmid == 1863 ||
         ddmid == 1864;
}

// How a field shows its current setting: its flags with the fixed-point
// bit set by the measurement, its decimals, and whether lengths convert.
struct FieldView {
  WORD flags;
  INT decimals;
  bool inches;
};

FieldView field_view(ControlEvent* event, const EditFieldData* data, WORD ddmid) {
  FieldView view{data->flags, data->unit ? data->unit->decimals : 0, false};
  const SheetState* state = GetSheetState(event->window);
  const bool us = state && state->current_measurement == 1;
  if (!(data->flags & kEditLength)) return view;
  if (is_adjustment(ddmid)) {
    GetDisplayDecimals(ddmid, us, &view.decimals);
    view.inches = us;
    view.flags = static_cast<WORD>(us ? view.flags | kEditFixedPoint : view.flags & ~kEditFixedPoint);
  } else if (is_length(ddmid)) {
    GetDisplayDecimals(ddmid, us, &view.decimals);
    view.inches = us;
  }
  return view;
}

// Stored form to shown form and back.
LONG to_shown(const EditFieldData* data, const FieldView& view, WORD ddmid, LONG value) {
  if (!data->unit) return value;
  if (data->unit->converts) {
    LONG converted = value;
    ConvertSettingUnits(2, ddmid, kTypeLongValue, &value, &converted);
    value = converted;
  }
  if (view.inches) value = ClampAdjustmentStep(value, ddmid);
  return value;
}

LONG to_stored(const EditFieldData* data, const FieldView& view, WORD ddmid, LONG value) {
  if (!data->unit) return value;
  if (view.inches) value = InchToMetric(value);
  if (data->unit->converts) {
    LONG converted = value;
    ConvertSettingUnits(1, ddmid, kTypeLongValue, &value, &converted);
    value = converted;
  }
  return value;
}

WCHAR decimal_separator() {
  WCHAR text[8] = {};
  LoadStringW(GetResourceModule(), 9241, text, 8);
  return text[0] ? text[0] : u'.';
}

// The characters of a number: an optional leading minus, digits, and with
// fixed point one separator followed by at most `decimals` digits (any
// number with kEditLenient).
bool valid_number_text(const std::u16string& text, const FieldView& view) {
  if (text.empty()) return (view.flags & kEditLenient) != 0;
  size_t i = text[0] == u'-' || text[0] == u'+' ? 1 : 0;
  const WCHAR separator = decimal_separator();
  INT separators = 0, after = 0;
  bool digits = false;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == separator && ((view.flags & kEditFixedPoint) || view.decimals > 0)) {
      if (++separators > 1) return false;
      continue;
    }
    if (c < u'0' || c > u'9') return false;
    digits = true;
    if (separators) ++after;
  }
  if (separators && after > view.decimals && !(view.flags & kEditLenient)) return false;
  return digits;
}

bool parse_fixed_point(const std::u16string& text, const FieldView& view, LONG* value) {
  const WCHAR separator = decimal_separator();
  const size_t at = text.find(separator);
  if (at != std::u16string::npos && text.find(separator, at + 1) != std::u16string::npos) return false;
  std::u16string whole = text.substr(0, at);
  std::u16string fraction = at == std::u16string::npos ? std::u16string() : text.substr(at + 1);
  bool negative = false;
  if (!whole.empty() && (whole[0] == u'-' || whole[0] == u'+')) {
    negative = whole[0] == u'-';
    whole.erase(0, 1);
  }
  if (whole.empty() && fraction.empty()) return false;
  if (static_cast<INT>(fraction.size()) > view.decimals) {
    if (!(view.flags & kEditLenient)) return false;
    fraction.resize(static_cast<size_t>(view.decimals));
  }
  long long number = 0;
  for (char16_t c : whole) {
    if (c < u'0' || c > u'9') return false;
    number = number * 10 + (c - u'0');
    if (number > 0x7FFFFFFF) return false;
  }
  long long part = 0;
  for (char16_t c : fraction) {
    if (c < u'0' || c > u'9') return false;
    part = part * 10 + (c - u'0');
  }
  for (INT i = 0; i < view.decimals; ++i) number *= 10;
  for (INT i = static_cast<INT>(fraction.size()); i < view.decimals; ++i) part *= 10;
  const long long result = number + part;
  if (result > 0x7FFFFFFF) return false;
  *value = static_cast<LONG>(negative ? -result : result);
  return true;
}

std::u16string control_text(HWND window, INT id) {
  HWND control = GetDlgItem(window, id);
  const INT length = control ? GetWindowTextLengthW(control) : 0;
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  if (length > 0) GetDlgItemTextW(window, id, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

// Set while a field writes its own text, so that the EN_CHANGE it causes
// is not taken as typing.
bool g_showing = false;

bool is_text_field(const EditFieldData* data) { return (data->flags & kEditText) != 0; }

// Bytes of the text in the ANSI code page; false when a character has no
// single- or double-byte form there.
bool ansi_length(const std::u16string& text, INT* bytes) {
  LPSTR narrow = nullptr;
  INT length = 0;
  if (!WideToMultiByteStrict(text.c_str(), &narrow, &length)) return false;
  GlobalFree(narrow);
  *bytes = length;
  return true;
}

// The longest start of the text that fits `limit` ANSI bytes.
std::u16string cut_to_bytes(const std::u16string& text, INT limit) {
  std::u16string kept;
  for (char16_t c : text) {
    INT bytes = 0;
    if (!ansi_length(kept + c, &bytes) || bytes > limit) break;
    kept += c;
  }
  return kept;
}

// Whether each byte of the text lies in the rule's single-byte ranges and
// is none of its forbidden single bytes (lists of string ids whose texts
// hold hexadecimal byte values separated by commas).
std::vector<BYTE> char_class(const UINT* ids) {
  std::vector<BYTE> bytes;
  for (const UINT* id = ids; id && *id; ++id) {
    WCHAR text[257] = {};
    LoadStringW(GetResourceModule(), *id, text, 257);
    std::string number;
    for (const WCHAR* p = text;; ++p) {
      if (*p && *p != u',') {
        if (*p != u' ' && *p != u'\t') number += static_cast<char>(*p);
        continue;
      }
      if (!number.empty()) bytes.push_back(static_cast<BYTE>(std::stoul(number, nullptr, 16)));
      number.clear();
      if (!*p) break;
    }
  }
  return bytes;
}

bool text_passes_rule(const std::u16string& text, const TextRule* rule) {
  if (!rule) return true;
  const std::vector<BYTE> ranges = char_class(rule->lists[0]);
  const std::vector<BYTE> forbidden = char_class(rule->lists[2]);
  for (char16_t c : text) {
    if (c >= 0x80) continue;  // double-byte characters are not restricted here
    const BYTE b = static_cast<BYTE>(c);
    bool inside = ranges.empty();
    for (size_t i = 0; i + 1 < ranges.size() && !inside; i += 2) inside = ranges[i] <= b && b <= ranges[i + 1];
    if (!inside) return false;
    for (BYTE f : forbidden)
      if (f == b) return false;
  }
  return true;
}

}  // namespace

// ---- shared by the value controls ---------------------------------------------------

bool TextPassesRule(const std::u16string& text, const TextRule* rule) { return text_passes_rule(text, rule); }

SettingSlot* ReloadedSlot(ControlEvent* event, const ControlRecord* record) {
  ReloadControlValues(event, record, 1);
  SelectCurrentChoices(event, record, 1);
  return GetCurrentSlot(event->window, record);
}

LONG SlotNumber(const SettingSlot* slot) { return slot ? GetTypedValue(slot->type, &slot->value) : 0; }

INT StoreChoiceValue(ControlEvent* event, const ControlRecord* record, WORD type, const void* value,
                     const ItemInfo* as_item) {
  SettingSlot* slot = GetCurrentSlot(event->window, record);
  if (!slot) return -1;
  WORD* changed = nullptr;
  const INT result = OnValueChangedAsItem(event, record, slot, type, value, &changed, as_item);
  if (result == 1)
    SetRefreshRequest(event, 1, changed, record);
  else
    SafeGlobalFree(changed);
  return result;
}

INT StoreNumber(ControlEvent* event, const ControlRecord* record, LONG value, const ItemInfo* as_item) {
  return StoreChoiceValue(event, record, kTypeLongValue, &value, as_item);
}

INT ControlAvailability(ControlEvent* event, const ControlRecord* record) {
  const WORD ddmid = current_ddmid(event, record);
  return ddmid ? GetSettingAvailability(event->window, ddmid) : -1;
}

void ApplyGenericState(ControlEvent* event, HWND control, INT kind) {
  if (!control) return;
  ShowWindow(control, kind == 6 ? SW_HIDE : SW_SHOW);
  EnableWindow(control, event->permission && kind != 1 && kind != 6 && kind != 15);
}

void ApplyReadOnlyState(const ControlRecord* record, HWND control) {
  if (control && !(record->flags && (*record->flags & kFlagKeepEnabled))) EnableWindow(control, FALSE);
}

INT GetDisplayDecimals(WORD ddmid, INT unit, INT* decimals) {
  if (!decimals) return 0;
  const INT u = unit == 1 ? 1 : 0;
  if (is_length(ddmid) || (ddmid >= 5889 && ddmid <= 5928)) {
    *decimals = u + 1;
    return 1;
  }
  if (is_adjustment(ddmid)) {
    *decimals = u;
    return 1;
  }
  return 0;
}

INT GetControlValueRange(ControlEvent* event, const ControlRecord* record, LONG* minimum, LONG* maximum) {
  if (!event || !record || !minimum || !maximum) return 0;
  const WORD ddmid = current_ddmid(event, record);
  if (!ddmid) return 0;
  if (record->kind == kControlDropDown && ddmid != 1795) {
    struct Fixed {
      WORD ddmid;
      LONG low, high;
    } const fixed[] = {{306, 7, 600}, {359, 5, 24}, {385, 50, 240}};
    for (const Fixed& f : fixed)
      if (f.ddmid == ddmid) {
        *minimum = f.low;
        *maximum = f.high;
      }
    return 1;
  }
  const ItemInfo* info = GetItemInfo(event->window, ddmid);
  if (!info) return 0;
  if (info->kind == kItemKindNumberedList) {
    *minimum = 1;
    *maximum = info->count;
  } else if ((info->kind == kItemKindNumber || info->kind == kItemKindText) && info->count >= 2) {
    const WORD type = info->kind == kItemKindText ? 3 : info->value_type;
    *minimum = GetTypedValue(type, ItemInfo_GetChoiceAt(info, 0));
    *maximum = GetTypedValue(type, ItemInfo_GetChoiceAt(info, 1));
  } else if (info->kind == kItemKindNumber && info->count == 1 && ClockSettingLargest(ddmid, maximum)) {
    *minimum = GetTypedValue(info->value_type, ItemInfo_GetChoiceAt(info, 0));
  } else {
    return 0;
  }
  if (ddmid == 12) {
    const SheetState* state = GetSheetState(event->window);
    DWORD limit = static_cast<DWORD>(*maximum);
    if (state && AdjustCopiesLimit(event->devmode, event->printer_data, event->database, &state->capabilities, &limit))
      *maximum = static_cast<LONG>(limit);
  }
  if (ddmid == 1795) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    if (GetItemValue(1794, event->devmode, event->printer_data, &type, &size, &v) == 0 && GetTypedValue(type, &v) == 2)
      *maximum = 128;
  }
  return 1;
}

const ControlRecord* FindBoundControl(ControlEvent* event, HWND window, const ControlRecord* record, INT kind) {
  if (!event || !record) return nullptr;
  const ControlSet* set = GetDialogControlSet(window, event->kind);
  if (!set) return nullptr;
  for (INT i = 0; i < set->count; ++i)
    if (set->records[i].kind == kind && set->records[i].settings == record->settings) return &set->records[i];
  return nullptr;
}

INT FindNumericField(HWND window, WORD ddmid, BOOL default_mode, LONG* decimals, WORD* field_flags) {
  const SheetState* state = GetSheetState(window);
  if (!state || !decimals || !field_flags) return 0;
  const ControlSet* set = GetDialogControlSet(window, state->active_page);
  for (INT i = 0; set && i < set->count; ++i) {
    const ControlRecord& record = set->records[i];
    const auto* data = static_cast<const EditFieldData*>(record.kind_data);
    if (record.kind != kControlEdit || !data || !(data->flags & kEditNumeric)) continue;
    bool bound = false;
    if (default_mode) {
      for (INT s = 0; s < record.setting_count && !bound; ++s) bound = RefDdmid(record.settings[s]) == ddmid;
    } else {
      const SettingSlot* slot = GetCurrentSlot(window, &record);
      bound = slot ? slot->ddmid == ddmid : record.setting_count == 1 && RefDdmid(record.settings[0]) == ddmid;
    }
    if (!bound) continue;
    *decimals = data->unit ? data->unit->decimals : 0;
    *field_flags = 0;
    if (data->flags & kEditLength) {
      *field_flags |= kFieldAdjustmentSteps;
      INT shown = 0;
      if (GetDisplayDecimals(ddmid, state->current_measurement, &shown)) *decimals = shown;
    }
    if (data->unit && data->unit->converts) *field_flags |= kFieldConvertedUnits;
    return 1;
  }
  *field_flags = kFieldFixedRange;
  return 0;
}

// ---- the field ---------------------------------------------------------------------

void SetEditBusy(ControlEvent* event, const ControlRecord* record, BOOL busy) {
  if (EditBuffer* buffer = find_buffer(event, record)) buffer->busy = busy;
}

INT ShowEditValue(ControlEvent* event, const ControlRecord* record, const EditFieldData* data) {
  if (!event || !record || !data) return 0;
  SettingSlot* slot = ReloadedSlot(event, record);
  HWND control = GetDlgItem(event->window, record->id);
  if (!slot || !control) return 0;
  const FieldView view = field_view(event, data, slot->ddmid);
  const LONG shown = to_shown(data, view, slot->ddmid, SlotNumber(slot));
  LPWSTR text = nullptr;
  if (is_text_field(data)) {
    std::u16string value = ItemText(slot->value, slot->size);
    LPWSTR plain = nullptr;
    if ((data->flags & kEditShowProtected) && !value.empty() && ConvertProtectedString(2, value.c_str(), &plain)) {
      value = plain;
      GlobalFree(plain);
    }
    text = static_cast<LPWSTR>(GlobalAlloc(GPTR, (value.size() + 1) * sizeof(WCHAR)));
    if (text) value.copy(text, value.size());
    if (EditBuffer* buffer = find_buffer(event, record)) *buffer->previous = value;
  } else if (view.flags & kEditFixedPoint)
    FormatFixedPoint(&text, view.decimals, TRUE, view.flags, shown);
  else if (view.decimals > 0)
    FormatFixedPoint(&text, view.decimals, TRUE, kEditFixedPoint, shown);
  else {
    const std::string digits = std::to_string(shown);
    text = static_cast<LPWSTR>(GlobalAlloc(GPTR, (digits.size() + 1) * sizeof(WCHAR)));
    for (size_t i = 0; text && i < digits.size(); ++i) text[i] = static_cast<WCHAR>(digits[i]);
  }
  if (!text) return 0;
  g_showing = true;
  SetDlgItemTextW(event->window, record->id, text);
  if (record->id == 4045) SendMessageW(event->window, WM_SETTEXT, 4045, reinterpret_cast<LPARAM>(text));
  g_showing = false;
  GlobalFree(text);
  if (event->permission && record->kind == kControlEdit) {
    const INT kind = ControlAvailability(event, record);
    ShowWindow(control, kind == 6 ? SW_HIDE : SW_SHOW);
    // A read-only setting keeps its field enabled; only typing is refused.
    EnableWindow(control, kind != 1 && kind != 6);
    SendMessageW(control, EM_SETREADONLY, kind == 14, 0);
  } else if (!event->permission) {
    ApplyReadOnlyState(record, control);
  }
  return 1;
}

INT ParseEditText(ControlEvent* event, const ControlRecord* record, const EditFieldData* data, BOOL validate,
                  LONG* value) {
  if (!event || !record || !data || !value) return -1;
  const WORD ddmid = current_ddmid(event, record);
  if (!ddmid) return -1;
  const FieldView view = field_view(event, data, ddmid);
  const std::u16string text = control_text(event->window, record->id);
  bool valid = text.size() <= data->max_chars || !data->max_chars;
  for (char16_t c : text) valid = valid && c < 0x80;
  if (valid && validate) valid = valid_number_text(text, view);
  LONG parsed = 0;
  if (valid) {
    if (view.flags & kEditFixedPoint || view.decimals > 0) {
      valid = parse_fixed_point(text, view, &parsed);
    } else {
      std::string narrow(text.begin(), text.end());
      INT n = 0;
      valid = ParseDecimalText(narrow.c_str(), &n) != 0;
      parsed = n;
    }
  }
  if (valid) {
    *value = parsed;
    return 0;
  }
  // An invalid number goes on as just above the range, so that the range
  // check of the resolution reports the range.
  LONG low = 0, high = 0;
  if (!GetControlValueRange(event, record, &low, &high)) return -1;
  *value = to_shown(data, view, ddmid, high) + 1;
  return -2;
}

namespace {

// Hands a text to the change flow, in its protected form when the field
// stores one.
INT store_text(ControlEvent* event, const ControlRecord* record, const EditFieldData* data, const std::u16string& text,
               const ItemInfo* as_item) {
  std::u16string value = text;
  LPWSTR protected_form = nullptr;
  if ((data->flags & (kEditProtect | kEditShowProtected)) && !text.empty() &&
      ConvertProtectedString(1, text.c_str(), &protected_form)) {
    value = protected_form;
    GlobalFree(protected_form);
  }
  const SettingSlot* slot = GetCurrentSlot(event->window, record);
  if (slot && ItemText(slot->value, slot->size) == value) return 3;
  return StoreChoiceValue(event, record, 6, value.c_str(), as_item);
}

// The message of an invalid text, with the length range of the setting.
void show_text_message(ControlEvent* event, const ControlRecord* record, const EditFieldData* data) {
  const INT id = data->rule ? data->rule->message_id : kNone;
  if (id == kNone) return;
  LONG low = 0, high = 0;
  GetControlValueRange(event, record, &low, &high);
  const WORD ddmid = current_ddmid(event, record);
  if (ddmid == 5129 || ddmid == 5147) low = 1;
  if (ddmid == 5130 || ddmid == 5159 || ddmid == 5181 || ddmid == 5182) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    if (GetItemValue(4366, event->devmode, event->printer_data, &type, &size, &v) == 0 && GetTypedValue(type, &v))
      low = GetTypedValue(type, &v);
  }
  LPWSTR text = nullptr;
  const INT lo = static_cast<INT>(low), hi = static_cast<INT>(high);
  if (id == 425)
    FormatResourceStringV(&text, 512, static_cast<UINT>(id), lo, hi, hi, hi / 2);
  else if (id == 445 || id == 447 || id == 738 || id == 743)
    FormatResourceStringV(&text, 512, static_cast<UINT>(id), lo, hi);
  else if (id == 737)
    FormatResourceStringV(&text, 512, static_cast<UINT>(id), hi);
  ShowResourceMessageBox(event->window, 265, nullptr, MB_ICONWARNING, text ? kNone : id, text);
  if (text) GlobalFree(text);
}

INT validate_text(ControlEvent* event, const ControlRecord* record, const EditFieldData* data, HWND control,
                  const ItemInfo* as_item) {
  const std::u16string text = control_text(event->window, record->id);
  LONG low = 0, high = 0x7FFFFFFF;
  GetControlValueRange(event, record, &low, &high);
  INT bytes = 0;
  bool valid = ansi_length(text, &bytes) && text_passes_rule(text, data->rule) &&
               ((bytes >= low && bytes <= high) || (text.empty() && (data->flags & kEditLenient)));
  if (!valid) {
    show_text_message(event, record, data);
    SetFocus(control);
    ShowEditValue(event, record, data);
    SetRefreshRequest(event, 1, nullptr, record);
    return 2;
  }
  const INT result = store_text(event, record, data, text, as_item);
  if (result == 1 || result == 3) return result;
  ShowEditValue(event, record, data);
  if (result == 2) SetFocus(control);
  return result;
}

}  // namespace

INT ValidateAndStoreEdit(ControlEvent* event, const ControlRecord* record, const EditFieldData* data, UINT message,
                         DWORD mask_bit) {
  return ValidateEditAsItem(event, record, data, message, mask_bit, nullptr);
}

INT ValidateEditAsItem(ControlEvent* event, const ControlRecord* record, const EditFieldData* data, UINT message,
                       DWORD mask_bit, const ItemInfo* as_item) {
  if (!event || !record || !data) return -1;
  HWND control = GetDlgItem(event->window, record->id);
  if (!control || !IsWindowEnabled(control)) return 3;
  const WORD ddmid = current_ddmid(event, record);
  if (!ddmid) return -1;
  if (is_text_field(data)) return validate_text(event, record, data, control, as_item);
  LONG shown = 0;
  if (ParseEditText(event, record, data, TRUE, &shown) == -1) return -1;
  const FieldView view = field_view(event, data, ddmid);
  LONG value = to_stored(data, view, ddmid, shown);
  if (data->callback) {
    const INT verdict = data->callback(data, event, message, record, data, mask_bit, &value);
    if (verdict == 2) {
      ShowEditValue(event, record, data);
      SetFocus(control);
      return 2;
    }
    if (verdict != 1) return verdict;
  }
  SetEditBusy(event, record, TRUE);
  const INT result = StoreNumber(event, record, value, as_item);
  SetEditBusy(event, record, FALSE);
  if (result == 1) return 1;
  ShowEditValue(event, record, data);
  if (result == 2) SetFocus(control);
  return result;
}

namespace {

INT validate_for(ControlEvent* event, const ControlRecord* record, const EditFieldData* data, UINT message,
                 DWORD mask_bit) {
  // Nothing is validated while the dialog's Cancel runs.
  if (event->command == kCommandCancel || !(data->validate_mask & mask_bit)) return 0;
  return ValidateAndStoreEdit(event, record, data, message, mask_bit);
}

// A text typed into a text field: cut to its length limit in ANSI bytes,
// refused when the code page cannot hold it, else stored at once.
void accept_text(ControlEvent* event, const ControlRecord* record, const EditFieldData* data) {
  EditBuffer* buffer = find_buffer(event, record);
  HWND control = GetDlgItem(event->window, record->id);
  if (!buffer || !control) return;
  INT limit = static_cast<INT>(data->max_chars ? data->max_chars : 0x7FFFFFFF);
  LONG low = 0, high = 0;
  if (GetControlValueRange(event, record, &low, &high) && high > 0 && high < limit) limit = static_cast<INT>(high);
  const std::u16string text = control_text(event->window, record->id);
  INT bytes = 0;
  if (!ansi_length(text, &bytes)) {
    // Put back the last text the field took; its EN_CHANGE finds it unchanged.
    SetWindowTextW(control, buffer->previous->c_str());
    SendMessageW(control, EM_SETSEL, buffer->previous->size(), buffer->previous->size());
    return;
  }
  if (bytes > limit) {
    const std::u16string kept = cut_to_bytes(text, limit);
    SetWindowTextW(control, kept.c_str());
    SendMessageW(control, EM_SETSEL, kept.size(), kept.size());
    return;
  }
  SendMessageW(control, EM_EMPTYUNDOBUFFER, 0, 0);
  if (store_text(event, record, data, text, nullptr) == 1) *buffer->previous = text;
}

void accept_keystroke(ControlEvent* event, const ControlRecord* record, const EditFieldData* data) {
  static bool running = false;
  if (g_showing || running) return;
  if (is_text_field(data)) {
    running = true;
    accept_text(event, record, data);
    running = false;
    return;
  }
  if (!(data->flags & kEditStoreEachKey)) return;
  HWND control = GetDlgItem(event->window, record->id);
  if (!control || !IsWindowEnabled(control) || GetFocus() != control) return;
  running = true;
  ValidateAndStoreEdit(event, record, data, WM_COMMAND, 0);
  running = false;
}

INT edit_handler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                 const EditFieldData* data, UINT kill_focus, UINT change, UINT limit_message) {
  if (!data) return 0;
  if (IsNotify(message, lParam, PSN_SETACTIVE)) {
    SendDlgItemMessageW(event->window, record->id, limit_message, data->max_chars, 0);
    ShowEditValue(event, record, data);
    create_buffer(event, record);
    return 0;
  }
  if (IsNotify(message, lParam, PSN_KILLACTIVE)) {
    const INT result = validate_for(event, record, data, message, kValidateOnKillActive);
    free_buffer(event, record);
    return result == 2 ? 1 : 0;
  }
  if (IsNotify(message, lParam, PSN_RESET) || IsNotify(message, lParam, PSN_APPLY) || message == WM_DESTROY) {
    free_buffer(event, record);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == kill_focus) {
    EditBuffer* buffer = find_buffer(event, record);
    if (!buffer) return 1;
    if (buffer->busy || g_showing) return 0;
    validate_for(event, record, data, message, kValidateOnKillFocus);
    return 0;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == change) {
    accept_keystroke(event, record, data);
    return 0;
  }
  if (message == UM_REFRESH_CONTROLS && is_text_field(data) && event->refresh_record == record) return 1;
  if (message == UM_REFRESH_CONTROLS || message == UM_RESTORE_CONTROLS) return ShowEditValue(event, record, data);
  if (message == UM_VALIDATE_CONTROLS) return validate_for(event, record, data, message, kValidateOnCommand) == 2;
  return 0;
}

}  // namespace

INT NumericEditHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data) {
  return edit_handler(event, message, wParam, lParam, record, static_cast<const EditFieldData*>(kind_data),
                      EN_KILLFOCUS, EN_CHANGE, EM_LIMITTEXT);
}

INT TextEditHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                    const void* kind_data) {
  const auto* data = static_cast<const EditFieldData*>(kind_data);
  if (message == WM_SETTEXT) {
    if (data) accept_keystroke(event, record, data);
    return 0;
  }
  return edit_handler(event, message, wParam, lParam, record, data, CBN_KILLFOCUS, CBN_EDITCHANGE, CB_LIMITTEXT);
}
